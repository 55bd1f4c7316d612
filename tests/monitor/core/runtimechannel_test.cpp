#include "core/runtimechannel.h"
#include "tracehook/pageruntimerecords.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tracewin;
using tracehook::JspSourceInfo;
using tracehook::PageRuntimeRecords;
using Incoming = RuntimeChannel::Incoming;

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

// The page runtime's end of a connected socket pair, driven from the test's thread.
class PeerEnd {
public:
    explicit PeerEnd(int fd) : fd_(fd) {}
    ~PeerEnd() { closeAll(); }
    void send(const std::string& record) { sendRaw(PageRuntimeRecords::framed(record)); }
    void sendRaw(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // The next reply line, without its line break; nullopt when none came in time or the
    // connection ended.
    std::optional<std::string> reply() {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (true) {
            if (const std::size_t nl = received_.find('\n'); nl != std::string::npos) {
                std::string line = received_.substr(0, nl);
                received_.erase(0, nl + 1);
                return line;
            }
            if (!receive(deadline))
                return std::nullopt;
        }
    }
    // True when the monitor's side closed (after any reply lines left).
    bool seesClose() {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (receive(deadline)) {
        }
        return ended_;
    }
    // Nothing more waits to be read right now.
    bool nothingWaiting() {
        pollfd p{fd_, POLLIN, 0};
        return received_.empty() && ::poll(&p, 1, 0) == 0;
    }
    void shutdownSend() { ::shutdown(fd_, SHUT_WR); }
    void shutdownReceive() { ::shutdown(fd_, SHUT_RD); }
    void closeAll() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    bool receive(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        received_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_;
    std::string received_;
    bool ended_ = false;
};

const std::string kFirst = "%F5&/p/a.jsp&/w/a.java";
const std::string kLine = "%L5&7&1&1&1&2";
const std::string kHtml = "%H5&<li>one</li>";
const std::string kVariables = "%V5&2&0&g&Locals&%&%&1&-&count&int&0&0&g";

class RuntimeChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peer = std::make_unique<PeerEnd>(fds[1]);
        peerFd = fds[1];
        channel = std::make_unique<RuntimeChannel>(fds[0], kMaxRecord, [this] {
            std::lock_guard lock(mutex);
            ++notifications;
            announced.notify_all();
        });
    }

    // Takes until n items came: on each notification, and every few milliseconds as the
    // monitor does after a paced record.
    std::vector<Incoming> takeItems(std::size_t n) {
        std::vector<Incoming> items;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            int seen = 0;
            {
                std::lock_guard lock(mutex);
                seen = notifications;
            }
            for (Incoming& item : channel->take())
                items.push_back(std::move(item));
            if (items.size() >= n)
                break;
            std::unique_lock lock(mutex);
            announced.wait_for(lock, std::chrono::milliseconds(10),
                               [&] { return notifications != seen; });
        }
        return items;
    }
    // The page started and the monitor answered its first record: a run going on by
    // itself, whose records the channel answers with "%N5&1".
    void startRunningAhead() {
        peer->send(kFirst);
        ASSERT_EQ(takeItems(1).size(), 1u);
        channel->answerAhead(RuntimeChannel::AheadReplies{"%N5&1", true});
        answer("%N5&1");
    }
    // The monitor answers the record the page waits on.
    void answer(const std::string& reply) {
        ASSERT_TRUE(channel->write(reply));
        channel->expectRecord();
        ASSERT_EQ(peer->reply(), reply);
    }
    // Waits until n items wait to be taken, taking none. A record held back while the run
    // is paced is not announced (the monitor comes back for it), so this polls the count,
    // within the test's patience.
    bool waitForWaiting(std::size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (channel->waitingCount() < n) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    int notificationCount() {
        std::lock_guard lock(mutex);
        return notifications;
    }

    static constexpr std::size_t kMaxRecord = 16u << 20;
    int peerFd = -1;
    std::mutex mutex;
    std::condition_variable announced;
    int notifications = 0;
    std::unique_ptr<PeerEnd> peer;
    std::unique_ptr<RuntimeChannel> channel;
};

TEST_F(RuntimeChannelTest, EachReplyLetsExactlyOneMoreRecordThrough) {
    // Both records in one write: they are read together.
    peer->sendRaw(PageRuntimeRecords::framed(kFirst) + PageRuntimeRecords::framed(kLine));
    std::vector<Incoming> first = takeItems(1);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_TRUE(first[0].record);
    EXPECT_EQ(first[0].record->getInfoType(), JspSourceInfo::FILE_INFO);
    EXPECT_FALSE(first[0].answered);
    EXPECT_TRUE(first[0].text.empty()) << "a parsed record's text is not kept";
    EXPECT_TRUE(channel->take().empty()) << "the line record waits for the reply";

    ASSERT_NO_FATAL_FAILURE(answer("%N5&0"));
    std::vector<Incoming> second = takeItems(1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].record->getInfoType(), JspSourceInfo::LINE_INFO);
    EXPECT_EQ(second[0].record->getJavaLine(), 7);

    // Two replies in a row owe two records, however the records come.
    channel->expectRecord();
    channel->expectRecord();
    const std::string two =
        PageRuntimeRecords::framed("%L5&8&1&1&1&2") + PageRuntimeRecords::framed("%L5&9&1&1&1&2");
    peer->sendRaw(two.substr(0, 7));
    peer->sendRaw(two.substr(7));
    std::vector<Incoming> more = takeItems(2);
    ASSERT_EQ(more.size(), 2u);
    EXPECT_EQ(more[1].record->getJavaLine(), 9);
}

TEST_F(RuntimeChannelTest, ARunThatGoesOnByItselfIsAnsweredAsItArrives) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());

    // Line, output and variables records each get the reply at once, nobody taking them.
    const std::vector<std::string> run = {kLine, kHtml, kVariables, kLine};
    for (const std::string& record : run) {
        peer->send(record);
        EXPECT_EQ(peer->reply(), "%N5&1") << record;
    }
    // A record of another kind waits for the monitor.
    peer->send("%S5&3&1&1&1&2");
    std::vector<Incoming> items = takeItems(run.size() + 1);
    ASSERT_EQ(items.size(), run.size() + 1);
    for (std::size_t i = 0; i < run.size(); ++i)
        EXPECT_TRUE(items[i].answered) << run[i];
    EXPECT_EQ(items[1].record->getInfoType(), JspSourceInfo::HTML_INFO);
    EXPECT_FALSE(items[2].record) << "variables are parsed by the monitor";
    EXPECT_EQ(items[2].text, kVariables);
    EXPECT_FALSE(items.back().answered);
    EXPECT_TRUE(peer->nothingWaiting()) << "no reply for the switch record";

    // Without lines, positions wait again while output is still answered.
    channel->answerAhead(RuntimeChannel::AheadReplies{"%N5&0", false});
    ASSERT_NO_FATAL_FAILURE(answer("%N5&0"));
    peer->send(kHtml);
    EXPECT_EQ(peer->reply(), "%N5&0");
    peer->send(kLine);
    std::vector<Incoming> rest = takeItems(2);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_TRUE(rest[0].answered);
    EXPECT_FALSE(rest[1].answered);
    EXPECT_TRUE(peer->nothingWaiting());

    // Nothing handed over: every record waits.
    channel->answerAhead(std::nullopt);
    ASSERT_NO_FATAL_FAILURE(answer("%N5&0"));
    peer->send(kHtml);
    std::vector<Incoming> last = takeItems(1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_FALSE(last[0].answered);
    EXPECT_TRUE(peer->nothingWaiting());
}

TEST_F(RuntimeChannelTest, TheFirstRecordIsNeverAnsweredAhead) {
    channel->answerAhead(RuntimeChannel::AheadReplies{"%N5&1", true});
    peer->send(kHtml);
    std::vector<Incoming> items = takeItems(1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_FALSE(items[0].answered);
    EXPECT_TRUE(peer->nothingWaiting());
}

TEST_F(RuntimeChannelTest, ARecordAnsweredAheadIsHandedOverBeforeItsReply) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());
    for (int i = 0; i < 200; ++i) {
        peer->send("%L5&" + std::to_string(10 + i) + "&1&1&1&2");
        ASSERT_EQ(peer->reply(), "%N5&1");
        // Whoever saw the reply finds the record already taken over: no waiting here.
        std::deque<Incoming> items = channel->take();
        ASSERT_EQ(items.size(), 1u) << i;
        EXPECT_EQ(items[0].record->getJavaLine(), 10 + i);
    }
}

TEST_F(RuntimeChannelTest, ARunGoingOnByItselfIsAnnouncedOnlyWhenARecordWaits) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());
    const int before = notificationCount();
    auto pass = [&](const std::string& record) {
        peer->send(record);
        ASSERT_EQ(peer->reply(), "%N5&1") << record;
    };
    pass(kLine);
    EXPECT_EQ(notificationCount(), before + 1) << "the first position is announced";
    bool comesBack = false;
    ASSERT_EQ(channel->take(&comesBack).size(), 1u);
    EXPECT_TRUE(comesBack) << "a position passed ahead: the taker comes back by itself";
    for (int i = 0; i < 50; ++i) {
        pass(kLine);
        pass(kHtml);
    }
    pass(kVariables);
    EXPECT_EQ(notificationCount(), before + 1) << "no announcement per record";
    ASSERT_EQ(channel->take(&comesBack).size(), 101u);
    EXPECT_TRUE(comesBack);

    peer->send("%E");
    ASSERT_TRUE(waitForWaiting(1));
    EXPECT_EQ(notificationCount(), before + 2) << "a record that waits is announced";
    std::deque<Incoming> items = channel->take(&comesBack);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_FALSE(items[0].answered);
    EXPECT_FALSE(comesBack) << "the run waits for the monitor";

    ASSERT_NO_FATAL_FAILURE(answer("%N5&1"));
    pass(kLine);
    EXPECT_EQ(notificationCount(), before + 3) << "positions are announced again";
}

TEST_F(RuntimeChannelTest, OutputPassedAheadAloneIsAnnouncedBeforeItsReply) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());
    channel->answerAhead(RuntimeChannel::AheadReplies{"%N5&1", false});
    for (int i = 0; i < 20; ++i) {
        const int before = notificationCount();
        peer->send(kHtml);
        ASSERT_EQ(peer->reply(), "%N5&1");
        EXPECT_EQ(notificationCount(), before + 1) << i;
        bool comesBack = true;
        ASSERT_EQ(channel->take(&comesBack).size(), 1u) << i;
        EXPECT_FALSE(comesBack) << "output alone: every piece is announced";
    }
}

TEST_F(RuntimeChannelTest, ThePageRunsOnlySoFarAheadOfWhatWasTaken) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());
    const std::size_t ahead = RuntimeChannel::kAheadBacklogRecords;
    for (std::size_t i = 0; i < ahead; ++i) {
        peer->send(kLine);
        ASSERT_EQ(peer->reply(), "%N5&1") << i;
    }
    peer->send(kLine);
    ASSERT_TRUE(waitForWaiting(ahead + 1));
    std::vector<Incoming> items = takeItems(ahead + 1);
    ASSERT_EQ(items.size(), ahead + 1);
    EXPECT_TRUE(items[ahead - 1].answered);
    EXPECT_FALSE(items[ahead].answered) << "the record past the backlog waits";
    EXPECT_TRUE(peer->nothingWaiting());

    // Output counts by its bytes: one record past the limit waits as well.
    ASSERT_NO_FATAL_FAILURE(answer("%N5&1"));
    peer->send("%H5&" + std::string(RuntimeChannel::kAheadBacklogBytes, 'x'));
    ASSERT_EQ(peer->reply(), "%N5&1");
    peer->send(kHtml);
    ASSERT_TRUE(waitForWaiting(2));
    std::vector<Incoming> output = takeItems(2);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_TRUE(output[0].answered);
    EXPECT_FALSE(output[1].answered);
}

TEST_F(RuntimeChannelTest, ARuntimeThatGoesAwayIsReportedWhereTheMonitorWaits) {
    peer->send(kFirst);
    ASSERT_EQ(takeItems(1).size(), 1u);
    // Nothing owed: the close is reported, but not as the end of the page.
    peer->shutdownSend();
    std::vector<Incoming> closed = takeItems(1);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].kind, Incoming::Kind::PeerClosed);
    EXPECT_FALSE(closed[0].atReadPoint);
    EXPECT_TRUE(channel->peerClosed());
    EXPECT_FALSE(channel->write("%N5&0")) << "nothing is written to a runtime that left";
    // Once a record is owed, the page has ended.
    channel->expectRecord();
    std::vector<Incoming> end = takeItems(1);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].kind, Incoming::Kind::PeerClosed);
    EXPECT_TRUE(end[0].atReadPoint);
    // A runtime that only closed its sending side still hears the goodbye.
    channel->close(std::string_view("%T"));
    EXPECT_EQ(peer->reply(), "%T");
    EXPECT_TRUE(peer->seesClose());
}

TEST_F(RuntimeChannelTest, AReplyAheadThatCannotBeWrittenEndsThePageWhereItWaits) {
    ASSERT_NO_FATAL_FAILURE(startRunningAhead());
    // The runtime still sends, but reads nothing more: the reply to its record fails.
    peer->shutdownReceive();
    peer->send(kLine);
    std::vector<Incoming> items = takeItems(2);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].answered) << "the record passed as the run's others did";
    EXPECT_EQ(items[1].kind, Incoming::Kind::PeerClosed);
    EXPECT_TRUE(items[1].atReadPoint) << "the page waits for a reply it cannot get";
    EXPECT_TRUE(channel->peerClosed());
    EXPECT_FALSE(channel->write("%N5&1"));
}

TEST_F(RuntimeChannelTest, ARecordCutShortByTheCloseEndsThePage) {
    peer->sendRaw("%F5&/p/a.js");
    peer->closeAll();
    std::vector<Incoming> items = takeItems(1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, Incoming::Kind::PeerClosed);
    EXPECT_TRUE(items[0].atReadPoint);
}

TEST_F(RuntimeChannelTest, AnOversizedRecordStopsTheReading) {
    peer->send(kFirst);
    ASSERT_EQ(takeItems(1).size(), 1u);
    channel->expectRecord();
    const std::string chunk(64 * 1024, 'x');
    peer->sendRaw("%H5&");
    std::atomic<bool> stop = false;
    // The runtime floods on; once the record is refused its writes may fail or block
    // until the channel closes.
    std::thread flood([&] {
        for (std::size_t sent = 0; sent <= kMaxRecord + chunk.size() && !stop;) {
            const ssize_t n = ::send(peerFd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    });
    std::vector<Incoming> items = takeItems(1);
    stop = true;
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, Incoming::Kind::Overflowed);
    channel->close(std::nullopt); // the flood may still be blocked on a full socket
    flood.join();
}

TEST_F(RuntimeChannelTest, CloseSaysGoodbyeAndNeverWaitsForTheRuntime) {
    peer->send(kFirst);
    ASSERT_EQ(takeItems(1).size(), 1u);
    channel->expectRecord(); // the thread now blocks reading
    channel->close(std::string_view("%T"));
    EXPECT_EQ(peer->reply(), "%T");
    EXPECT_TRUE(peer->seesClose());
    EXPECT_FALSE(channel->write("%N5&0"));
    channel->close(std::string_view("%T")); // a second close does nothing
}

TEST_F(RuntimeChannelTest, CloseWhileARecordWaitsForItsReply) {
    peer->send(kFirst);
    peer->send(kLine);
    ASSERT_EQ(takeItems(1).size(), 1u);
    channel->close(std::nullopt);
    EXPECT_TRUE(peer->seesClose());
}

TEST(RuntimeChannel, DescribesALoopbackConnection) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int accepted = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    sockaddr_in clientAddress{};
    size = sizeof clientAddress;
    ::getsockname(client, reinterpret_cast<sockaddr*>(&clientAddress), &size);
    {
        RuntimeChannel channel(accepted, 1024, nullptr);
        EXPECT_EQ(channel.describe(),
                  "Socket[addr=/127.0.0.1,port=" + std::to_string(ntohs(clientAddress.sin_port)) +
                      ",localport=" + std::to_string(ntohs(address.sin_port)) + "]");
    }
    ::close(client);
    ::close(listener);
}

} // namespace

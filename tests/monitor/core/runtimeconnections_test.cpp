#include "core/runtimeconnections.h"
#include "tracehook/pageruntimerecords.h"
#include "tracehook/pagevariables.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

using namespace tracewin;
using tracehook::JspSourceInfo;
using tracehook::PageRuntimeRecords;

namespace {

// Writes down every event as a short text.
struct EventLog : RuntimeConnectionEvents {
    void startup(const Record& r) override {
        log.push_back("startup:" + r->getFileIdStr().value_or("?"));
    }
    void highlight(const Record& r) override {
        log.push_back(r ? "highlight:" + r->getFileIdStr().value_or("?") + ":" +
                              std::to_string(r->getJavaLine())
                        : "highlight:none");
    }
    void html(const Record& r) override {
        log.push_back("html:" + r->getHtmlString().value_or(""));
    }
    void clientExit(const Record& r, int code) override {
        log.push_back(r ? "exit:record:" + r->getCommentString().value_or("")
                        : "exit:" + std::to_string(code));
    }
    void switchFromServlet(const Record& r) override {
        log.push_back("switch:" + r->getFileIdStr().value_or("?"));
    }
    void variables(const Variables& v) override {
        log.push_back("variables:" + v->fileId + ":" + std::to_string(v->entries.size()));
    }
    std::optional<int> continueItem() const override { return runState; }
    bool isHidden() const override { return hidden; }
    bool isMainWindowVisible() const override { return visible; }
    void showMainWindow() override {
        visible = true;
        log.push_back("show");
    }
    void raiseMainWindow() override { log.push_back("raise"); }

    std::vector<std::string> log;
    bool hidden = false;
    bool visible = false;
    int runState = 1;
};

// A page runtime on the other end of a loopback connection.
class FakeRuntime {
public:
    explicit FakeRuntime(quint16 port, const QHostAddress& address = QHostAddress::LocalHost) {
        socket.connectToHost(address, port);
        connected = socket.waitForConnected(3000);
        QObject::connect(&socket, &QTcpSocket::readyRead,
                         [this] { received += socket.readAll().toStdString(); });
    }
    void sendRaw(const std::string& bytes) {
        socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket.flush();
    }
    void send(const std::string& record) { sendRaw(PageRuntimeRecords::framed(record)); }
    // The reply lines received so far, each without its line break.
    std::vector<std::string> replies() const {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t nl; (nl = received.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(received.substr(start, nl - start));
        return lines;
    }
    bool waitForReplies(std::size_t n) {
        return QTest::qWaitFor([&] { return replies().size() >= n; }, 3000);
    }
    bool waitForClose() {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                               3000);
    }

    QTcpSocket socket;
    std::string received;
    bool connected = false;
};

class RuntimeConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(connections.listen(0, nullptr));
        port = connections.listeningPort();
    }

    bool waitForLog(std::size_t n) {
        return QTest::qWaitFor([&] { return events.log.size() >= n; }, 3000);
    }
    // Waits until the monitor has read through `bytes` bytes in all, then handles what that
    // set off: whatever those bytes were to cause has happened on return.
    bool readThrough(std::uint64_t bytes) {
        if (!QTest::qWaitFor([&] { return connections.bytesReceived() >= bytes; }, 3000))
            return false;
        QCoreApplication::sendPostedEvents();
        return true;
    }
    std::unique_ptr<FakeRuntime> startPage(const std::string& id) {
        auto page = std::make_unique<FakeRuntime>(port);
        page->send("%F" + id + "&/p/" + id + ".jsp&/w/" + id + ".java");
        return page;
    }
    using Log = std::vector<std::string>;

    EventLog events;
    RuntimeConnections connections{events};
    quint16 port = 0;
};

TEST_F(RuntimeConnectionsTest, FirstRecordStartsThePageAndShowsTheWindow) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    EXPECT_EQ(events.log, (Log{"show", "startup:5", "raise"}));
    EXPECT_EQ(connections.curFileIdStr(), "5");
    EXPECT_EQ(connections.savedConnectionCount(), 1u);
    EXPECT_TRUE(page->replies().empty()) << "the first record gets no reply";
}

TEST_F(RuntimeConnectionsTest, BlankProbeShowsTheWindowAndClosesWithoutEvents) {
    FakeRuntime probe(port);
    probe.send("%F1& & ");
    ASSERT_TRUE(probe.waitForClose());
    EXPECT_EQ(events.log, Log{"show"});
    EXPECT_EQ(probe.replies(), std::vector<std::string>{"%T"});
    EXPECT_EQ(connections.savedConnectionCount(), 0u);
}

TEST_F(RuntimeConnectionsTest, CompileErrorPageStartsWithoutShowingFirst) {
    FakeRuntime page(port);
    page.send("%M3&page.jsp");
    ASSERT_TRUE(waitForLog(2));
    EXPECT_EQ(events.log, (Log{"startup:3", "raise"}));
}

TEST_F(RuntimeConnectionsTest, AFirstRecordOfAnotherKindLeavesTheConnectionUnused) {
    FakeRuntime page(port);
    const std::string record = PageRuntimeRecords::framed("%L1&2&3&4&5&6");
    page.sendRaw(record);
    ASSERT_TRUE(readThrough(record.size()));
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(connections.openConnectionCount(), 1u);
    EXPECT_FALSE(connections.hasCurrentConnection());
}

TEST_F(RuntimeConnectionsTest, EachRecordKindIsDispatchedAtItsReadPoint) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    events.log.clear();
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"%L5&12&3&1&3&9", "highlight:5:12"},    {"%H5&<p>a&b</p>", "html:<p>a&b</p>"},
        {"%R5&14&4&1&4&5", "highlight:5:14"},    {"%P5&3&40&2&7&1&7&4&bad&12", "highlight:5:40"},
        {"%S5&12&3&1&3&9", "switch:5"},          {"%F5&/p/a.jsp&/w/a.java", "startup:5"},
        {"%M5&/p/a.jsp&/w/a.java", "startup:5"},
    };
    for (const auto& [record, expected] : rows) {
        connections.resume(0);
        page->send(record);
        ASSERT_TRUE(waitForLog(1)) << record;
        EXPECT_EQ(events.log, Log{expected}) << record;
        events.log.clear();
    }
    // A record that shows nothing is dispatched as nothing: the position after it, read in
    // order at the next read point, is the first event.
    for (const char* silent : {"%Cnote", "%N"}) {
        connections.resume(0);
        page->send(silent);
        connections.resume(0);
        page->send("%L5&12&3&1&3&9");
        ASSERT_TRUE(waitForLog(1)) << silent;
        EXPECT_EQ(events.log, Log{"highlight:5:12"}) << silent;
        events.log.clear();
    }
    ASSERT_TRUE(page->waitForReplies(rows.size() + 4));
}

// Records that do not move the page (variables, and kinds this monitor does not know) get
// the continue reply of the run in progress at once, and the record after them is read
// without another command: a newer runtime never waits on a reply that does not come.
TEST_F(RuntimeConnectionsTest, RecordsThatDoNotMoveThePageAreAnsweredInPlace) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    events.log.clear();
    connections.resume(0);
    ASSERT_TRUE(page->waitForReplies(1));

    const std::string variables = tracehook::PageVariables::record(
        "5", {{0, "Locals", "", "", false, true}, {1, "i", "int", "2"}});
    const std::vector<std::pair<std::string, Log>> rows = {
        {variables, Log{"variables:5:2"}},
        {"%V5&1&0&-&broken", Log{}}, // an unreadable variables record
        {"%Qsomething&new", Log{}},  // a record kind from a newer runtime
    };
    std::size_t replies = 1;
    for (const auto& [record, expected] : rows) {
        page->send(record);
        ASSERT_TRUE(page->waitForReplies(++replies)) << record;
        EXPECT_EQ(page->replies().back(), "%N5&1") << record;
        EXPECT_EQ(events.log, expected) << record;
        events.log.clear();
    }
    // The line record of the stop follows and is read without another command.
    page->send("%L5&12&3&1&3&9");
    ASSERT_TRUE(waitForLog(1));
    EXPECT_EQ(events.log, Log{"highlight:5:12"});
    EXPECT_EQ(page->replies().size(), replies) << "the stop waits for the user";
}

TEST_F(RuntimeConnectionsTest, ExitRecordsEndThePageBeforeTheConnectionCloses) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(1);
    page->send("%E");
    ASSERT_TRUE(page->waitForClose());
    EXPECT_EQ(events.log.back(), "exit:8");
    EXPECT_EQ(page->replies(), (std::vector<std::string>{"%N5&1", "%T"}));
    EXPECT_FALSE(connections.hasCurrentConnection());

    auto second = startPage("6");
    ASSERT_TRUE(waitForLog(6));
    connections.resume(0);
    second->send("%A6&10&4&1&5&0&boom");
    ASSERT_TRUE(second->waitForClose());
    EXPECT_EQ(events.log.back(), "exit:record:boom");

    auto third = startPage("7");
    ASSERT_TRUE(waitForLog(9));
    connections.resume(0);
    third->send("%Aoops");
    ASSERT_TRUE(third->waitForClose());
    EXPECT_EQ(events.log.back(), "exit:9");
}

TEST_F(RuntimeConnectionsTest, RepliesCarryStateErrorWalkAndBreakpoints) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    page->send("%L5&1&1&1&1&2");
    connections.prevErr();
    page->send("%P5&2&0&0&1&1&1&2&x&12");
    connections.resume(1);
    page->send("%L5&1&1&1&1&2");
    connections.nextErr();
    page->send("%L5&1&1&1&1&2");
    connections.resume(std::nullopt);
    page->send("%L5&1&1&1&1&2");
    connections.setBreakpoint(12, true);
    page->send("%N");
    connections.setBreakpoint(12, false);
    ASSERT_TRUE(page->waitForReplies(7));
    EXPECT_EQ(page->replies(), (std::vector<std::string>{"%N5&0", "%N5&22", "%N5&1", "%N5&23",
                                                         "%N5", "%B5&12&1", "%B5&12&2"}));
}

TEST_F(RuntimeConnectionsTest, NewestConnectionIsCurrentAndSwitchesReachTheSavedOne) {
    auto first = startPage("1");
    ASSERT_TRUE(waitForLog(3));
    auto second = startPage("2");
    ASSERT_TRUE(waitForLog(5));
    EXPECT_EQ(connections.curFileIdStr(), "2");
    EXPECT_EQ(connections.savedConnectionCount(), 2u);

    connections.switchFile(1);
    ASSERT_TRUE(first->waitForReplies(1));
    EXPECT_EQ(first->replies(), std::vector<std::string>{"%S1"});
    first->send("%S1&4&2&1&2&5");
    ASSERT_TRUE(waitForLog(6));
    EXPECT_EQ(events.log.back(), "switch:1") << "the position the page reports is taken";
    // The request waits in page 2: a Step shows it again and goes on there.
    connections.resume(0);
    ASSERT_TRUE(second->waitForReplies(2));
    EXPECT_EQ(second->replies(), (std::vector<std::string>{"%S2", "%N2&0"}));
    EXPECT_EQ(first->replies().size(), 1u) << "nothing reaches the page that does not run";

    connections.switchFile(9);
    ASSERT_TRUE(second->waitForReplies(3));
    EXPECT_EQ(second->replies().back(), "%S9")
        << "an unknown id goes to the connection that was current";
}

// Connections whose receiver tells the answer to the user's switch from other switches.
class RuntimeConnectionsSwitchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(connections.listen(0, nullptr)); }
    bool waitForLog(std::size_t n) {
        return QTest::qWaitFor([&] { return events.log.size() >= n; }, 3000);
    }

    struct AnswerLog : EventLog {
        void switchAnswered(const Record& r) override {
            log.push_back("answered:" + r->getFileIdStr().value_or("?"));
        }
    } events;
    RuntimeConnections connections{events};
};

// The "%S" record that answers the user's switch is told apart from one the page sends when
// it comes back to a file by itself: only the second is a new stop.
TEST_F(RuntimeConnectionsSwitchTest, TheAnswerToASwitchIsToldApartFromAPageThatComesBack) {
    // Page 1 runs into its include, page 2, which waits for the user.
    FakeRuntime first(connections.listeningPort());
    first.send("%F1&/p/1.jsp&/w/1.java");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    ASSERT_TRUE(first.waitForReplies(1));
    FakeRuntime second(connections.listeningPort());
    second.send("%F2&/p/2.jsp&/w/2.java");
    ASSERT_TRUE(waitForLog(5));

    // The user looks at page 1.
    connections.switchFile(1);
    ASSERT_TRUE(first.waitForReplies(2));
    first.send("%S1&4&2&1&2&5");
    ASSERT_TRUE(waitForLog(6));
    EXPECT_EQ(events.log.back(), "answered:1");

    // A Step shows page 2 again, which answers where it waits, and goes on there.
    connections.resume(0);
    ASSERT_TRUE(second.waitForReplies(2));
    EXPECT_EQ(second.replies(), (std::vector<std::string>{"%S2", "%N2&0"}));
    second.send("%S2&9&4&1&4&5");
    ASSERT_TRUE(waitForLog(7));
    EXPECT_EQ(events.log.back(), "answered:2");

    // Page 2 ends; page 1 comes back to its own file by itself.
    second.send("%E");
    ASSERT_TRUE(second.waitForClose());
    first.send("%S1&7&3&1&3&5");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.log.back() == "switch:1"; }, 3000));
    EXPECT_EQ(first.replies().size(), 2u);
}

// The user switches while the page's next record is on its way: that record is where the
// page stops, and the "%S" after it is still the answer to the switch.
TEST_F(RuntimeConnectionsSwitchTest, ASwitchAskedBehindARecordInFlightIsStillAnswered) {
    FakeRuntime page(connections.listeningPort());
    page.send("%F1&/p/1.jsp&/w/1.java");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    connections.switchFile(1);
    ASSERT_TRUE(page.waitForReplies(2));
    EXPECT_EQ(page.replies(), (std::vector<std::string>{"%N1&0", "%S1"}));
    // The page had stepped before it read the switch.
    page.send("%L1&7&2&1&2&5");
    page.send("%S1&7&2&1&2&5");
    ASSERT_TRUE(waitForLog(5));
    EXPECT_EQ(std::vector<std::string>(events.log.end() - 2, events.log.end()),
              (std::vector<std::string>{"highlight:1:7", "answered:1"}));
}

TEST_F(RuntimeConnectionsTest, AnIncludingPageAnswersAfterTheIncludedOneEnds) {
    auto outer = startPage("1");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    ASSERT_TRUE(outer->waitForReplies(1));
    auto inner = startPage("2");
    ASSERT_TRUE(waitForLog(5));
    connections.resume(0);
    inner->send("%E");
    ASSERT_TRUE(inner->waitForClose());
    outer->send("%S1&3&2&1&2&20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.log.back() == "switch:1"; }, 3000));
    connections.resume(0);
    ASSERT_TRUE(outer->waitForReplies(2));
    EXPECT_EQ(outer->replies().back(), "%N1&0");
}

TEST_F(RuntimeConnectionsTest, TerminateAndExitSayGoodbyeToEachConnection) {
    auto first = startPage("1");
    ASSERT_TRUE(waitForLog(3));
    auto second = startPage("2");
    ASSERT_TRUE(waitForLog(5));
    connections.terminate();
    ASSERT_TRUE(second->waitForClose());
    EXPECT_EQ(second->replies(), std::vector<std::string>{"%T"});
    EXPECT_EQ(Log(events.log.end() - 2, events.log.end()), (Log{"highlight:none", "exit:8"}));
    connections.cleanAllClientSocket();
    ASSERT_TRUE(first->waitForClose());
    EXPECT_EQ(first->replies(), std::vector<std::string>{"%T"});
    EXPECT_EQ(connections.openConnectionCount(), 0u);
    testing::internal::CaptureStdout();
    connections.resume(0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(events.log.back(), "exit:8") << "a resume without a connection ends the page";
    EXPECT_NE(out.find("Error: Cannot talk to server."), std::string::npos);
    EXPECT_NE(out.find("Error: Cannot talk to client."), std::string::npos);
}

TEST_F(RuntimeConnectionsTest, ARecordSplitOverManyWritesIsReadWhole) {
    FakeRuntime page(port);
    const std::string wire = PageRuntimeRecords::framed("%F5&/p/a.jsp&/w/a.java");
    // Each byte is read before the next is sent.
    for (std::size_t sent = 1; sent <= wire.size(); ++sent) {
        page.sendRaw(wire.substr(sent - 1, 1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return connections.bytesReceived() >= sent; }, 3000));
    }
    ASSERT_TRUE(waitForLog(3));
    EXPECT_EQ(events.log[1], "startup:5");
}

TEST_F(RuntimeConnectionsTest, RecordsWaitForTheirReadPoint) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    const std::uint64_t before = connections.bytesReceived();
    const std::string record = PageRuntimeRecords::framed("%L5&7&1&1&1&2");
    page->sendRaw(record);
    ASSERT_TRUE(readThrough(before + record.size()));
    EXPECT_EQ(events.log.size(), 3u) << "nothing is dispatched without a read point";
    connections.resume(0);
    ASSERT_TRUE(waitForLog(4));
    EXPECT_EQ(events.log.back(), "highlight:5:7");
}

TEST_F(RuntimeConnectionsTest, EveryReplyOwesOneRecordEvenWhenRepliesComeQuickly) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    connections.setBreakpoint(8, true);
    connections.resume(1);
    ASSERT_TRUE(page->waitForReplies(2));
    page->send("%N");
    page->send("%L5&7&1&1&1&2");
    ASSERT_TRUE(waitForLog(4)) << "the record that answers the resume is read too";
    EXPECT_EQ(events.log.back(), "highlight:5:7");
    const std::uint64_t before = connections.bytesReceived();
    const std::string record = PageRuntimeRecords::framed("%L5&9&1&1&1&2");
    page->sendRaw(record);
    ASSERT_TRUE(readThrough(before + record.size()));
    EXPECT_EQ(events.log.size(), 4u) << "and nothing more than was owed";
}

TEST_F(RuntimeConnectionsTest, APeerThatClosesMidRecordEndsThePage) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    page->sendRaw("%L5&7&1");
    page->socket.disconnectFromHost();
    ASSERT_TRUE(waitForLog(4));
    EXPECT_EQ(events.log.back(), "exit:8");
    EXPECT_EQ(connections.openConnectionCount(), 0u);
}

TEST_F(RuntimeConnectionsTest, AnOversizedRecordIsRefusedAndMemoryStaysBounded) {
    auto page = startPage("5");
    ASSERT_TRUE(waitForLog(3));
    connections.resume(0);
    const std::string chunk(1 << 20, 'x');
    page->sendRaw("%H5&");
    for (int i = 0; i < 100 && page->socket.state() == QAbstractSocket::ConnectedState; ++i) {
        page->sendRaw(chunk);
        page->socket.waitForBytesWritten(1000);
        QCoreApplication::processEvents(); // the socket sees the monitor close it
    }
    ASSERT_TRUE(page->waitForClose());
    EXPECT_EQ(events.log.back(), "exit:8");
    EXPECT_EQ(connections.openConnectionCount(), 0u);
    auto next = startPage("6");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.log.back() == "raise"; }, 3000))
        << "the monitor goes on";
}

TEST_F(RuntimeConnectionsTest, ManyShortConnectionsLeaveTheMonitorAnswering) {
    for (int i = 0; i < 200; ++i) {
        FakeRuntime probe(port);
        ASSERT_TRUE(probe.connected);
        if (i % 2 == 0) {
            probe.send("%F" + std::to_string(i) + "& & ");
            ASSERT_TRUE(probe.waitForClose());
        }
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return connections.openConnectionCount() == 0; }, 3000));
    auto page = startPage("5");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.log.back() == "raise"; }, 3000));
    connections.resume(0);
    ASSERT_TRUE(page->waitForReplies(1));
}

TEST_F(RuntimeConnectionsTest, OnlyTheLoopbackAddressIsListenedOn) {
    FakeRuntime local(port);
    EXPECT_TRUE(local.connected);
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        FakeRuntime outside(port, address);
        EXPECT_FALSE(outside.connected) << address.toString().toStdString();
    }
}

TEST_F(RuntimeConnectionsTest, APortInUseIsReported) {
    EventLog other;
    RuntimeConnections second(other);
    std::string error;
    EXPECT_FALSE(second.listen(port, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(second.listen(70000, &error));
}

} // namespace

namespace {

// A receiver that lets the connection answer ahead as the test says, and writes passed
// records down apart from the ones it was asked to show.
struct AheadLog : EventLog {
    std::optional<AheadAnswer> answerAhead() const override { return ahead; }
    void passed(const Record& r) override {
        log.push_back("passed:" + std::to_string(r->getInfoType()) + ":" +
                      std::to_string(r->getJavaLine()));
    }
    bool passedMayGoTogether() const override { return mayMerge; }
    // With takeTogether, what is handed over together is written down as "together:" and
    // how many records, then each record.
    void passedTogether(std::vector<Record> records) override {
        if (!takeTogether)
            return EventLog::passedTogether(std::move(records));
        log.push_back("together:" + std::to_string(records.size()));
        for (const Record& r : records)
            passed(r);
    }
    std::optional<AheadAnswer> ahead;
    bool mayMerge = false;
    bool takeTogether = false;
};

class AheadConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(connections.listen(0, nullptr)); }
    bool waitForLog(std::size_t n) {
        return QTest::qWaitFor([&] { return events.log.size() >= n; }, 5000);
    }
    // The page starts, and the monitor sets it running with positions answered ahead.
    void startRunningAhead(FakeRuntime& page) {
        page.send("%F5&/p/5.jsp&/w/5.java");
        ASSERT_TRUE(waitForLog(3));
        events.log.clear();
        events.ahead = RuntimeConnectionEvents::AheadAnswer{1, true};
        connections.resume(1);
    }

    // A page runs ahead, sends wire in one write and is seen to end.
    void runAheadToTheEnd(const std::string& wire) {
        aheadPage = std::make_unique<FakeRuntime>(connections.listeningPort());
        ASSERT_NO_FATAL_FAILURE(startRunningAhead(*aheadPage));
        ASSERT_TRUE(aheadPage->waitForReplies(1));
        aheadPage->sendRaw(wire);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !events.log.empty() && events.log.back() == "exit:8"; }, 10000));
    }

    using Log = std::vector<std::string>;

    std::unique_ptr<FakeRuntime> aheadPage;
    AheadLog events;
    RuntimeConnections connections{events};
};

TEST_F(AheadConnectionsTest, AFastRunIsAnsweredAsItArrivesAndShownInOrder) {
    FakeRuntime page(connections.listeningPort());
    ASSERT_NO_FATAL_FAILURE(startRunningAhead(page));
    ASSERT_TRUE(page.waitForReplies(1));

    // Each record is answered without the monitor's turn; the page sends the next at once.
    for (int line = 10; line < 15; ++line) {
        page.send("%L5&" + std::to_string(line) + "&1&1&1&2");
        ASSERT_TRUE(page.waitForReplies(static_cast<std::size_t>(line - 8))) << line;
    }
    page.send("%H5&<p>x</p>");
    ASSERT_TRUE(page.waitForReplies(7));
    page.send("%E");
    ASSERT_TRUE(waitForLog(7));
    EXPECT_EQ(events.log, (Log{"passed:2:10", "passed:2:11", "passed:2:12", "passed:2:13",
                               "passed:2:14", "passed:3:0", "exit:8"}));
    ASSERT_TRUE(page.waitForClose());
    std::vector<std::string> replies = page.replies();
    ASSERT_EQ(replies.size(), 8u);
    EXPECT_EQ(replies.back(), "%T");
    replies.pop_back();
    EXPECT_EQ(replies, std::vector<std::string>(7, "%N5&1")) << "one reply per record";
}

TEST_F(AheadConnectionsTest, PositionsWaitForTheMonitorOnceTheRunStopsGoingAhead) {
    FakeRuntime page(connections.listeningPort());
    ASSERT_NO_FATAL_FAILURE(startRunningAhead(page));
    page.send("%L5&10&1&1&1&2");
    ASSERT_TRUE(page.waitForReplies(2));

    // A pause or a breakpoint: the receiver now answers only output ahead, with STEP.
    events.ahead = RuntimeConnectionEvents::AheadAnswer{0, false};
    connections.updateAnswerAhead();
    page.send("%H5&<b>");
    ASSERT_TRUE(page.waitForReplies(3));
    EXPECT_EQ(page.replies().back(), "%N5&0");
    page.send("%L5&11&1&1&1&2");
    ASSERT_TRUE(waitForLog(3));
    EXPECT_EQ(events.log, (Log{"passed:2:10", "passed:3:0", "highlight:5:11"}));
    EXPECT_EQ(page.replies().size(), 3u) << "the position waits for the user's command";
    connections.resume(0);
    ASSERT_TRUE(page.waitForReplies(4));
    EXPECT_EQ(page.replies().back(), "%N5&0");

    // Going ahead again: the next position is answered at once once more.
    events.ahead = RuntimeConnectionEvents::AheadAnswer{1, true};
    connections.resume(1);
    ASSERT_TRUE(page.waitForReplies(5));
    page.send("%L5&12&1&1&1&2");
    ASSERT_TRUE(page.waitForReplies(6));
    EXPECT_EQ(page.replies().back(), "%N5&1");
    ASSERT_TRUE(waitForLog(4));
    EXPECT_EQ(events.log.back(), "passed:2:12");
}

// Passes of three positions and an output each, all in one write, then the end: what the
// page sends, and the log of a receiver that shows every record passed.
struct PassesInOneWrite {
    explicit PassesInOneWrite(int passes) {
        for (int pass = 0; pass < passes; ++pass) {
            for (int k = 0; k < 3; ++k) {
                const std::string line = std::to_string(10 + pass * 3 + k);
                wire += PageRuntimeRecords::framed("%L5&" + line + "&1&1&1&2");
                everyRecord.push_back("passed:2:" + line);
            }
            wire += PageRuntimeRecords::framed("%H5&<i>");
            everyRecord.push_back("passed:3:0");
        }
        wire += PageRuntimeRecords::framed("%E");
        everyRecord.push_back("exit:8");
    }
    std::string wire;
    std::vector<std::string> everyRecord;
};

bool isPosition(const std::string& entry) {
    return entry.starts_with("passed:2:");
}

TEST_F(AheadConnectionsTest, PositionsPassedTogetherMergeOnlyIntoTheNextPosition) {
    events.mayMerge = true;
    const PassesInOneWrite passes(300);
    ASSERT_NO_FATAL_FAILURE(runAheadToTheEnd(passes.wire));

    // How the records fall into the monitor's takes varies; whatever it is, the log is every
    // record in order, less positions that another position followed at once. So each
    // output still comes after the position that wrote it, and the last position shows.
    const std::vector<std::string>& all = passes.everyRecord;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (shown < events.log.size() && events.log[shown] == all[i]) {
            ++shown;
            continue;
        }
        ASSERT_TRUE(isPosition(all[i]) && i + 1 < all.size() && isPosition(all[i + 1]))
            << all[i] << " is missing though no position followed it";
    }
    EXPECT_EQ(shown, events.log.size()) << "nothing but the records sent, in their order";
}

TEST_F(AheadConnectionsTest, RecordsPassedTogetherAreHandedOverTogetherInOrder) {
    events.mayMerge = true;
    events.takeTogether = true;
    const PassesInOneWrite passes(300);
    ASSERT_NO_FATAL_FAILURE(runAheadToTheEnd(passes.wire));

    // However the records fall into takes: every record once, in order, and the end alone.
    Log records;
    std::size_t together = 0;
    for (const std::string& entry : events.log) {
        if (entry.starts_with("together:"))
            ++together;
        else
            records.push_back(entry);
    }
    EXPECT_EQ(records, passes.everyRecord);
    EXPECT_GT(together, 0u) << "1,200 records in one write come in fewer takes";
    for (std::size_t i = 0; i < events.log.size(); ++i) {
        if (!events.log[i].starts_with("together:"))
            continue;
        const std::size_t n = std::stoul(events.log[i].substr(9));
        EXPECT_GE(n, 2u);
        ASSERT_LT(i + n, events.log.size() - 1) << "the page's end is never among them";
    }
}

TEST_F(AheadConnectionsTest, PositionsPassedTogetherAllShowWhereTheReceiverWantsEach) {
    const PassesInOneWrite passes(300);
    ASSERT_NO_FATAL_FAILURE(runAheadToTheEnd(passes.wire));
    EXPECT_EQ(events.log, passes.everyRecord);
}

} // namespace

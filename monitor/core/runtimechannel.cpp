#include "core/runtimechannel.h"

#include "tracehook/jspsourceinfo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;

constexpr std::size_t kReadChunk = 64 * 1024;

std::string endpoint(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    }
    return text;
}

int port(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

void signal(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
}

} // namespace

RuntimeChannel::RuntimeChannel(int socket, std::size_t maxRecordBytes, std::function<void()> notify,
                               bool keepText)
    : socket_(socket), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      notify_(std::move(notify)), keepText_(keepText),
      framer_(std::string(JspSourceInfo::infoEndingToken), maxRecordBytes) {
    // The thread blocks in recv; replies go out without blocking (see send).
    const int flags = ::fcntl(socket_, F_GETFL);
    if (flags >= 0)
        ::fcntl(socket_, F_SETFL, flags & ~O_NONBLOCK);
    reader_ = std::thread([this] { readLoop(); });
}

RuntimeChannel::~RuntimeChannel() {
    close(std::nullopt);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

std::deque<RuntimeChannel::Incoming> RuntimeChannel::take(bool* comesBack) {
    std::lock_guard lock(mutex_);
    std::deque<Incoming> items = std::exchange(inbox_, {});
    inboxBytes_ = 0;
    // Positions passed ahead, and no record waiting for the monitor at the end: the run goes
    // on by itself, and the taker comes back by itself for what follows.
    pacing_ =
        !items.empty() && items.back().answered && std::any_of(items.begin(), items.end(), isPaced);
    notified_ = pacing_;
    promptlyNotified_ = false;
    if (comesBack)
        *comesBack = pacing_;
    return items;
}

std::size_t RuntimeChannel::waitingCount() const {
    std::lock_guard lock(mutex_);
    return inbox_.size();
}

bool RuntimeChannel::write(std::string_view reply) {
    {
        std::lock_guard lock(mutex_);
        if (closed_ || eof_ || writeFailed_)
            return false;
    }
    return sendLine(reply);
}

void RuntimeChannel::expectRecord() {
    std::lock_guard lock(mutex_);
    ++owed_;
    if (parked_)
        signal(wakeFd_);
}

void RuntimeChannel::expectNothing() {
    std::lock_guard lock(mutex_);
    owed_ = 0;
}

void RuntimeChannel::answerAhead(std::optional<AheadReplies> replies) {
    std::lock_guard lock(mutex_);
    ahead_ = std::move(replies);
    aheadLine_ = ahead_ ? ahead_->reply + '\n' : std::string();
}

std::uint64_t RuntimeChannel::bytesReceived() const {
    std::lock_guard lock(mutex_);
    return receivedTaken_;
}

bool RuntimeChannel::peerClosed() const {
    std::lock_guard lock(mutex_);
    return eof_ || writeFailed_;
}

void RuntimeChannel::close(std::optional<std::string_view> lastLine) {
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        closed_ = true;
    }
    // A runtime that closed its sending side may still wait for the goodbye.
    if (lastLine && !writeFailed_)
        sendLine(*lastLine);
    // Wakes the thread wherever it waits: in recv, in a bounded send, or parked.
    ::shutdown(socket_, SHUT_RDWR);
    signal(wakeFd_);
    if (reader_.joinable())
        reader_.join();
    ::close(socket_);
}

std::string RuntimeChannel::describe() const {
    sockaddr_storage peer{};
    sockaddr_storage local{};
    socklen_t peerSize = sizeof peer;
    socklen_t localSize = sizeof local;
    ::getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &peerSize);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &localSize);
    return "Socket[addr=/" + endpoint(peer) + ",port=" + std::to_string(port(peer)) +
           ",localport=" + std::to_string(port(local)) + "]";
}

bool RuntimeChannel::sendLine(std::string_view reply) {
    std::string line(reply);
    line += '\n';
    return send(line);
}

bool RuntimeChannel::send(std::string_view bytes) {
    std::lock_guard lock(writeMutex_);
    // A runtime that stops reading must not stall the monitor: the wait for room in the
    // socket is bounded, and a reply cut short ends the conversation.
    while (!bytes.empty()) {
        const ssize_t n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd room{socket_, POLLOUT, 0};
            if (::poll(&room, 1, kWriteTimeoutMs) > 0 && !(room.revents & (POLLERR | POLLHUP)))
                continue;
        }
        writeFailed_ = true;
        return false;
    }
    return true;
}

bool RuntimeChannel::isPaced(const Incoming& item) {
    if (!item.answered)
        return false;
    return !item.record || item.record->getInfoType() == JspSourceInfo::LINE_INFO;
}

std::size_t RuntimeChannel::bytesOf(const Incoming& item) {
    std::size_t bytes = item.text.size();
    if (item.record && item.record->getHtmlString())
        bytes += item.record->getHtmlString()->size();
    return bytes;
}

bool RuntimeChannel::answersAhead(const Incoming& item) const {
    if (!ahead_)
        return false;
    // The page may not run further ahead of what the monitor has taken than this: memory
    // stays bounded, and a pause stops the page near what is on show.
    if (inbox_.size() >= kAheadBacklogRecords || inboxBytes_ >= kAheadBacklogBytes)
        return false;
    if (!item.record)
        return item.text.starts_with(JspSourceInfo::variablesToken);
    switch (item.record->getInfoType()) {
    case JspSourceInfo::HTML_INFO:
        return true;
    case JspSourceInfo::LINE_INFO:
        return ahead_->lines;
    default:
        return false;
    }
}

void RuntimeChannel::takeOwedRecords(std::unique_lock<std::mutex>& lock) {
    while (owed_ > 0 && !closed_) {
        // Read in place: a record's text is copied only where it is kept.
        const std::optional<std::string_view> text = framer_.nextView();
        if (!text)
            return;
        --owed_;
        Incoming item;
        const bool first = !taken_;
        taken_ = true;
        if (first || !text->starts_with(JspSourceInfo::variablesToken)) {
            if (std::optional<JspSourceInfo> parsed = tracehook::infoStrParser(*text))
                item.record = std::make_shared<const JspSourceInfo>(std::move(*parsed));
        }
        // A record may be megabytes: its text goes only where it is read.
        if (!item.record || keepText_)
            item.text = std::string(*text);
        if (first || !answersAhead(item) || writeFailed_) {
            queue(std::move(item));
            continue;
        }
        // The record is handed over before the page hears its reply, so that whoever sees
        // the page move on finds the record already on its way to the monitor.
        item.answered = true;
        queue(std::move(item));
        // The reply goes out without the lock: the monitor takes what came meanwhile
        // instead of waiting for the write.
        const std::string line = aheadLine_;
        lock.unlock();
        send(line);
        lock.lock();
        // The next record is owed even when the reply could not be written: a runtime that
        // cannot be written to is then reported gone where the page waits, as one that
        // closes there.
        ++owed_;
    }
}

void RuntimeChannel::queue(Incoming item) {
    // While the taker comes back by itself, only a record that waits for the monitor is
    // announced; otherwise output answered ahead is announced at once, positions once.
    const bool prompt = !item.answered || (!pacing_ && !isPaced(item));
    inboxBytes_ += bytesOf(item);
    inbox_.push_back(std::move(item));
    // notify only posts to the monitor's thread, which never waits for this thread while
    // it holds anything notify takes: it may run under the lock.
    if (prompt ? promptlyNotified_ : notified_)
        return;
    notified_ = true;
    promptlyNotified_ = promptlyNotified_ || prompt;
    if (notify_)
        notify_();
}

void RuntimeChannel::readLoop() {
    std::array<char, kReadChunk> buffer;
    std::unique_lock lock(mutex_);
    while (!closed_) {
        takeOwedRecords(lock);
        receivedTaken_ = received_;
        if (framer_.overflowed() && !overflowReported_) {
            overflowReported_ = true;
            queue(Incoming::of(Incoming::Kind::Overflowed));
        }
        if ((eof_ || writeFailed_) && owed_ > 0 && !closedAtReadPointReported_) {
            closedAtReadPointReported_ = true;
            Incoming end = Incoming::of(Incoming::Kind::PeerClosed);
            end.atReadPoint = true;
            queue(std::move(end));
        }
        // Nothing to read for: wait for a reply (a record may be owed again) or the close.
        // Still watch the socket while a reply is awaited, so that a runtime that goes away
        // meanwhile is seen.
        const bool stopped = eof_ || writeFailed_ || framer_.overflowed();
        const bool waitForReply = owed_ == 0 || stopped;
        parked_ = waitForReply;
        lock.unlock();
        ssize_t n = 0;
        bool readable = !waitForReply;
        if (waitForReply) {
            std::array<pollfd, 2> fds{pollfd{wakeFd_, POLLIN, 0}, pollfd{socket_, POLLIN, 0}};
            const int ready = ::poll(fds.data(), stopped ? 1 : 2, -1);
            if (ready > 0 && (fds[0].revents & POLLIN)) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
            }
            readable = !stopped && ready > 0 && fds[1].revents != 0;
        }
        if (readable)
            n = ::recv(socket_, buffer.data(), buffer.size(), waitForReply ? MSG_DONTWAIT : 0);
        const int error = errno;
        lock.lock();
        parked_ = false;
        if (!readable || closed_)
            continue;
        if (n > 0) {
            framer_.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            received_ += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && (error == EINTR || error == EAGAIN || error == EWOULDBLOCK))
            continue;
        // Closed by the runtime, or reset.
        eof_ = true;
        if (owed_ == 0) {
            Incoming closed = Incoming::of(Incoming::Kind::PeerClosed);
            queue(std::move(closed));
        }
    }
}

} // namespace tracewin

#pragma once

#include "pagerunner/pagerunner.h"
#include "tracehook/recordframer.h"

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

using namespace std::chrono_literals;

// One connection a page runtime opened to the fake monitor: reads records cut at the
// record terminator and writes reply lines, as the monitor does.
class FakeConnection {
public:
    explicit FakeConnection(int fd) : fd_(fd), records_("%%%END%%%") {}
    ~FakeConnection() { close(); }
    FakeConnection(const FakeConnection&) = delete;
    FakeConnection& operator=(const FakeConnection&) = delete;

    // The next record without its terminator; nullopt at end of stream or on timeout.
    std::optional<std::string> record(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (auto r = records_.next())
                return r;
            if (!fill(deadline))
                return std::nullopt;
        }
    }
    // True when the peer closes its side before another record arrives.
    bool closedByPeer(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (records_.next())
                return false;
            if (!fill(deadline))
                return eof_;
        }
    }
    // Nothing arrives within the wait.
    bool quietFor(std::chrono::milliseconds wait) {
        pollfd p{fd_, POLLIN, 0};
        return records_.pendingBytes() == 0 && ::poll(&p, 1, static_cast<int>(wait.count())) == 0;
    }
    void reply(const std::string& line, const std::string& lineEnd = "\n") { raw(line + lineEnd); }
    void raw(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // Number of read calls that returned data: one per record when each is one write.
    int reads() const { return reads_; }

private:
    bool fill(std::chrono::steady_clock::time_point deadline) {
        if (fd_ < 0 || eof_)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buf[65536];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        ++reads_;
        records_.append(std::string_view(buf, static_cast<std::size_t>(n)));
        return true;
    }

    int fd_;
    bool eof_ = false;
    int reads_ = 0;
    tracehook::RecordFramer records_;
};

// A loopback listener on a free port, standing in for the monitor.
class FakeMonitor {
public:
    // Listens on the given port, or on a free one; or only holds the port, refusing every
    // connection, until listen() (a monitor that starts late).
    explicit FakeMonitor(int port = 0, bool listening = true) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            (listening && ::listen(fd_, 8) != 0))
            throw std::runtime_error("cannot listen on the loopback address");
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~FakeMonitor() { ::close(fd_); }
    FakeMonitor(const FakeMonitor&) = delete;
    FakeMonitor& operator=(const FakeMonitor&) = delete;

    int port() const { return port_; }
    void listen() {
        if (::listen(fd_, 8) != 0)
            throw std::runtime_error("cannot listen on the loopback address");
    }

    std::unique_ptr<FakeConnection> accept(std::chrono::milliseconds timeout = 10s) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return nullptr;
        int c = ::accept(fd_, nullptr, nullptr);
        return c < 0 ? nullptr : std::make_unique<FakeConnection>(c);
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A PageRunner on a background thread.
class BackgroundRun {
public:
    explicit BackgroundRun(pagerunner::PageRunnerOptions options)
        : runner_(std::move(options)), thread_([this] { rc_ = runner_.run(); }) {}
    ~BackgroundRun() {
        if (thread_.joinable()) {
            runner_.stop();
            thread_.join();
        }
    }
    int join() {
        thread_.join();
        return rc_;
    }
    pagerunner::PageRunner& runner() { return runner_; }

private:
    pagerunner::PageRunner runner_;
    int rc_ = -1;
    std::thread thread_;
};

} // namespace testsupport

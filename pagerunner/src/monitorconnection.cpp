#include "pagerunner/monitorconnection.h"

#include "pagerunner/stopsignal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pagerunner {
namespace {

// Replies are a few bytes; a line this long is not a reply.
constexpr std::size_t maxReplyBytes = 64 * 1024;

std::string errnoText(int err) {
    return std::strerror(err);
}

} // namespace

MonitorConnection::MonitorConnection(int port, StopSignal& stop)
    : stop_(stop), lines_("\n", maxReplyBytes) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw ConnectionError(ConnectionError::Kind::ConnectFailed,
                              "cannot create a socket: " + errnoText(errno));
    if (!stop_.add(fd_)) {
        ::close(fd_);
        throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int err = errno;
        stop_.remove(fd_);
        ::close(fd_);
        fd_ = -1;
        if (stop_.stopped())
            throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
        throw ConnectionError(ConnectionError::Kind::ConnectFailed,
                              "cannot connect to the monitor on " + where + ": " + errnoText(err));
    }
    // Each record goes out in one write and the page then waits for the reply: with
    // Nagle's algorithm on, every round trip would stall on the delayed acknowledgement.
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

MonitorConnection::~MonitorConnection() {
    if (fd_ >= 0) {
        stop_.remove(fd_);
        ::close(fd_);
    }
}

void MonitorConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            if (stop_.stopped())
                throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
            throw ConnectionError(ConnectionError::Kind::Lost,
                                  "cannot send to the monitor: " + errnoText(err));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool MonitorConnection::fill() {
    char buffer[4096];
    while (true) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            lines_.append(std::string_view(buffer, static_cast<std::size_t>(n)));
            if (lines_.overflowed())
                throw ConnectionError(ConnectionError::Kind::Garbage,
                                      "the monitor sent a line of more than " +
                                          std::to_string(maxReplyBytes) + " bytes");
            return true;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        const int err = errno;
        if (stop_.stopped())
            throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
        throw ConnectionError(ConnectionError::Kind::Lost,
                              "cannot read from the monitor: " + errnoText(err));
    }
}

std::string MonitorConnection::readLine() {
    while (true) {
        if (std::optional<std::string> line = lines_.next()) {
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return std::move(*line);
        }
        if (!fill()) {
            if (stop_.stopped())
                throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
            throw ConnectionError(ConnectionError::Kind::Lost, "the monitor closed the connection");
        }
    }
}

std::optional<std::string> MonitorConnection::pollLine(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
        if (std::optional<std::string> line = lines_.next()) {
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return std::nullopt;
        try {
            if (!fill())
                return std::nullopt;
        } catch (const ConnectionError& e) {
            if (e.kind() == ConnectionError::Kind::Lost)
                return std::nullopt;
            throw;
        }
    }
}

bool MonitorConnection::noDelay() const {
    int value = 0;
    socklen_t length = sizeof value;
    return ::getsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, &length) == 0 && value != 0;
}

void MonitorConnection::shutdownSend() {
    ::shutdown(fd_, SHUT_WR);
}

} // namespace pagerunner

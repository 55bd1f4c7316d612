#include "jdwp/error.h"
#include "jdwp/transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace jdwp {

namespace {

// Milliseconds from now to the deadline for poll(), never negative.
int pollTimeout(Deadline deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    return left.count() > 1'000'000 ? 1'000'000 : static_cast<int>(left.count());
}

// Waits until the descriptor is ready for the events or the deadline passes.
bool waitFor(int fd, short events, Deadline deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, pollTimeout(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0) {
            if (Clock::now() >= deadline) {
                return false;
            }
            continue;
        }
        if (errno != EINTR) {
            throw DisconnectedError(std::string("poll failed: ") + std::strerror(errno));
        }
    }
}

bool isLoopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_LOOPBACK(&in6.sin6_addr)) {
            return true;
        }
        // An IPv4 loopback address mapped into IPv6.
        return IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr) && in6.sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// Tries one resolved address; the connected descriptor, or -1 with the reason in `why`.
int connectOne(const addrinfo& ai, Deadline deadline, std::string& why) {
    const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            ai.ai_protocol);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            why = std::strerror(errno);
            ::close(fd);
            return -1;
        }
        if (!waitFor(fd, POLLOUT, deadline)) {
            why = "timed out";
            ::close(fd);
            return -1;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            why = std::strerror(err);
            ::close(fd);
            return -1;
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

std::unique_ptr<SocketTransport> SocketTransport::connect(const std::string& host, int port,
                                                          Timeout timeout) {
    const std::string peer = host + ":" + std::to_string(port);
    if (port <= 0 || port > 65535) {
        throw DisconnectedError("cannot connect to " + peer + ": not a port number");
    }
    const Deadline deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        throw DisconnectedError("cannot connect to " + peer + ": " + ::gai_strerror(rc));
    }
    std::string why = "no address";
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        const int fd = connectOne(*ai, deadline, why);
        if (fd >= 0) {
            sockaddr_storage address{};
            std::memcpy(&address, ai->ai_addr, ai->ai_addrlen);
            ::freeaddrinfo(found);
            return std::unique_ptr<SocketTransport>(
                new SocketTransport(fd, peer, isLoopback(address)));
        }
    }
    ::freeaddrinfo(found);
    throw DisconnectedError("cannot connect to " + peer + ": " + why);
}

SocketTransport::SocketTransport(int fd, std::string peerName, bool peerIsLoopback)
    : fd_(fd), peerName_(std::move(peerName)), peerIsLoopback_(peerIsLoopback) {}

SocketTransport::~SocketTransport() {
    close();
}

void SocketTransport::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void SocketTransport::write(std::span<const std::uint8_t> bytes, Deadline deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (fd_ < 0) {
            throw DisconnectedError("the connection to " + peerName_ + " is closed");
        }
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd_, POLLOUT, deadline)) {
                throw TimeoutError("the VM at " + peerName_ + " takes no more data");
            }
            continue;
        }
        throw DisconnectedError("the connection to " + peerName_ +
                                " broke: " + std::strerror(errno));
    }
}

std::optional<std::size_t> SocketTransport::read(std::span<std::uint8_t> into,
                                                 Deadline deadline) {
    // Poll first: a read usually follows a command just sent, whose reply is not there yet.
    for (;;) {
        if (fd_ < 0) {
            return 0;
        }
        if (!waitFor(fd_, POLLIN, deadline)) {
            return std::nullopt;
        }
        const ssize_t n = ::recv(fd_, into.data(), into.size(), 0);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
            continue;
        }
        throw DisconnectedError("the connection to " + peerName_ +
                                " broke: " + std::strerror(errno));
    }
}

} // namespace jdwp

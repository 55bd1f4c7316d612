#pragma once

#include "jdwp/types.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace jdwp {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// The byte stream under a connection. The seam lets framing, replies and events be tested
// with canned bytes cut at any offset, before a real VM is involved.
class Transport {
public:
    virtual ~Transport() = default;

    // Writes every byte, or throws DisconnectedError (the peer is gone) or TimeoutError
    // (it took nothing more before the deadline).
    virtual void write(std::span<const std::uint8_t> bytes, Deadline deadline) = 0;
    // Reads what has arrived, waiting until the deadline for at least one byte: the
    // number of bytes read, 0 at the end of the stream, nullopt when the deadline passed.
    // Throws DisconnectedError when the connection was reset.
    virtual std::optional<std::size_t> read(std::span<std::uint8_t> into, Deadline deadline) = 0;
    // A descriptor that polls readable when read() has something, or -1.
    virtual int pollHandle() const { return -1; }
    // Ends the connection; later writes throw DisconnectedError.
    virtual void close() = 0;
};

// A TCP connection, Nagle's algorithm off, that never raises SIGPIPE.
class SocketTransport final : public Transport {
public:
    // Connects to host:port (a name or a numeric address) within the timeout. Throws
    // DisconnectedError with the reason ("connection refused", "timed out", ...).
    static std::unique_ptr<SocketTransport> connect(const std::string& host, int port,
                                                    Timeout timeout);
    ~SocketTransport() override;
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    void write(std::span<const std::uint8_t> bytes, Deadline deadline) override;
    std::optional<std::size_t> read(std::span<std::uint8_t> into, Deadline deadline) override;
    int pollHandle() const override { return fd_; }
    void close() override;

    // Whether the peer's address is a loopback address (127.0.0.0/8 or ::1).
    bool peerIsLoopback() const { return peerIsLoopback_; }
    // "host:port" as given to connect().
    const std::string& peerName() const { return peerName_; }

private:
    SocketTransport(int fd, std::string peerName, bool peerIsLoopback);

    int fd_ = -1;
    std::string peerName_;
    bool peerIsLoopback_ = false;
};

} // namespace jdwp

#include "jdwp/connection.h"

#include "jdwp/error.h"

#include <array>
#include <cstring>

namespace jdwp {

namespace {

constexpr std::string_view HandshakeText = "JDWP-Handshake";
constexpr std::size_t ReadChunk = 64 * 1024;

std::span<const std::uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

} // namespace

Connection::Connection(std::unique_ptr<Transport> transport, std::size_t maxPacket)
    : transport_(std::move(transport)), framer_(maxPacket) {}

Connection::~Connection() {
    close();
}

void Connection::close() {
    if (!closed_) {
        transport_->close();
        markClosed("the connection was closed by this debugger");
        // A connection closed on purpose reports no disconnect event.
        closeReported_ = true;
    }
}

void Connection::markClosed(std::string reason) {
    if (!closed_) {
        closed_ = true;
        closeReason_ = std::move(reason);
    }
}

void Connection::throwClosed(const char* doing) const {
    throw DisconnectedError(std::string(doing) + ": " + closeReason_);
}

void Connection::handshake(Timeout timeout) {
    const Deadline deadline = Clock::now() + timeout;
    transport_->write(bytesOf(HandshakeText), deadline);
    std::array<std::uint8_t, HandshakeText.size()> answer{};
    std::size_t got = 0;
    while (got < answer.size()) {
        const auto n = transport_->read(std::span(answer).subspan(got), deadline);
        if (!n) {
            throw TimeoutError("no JDWP handshake within " + std::to_string(timeout.count()) +
                               " ms: the peer is not a JDWP agent, or it is busy");
        }
        if (*n == 0) {
            markClosed("the peer closed the connection during the handshake");
            throw DisconnectedError(
                "the peer closed the connection during the JDWP handshake: it is not a JDWP "
                "agent, or another debugger is attached");
        }
        // Answers that differ in their first bytes are told at once, not after a wait.
        if (std::memcmp(answer.data() + got, HandshakeText.data() + got, *n) != 0) {
            throw ProtocolError("the peer is not a JDWP agent: it answered the handshake "
                                "with something else");
        }
        got += *n;
    }
}

std::uint32_t Connection::takeId() {
    const std::uint32_t id = nextId_++;
    if (nextId_ == 0) {
        nextId_ = 1;
    }
    return id;
}

std::uint32_t Connection::send(const Command& command, std::span<const std::uint8_t> data) {
    if (closed_) {
        throwClosed(command.name);
    }
    const std::uint32_t id = takeId();
    const auto bytes = encodeCommand(id, command.commandSet, command.command, data);
    try {
        transport_->write(bytes, Clock::now() + commandTimeout_);
    } catch (const DisconnectedError& e) {
        markClosed(e.what());
        throwClosed(command.name);
    }
    awaited_.insert(id);
    return id;
}

std::vector<std::uint32_t> Connection::sendAll(std::span<const Outgoing> commands) {
    if (commands.empty()) {
        return {};
    }
    if (closed_) {
        throwClosed(commands.front().command.name);
    }
    std::vector<std::uint32_t> ids;
    ids.reserve(commands.size());
    std::vector<std::uint8_t> bytes;
    for (const Outgoing& c : commands) {
        const std::uint32_t id = takeId();
        const auto packet = encodeCommand(id, c.command.commandSet, c.command.command, c.data);
        bytes.insert(bytes.end(), packet.begin(), packet.end());
        ids.push_back(id);
    }
    try {
        transport_->write(bytes, Clock::now() + commandTimeout_);
    } catch (const DisconnectedError& e) {
        markClosed(e.what());
        throwClosed(commands.front().command.name);
    }
    awaited_.insert(ids.begin(), ids.end());
    return ids;
}

void Connection::abandon(std::uint32_t id) {
    awaited_.erase(id);
    replies_.erase(id);
}

std::vector<std::uint8_t> Connection::awaitReply(std::uint32_t id, const Command& command,
                                                 std::optional<Timeout> timeout) {
    const Timeout limit = timeout.value_or(commandTimeout_);
    const Deadline deadline = Clock::now() + limit;
    for (;;) {
        if (auto found = replies_.find(id); found != replies_.end()) {
            Packet reply = std::move(found->second);
            replies_.erase(found);
            if (reply.errorCode != error_code::None) {
                throw VmError(reply.errorCode, std::string(command.name) + " failed: " +
                                                   errorName(reply.errorCode));
            }
            return std::move(reply.data);
        }
        if (closed_) {
            awaited_.erase(id);
            throwClosed(command.name);
        }
        if (!pump(deadline)) {
            awaited_.erase(id);
            throw TimeoutError(std::string(command.name) + ": no reply within " +
                               std::to_string(limit.count()) + " ms");
        }
    }
}

std::vector<std::uint8_t> Connection::call(const Command& command,
                                           std::span<const std::uint8_t> data,
                                           std::optional<Timeout> timeout) {
    return awaitReply(send(command, data), command, timeout);
}

std::optional<EventSet> Connection::nextEvent(Timeout timeout) {
    const Deadline deadline = Clock::now() + timeout;
    for (;;) {
        if (!events_.empty()) {
            const Packet packet = std::move(events_.front());
            events_.pop_front();
            return decodeEventSet(packet, idSizes_);
        }
        if (closed_) {
            if (closeReported_) {
                throwClosed("waiting for an event");
            }
            closeReported_ = true;
            EventSet set;
            set.events.emplace_back(VmDisconnectedEvent{closeReason_});
            return set;
        }
        if (!pump(deadline)) {
            return std::nullopt;
        }
    }
}

bool Connection::pump(Deadline deadline) {
    std::array<std::uint8_t, ReadChunk> buffer;
    std::optional<std::size_t> n;
    try {
        n = transport_->read(buffer, deadline);
    } catch (const DisconnectedError& e) {
        markClosed(e.what());
        return true;
    }
    if (!n) {
        return false;
    }
    if (*n == 0) {
        markClosed(framer_.hasPartial() ? "the VM closed the connection inside a packet"
                                        : "the VM closed the connection");
        return true;
    }
    try {
        framer_.feed(std::span(buffer).first(*n));
    } catch (const ProtocolError& e) {
        // After a bad length nothing that follows can be framed again.
        transport_->close();
        markClosed(std::string("the VM sent an unreadable packet: ") + e.what());
    }
    while (auto packet = framer_.next()) {
        file(std::move(*packet));
    }
    return true;
}

void Connection::file(Packet&& packet) {
    if (packet.isReply()) {
        // A reply nobody waits for any more (its call timed out) is dropped.
        if (awaited_.erase(packet.id) != 0) {
            replies_.emplace(packet.id, std::move(packet));
        }
        return;
    }
    if (packet.commandSet == EventCommandSet) {
        events_.push_back(std::move(packet));
    }
    // The protocol defines no other command a VM sends; anything else is ignored.
}

} // namespace jdwp

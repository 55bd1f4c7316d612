#pragma once

#include "jdwp/events.h"
#include "jdwp/packet.h"
#include "jdwp/transport.h"
#include "jdwp/types.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace jdwp {

// A command's place in the protocol and its name for messages ("ThreadReference.Frames").
struct Command {
    std::uint8_t commandSet;
    std::uint8_t command;
    const char* name;
};

// One JDWP conversation over a transport: sends commands with fresh ids, matches replies
// to them by id, and keeps the event packets that arrive in between for nextEvent().
// Nothing waits forever: every wait has a deadline. When the transport ends, every
// waiting and later call throws DisconnectedError and nextEvent() reports a
// VmDisconnectedEvent once, after the events that came before it.
// A connection is used from one thread.
class Connection {
public:
    static constexpr Timeout DefaultCommandTimeout{10'000};

    explicit Connection(std::unique_ptr<Transport> transport,
                        std::size_t maxPacket = PacketFramer::DefaultMaxPacket);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends "JDWP-Handshake" and expects it back. Throws ProtocolError when the peer
    // answers something else, DisconnectedError or TimeoutError when it does not answer.
    void handshake(Timeout timeout);

    const IdSizes& idSizes() const { return idSizes_; }
    void setIdSizes(const IdSizes& sizes) { idSizes_ = sizes; }
    Timeout commandTimeout() const { return commandTimeout_; }
    void setCommandTimeout(Timeout timeout) { commandTimeout_ = timeout; }

    // Sends a command and returns its id; awaitReply() collects the reply. Several
    // commands may be in flight.
    std::uint32_t send(const Command& command, std::span<const std::uint8_t> data);
    // Sends several commands in one write, so that they reach the VM together; their ids,
    // in order.
    struct Outgoing {
        Command command;
        std::vector<std::uint8_t> data;
    };
    std::vector<std::uint32_t> sendAll(std::span<const Outgoing> commands);
    // The reply to a command sent is no longer wanted: it is dropped when it comes.
    void abandon(std::uint32_t id);
    // The reply's data. Throws VmError for an error code, TimeoutError when nothing came
    // within the timeout (the command timeout by default; the late reply is dropped),
    // DisconnectedError when the connection ended.
    std::vector<std::uint8_t> awaitReply(std::uint32_t id, const Command& command,
                                         std::optional<Timeout> timeout = {});
    std::vector<std::uint8_t> call(const Command& command, std::span<const std::uint8_t> data,
                                   std::optional<Timeout> timeout = {});

    // The next event set that arrived, waiting up to the timeout for one; nullopt when
    // none came. Throws ProtocolError for an event packet it cannot read (the next call
    // goes on with the following packets), and DisconnectedError once the end of the
    // connection has been reported.
    std::optional<EventSet> nextEvent(Timeout timeout);
    // Whether an event set, or the end of the connection, waits to be taken.
    bool hasPendingEvent() const { return !events_.empty() || (closed_ && !closeReported_); }
    // The transport's descriptor for poll() beside other inputs (-1 for none). Check
    // hasPendingEvent() first: what was already read does not make it readable.
    int pollHandle() const { return transport_->pollHandle(); }

    bool isOpen() const { return !closed_; }
    // Why the connection ended, once it has.
    const std::string& closeReason() const { return closeReason_; }
    // Ends the connection (no Dispose is sent; see VirtualMachineCommands::dispose).
    void close();

private:
    std::uint32_t takeId();
    // Reads once, waiting until the deadline; sorts what arrived. False on timeout.
    bool pump(Deadline deadline);
    void file(Packet&& packet);
    void markClosed(std::string reason);
    [[noreturn]] void throwClosed(const char* doing) const;

    std::unique_ptr<Transport> transport_;
    PacketFramer framer_;
    IdSizes idSizes_;
    Timeout commandTimeout_ = DefaultCommandTimeout;
    std::uint32_t nextId_ = 1;
    std::set<std::uint32_t> awaited_;
    std::map<std::uint32_t, Packet> replies_;
    std::deque<Packet> events_;
    bool closed_ = false;
    bool closeReported_ = false;
    std::string closeReason_;
};

} // namespace jdwp

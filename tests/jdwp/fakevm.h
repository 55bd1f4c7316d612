#pragma once

#include "jdwp/packet.h"
#include "jdwp/transport.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace jdwptest {

// A scripted VM behind the transport seam: it answers the handshake, hands each command
// the debugger writes to a script, and delivers what it sends in chunks of a chosen size,
// so that framing is exercised at every cut. A read with nothing to deliver times out at
// once, which makes timeouts immediate and deterministic.
class FakeVm final : public jdwp::Transport {
public:
    using Script = std::function<void(FakeVm&, const jdwp::Packet&)>;

    // What the VM answers to the handshake; nullopt stays silent.
    std::optional<std::string> handshakeAnswer = std::string("JDWP-Handshake");
    // Bytes per read delivered to the debugger.
    std::size_t chunk = 1 << 20;
    Script onCommand;

    void send(const std::vector<std::uint8_t>& bytes);
    void reply(std::uint32_t id, const std::vector<std::uint8_t>& data,
               std::uint16_t errorCode = 0);
    // The VM goes away once everything sent so far has been read.
    void hangUp() { hungUp_ = true; }

    const std::vector<jdwp::Packet>& commands() const { return commands_; }
    // The debugger's writes after the handshake.
    int writes() const { return writes_; }

    void write(std::span<const std::uint8_t> bytes, jdwp::Deadline deadline) override;
    std::optional<std::size_t> read(std::span<std::uint8_t> into,
                                    jdwp::Deadline deadline) override;
    void close() override { closedByDebugger_ = true; }

private:
    std::deque<std::uint8_t> toDebugger_;
    std::vector<std::uint8_t> fromDebugger_;
    jdwp::PacketFramer framer_;
    std::vector<jdwp::Packet> commands_;
    bool handshakeDone_ = false;
    int writes_ = 0;
    bool hungUp_ = false;
    bool closedByDebugger_ = false;
};

} // namespace jdwptest

#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace jdwp {

// One JDWP packet: a command (from either side) or a reply to one.
struct Packet {
    static constexpr std::size_t HeaderSize = 11;
    static constexpr std::uint8_t ReplyFlag = 0x80;

    std::uint32_t id = 0;
    std::uint8_t flags = 0;
    // Commands only.
    std::uint8_t commandSet = 0;
    std::uint8_t command = 0;
    // Replies only.
    std::uint16_t errorCode = 0;
    std::vector<std::uint8_t> data;

    bool isReply() const { return (flags & ReplyFlag) != 0; }
};

// The bytes of a command packet, header and data, ready for one write.
std::vector<std::uint8_t> encodeCommand(std::uint32_t id, std::uint8_t commandSet,
                                        std::uint8_t command, std::span<const std::uint8_t> data);
// The bytes of a reply packet (what a VM sends; tests and fakes use it).
std::vector<std::uint8_t> encodeReply(std::uint32_t id, std::uint16_t errorCode,
                                      std::span<const std::uint8_t> data);

// Cuts a byte stream into packets, whatever the reads' boundaries. A length below the
// header's size or above the bound is a ProtocolError: nothing is allocated for it.
class PacketFramer {
public:
    static constexpr std::size_t DefaultMaxPacket = 64u << 20;

    explicit PacketFramer(std::size_t maxPacket = DefaultMaxPacket) : maxPacket_(maxPacket) {}

    // Takes bytes read from the stream; throws ProtocolError on a bad length.
    void feed(std::span<const std::uint8_t> bytes);
    // The next whole packet, if one has arrived.
    std::optional<Packet> next();
    // Whether part of a packet is waiting for its rest.
    bool hasPartial() const { return buffer_.size() > start_; }

private:
    void cut();

    std::size_t maxPacket_;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::deque<Packet> ready_;
};

} // namespace jdwp

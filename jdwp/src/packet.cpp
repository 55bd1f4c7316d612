#include "jdwp/packet.h"

#include "jdwp/error.h"

#include <limits>
#include <string>

namespace jdwp {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
           (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

std::vector<std::uint8_t> header(std::size_t dataSize, std::uint32_t id, std::uint8_t flags) {
    if (dataSize > std::numeric_limits<std::uint32_t>::max() - Packet::HeaderSize) {
        throw Error("a packet of " + std::to_string(dataSize) + " bytes is too long for JDWP");
    }
    std::vector<std::uint8_t> out;
    out.reserve(Packet::HeaderSize + dataSize);
    put32(out, static_cast<std::uint32_t>(Packet::HeaderSize + dataSize));
    put32(out, id);
    out.push_back(flags);
    return out;
}

} // namespace

std::vector<std::uint8_t> encodeCommand(std::uint32_t id, std::uint8_t commandSet,
                                        std::uint8_t command, std::span<const std::uint8_t> data) {
    auto out = header(data.size(), id, 0);
    out.push_back(commandSet);
    out.push_back(command);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> encodeReply(std::uint32_t id, std::uint16_t errorCode,
                                      std::span<const std::uint8_t> data) {
    auto out = header(data.size(), id, Packet::ReplyFlag);
    out.push_back(static_cast<std::uint8_t>(errorCode >> 8));
    out.push_back(static_cast<std::uint8_t>(errorCode));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void PacketFramer::feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    cut();
}

void PacketFramer::cut() {
    while (buffer_.size() - start_ >= 4) {
        const std::uint8_t* p = buffer_.data() + start_;
        const std::uint32_t length = get32(p);
        if (length < Packet::HeaderSize || length > maxPacket_) {
            buffer_.clear();
            start_ = 0;
            throw ProtocolError("a packet length of " + std::to_string(length) +
                                " bytes (a packet holds " + std::to_string(Packet::HeaderSize) +
                                " to " + std::to_string(maxPacket_) + ")");
        }
        if (buffer_.size() - start_ < length) {
            break;
        }
        Packet packet;
        packet.id = get32(p + 4);
        packet.flags = p[8];
        if (packet.isReply()) {
            packet.errorCode = static_cast<std::uint16_t>((p[9] << 8) | p[10]);
        } else {
            packet.commandSet = p[9];
            packet.command = p[10];
        }
        packet.data.assign(p + Packet::HeaderSize, p + length);
        ready_.push_back(std::move(packet));
        start_ += length;
    }
    // Drop what was consumed once it outweighs what is left, so the buffer stays bounded
    // by one packet and copying stays linear.
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 0 && start_ >= buffer_.size() - start_) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
}

std::optional<Packet> PacketFramer::next() {
    if (ready_.empty()) {
        return std::nullopt;
    }
    Packet p = std::move(ready_.front());
    ready_.pop_front();
    return p;
}

} // namespace jdwp

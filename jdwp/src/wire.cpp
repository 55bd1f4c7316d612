#include "jdwp/wire.h"

#include "jdwp/error.h"

#include <limits>

namespace jdwp {

PacketWriter& PacketWriter::u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

PacketWriter& PacketWriter::i32(std::int32_t v) {
    return sized(static_cast<std::uint32_t>(v), 4);
}

PacketWriter& PacketWriter::i64(std::int64_t v) {
    return sized(static_cast<std::uint64_t>(v), 8);
}

PacketWriter& PacketWriter::string(std::string_view v) {
    if (v.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw Error("a string of " + std::to_string(v.size()) + " bytes is too long for JDWP");
    }
    i32(static_cast<std::int32_t>(v.size()));
    bytes_.insert(bytes_.end(), v.begin(), v.end());
    return *this;
}

PacketWriter& PacketWriter::location(const Location& loc) {
    u8(static_cast<std::uint8_t>(loc.typeTag));
    referenceTypeId(loc.classId);
    methodId(loc.methodId);
    return sized(loc.index, 8);
}

PacketWriter& PacketWriter::taggedValue(const Value& v) {
    u8(static_cast<std::uint8_t>(v.tag));
    return sized(v.bits, valueSize(v.tag, sizes_));
}

PacketWriter& PacketWriter::sized(std::uint64_t v, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
        bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
}

void PacketReader::need(std::size_t n, const char* what) {
    if (n > remaining()) {
        throw ProtocolError(std::string("the packet ends inside ") + what + " (" +
                            std::to_string(n) + " bytes needed, " +
                            std::to_string(remaining()) + " left)");
    }
}

std::uint64_t PacketReader::sized(int size) {
    need(static_cast<std::size_t>(size), "a number");
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) {
        v = (v << 8) | data_[pos_++];
    }
    return v;
}

std::uint8_t PacketReader::u8() {
    return static_cast<std::uint8_t>(sized(1));
}

std::int32_t PacketReader::i32() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(sized(4)));
}

std::int64_t PacketReader::i64() {
    return static_cast<std::int64_t>(sized(8));
}

std::string PacketReader::string() {
    const std::int32_t length = i32();
    if (length < 0) {
        throw ProtocolError("a string of negative length " + std::to_string(length));
    }
    need(static_cast<std::size_t>(length), "a string");
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_),
                  static_cast<std::size_t>(length));
    pos_ += static_cast<std::size_t>(length);
    return s;
}

TypeTag PacketReader::typeTag() {
    const std::uint8_t t = u8();
    if (t < 1 || t > 3) {
        throw ProtocolError("unknown type tag " + std::to_string(t));
    }
    return static_cast<TypeTag>(t);
}

Location PacketReader::location() {
    Location loc;
    // Some VMs tag the empty location (an uncaught exception's catch) with 0.
    const std::uint8_t t = u8();
    if (t > 3) {
        throw ProtocolError("unknown type tag " + std::to_string(t) + " in a location");
    }
    loc.typeTag = t == 0 ? TypeTag::Class : static_cast<TypeTag>(t);
    loc.classId = referenceTypeId();
    loc.methodId = methodId();
    loc.index = sized(8);
    return loc;
}

Tag PacketReader::tag() {
    const std::uint8_t t = u8();
    if (!isKnownTag(t)) {
        throw ProtocolError("unknown value tag " + std::to_string(t));
    }
    return static_cast<Tag>(t);
}

Value PacketReader::taggedValue() {
    const Tag t = tag();
    return untaggedValue(t);
}

Value PacketReader::untaggedValue(Tag t) {
    return Value{t, sized(valueSize(t, sizes_))};
}

std::size_t PacketReader::count(std::size_t minElementBytes) {
    const std::int32_t n = i32();
    if (n < 0) {
        throw ProtocolError("a negative count " + std::to_string(n));
    }
    const auto count = static_cast<std::size_t>(n);
    // Each element takes at least one byte on the wire, even where its minimum is 0.
    const std::size_t least = minElementBytes == 0 ? 1 : minElementBytes;
    if (count > remaining() / least) {
        throw ProtocolError("a count of " + std::to_string(count) +
                            " elements that the packet's " + std::to_string(remaining()) +
                            " remaining bytes cannot hold");
    }
    return count;
}

} // namespace jdwp

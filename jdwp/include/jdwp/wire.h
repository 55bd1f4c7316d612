#pragma once

#include "jdwp/types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jdwp {

// Writes the data of a command packet: big-endian numbers, strings as a length and UTF-8
// bytes, ids in the sizes the VM announced.
class PacketWriter {
public:
    explicit PacketWriter(const IdSizes& sizes) : sizes_(sizes) {}

    PacketWriter& u8(std::uint8_t v);
    PacketWriter& boolean(bool v) { return u8(v ? 1 : 0); }
    PacketWriter& i32(std::int32_t v);
    PacketWriter& i64(std::int64_t v);
    PacketWriter& string(std::string_view v);
    PacketWriter& objectId(ObjectId id) { return sized(id, sizes_.objectId); }
    PacketWriter& referenceTypeId(ReferenceTypeId id) { return sized(id, sizes_.referenceTypeId); }
    PacketWriter& methodId(MethodId id) { return sized(id, sizes_.methodId); }
    PacketWriter& fieldId(FieldId id) { return sized(id, sizes_.fieldId); }
    PacketWriter& frameId(FrameId id) { return sized(id, sizes_.frameId); }
    PacketWriter& location(const Location& loc);
    // A value with its tag in front.
    PacketWriter& taggedValue(const Value& v);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    PacketWriter& sized(std::uint64_t v, int size);

    IdSizes sizes_;
    std::vector<std::uint8_t> bytes_;
};

// Reads the data of a reply or event packet. Every read is checked against the bytes
// left and throws ProtocolError past the end; counts are checked against what the rest
// of the packet can hold before anything is allocated for them.
class PacketReader {
public:
    PacketReader(std::span<const std::uint8_t> data, const IdSizes& sizes)
        : data_(data), sizes_(sizes) {}

    std::uint8_t u8();
    bool boolean() { return u8() != 0; }
    std::int32_t i32();
    std::int64_t i64();
    std::string string();
    ObjectId objectId() { return sized(sizes_.objectId); }
    ReferenceTypeId referenceTypeId() { return sized(sizes_.referenceTypeId); }
    MethodId methodId() { return sized(sizes_.methodId); }
    FieldId fieldId() { return sized(sizes_.fieldId); }
    FrameId frameId() { return sized(sizes_.frameId); }
    TypeTag typeTag();
    Location location();
    Tag tag();
    // A value with its tag in front.
    Value taggedValue();
    // A value whose tag is known from elsewhere (an array region of primitives).
    Value untaggedValue(Tag tag);
    // A count of elements that follow, each at least minElementBytes long.
    std::size_t count(std::size_t minElementBytes);

    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    const IdSizes& idSizes() const { return sizes_; }

private:
    std::uint64_t sized(int size);
    void need(std::size_t n, const char* what);

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    IdSizes sizes_;
};

} // namespace jdwp

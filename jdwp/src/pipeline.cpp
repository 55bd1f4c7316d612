#include "jdwp/pipeline.h"

#include "commandlayouts.h"
#include "jdwp/error.h"
#include "jdwp/wire.h"

namespace jdwp {

using namespace layout;

template <class T, class Read>
void Pipeline::queue(const Command& command, std::vector<std::uint8_t> data, Read read,
                     Then<T> then) {
    const IdSizes sizes = c_.idSizes();
    queued_.push_back(Queued{command, std::move(data),
                             [read = std::move(read), then = std::move(then),
                              sizes](std::optional<std::span<const std::uint8_t>> reply) {
                                 if (!reply) {
                                     then(std::nullopt);
                                     return;
                                 }
                                 std::optional<T> value;
                                 try {
                                     PacketReader in(*reply, sizes);
                                     value = read(in);
                                     if (!in.atEnd()) {
                                         value.reset();
                                     }
                                 } catch (const ProtocolError&) {
                                     value.reset();
                                 }
                                 then(std::move(value));
                             }});
}

void Pipeline::referenceType(ObjectId object, Then<std::pair<TypeTag, ReferenceTypeId>> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(object);
    queue(cmd::ObjectType, out.take(), readObjectType, std::move(then));
}

void Pipeline::signature(ReferenceTypeId type, Then<std::string> then) {
    PacketWriter out(c_.idSizes());
    out.referenceTypeId(type);
    queue(
        cmd::Signature, out.take(), [](PacketReader& in) { return in.string(); }, std::move(then));
}

void Pipeline::fields(ReferenceTypeId type, Then<std::vector<FieldInfo>> then) {
    PacketWriter out(c_.idSizes());
    out.referenceTypeId(type);
    queue(cmd::Fields, out.take(), readFields, std::move(then));
}

void Pipeline::superclass(ClassId type, Then<ClassId> then) {
    PacketWriter out(c_.idSizes());
    out.referenceTypeId(type);
    queue(
        cmd::Superclass, out.take(), [](PacketReader& in) { return in.referenceTypeId(); },
        std::move(then));
}

void Pipeline::staticValues(ReferenceTypeId type, std::vector<FieldId> fields,
                            Then<std::vector<Value>> then) {
    PacketWriter out(c_.idSizes());
    out.referenceTypeId(type).i32(static_cast<std::int32_t>(fields.size()));
    for (const FieldId f : fields) {
        out.fieldId(f);
    }
    queue(cmd::StaticValues, out.take(), readTaggedValues, std::move(then));
}

void Pipeline::objectValues(ObjectId object, std::vector<FieldId> fields,
                            Then<std::vector<Value>> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(object).i32(static_cast<std::int32_t>(fields.size()));
    for (const FieldId f : fields) {
        out.fieldId(f);
    }
    queue(cmd::ObjectValues, out.take(), readTaggedValues, std::move(then));
}

void Pipeline::stringValue(StringId string, Then<std::string> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(string);
    queue(
        cmd::StringValue, out.take(), [](PacketReader& in) { return in.string(); },
        std::move(then));
}

void Pipeline::arrayLength(ObjectId array, Then<std::int32_t> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(array);
    queue(
        cmd::ArrayLength, out.take(), [](PacketReader& in) { return in.i32(); }, std::move(then));
}

void Pipeline::arrayValues(ObjectId array, std::int32_t first, std::int32_t length,
                           Then<std::vector<Value>> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(array).i32(first).i32(length);
    queue(cmd::ArrayValues, out.take(), readArrayRegion, std::move(then));
}

void Pipeline::variableTable(ReferenceTypeId type, MethodId method, Then<VariableTable> then) {
    PacketWriter out(c_.idSizes());
    out.referenceTypeId(type).methodId(method);
    queue(cmd::VariableTable, out.take(), readVariableTable, std::move(then));
}

void Pipeline::frames(ThreadId thread, std::int32_t start, std::int32_t length,
                      Then<std::vector<Frame>> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(thread).i32(start).i32(length);
    queue(cmd::Frames, out.take(), readFrames, std::move(then));
}

void Pipeline::frameValues(ThreadId thread, FrameId frame, std::vector<SlotRequest> slots,
                           Then<std::vector<Value>> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(thread).frameId(frame).i32(static_cast<std::int32_t>(slots.size()));
    for (const SlotRequest& s : slots) {
        out.i32(s.slot).u8(static_cast<std::uint8_t>(s.sigbyte));
    }
    queue(cmd::FrameValues, out.take(), readTaggedValues, std::move(then));
}

void Pipeline::thisObject(ThreadId thread, FrameId frame, Then<Value> then) {
    PacketWriter out(c_.idSizes());
    out.objectId(thread).frameId(frame);
    queue(
        cmd::ThisObject, out.take(), [](PacketReader& in) { return in.taggedValue(); },
        std::move(then));
}

void Pipeline::run() {
    while (!queued_.empty()) {
        runRound();
    }
}

void Pipeline::runRound() {
    std::vector<Queued> round = std::move(queued_);
    queued_.clear();
    std::vector<Connection::Outgoing> outgoing;
    outgoing.reserve(round.size());
    for (Queued& q : round) {
        outgoing.push_back({q.command, std::move(q.data)});
    }
    const std::vector<std::uint32_t> ids = c_.sendAll(outgoing);
    ++rounds_;
    commands_ += static_cast<int>(ids.size());
    std::size_t next = 0;
    try {
        for (; next < ids.size(); ++next) {
            std::vector<std::uint8_t> reply;
            try {
                reply = c_.awaitReply(ids[next], round[next].command);
            } catch (const VmError&) {
                round[next].handle(std::nullopt);
                continue;
            }
            round[next].handle(std::span<const std::uint8_t>(reply));
        }
    } catch (...) {
        // What is still on its way is dropped when it comes; nothing more is sent.
        for (++next; next < ids.size(); ++next) {
            c_.abandon(ids[next]);
        }
        queued_.clear();
        throw;
    }
}

} // namespace jdwp

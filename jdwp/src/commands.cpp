#include "jdwp/commands.h"

#include "commandlayouts.h"
#include "jdwp/connection.h"
#include "jdwp/error.h"
#include "jdwp/wire.h"

namespace jdwp {

using namespace layout;

namespace {

// Sizes of the fixed parts of repeated reply elements, for the bound on their counts.
constexpr std::size_t StringBytes = 4;
constexpr std::size_t LocationBytes(const IdSizes& s) {
    return 1 + static_cast<std::size_t>(s.referenceTypeId + s.methodId) + 8;
}

// Calls a command and reads its reply with `read`, which must use all of it.
template <class Read>
auto request(Connection& c, const Command& command, const PacketWriter& out, Read read,
             std::optional<Timeout> timeout = {}) {
    const auto data = c.call(command, out.bytes(), timeout);
    PacketReader in(data, c.idSizes());
    try {
        auto result = read(in);
        if (!in.atEnd()) {
            throw ProtocolError(std::to_string(in.remaining()) + " bytes too many");
        }
        return result;
    } catch (const ProtocolError& e) {
        throw ProtocolError(std::string("unreadable reply to ") + command.name + ": " +
                            e.what());
    }
}

void requestNothing(Connection& c, const Command& command, const PacketWriter& out) {
    request(c, command, out, [](PacketReader&) { return 0; });
}

PacketWriter writer(const Connection& c) {
    return PacketWriter(c.idSizes());
}

int checkedIdSize(std::int32_t size, const char* what) {
    if (size < 1 || size > 8) {
        throw ProtocolError(std::string("an id size of ") + std::to_string(size) + " for " +
                            what + " (1 to 8 bytes are supported)");
    }
    return size;
}

} // namespace

VersionInfo VirtualMachineCommands::version() {
    return request(c_, cmd::Version, writer(c_), [](PacketReader& in) {
        VersionInfo v;
        v.description = in.string();
        v.jdwpMajor = in.i32();
        v.jdwpMinor = in.i32();
        v.vmVersion = in.string();
        v.vmName = in.string();
        return v;
    });
}

std::vector<ClassInfo> VirtualMachineCommands::classesBySignature(std::string_view signature) {
    auto out = writer(c_);
    out.string(signature);
    return request(c_, cmd::ClassesBySignature, out, [](PacketReader& in) {
        const std::size_t n =
            in.count(1 + static_cast<std::size_t>(in.idSizes().referenceTypeId) + 4);
        std::vector<ClassInfo> classes(n);
        for (ClassInfo& ci : classes) {
            ci.refTypeTag = in.typeTag();
            ci.typeId = in.referenceTypeId();
            ci.status = in.i32();
        }
        return classes;
    });
}

std::vector<ClassInfo> VirtualMachineCommands::allClasses() {
    return request(c_, cmd::AllClasses, writer(c_), [](PacketReader& in) {
        const std::size_t n = in.count(1 + static_cast<std::size_t>(in.idSizes().referenceTypeId) +
                                       StringBytes + 4);
        std::vector<ClassInfo> classes(n);
        for (ClassInfo& ci : classes) {
            ci.refTypeTag = in.typeTag();
            ci.typeId = in.referenceTypeId();
            ci.signature = in.string();
            ci.status = in.i32();
        }
        return classes;
    });
}

IdSizes VirtualMachineCommands::idSizes() {
    return request(c_, cmd::IDSizes, writer(c_), [](PacketReader& in) {
        IdSizes s;
        s.fieldId = checkedIdSize(in.i32(), "field ids");
        s.methodId = checkedIdSize(in.i32(), "method ids");
        s.objectId = checkedIdSize(in.i32(), "object ids");
        s.referenceTypeId = checkedIdSize(in.i32(), "reference type ids");
        s.frameId = checkedIdSize(in.i32(), "frame ids");
        return s;
    });
}

Capabilities VirtualMachineCommands::capabilitiesNew() {
    return request(c_, cmd::CapabilitiesNew, writer(c_), [](PacketReader& in) {
        Capabilities c;
        for (bool* flag :
             {&c.canWatchFieldModification, &c.canWatchFieldAccess, &c.canGetBytecodes,
              &c.canGetSyntheticAttribute, &c.canGetOwnedMonitorInfo,
              &c.canGetCurrentContendedMonitor, &c.canGetMonitorInfo, &c.canRedefineClasses,
              &c.canAddMethod, &c.canUnrestrictedlyRedefineClasses, &c.canPopFrames,
              &c.canUseInstanceFilters, &c.canGetSourceDebugExtension,
              &c.canRequestVMDeathEvent, &c.canSetDefaultStratum, &c.canGetInstanceInfo,
              &c.canRequestMonitorEvents, &c.canGetMonitorFrameInfo,
              &c.canUseSourceNameFilters, &c.canGetConstantPool, &c.canForceEarlyReturn}) {
            *flag = in.boolean();
        }
        // The reserved flags that follow say nothing yet; newer VMs may send more.
        while (!in.atEnd()) {
            in.u8();
        }
        return c;
    });
}

void VirtualMachineCommands::suspend() {
    requestNothing(c_, cmd::Suspend, writer(c_));
}

void VirtualMachineCommands::resume() {
    requestNothing(c_, cmd::Resume, writer(c_));
}

StringId VirtualMachineCommands::createString(std::string_view text) {
    auto out = writer(c_);
    out.string(text);
    return request(c_, cmd::CreateString, out, [](PacketReader& in) { return in.objectId(); });
}

void VirtualMachineCommands::dispose() {
    requestNothing(c_, cmd::Dispose, writer(c_));
}

void VirtualMachineCommands::setDefaultStratum(std::string_view stratum) {
    auto out = writer(c_);
    out.string(stratum);
    requestNothing(c_, cmd::SetDefaultStratum, out);
}

std::string ReferenceTypeCommands::signature(ReferenceTypeId type) {
    auto out = writer(c_);
    out.referenceTypeId(type);
    return request(c_, cmd::Signature, out, [](PacketReader& in) { return in.string(); });
}

std::vector<MethodInfo> ReferenceTypeCommands::methods(ReferenceTypeId type) {
    auto out = writer(c_);
    out.referenceTypeId(type);
    return request(c_, cmd::Methods, out, [](PacketReader& in) {
        const std::size_t n =
            in.count(static_cast<std::size_t>(in.idSizes().methodId) + 2 * StringBytes + 4);
        std::vector<MethodInfo> methods(n);
        for (MethodInfo& m : methods) {
            m.methodId = in.methodId();
            m.name = in.string();
            m.signature = in.string();
            m.modBits = in.i32();
        }
        return methods;
    });
}

std::vector<FieldInfo> ReferenceTypeCommands::fields(ReferenceTypeId type) {
    auto out = writer(c_);
    out.referenceTypeId(type);
    return request(c_, cmd::Fields, out, readFields);
}

std::vector<Value> ReferenceTypeCommands::getValues(ReferenceTypeId type,
                                                    std::span<const FieldId> fields) {
    auto out = writer(c_);
    out.referenceTypeId(type).i32(static_cast<std::int32_t>(fields.size()));
    for (const FieldId f : fields) {
        out.fieldId(f);
    }
    return request(c_, cmd::StaticValues, out, readTaggedValues);
}

std::string ReferenceTypeCommands::sourceDebugExtension(ReferenceTypeId type) {
    auto out = writer(c_);
    out.referenceTypeId(type);
    return request(c_, cmd::SourceDebugExtension, out,
                   [](PacketReader& in) { return in.string(); });
}

ClassId ClassTypeCommands::superclass(ClassId type) {
    auto out = writer(c_);
    out.referenceTypeId(type);
    return request(c_, cmd::Superclass, out, [](PacketReader& in) { return in.referenceTypeId(); });
}

LineTable MethodCommands::lineTable(ReferenceTypeId type, MethodId method) {
    auto out = writer(c_);
    out.referenceTypeId(type).methodId(method);
    return request(c_, cmd::LineTable, out, [](PacketReader& in) {
        LineTable t;
        t.start = in.i64();
        t.end = in.i64();
        t.lines.resize(in.count(8 + 4));
        for (LineTableEntry& e : t.lines) {
            e.lineCodeIndex = static_cast<std::uint64_t>(in.i64());
            e.lineNumber = in.i32();
        }
        return t;
    });
}

VariableTable MethodCommands::variableTable(ReferenceTypeId type, MethodId method) {
    auto out = writer(c_);
    out.referenceTypeId(type).methodId(method);
    return request(c_, cmd::VariableTable, out, readVariableTable);
}

std::string ThreadReferenceCommands::name(ThreadId thread) {
    auto out = writer(c_);
    out.objectId(thread);
    return request(c_, cmd::ThreadName, out, [](PacketReader& in) { return in.string(); });
}

ThreadStatusInfo ThreadReferenceCommands::status(ThreadId thread) {
    auto out = writer(c_);
    out.objectId(thread);
    return request(c_, cmd::ThreadStatus, out, [](PacketReader& in) {
        ThreadStatusInfo s;
        s.threadStatus = static_cast<ThreadStatus>(in.i32());
        s.suspendStatus = in.i32();
        return s;
    });
}

std::vector<Frame> ThreadReferenceCommands::frames(ThreadId thread, std::int32_t startFrame,
                                                   std::int32_t length) {
    auto out = writer(c_);
    out.objectId(thread).i32(startFrame).i32(length);
    return request(c_, cmd::Frames, out, readFrames);
}

std::int32_t ThreadReferenceCommands::frameCount(ThreadId thread) {
    auto out = writer(c_);
    out.objectId(thread);
    return request(c_, cmd::FrameCount, out, [](PacketReader& in) { return in.i32(); });
}

void ThreadReferenceCommands::resume(ThreadId thread) {
    auto out = writer(c_);
    out.objectId(thread);
    requestNothing(c_, cmd::ThreadResume, out);
}

std::vector<Value> StackFrameCommands::getValues(ThreadId thread, FrameId frame,
                                                 std::span<const SlotRequest> slots) {
    auto out = writer(c_);
    out.objectId(thread).frameId(frame).i32(static_cast<std::int32_t>(slots.size()));
    for (const SlotRequest& s : slots) {
        out.i32(s.slot).u8(static_cast<std::uint8_t>(s.sigbyte));
    }
    return request(c_, cmd::FrameValues, out, readTaggedValues);
}

Value StackFrameCommands::thisObject(ThreadId thread, FrameId frame) {
    auto out = writer(c_);
    out.objectId(thread).frameId(frame);
    return request(c_, cmd::ThisObject, out, [](PacketReader& in) { return in.taggedValue(); });
}

std::pair<TypeTag, ReferenceTypeId> ObjectReferenceCommands::referenceType(ObjectId object) {
    auto out = writer(c_);
    out.objectId(object);
    return request(c_, cmd::ObjectType, out, readObjectType);
}

std::vector<Value> ObjectReferenceCommands::getValues(ObjectId object,
                                                      std::span<const FieldId> fields) {
    auto out = writer(c_);
    out.objectId(object).i32(static_cast<std::int32_t>(fields.size()));
    for (const FieldId f : fields) {
        out.fieldId(f);
    }
    return request(c_, cmd::ObjectValues, out, readTaggedValues);
}

InvokeResult ObjectReferenceCommands::invokeMethod(ObjectId object, ThreadId thread,
                                                   ClassId type, MethodId method,
                                                   std::span<const Value> arguments,
                                                   std::int32_t options, Timeout timeout) {
    auto out = writer(c_);
    out.objectId(object).objectId(thread).referenceTypeId(type).methodId(method);
    out.i32(static_cast<std::int32_t>(arguments.size()));
    for (const Value& v : arguments) {
        out.taggedValue(v);
    }
    out.i32(options | InvokeSingleThreaded);
    return request(
        c_, cmd::InvokeMethod, out,
        [](PacketReader& in) {
            InvokeResult r;
            r.returnValue = in.taggedValue();
            r.exception = in.taggedValue();
            if (!r.exception.isObject()) {
                throw ProtocolError("an exception that is not an object");
            }
            return r;
        },
        timeout);
}

std::string StringReferenceCommands::value(StringId string) {
    auto out = writer(c_);
    out.objectId(string);
    return request(c_, cmd::StringValue, out, [](PacketReader& in) { return in.string(); });
}

std::int32_t ArrayReferenceCommands::length(ObjectId array) {
    auto out = writer(c_);
    out.objectId(array);
    return request(c_, cmd::ArrayLength, out, [](PacketReader& in) { return in.i32(); });
}

std::vector<Value> ArrayReferenceCommands::getValues(ObjectId array, std::int32_t firstIndex,
                                                     std::int32_t length) {
    auto out = writer(c_);
    out.objectId(array).i32(firstIndex).i32(length);
    return request(c_, cmd::ArrayValues, out, readArrayRegion);
}

RequestId EventRequestCommands::set(const EventRequest& request) {
    const auto data = encodeEventRequest(request, c_.idSizes());
    const auto reply = c_.call(cmd::EventRequestSet, data);
    PacketReader in(reply, c_.idSizes());
    try {
        return in.i32();
    } catch (const ProtocolError& e) {
        throw ProtocolError(std::string("unreadable reply to EventRequest.Set: ") + e.what());
    }
}

void EventRequestCommands::clear(EventKind kind, RequestId request) {
    auto out = writer(c_);
    out.u8(static_cast<std::uint8_t>(kind)).i32(request);
    requestNothing(c_, cmd::EventRequestClear, out);
}

void EventRequestCommands::clearAllBreakpoints() {
    requestNothing(c_, cmd::ClearAllBreakpoints, writer(c_));
}

namespace layout {

std::vector<Value> readTaggedValues(PacketReader& in) {
    const std::size_t n = in.count(1);
    std::vector<Value> values;
    values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        values.push_back(in.taggedValue());
    }
    return values;
}

std::vector<FieldInfo> readFields(PacketReader& in) {
    const std::size_t n =
        in.count(static_cast<std::size_t>(in.idSizes().fieldId) + 2 * StringBytes + 4);
    std::vector<FieldInfo> fields(n);
    for (FieldInfo& f : fields) {
        f.fieldId = in.fieldId();
        f.name = in.string();
        f.signature = in.string();
        f.modBits = in.i32();
    }
    return fields;
}

VariableTable readVariableTable(PacketReader& in) {
    VariableTable t;
    t.argCnt = in.i32();
    t.variables.resize(in.count(8 + 2 * StringBytes + 4 + 4));
    for (Variable& v : t.variables) {
        v.codeIndex = static_cast<std::uint64_t>(in.i64());
        v.name = in.string();
        v.signature = in.string();
        v.length = in.i32();
        v.slot = in.i32();
    }
    return t;
}

std::vector<Frame> readFrames(PacketReader& in) {
    const IdSizes& s = in.idSizes();
    std::vector<Frame> frames(in.count(static_cast<std::size_t>(s.frameId) + LocationBytes(s)));
    for (Frame& f : frames) {
        f.frameId = in.frameId();
        f.location = in.location();
    }
    return frames;
}

std::pair<TypeTag, ReferenceTypeId> readObjectType(PacketReader& in) {
    const TypeTag tag = in.typeTag();
    return std::pair{tag, in.referenceTypeId()};
}

std::vector<Value> readArrayRegion(PacketReader& in) {
    const Tag tag = in.tag();
    const bool tagged = isObjectTag(tag);
    const int size = valueSize(tag, in.idSizes());
    const std::size_t n =
        in.count(tagged ? 1 + static_cast<std::size_t>(size) : static_cast<std::size_t>(size));
    std::vector<Value> values;
    values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        values.push_back(tagged ? in.taggedValue() : in.untaggedValue(tag));
    }
    return values;
}

} // namespace layout

} // namespace jdwp

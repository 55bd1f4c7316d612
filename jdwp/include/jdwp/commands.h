#pragma once

#include "jdwp/eventrequest.h"
#include "jdwp/types.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jdwp {

class Connection;

// The replies of the commands below, field for field as the protocol defines them.

struct VersionInfo {
    std::string description;
    std::int32_t jdwpMajor = 0;
    std::int32_t jdwpMinor = 0;
    std::string vmVersion;
    std::string vmName;
};

struct Capabilities {
    bool canWatchFieldModification = false;
    bool canWatchFieldAccess = false;
    bool canGetBytecodes = false;
    bool canGetSyntheticAttribute = false;
    bool canGetOwnedMonitorInfo = false;
    bool canGetCurrentContendedMonitor = false;
    bool canGetMonitorInfo = false;
    bool canRedefineClasses = false;
    bool canAddMethod = false;
    bool canUnrestrictedlyRedefineClasses = false;
    bool canPopFrames = false;
    bool canUseInstanceFilters = false;
    bool canGetSourceDebugExtension = false;
    bool canRequestVMDeathEvent = false;
    bool canSetDefaultStratum = false;
    bool canGetInstanceInfo = false;
    bool canRequestMonitorEvents = false;
    bool canGetMonitorFrameInfo = false;
    bool canUseSourceNameFilters = false;
    bool canGetConstantPool = false;
    bool canForceEarlyReturn = false;
};

struct ClassInfo {
    TypeTag refTypeTag = TypeTag::Class;
    ReferenceTypeId typeId = 0;
    std::string signature; // empty from ClassesBySignature, which does not send it
    std::int32_t status = 0;
};

struct MethodInfo {
    MethodId methodId = 0;
    std::string name;
    std::string signature;
    std::int32_t modBits = 0;
};

struct FieldInfo {
    FieldId fieldId = 0;
    std::string name;
    std::string signature;
    std::int32_t modBits = 0;
};

struct LineTableEntry {
    std::uint64_t lineCodeIndex = 0;
    std::int32_t lineNumber = 0;
};

struct LineTable {
    std::int64_t start = -1; // -1 for a native method
    std::int64_t end = -1;
    std::vector<LineTableEntry> lines;
};

struct Variable {
    std::uint64_t codeIndex = 0; // first code index where the variable is in scope
    std::string name;
    std::string signature;
    std::int32_t length = 0; // code indexes in scope
    std::int32_t slot = 0;

    bool inScopeAt(std::uint64_t index) const {
        return index >= codeIndex && index < codeIndex + static_cast<std::uint32_t>(length);
    }
};

struct VariableTable {
    std::int32_t argCnt = 0;
    std::vector<Variable> variables;
};

struct ThreadStatusInfo {
    ThreadStatus threadStatus = ThreadStatus::Running;
    std::int32_t suspendStatus = 0;

    bool suspended() const { return (suspendStatus & SuspendStatusSuspended) != 0; }
};

struct Frame {
    FrameId frameId = 0;
    Location location;
};

// A local variable to read: its slot and the tag its signature gives.
struct SlotRequest {
    std::int32_t slot = 0;
    Tag sigbyte = Tag::Int;
};

struct InvokeResult {
    Value returnValue;
    Value exception; // a null object when the method returned normally
};

// Each class below is one command set of the protocol, its methods the commands by their
// protocol names. All of them throw the errors of Connection::call and ProtocolError for a
// reply that does not fit the command's layout.

class VirtualMachineCommands {
public:
    explicit VirtualMachineCommands(Connection& connection) : c_(connection) {}

    VersionInfo version();
    // Loaded classes of a JNI signature ("Lorg/apache/jsp/index_jsp;"); several when
    // several loaders loaded it, as after a page was recompiled.
    std::vector<ClassInfo> classesBySignature(std::string_view signature);
    std::vector<ClassInfo> allClasses();
    IdSizes idSizes();
    Capabilities capabilitiesNew();
    void suspend();
    void resume();
    // A new string in the VM, to pass to an invoked method. The VM may collect it once
    // nothing refers to it, so use it at once.
    StringId createString(std::string_view text);
    // Ends the session: the VM cancels the event requests and resumes what is suspended.
    void dispose();
    // "" for each class's own default; "Java" for Java lines. Global to the VM and kept
    // after a disconnect.
    void setDefaultStratum(std::string_view stratum);

private:
    Connection& c_;
};

class ReferenceTypeCommands {
public:
    explicit ReferenceTypeCommands(Connection& connection) : c_(connection) {}

    std::string signature(ReferenceTypeId type);
    std::vector<MethodInfo> methods(ReferenceTypeId type);
    std::vector<FieldInfo> fields(ReferenceTypeId type);
    // Values of static fields.
    std::vector<Value> getValues(ReferenceTypeId type, std::span<const FieldId> fields);
    // The class's SourceDebugExtension (its SMAP); VmError ABSENT_INFORMATION without one.
    std::string sourceDebugExtension(ReferenceTypeId type);

private:
    Connection& c_;
};

class ClassTypeCommands {
public:
    explicit ClassTypeCommands(Connection& connection) : c_(connection) {}

    // The direct superclass; 0 for java.lang.Object.
    ClassId superclass(ClassId type);

private:
    Connection& c_;
};

class MethodCommands {
public:
    explicit MethodCommands(Connection& connection) : c_(connection) {}

    // Java lines, whatever the default stratum.
    LineTable lineTable(ReferenceTypeId type, MethodId method);
    // VmError ABSENT_INFORMATION for a class compiled without local variable tables.
    VariableTable variableTable(ReferenceTypeId type, MethodId method);

private:
    Connection& c_;
};

class ThreadReferenceCommands {
public:
    explicit ThreadReferenceCommands(Connection& connection) : c_(connection) {}

    std::string name(ThreadId thread);
    ThreadStatusInfo status(ThreadId thread);
    // length -1 for every frame from startFrame on; frame 0 is the current one.
    std::vector<Frame> frames(ThreadId thread, std::int32_t startFrame, std::int32_t length);
    std::int32_t frameCount(ThreadId thread);
    void resume(ThreadId thread);

private:
    Connection& c_;
};

class StackFrameCommands {
public:
    explicit StackFrameCommands(Connection& connection) : c_(connection) {}

    std::vector<Value> getValues(ThreadId thread, FrameId frame,
                                 std::span<const SlotRequest> slots);
    // The frame's "this"; a null object in a static or native method.
    Value thisObject(ThreadId thread, FrameId frame);

private:
    Connection& c_;
};

class ObjectReferenceCommands {
public:
    explicit ObjectReferenceCommands(Connection& connection) : c_(connection) {}

    std::pair<TypeTag, ReferenceTypeId> referenceType(ObjectId object);
    // Instance fields only: HotSpot 17 crashes on a static one (read those through
    // ReferenceTypeCommands::getValues; FieldInfo::modBits & 0x0008 tells them apart).
    std::vector<Value> getValues(ObjectId object, std::span<const FieldId> fields);
    // Runs a method in a suspended thread. Only that thread runs meanwhile
    // (InvokeSingleThreaded is always set); a method that does not return within the
    // timeout is a TimeoutError, and the thread stays in the VM's hands until it does.
    InvokeResult invokeMethod(ObjectId object, ThreadId thread, ClassId type, MethodId method,
                              std::span<const Value> arguments, std::int32_t options,
                              Timeout timeout);

private:
    Connection& c_;
};

class StringReferenceCommands {
public:
    explicit StringReferenceCommands(Connection& connection) : c_(connection) {}

    std::string value(StringId string);

private:
    Connection& c_;
};

class ArrayReferenceCommands {
public:
    explicit ArrayReferenceCommands(Connection& connection) : c_(connection) {}

    std::int32_t length(ObjectId array);
    std::vector<Value> getValues(ObjectId array, std::int32_t firstIndex, std::int32_t length);

private:
    Connection& c_;
};

class EventRequestCommands {
public:
    explicit EventRequestCommands(Connection& connection) : c_(connection) {}

    RequestId set(const EventRequest& request);
    void clear(EventKind kind, RequestId request);
    void clearAllBreakpoints();

private:
    Connection& c_;
};

// The data of EventRequest.Set for a request (tests and fakes use it as well).
std::vector<std::uint8_t> encodeEventRequest(const EventRequest& request, const IdSizes& sizes);

} // namespace jdwp

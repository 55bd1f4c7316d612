#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace jdwp {

// Ids are opaque to the debugger; the VM says how many bytes each kind takes on the wire
// (IdSizes), at most eight, so they all fit in 64 bits here.
using ObjectId = std::uint64_t;
using ThreadId = ObjectId;
using StringId = ObjectId;
using ReferenceTypeId = std::uint64_t;
using ClassId = ReferenceTypeId;
using MethodId = std::uint64_t;
using FieldId = std::uint64_t;
using FrameId = std::uint64_t;
using RequestId = std::int32_t;

using Timeout = std::chrono::milliseconds;

// How many bytes each kind of id takes on the wire (VirtualMachine.IDSizes).
struct IdSizes {
    int fieldId = 8;
    int methodId = 8;
    int objectId = 8;
    int referenceTypeId = 8;
    int frameId = 8;
};

enum class TypeTag : std::uint8_t { Class = 1, Interface = 2, Array = 3 };

// The tag of a value: the first byte of its JNI signature, or a finer kind of object.
enum class Tag : std::uint8_t {
    Array = '[',
    Byte = 'B',
    Char = 'C',
    Object = 'L',
    Float = 'F',
    Double = 'D',
    Int = 'I',
    Long = 'J',
    Short = 'S',
    Void = 'V',
    Boolean = 'Z',
    String = 's',
    Thread = 't',
    ThreadGroup = 'g',
    ClassLoader = 'l',
    ClassObject = 'c',
};

// Whether the byte is a tag the protocol defines.
bool isKnownTag(std::uint8_t byte);
// Whether values of this tag are object ids (as opposed to primitives or void).
bool isObjectTag(Tag tag);
// Bytes an untagged value of this tag takes on the wire.
int valueSize(Tag tag, const IdSizes& sizes);

enum class EventKind : std::uint8_t {
    SingleStep = 1,
    Breakpoint = 2,
    FramePop = 3,
    Exception = 4,
    UserDefined = 5,
    ThreadStart = 6,
    ThreadDeath = 7,
    ClassPrepare = 8,
    ClassUnload = 9,
    ClassLoad = 10,
    FieldAccess = 20,
    FieldModification = 21,
    ExceptionCatch = 30,
    MethodEntry = 40,
    MethodExit = 41,
    MethodExitWithReturnValue = 42,
    MonitorContendedEnter = 43,
    MonitorContendedEntered = 44,
    MonitorWait = 45,
    MonitorWaited = 46,
    VmStart = 90,
    VmDeath = 99,
    // Never sent by a VM: the library reports the end of the connection as this event.
    VmDisconnected = 100,
};

enum class SuspendPolicy : std::uint8_t { None = 0, EventThread = 1, All = 2 };
enum class StepSize : std::int32_t { Min = 0, Line = 1 };
enum class StepDepth : std::int32_t { Into = 0, Over = 1, Out = 2 };

enum class ThreadStatus : std::int32_t { Zombie = 0, Running = 1, Sleeping = 2, Monitor = 3, Wait = 4 };
constexpr std::int32_t SuspendStatusSuspended = 0x1;

// ClassStatus bits.
constexpr std::int32_t ClassStatusVerified = 1;
constexpr std::int32_t ClassStatusPrepared = 2;
constexpr std::int32_t ClassStatusInitialized = 4;
constexpr std::int32_t ClassStatusError = 8;

// InvokeOptions bits.
constexpr std::int32_t InvokeSingleThreaded = 0x01;
constexpr std::int32_t InvokeNonvirtual = 0x02;

// The JDWP error codes the library names in its messages.
namespace error_code {
constexpr std::uint16_t None = 0;
constexpr std::uint16_t InvalidThread = 10;
constexpr std::uint16_t ThreadNotSuspended = 13;
constexpr std::uint16_t InvalidObject = 20;
constexpr std::uint16_t InvalidClass = 21;
constexpr std::uint16_t ClassNotPrepared = 22;
constexpr std::uint16_t InvalidMethodId = 23;
constexpr std::uint16_t InvalidLocation = 24;
constexpr std::uint16_t InvalidFrameId = 30;
constexpr std::uint16_t OpaqueFrame = 32;
constexpr std::uint16_t InvalidSlot = 35;
constexpr std::uint16_t NotFound = 41;
constexpr std::uint16_t NotImplemented = 99;
constexpr std::uint16_t AbsentInformation = 101;
constexpr std::uint16_t InvalidEventType = 102;
constexpr std::uint16_t IllegalArgument = 103;
constexpr std::uint16_t VmDead = 112;
constexpr std::uint16_t AlreadyInvoking = 502;
} // namespace error_code

// The protocol's name of an error code ("ABSENT_INFORMATION"), or "error N".
std::string errorName(std::uint16_t code);

// A place in the code: a method of a class and a bytecode index in it.
struct Location {
    TypeTag typeTag = TypeTag::Class;
    ClassId classId = 0;
    MethodId methodId = 0;
    std::uint64_t index = 0;

    friend bool operator==(const Location&, const Location&) = default;
};

// A value as the VM sends it: its tag and its bits (an object id, an integer widened to
// 64 bits, a float's or double's bit pattern).
struct Value {
    Tag tag = Tag::Void;
    std::uint64_t bits = 0;

    static Value ofInt(std::int32_t v) { return {Tag::Int, static_cast<std::uint32_t>(v)}; }
    static Value ofBoolean(bool v) { return {Tag::Boolean, v ? 1u : 0u}; }
    static Value ofObject(Tag t, ObjectId id) { return {t, id}; }

    bool isObject() const { return isObjectTag(tag); }
    bool isNull() const { return isObject() && bits == 0; }
    ObjectId objectId() const { return bits; }
    bool asBoolean() const { return bits != 0; }
    std::int8_t asByte() const { return static_cast<std::int8_t>(bits); }
    char16_t asChar() const { return static_cast<char16_t>(bits); }
    std::int16_t asShort() const { return static_cast<std::int16_t>(bits); }
    std::int32_t asInt() const { return static_cast<std::int32_t>(bits); }
    std::int64_t asLong() const { return static_cast<std::int64_t>(bits); }
    float asFloat() const;
    double asDouble() const;

    friend bool operator==(const Value&, const Value&) = default;
};

} // namespace jdwp

#pragma once

#include "jdwp/packet.h"
#include "jdwp/types.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace jdwp {

// The events of an Event.Composite packet, one type per kind the protocol defines.

struct VmStartEvent {
    RequestId requestId = 0;
    ThreadId thread = 0;
};

struct VmDeathEvent {
    RequestId requestId = 0;
};

// Not sent by a VM: the connection ended (the VM died, exited or closed it).
struct VmDisconnectedEvent {
    std::string reason;
};

// SingleStep, Breakpoint and MethodEntry: a thread at a location.
struct LocatedEvent {
    EventKind kind = EventKind::Breakpoint;
    RequestId requestId = 0;
    ThreadId thread = 0;
    Location location;
};

// MethodExit, and MethodExitWithReturnValue with the value the method returns.
struct MethodExitEvent {
    RequestId requestId = 0;
    ThreadId thread = 0;
    Location location;
    std::optional<Value> returnValue;
};

struct ExceptionEvent {
    RequestId requestId = 0;
    ThreadId thread = 0;
    Location location;
    Value exception;
    // Where the exception will be caught; nullopt when nothing catches it.
    std::optional<Location> catchLocation;
};

// ThreadStart and ThreadDeath.
struct ThreadEvent {
    EventKind kind = EventKind::ThreadStart;
    RequestId requestId = 0;
    ThreadId thread = 0;
};

struct ClassPrepareEvent {
    RequestId requestId = 0;
    ThreadId thread = 0;
    TypeTag refTypeTag = TypeTag::Class;
    ReferenceTypeId typeId = 0;
    std::string signature;
    std::int32_t status = 0;
};

struct ClassUnloadEvent {
    RequestId requestId = 0;
    std::string signature;
};

// FieldAccess, and FieldModification with the value to be assigned.
struct FieldEvent {
    EventKind kind = EventKind::FieldAccess;
    RequestId requestId = 0;
    ThreadId thread = 0;
    Location location;
    TypeTag refTypeTag = TypeTag::Class;
    ReferenceTypeId typeId = 0;
    FieldId fieldId = 0;
    Value object;
    std::optional<Value> newValue;
};

// MonitorContendedEnter/Entered, MonitorWait (with its timeout) and MonitorWaited (with
// whether it timed out).
struct MonitorEvent {
    EventKind kind = EventKind::MonitorWait;
    RequestId requestId = 0;
    ThreadId thread = 0;
    Value object;
    Location location;
    std::int64_t timeout = 0;
    bool timedOut = false;
};

using Event = std::variant<VmStartEvent, VmDeathEvent, VmDisconnectedEvent, LocatedEvent,
                           MethodExitEvent, ExceptionEvent, ThreadEvent, ClassPrepareEvent,
                           ClassUnloadEvent, FieldEvent, MonitorEvent>;

EventKind kindOf(const Event& event);
// The request that made the event (0 for events the VM sends unasked, and disconnects).
RequestId requestIdOf(const Event& event);
// The thread the event happened in, if it has one.
std::optional<ThreadId> threadOf(const Event& event);

// What one Event.Composite packet holds: the threads it suspended and its events.
struct EventSet {
    SuspendPolicy suspendPolicy = SuspendPolicy::None;
    std::vector<Event> events;
};

constexpr std::uint8_t EventCommandSet = 64;
constexpr std::uint8_t CompositeCommand = 100;

// Decodes an Event.Composite packet. Throws ProtocolError for anything else, an event
// kind the protocol does not define, or data that does not fit the layout.
EventSet decodeEventSet(const Packet& packet, const IdSizes& sizes);
// The data of an Event.Composite packet (what a VM sends; tests and fakes use it).
std::vector<std::uint8_t> encodeEventSet(const EventSet& set, const IdSizes& sizes);

} // namespace jdwp

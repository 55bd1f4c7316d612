#include "jdwp/events.h"

#include "jdwp/error.h"
#include "jdwp/wire.h"

#include <string>

namespace jdwp {

namespace {

template <class... Fs> struct Overload : Fs... {
    using Fs::operator()...;
};
template <class... Fs> Overload(Fs...) -> Overload<Fs...>;

// The fewest bytes one event of any kind takes: its kind and its request id.
constexpr std::size_t MinEventBytes = 5;

std::optional<Location> catchLocation(const Location& loc) {
    // The protocol sends a location of all zeros for an uncaught exception.
    if (loc.classId == 0 && loc.methodId == 0 && loc.index == 0) {
        return std::nullopt;
    }
    return loc;
}

Value taggedObject(PacketReader& in) {
    const Tag tag = in.tag();
    if (!isObjectTag(tag)) {
        throw ProtocolError("an object expected, a value of tag " +
                            std::string(1, static_cast<char>(tag)) + " found");
    }
    return in.untaggedValue(tag);
}

Event decodeEvent(PacketReader& in) {
    const std::uint8_t kindByte = in.u8();
    const auto kind = static_cast<EventKind>(kindByte);
    const RequestId requestId = in.i32();
    switch (kind) {
    case EventKind::VmStart:
        return VmStartEvent{requestId, in.objectId()};
    case EventKind::VmDeath:
        return VmDeathEvent{requestId};
    case EventKind::SingleStep:
    case EventKind::Breakpoint:
    case EventKind::MethodEntry: {
        LocatedEvent e{kind, requestId, in.objectId(), {}};
        e.location = in.location();
        return e;
    }
    case EventKind::MethodExit:
    case EventKind::MethodExitWithReturnValue: {
        MethodExitEvent e{requestId, in.objectId(), {}, {}};
        e.location = in.location();
        if (kind == EventKind::MethodExitWithReturnValue) {
            e.returnValue = in.taggedValue();
        }
        return e;
    }
    case EventKind::Exception: {
        ExceptionEvent e{requestId, in.objectId(), {}, {}, {}};
        e.location = in.location();
        e.exception = taggedObject(in);
        e.catchLocation = catchLocation(in.location());
        return e;
    }
    case EventKind::ThreadStart:
    case EventKind::ThreadDeath:
        return ThreadEvent{kind, requestId, in.objectId()};
    case EventKind::ClassPrepare: {
        ClassPrepareEvent e{requestId, in.objectId(), {}, {}, {}, {}};
        e.refTypeTag = in.typeTag();
        e.typeId = in.referenceTypeId();
        e.signature = in.string();
        e.status = in.i32();
        return e;
    }
    case EventKind::ClassUnload:
        return ClassUnloadEvent{requestId, in.string()};
    case EventKind::FieldAccess:
    case EventKind::FieldModification: {
        FieldEvent e{kind, requestId, in.objectId(), {}, {}, {}, {}, {}, {}};
        e.location = in.location();
        e.refTypeTag = in.typeTag();
        e.typeId = in.referenceTypeId();
        e.fieldId = in.fieldId();
        e.object = taggedObject(in);
        if (kind == EventKind::FieldModification) {
            e.newValue = in.taggedValue();
        }
        return e;
    }
    case EventKind::MonitorContendedEnter:
    case EventKind::MonitorContendedEntered:
    case EventKind::MonitorWait:
    case EventKind::MonitorWaited: {
        MonitorEvent e{kind, requestId, in.objectId(), {}, {}, 0, false};
        e.object = taggedObject(in);
        e.location = in.location();
        if (kind == EventKind::MonitorWait) {
            e.timeout = in.i64();
        } else if (kind == EventKind::MonitorWaited) {
            e.timedOut = in.boolean();
        }
        return e;
    }
    default:
        // The length of an event of an unknown kind cannot be told, so neither can
        // where the next one starts.
        throw ProtocolError("an event of unknown kind " + std::to_string(kindByte));
    }
}

void encodeEvent(PacketWriter& out, const Event& event) {
    out.u8(static_cast<std::uint8_t>(kindOf(event)));
    out.i32(requestIdOf(event));
    std::visit(Overload{
                   [&](const VmStartEvent& e) { out.objectId(e.thread); },
                   [&](const VmDeathEvent&) {},
                   [&](const VmDisconnectedEvent&) {
                       throw Error("a disconnect is not an event a VM sends");
                   },
                   [&](const LocatedEvent& e) { out.objectId(e.thread).location(e.location); },
                   [&](const MethodExitEvent& e) {
                       out.objectId(e.thread).location(e.location);
                       if (e.returnValue) {
                           out.taggedValue(*e.returnValue);
                       }
                   },
                   [&](const ExceptionEvent& e) {
                       out.objectId(e.thread).location(e.location).taggedValue(e.exception);
                       out.location(e.catchLocation.value_or(Location{}));
                   },
                   [&](const ThreadEvent& e) { out.objectId(e.thread); },
                   [&](const ClassPrepareEvent& e) {
                       out.objectId(e.thread).u8(static_cast<std::uint8_t>(e.refTypeTag));
                       out.referenceTypeId(e.typeId).string(e.signature).i32(e.status);
                   },
                   [&](const ClassUnloadEvent& e) { out.string(e.signature); },
                   [&](const FieldEvent& e) {
                       out.objectId(e.thread).location(e.location);
                       out.u8(static_cast<std::uint8_t>(e.refTypeTag)).referenceTypeId(e.typeId);
                       out.fieldId(e.fieldId).taggedValue(e.object);
                       if (e.newValue) {
                           out.taggedValue(*e.newValue);
                       }
                   },
                   [&](const MonitorEvent& e) {
                       out.objectId(e.thread).taggedValue(e.object).location(e.location);
                       if (e.kind == EventKind::MonitorWait) {
                           out.i64(e.timeout);
                       } else if (e.kind == EventKind::MonitorWaited) {
                           out.boolean(e.timedOut);
                       }
                   },
               },
               event);
}

} // namespace

EventKind kindOf(const Event& event) {
    return std::visit(Overload{
                          [](const VmStartEvent&) { return EventKind::VmStart; },
                          [](const VmDeathEvent&) { return EventKind::VmDeath; },
                          [](const VmDisconnectedEvent&) { return EventKind::VmDisconnected; },
                          [](const LocatedEvent& e) { return e.kind; },
                          [](const MethodExitEvent& e) {
                              return e.returnValue ? EventKind::MethodExitWithReturnValue
                                                   : EventKind::MethodExit;
                          },
                          [](const ExceptionEvent&) { return EventKind::Exception; },
                          [](const ThreadEvent& e) { return e.kind; },
                          [](const ClassPrepareEvent&) { return EventKind::ClassPrepare; },
                          [](const ClassUnloadEvent&) { return EventKind::ClassUnload; },
                          [](const FieldEvent& e) { return e.kind; },
                          [](const MonitorEvent& e) { return e.kind; },
                      },
                      event);
}

RequestId requestIdOf(const Event& event) {
    return std::visit(Overload{
                          [](const VmDisconnectedEvent&) { return RequestId{0}; },
                          [](const auto& e) { return e.requestId; },
                      },
                      event);
}

std::optional<ThreadId> threadOf(const Event& event) {
    return std::visit(Overload{
                          [](const VmDeathEvent&) { return std::optional<ThreadId>{}; },
                          [](const VmDisconnectedEvent&) { return std::optional<ThreadId>{}; },
                          [](const ClassUnloadEvent&) { return std::optional<ThreadId>{}; },
                          [](const auto& e) { return std::optional<ThreadId>{e.thread}; },
                      },
                      event);
}

EventSet decodeEventSet(const Packet& packet, const IdSizes& sizes) {
    if (packet.isReply() || packet.commandSet != EventCommandSet ||
        packet.command != CompositeCommand) {
        throw ProtocolError("a command packet " + std::to_string(packet.commandSet) + "." +
                            std::to_string(packet.command) + " where events were expected");
    }
    PacketReader in(packet.data, sizes);
    EventSet set;
    const std::uint8_t policy = in.u8();
    if (policy > static_cast<std::uint8_t>(SuspendPolicy::All)) {
        throw ProtocolError("unknown suspend policy " + std::to_string(policy));
    }
    set.suspendPolicy = static_cast<SuspendPolicy>(policy);
    const std::size_t n = in.count(MinEventBytes);
    set.events.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        set.events.push_back(decodeEvent(in));
    }
    if (!in.atEnd()) {
        throw ProtocolError(std::to_string(in.remaining()) +
                            " bytes left over after the events of a composite event");
    }
    return set;
}

std::vector<std::uint8_t> encodeEventSet(const EventSet& set, const IdSizes& sizes) {
    PacketWriter out(sizes);
    out.u8(static_cast<std::uint8_t>(set.suspendPolicy));
    out.i32(static_cast<std::int32_t>(set.events.size()));
    for (const Event& e : set.events) {
        encodeEvent(out, e);
    }
    return out.take();
}

} // namespace jdwp

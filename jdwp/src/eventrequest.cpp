#include "jdwp/eventrequest.h"

#include "jdwp/commands.h"
#include "jdwp/wire.h"

namespace jdwp {

namespace {

template <class... Fs> struct Overload : Fs... {
    using Fs::operator()...;
};
template <class... Fs> Overload(Fs...) -> Overload<Fs...>;

EventRequest make(EventKind kind) {
    EventRequest r;
    r.kind = kind;
    return r;
}

} // namespace

EventRequest EventRequest::breakpoint(const Location& at) {
    EventRequest r = make(EventKind::Breakpoint);
    r.modifiers.emplace_back(modifier::LocationOnly{at});
    return r;
}

EventRequest EventRequest::step(ThreadId thread, StepSize size, StepDepth depth) {
    EventRequest r = make(EventKind::SingleStep);
    r.modifiers.emplace_back(modifier::Step{thread, size, depth});
    return r;
}

EventRequest EventRequest::classPrepare() {
    return make(EventKind::ClassPrepare);
}

EventRequest EventRequest::methodExit() {
    return make(EventKind::MethodExit);
}

EventRequest EventRequest::exception(ReferenceTypeId type, bool caught, bool uncaught) {
    EventRequest r = make(EventKind::Exception);
    r.modifiers.emplace_back(modifier::ExceptionOnly{type, caught, uncaught});
    return r;
}

EventRequest EventRequest::threadDeath() {
    return make(EventKind::ThreadDeath);
}

EventRequest& EventRequest::suspend(SuspendPolicy policy) {
    suspendPolicy = policy;
    return *this;
}

EventRequest& EventRequest::count(std::int32_t n) {
    modifiers.emplace_back(modifier::Count{n});
    return *this;
}

EventRequest& EventRequest::threadOnly(ThreadId thread) {
    modifiers.emplace_back(modifier::ThreadOnly{thread});
    return *this;
}

EventRequest& EventRequest::classOnly(ReferenceTypeId type) {
    modifiers.emplace_back(modifier::ClassOnly{type});
    return *this;
}

EventRequest& EventRequest::classMatch(std::string pattern) {
    modifiers.emplace_back(modifier::ClassMatch{std::move(pattern)});
    return *this;
}

EventRequest& EventRequest::classExclude(std::string pattern) {
    modifiers.emplace_back(modifier::ClassExclude{std::move(pattern)});
    return *this;
}

EventRequest& EventRequest::sourceNameMatch(std::string pattern) {
    modifiers.emplace_back(modifier::SourceNameMatch{std::move(pattern)});
    return *this;
}

EventRequest& EventRequest::instanceOnly(ObjectId instance) {
    modifiers.emplace_back(modifier::InstanceOnly{instance});
    return *this;
}

std::vector<std::uint8_t> encodeEventRequest(const EventRequest& request, const IdSizes& sizes) {
    PacketWriter out(sizes);
    out.u8(static_cast<std::uint8_t>(request.kind));
    out.u8(static_cast<std::uint8_t>(request.suspendPolicy));
    out.i32(static_cast<std::int32_t>(request.modifiers.size()));
    for (const Modifier& m : request.modifiers) {
        // Modifier kinds as the protocol numbers them; Conditional (2) is reserved "for
        // the future" and not offered.
        std::visit(Overload{
                       [&](const modifier::Count& c) { out.u8(1).i32(c.count); },
                       [&](const modifier::ThreadOnly& t) { out.u8(3).objectId(t.thread); },
                       [&](const modifier::ClassOnly& c) { out.u8(4).referenceTypeId(c.type); },
                       [&](const modifier::ClassMatch& c) { out.u8(5).string(c.pattern); },
                       [&](const modifier::ClassExclude& c) { out.u8(6).string(c.pattern); },
                       [&](const modifier::LocationOnly& l) { out.u8(7).location(l.location); },
                       [&](const modifier::ExceptionOnly& e) {
                           out.u8(8).referenceTypeId(e.exceptionType);
                           out.boolean(e.caught).boolean(e.uncaught);
                       },
                       [&](const modifier::FieldOnly& f) {
                           out.u8(9).referenceTypeId(f.declaring).fieldId(f.field);
                       },
                       [&](const modifier::Step& s) {
                           out.u8(10).objectId(s.thread);
                           out.i32(static_cast<std::int32_t>(s.size));
                           out.i32(static_cast<std::int32_t>(s.depth));
                       },
                       [&](const modifier::InstanceOnly& i) { out.u8(11).objectId(i.instance); },
                       [&](const modifier::SourceNameMatch& s) { out.u8(12).string(s.pattern); },
                   },
                   m);
    }
    return out.take();
}

} // namespace jdwp

#pragma once

#include "jdwp/types.h"

#include <string>
#include <variant>
#include <vector>

namespace jdwp {

// The modifiers of EventRequest.Set. The VM applies them in the order given, so a
// Count placed before a class filter expires on events the filter then discards: put
// Count last.
namespace modifier {
struct Count {
    std::int32_t count = 1;
};
struct ThreadOnly {
    ThreadId thread = 0;
};
struct ClassOnly {
    ReferenceTypeId type = 0;
};
// A class name pattern: exact, or with one "*" at its start or its end.
struct ClassMatch {
    std::string pattern;
};
struct ClassExclude {
    std::string pattern;
};
struct LocationOnly {
    Location location;
};
// exceptionType 0 means every exception.
struct ExceptionOnly {
    ReferenceTypeId exceptionType = 0;
    bool caught = true;
    bool uncaught = true;
};
struct FieldOnly {
    ReferenceTypeId declaring = 0;
    FieldId field = 0;
};
struct Step {
    ThreadId thread = 0;
    StepSize size = StepSize::Line;
    StepDepth depth = StepDepth::Over;
};
struct InstanceOnly {
    ObjectId instance = 0;
};
struct SourceNameMatch {
    std::string pattern;
};
} // namespace modifier

using Modifier = std::variant<modifier::Count, modifier::ThreadOnly, modifier::ClassOnly,
                              modifier::ClassMatch, modifier::ClassExclude,
                              modifier::LocationOnly, modifier::ExceptionOnly,
                              modifier::FieldOnly, modifier::Step, modifier::InstanceOnly,
                              modifier::SourceNameMatch>;

// What EventRequest.Set asks for: a kind of event, which threads it suspends, and the
// modifiers that filter it, in order.
struct EventRequest {
    EventKind kind = EventKind::Breakpoint;
    SuspendPolicy suspendPolicy = SuspendPolicy::EventThread;
    std::vector<Modifier> modifiers;

    static EventRequest breakpoint(const Location& at);
    static EventRequest step(ThreadId thread, StepSize size, StepDepth depth);
    static EventRequest classPrepare();
    static EventRequest methodExit();
    static EventRequest exception(ReferenceTypeId type, bool caught, bool uncaught);
    static EventRequest threadDeath();

    EventRequest& suspend(SuspendPolicy policy);
    EventRequest& count(std::int32_t n);
    EventRequest& threadOnly(ThreadId thread);
    EventRequest& classOnly(ReferenceTypeId type);
    EventRequest& classMatch(std::string pattern);
    EventRequest& classExclude(std::string pattern);
    EventRequest& sourceNameMatch(std::string pattern);
    EventRequest& instanceOnly(ObjectId instance);
};

} // namespace jdwp

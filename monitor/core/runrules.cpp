#include "core/runrules.h"

#include <optional>

namespace tracewin {

RunRules::Decision RunRules::afterPosition(const Run& run) {
    Decision d;
    d.lastBreakpointLine = run.lastBreakpointLine;
    if (run.pauseRequested) {
        d.pauseTaken = true;
        d.action = Decision::Action::Stop;
        return d;
    }
    std::optional<bool> skip;
    const auto skipAnimation = [&] {
        if (!skip)
            skip = run.skipAnimation ? run.skipAnimation() : false;
        return *skip;
    };
    for (int line = run.spanFirstLine; line <= run.spanLastLine; ++line) {
        if (!run.isBreakpoint || !run.isBreakpoint(line))
            continue;
        if (line != d.lastBreakpointLine) {
            d.lastBreakpointLine = line;
            d.action = Decision::Action::Stop;
            return d;
        }
        if (skipAnimation()) {
            d.action = Decision::Action::Stop;
            return d;
        }
    }
    d.action = skipAnimation() ? Decision::Action::ResumeNow : Decision::Action::ResumeAfterDelay;
    if (run.spanLastLine != d.lastBreakpointLine)
        d.lastBreakpointLine = 0;
    return d;
}

} // namespace tracewin

#pragma once

#include <functional>

namespace tracewin {

// What an animated run (Run, or Fast forward: Run without the animation) does when the
// page runtime reports its next position. A plain function of the run's state, so that the
// rules can be read and tested without a window; the JSP view carries the decision out.
struct RunRules {
    // The run as the position arrives.
    struct Run {
        int spanFirstLine = 0; // the JSP lines the reported span covers
        int spanLastLine = 0;
        std::function<bool(int)> isBreakpoint; // whether a JSP line holds a breakpoint
        int lastBreakpointLine = 0;            // the breakpoint line the run stopped at last, or 0
        bool pauseRequested = false;           // Step was chosen while running
        // Read only when the rules need it (it comes from a settings file).
        std::function<bool()> skipAnimation;
    };
    struct Decision {
        enum class Action { Stop, ResumeNow, ResumeAfterDelay };
        Action action = Action::Stop;
        int lastBreakpointLine = 0; // what the run remembers from now on
        bool pauseTaken = false;    // the pause request is used up
    };

    // A pause request stops the run. A breakpoint on a line of the span stops it, unless
    // the run stopped at that same line last (a span that goes on over the line it
    // stopped at runs on, with the animation; without it, it stops again). Otherwise the
    // run goes on, at once without animation, and forgets the breakpoint line once the
    // span has left it.
    static Decision afterPosition(const Run& run);
};

} // namespace tracewin

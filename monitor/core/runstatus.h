#pragma once

#include <string>

namespace tracewin {

// What the page under the debugger is doing, as the window's status line tells the user:
// plain data that the page controller keeps up to date and a view words.
struct RunStatus {
    enum class Kind {
        None,         // nothing to say yet
        Waiting,      // listening for a page on `port`
        Ready,        // `file` is loaded and waits for the first command
        Stopped,      // `file` stopped at JSP `line`
        Running,      // a run or fast forward is in progress
        Ended,        // the page ended; the monitor waits on `port` for the next one
        CompileErrors // `file` did not compile; its errors are walked
    };
    Kind kind = Kind::None;
    std::string file; // the JSP file's name without its folder
    int line = 0;
    int port = 0;
    // For CompileErrors: whether an error follows or comes before the one shown (neither
    // when the page has only one).
    bool nextError = false;
    bool previousError = false;

    friend bool operator==(const RunStatus&, const RunStatus&) = default;
};

} // namespace tracewin

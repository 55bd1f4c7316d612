#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// The replies the monitor writes to a page runtime, one line each, and their reading on
// the page-runtime side. The builders return the reply without its line break.
class MonitorReplies {
public:
    // "%N" F "&" n: n is the execution state item after Step (0) or Run (1), or the error
    // walk (22 previous, 23 next) when errAction is not 21; "%N" F alone when errAction is
    // 21 and there is no item.
    static std::string getResumeReturnStr(std::string_view fileId, std::optional<int> item,
                                          int errAction);
    // "%B" F "&" line "&" 1 to set, 2 to clear.
    static std::string getSetBreakptStr(std::string_view fileId, std::int32_t line, bool set);
    // "%S" F: switch to that page.
    static std::string getSwitchFileStr(std::string_view fileId);
    // "%T": the monitor closes the connection.
    static std::string getServerExitStr();

    // What a page runtime reads from one reply line.
    struct Reply {
        enum class Kind { Continue, Breakpoint, SwitchFile, ServerExit, Unknown };
        Kind kind = Kind::Unknown;
        std::string fileId;
        std::optional<std::int32_t> code; // Continue: the state or error-walk code, if any
        std::int32_t line = 0;            // Breakpoint: the JSP line
        std::int32_t action = 0;          // Breakpoint: 1 set, 2 clear
    };
    // Reads one reply line; a trailing LF or CR LF is ignored. Anything malformed is
    // Kind::Unknown.
    static Reply parse(std::string_view line);
};

} // namespace tracehook

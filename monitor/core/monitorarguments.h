#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tracewin {

// The monitor's command line. Options are matched by containment anywhere in an
// argument: "-hide" shows nothing and exits after building the window, "-external" marks
// a monitor started outside the development environment, "-server" takes the following
// argument as the test server's root (the argument after it is examined as well).
struct MonitorArguments {
    bool hide = false;
    bool external = false;
    std::optional<std::string> serverRoot;

    static MonitorArguments processArgs(const std::vector<std::string>& args);
};

} // namespace tracewin

#pragma once

#include "pagerunner/pagerunner.h"

#include <optional>
#include <string>
#include <vector>

namespace pagerunner {

// The command line of the pagerunner program:
//   pagerunner [--port N] [--root DIR] [--work DIR] [--param NAME=VALUE]... [--file-id N]
//              [--wait SECONDS] PAGE.jsp
//   pagerunner --translate PAGE.jsp [--work DIR]
//   pagerunner --help | --version
struct CommandLine {
    enum class Mode { Run, Translate, Help, Version };

    Mode mode = Mode::Run;
    PageRunnerOptions options;
    std::optional<int> port; // --port
    std::string root;        // --root: the test-environment root

    // Throws std::invalid_argument with a message for the user.
    static CommandLine parse(const std::vector<std::string>& args);
    static std::string usage();

    // The port to connect to: --port; else the first line ("port=N") of the monitor's
    // debug settings file below --root, or below the install this program runs from;
    // else 8082.
    int resolvePort() const;
    // The debug settings file that resolvePort() reads, when one can be named.
    std::optional<std::string> settingsFile() const;
};

// The program: parses the arguments, runs or translates the page, and returns the exit
// code. Messages go to the two streams.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace pagerunner

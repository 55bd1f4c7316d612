#pragma once

#include <string>

namespace tracewin {

// Sends the process's standard output and standard error to two files, line-buffered so
// that a user can follow the log while the monitor runs. The file descriptors 1 and 2
// themselves are redirected, so output of every library goes there too.
class OutputRedirection {
public:
    // Returns false, with the streams unchanged, when either file cannot be opened.
    static bool redirect(const std::string& outPath, const std::string& errPath);
};

} // namespace tracewin

#include "core/outputredirection.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tracewin {

bool OutputRedirection::redirect(const std::string& outPath, const std::string& errPath) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) {
        ::close(out);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const bool ok = ::dup2(out, STDOUT_FILENO) >= 0 && ::dup2(err, STDERR_FILENO) >= 0;
    ::close(out);
    ::close(err);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::setvbuf(stderr, nullptr, _IOLBF, 0);
    return ok;
}

} // namespace tracewin

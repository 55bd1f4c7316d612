#pragma once

#include <QString>
#include <cstdio>

namespace panekit {

// One diagnostic line on standard output, flushed at once so that it survives a crash.
inline void printLine(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace panekit

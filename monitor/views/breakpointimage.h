#pragma once

#include <QPixmap>
#include <QString>

namespace tracewin {

// The mark drawn in the margin of a line that carries a breakpoint.
struct BreakpointImage {
    static constexpr const char* FILE_NAME = "bp.gif";
    // Side of the stand-in disc drawn when the image file cannot be read.
    static constexpr int FALLBACK_SIZE = 9;

    // The image file installed with the monitor: its install path, the platform file
    // separator, "bp.gif". Just "bp.gif" (the working directory) when the install path
    // is unknown.
    static QString path();
    // The image in the file, or a red disc when the file cannot be read, so that a
    // breakpoint never goes unmarked.
    static QPixmap load(const QString& path);
    static QPixmap fallback();
    // The mark of a breakpoint that carries a condition: the mark with a white "=" across
    // it, so that the two tell apart at a glance and in any colour scheme.
    static QPixmap conditional(const QPixmap& mark);
};

} // namespace tracewin

#pragma once

#include <QString>

namespace tracewin {

// The status line of a view's parent context, as the views see it: one message that any
// view may set or read. The frame's own status line is connected through this seam.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void setMessage(const QString& message) = 0;
    virtual QString getMessage() const = 0;
};

} // namespace tracewin

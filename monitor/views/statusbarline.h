#pragma once

#include "views/statusline.h"

#include <QPointer>

class QMainWindow;

namespace tracewin {

class StatusTextLabel;

// A status line shown in a window's status bar: one line of text that every view of
// the window writes to. Views of one window share the line, so the last message set is
// the one shown and read back. The window may replace its status bar after the views are
// installed (the framework puts in its own on first use), so the line is looked up in
// the bar the window has now, never kept from an earlier one.
class StatusBarLine final : public StatusLine {
public:
    explicit StatusBarLine(QMainWindow* window);

    void setMessage(const QString& message) override;
    QString getMessage() const override;

private:
    // The text in the window's current status bar, made there when missing.
    StatusTextLabel* label() const;

    QPointer<QMainWindow> window_;
};

} // namespace tracewin

#pragma once

#include "statusline.h"

#include <QPointer>

class QLabel;
class QStatusBar;

namespace tracewin {

// A status line shown in a window's status bar: one permanent label that every view of
// the window writes to. Views of one window share the label, so the last message set is
// the one shown and read back.
class StatusBarLine final : public StatusLine {
public:
    explicit StatusBarLine(QStatusBar* bar);

    void setMessage(const QString& message) override;
    QString getMessage() const override;

private:
    QPointer<QLabel> label_;
};

} // namespace tracewin

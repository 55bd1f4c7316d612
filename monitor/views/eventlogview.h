#pragma once

#include "panekit/tool.h"

#include <QPointer>

class QPlainTextEdit;

namespace tracewin {

// A view that lists every event it receives, one line each: what reached a page and in
// which order. It stands in for views that a page does not have yet and helps to follow a
// conversation with a page runtime.
class EventLogView : public panekit::Tool {
    Q_OBJECT
public:
    EventLogView();
    ~EventLogView() override;

    QWidget* getView() override;
    QStringList lines() const { return lines_; }
    void clearLines() { lines_.clear(); }

    // A one-line description of an event: its kind and its item.
    static QString describe(const panekit::LinkEvent& event);

private:
    void append(const panekit::LinkEvent& event);

    QPointer<QPlainTextEdit> text_;
    QStringList lines_;
};

} // namespace tracewin

#include "focustracker.h"

#include "panekit/tool.h"
#include "panekit/toolpane.h"

#include <QApplication>

namespace panekit {

FocusTracker& FocusTracker::instance() {
    static QPointer<FocusTracker> tracker;
    if (!tracker)
        tracker = new FocusTracker(QCoreApplication::instance());
    return *tracker;
}

FocusTracker::FocusTracker(QObject* parent) : QObject(parent) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        connect(app, &QApplication::focusChanged, this, &FocusTracker::focusChanged);
}

void FocusTracker::focusChanged(QWidget*, QWidget* now) {
    for (QWidget* w = now; w; w = w->parentWidget()) {
        if (auto* pane = qobject_cast<ToolPane*>(w)) {
            setToolInFocus(pane->getTool());
            return;
        }
    }
}

void FocusTracker::setToolInFocus(Tool* tool) {
    if (tool == current_)
        return;
    QPointer<Tool> previous = current_;
    current_ = tool;
    if (previous)
        previous->focusLost();
    if (tool)
        tool->focusGained();
    emit toolInFocusChanged(tool);
}

} // namespace panekit

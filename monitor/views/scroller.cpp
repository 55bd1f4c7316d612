#include "views/scroller.h"

#include "views/commonviewcomponent.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QThread>

namespace tracewin {

Scroller::Scroller(CommonViewComponent& component, const QRect& rect)
    : component_(&component), rect_(rect) {}

void Scroller::schedule(CommonViewComponent& component, const QRect& rect) {
    if (QThread::currentThread() == component.thread()) {
        Scroller(component, rect).run();
        return;
    }
    // The component is the job's context: a job for a component that is gone is dropped.
    QMetaObject::invokeMethod(
        &component, [c = &component, rect] { Scroller(*c, rect).run(); }, Qt::QueuedConnection);
}

void Scroller::run() const {
    if (!component_)
        return;
    QAbstractScrollArea* area = component_->getScrollArea();
    if (!area)
        return;
    area->horizontalScrollBar()->setValue(rect_.x());
    area->verticalScrollBar()->setValue(rect_.y());
    // The component covers what the viewport shows of the text; asking it to repaint
    // again before it painted costs nothing, where the viewport's update walks the widget
    // tree every time.
    component_->repaintWhole();
}

} // namespace tracewin

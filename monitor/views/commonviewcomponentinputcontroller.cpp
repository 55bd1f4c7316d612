#include "views/commonviewcomponentinputcontroller.h"

#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentcaret.h"
#include "views/commonviewcomponentlayoutmanager.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace tracewin {

CommonViewComponentInputController::CommonViewComponentInputController(
    CommonViewComponent& component)
    : comViewComponent_(component) {}

bool CommonViewComponentInputController::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &comViewComponent_)
        return false;
    // The handlers see mouse positions in content coordinates, wherever the view scrolled.
    const QPoint offset = comViewComponent_.contentOffset();
    if (!offset.isNull() && isMouseButtonEvent(event->type())) {
        const auto& mouse = static_cast<const QMouseEvent&>(*event);
        QMouseEvent inContent(mouse.type(), mouse.position() + offset, mouse.scenePosition(),
                              mouse.globalPosition(), mouse.button(), mouse.buttons(),
                              mouse.modifiers(), mouse.pointingDevice());
        return handle(&inContent);
    }
    return handle(event);
}

bool CommonViewComponentInputController::isMouseButtonEvent(QEvent::Type type) {
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
           type == QEvent::MouseMove || type == QEvent::MouseButtonRelease;
}

bool CommonViewComponentInputController::handle(QEvent* event) {
    const bool hasLines = comViewComponent_.getLayoutManager().hasLines();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (hasLines)
            mousePressed(static_cast<QMouseEvent&>(*event));
        return true;
    case QEvent::MouseButtonDblClick:
        if (hasLines)
            mouseDoubleClicked(static_cast<QMouseEvent&>(*event));
        return true;
    case QEvent::MouseMove:
        if (hasLines && (static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton))
            mouseDragged(static_cast<QMouseEvent&>(*event));
        return true;
    case QEvent::MouseButtonRelease:
        if (hasLines &&
            static_cast<QMouseEvent*>(event)->position().toPoint() == lastPressedPosition_)
            mouseClicked(static_cast<QMouseEvent&>(*event));
        return true;
    case QEvent::ContextMenu:
        return hasLines && marginMenuRequested(static_cast<QContextMenuEvent&>(*event));
    case QEvent::KeyPress:
        return hasLines && keyPressed(static_cast<QKeyEvent&>(*event));
    case QEvent::KeyRelease:
        if (hasLines)
            keyReleased(static_cast<QKeyEvent&>(*event));
        return false;
    default:
        return false;
    }
}

void CommonViewComponentInputController::mousePressed(QMouseEvent& event) {
    comViewComponent_.setFocus(Qt::MouseFocusReason);
    const QPoint p = event.position().toPoint();
    if (std::optional<FilePosition> fp =
            comViewComponent_.getLayoutManager().pointToRelativeFilePosition(p))
        comViewComponent_.getCaret().setPosition(*fp);
    lastPressedPosition_ = p;
}

void CommonViewComponentInputController::mouseClicked(QMouseEvent&) {}

void CommonViewComponentInputController::mouseDoubleClicked(QMouseEvent& event) {
    // The second press of a double click is a press as well.
    mousePressed(event);
    const QPoint p = event.position().toPoint();
    // The whole margin, line numbers included, takes breakpoints where it has marks.
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    if (event.button() == Qt::LeftButton && layout.getBreakAreaDim().width() > 0 &&
        layout.isPointContainedInGraphicsArea(
            QPoint(p.x() - comViewComponent_.contentOffset().x(), p.y()))) // the margin stays put
        comViewComponent_.setBreakpoint(p);
}

bool CommonViewComponentInputController::marginMenuRequested(QContextMenuEvent& event) {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    const QPoint inContent = event.pos() + comViewComponent_.contentOffset();
    // The margin stays put while the text scrolls sideways: across, its point is the widget's.
    if (layout.getBreakAreaDim().width() <= 0 ||
        !layout.isPointContainedInGraphicsArea(QPoint(event.pos().x(), inContent.y())))
        return false;
    comViewComponent_.showBreakpointMenu(inContent, event.globalPos());
    return true;
}

void CommonViewComponentInputController::mouseDragged(QMouseEvent&) {
    // The text is read-only: a drag selects nothing.
}

bool CommonViewComponentInputController::textFillsViewport() const {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    return layout.getNumRecords() >= layout.getMaxNumOfDisplayLines();
}

bool CommonViewComponentInputController::keyPressed(QKeyEvent& event) {
    const bool paging = event.key() == Qt::Key_PageUp || event.key() == Qt::Key_PageDown;
    if (!textFillsViewport())
        return paging;
    // The event's own modifiers decide: a Control key pressed or released while another
    // widget had the focus never reached this listener.
    const bool control = event.modifiers().testFlag(Qt::ControlModifier);
    switch (event.key()) {
    case Qt::Key_Control:
        processingCTLKey_ = true;
        return false;
    case Qt::Key_PageUp:
        pageUp();
        return true;
    case Qt::Key_PageDown:
        pageDown();
        return true;
    case Qt::Key_Home:
        if (!control)
            return false;
        comViewComponent_.getCaret().setPosition(FilePosition(1, 1));
        return true;
    case Qt::Key_End:
        if (!control)
            return false;
        comViewComponent_.getCaret().setPosition(
            FilePosition(1, comViewComponent_.getLayoutManager().getNumRecords()));
        return true;
    default:
        return false;
    }
}

void CommonViewComponentInputController::keyReleased(QKeyEvent& event) {
    if (event.key() == Qt::Key_Control && textFillsViewport())
        processingCTLKey_ = false;
}

void CommonViewComponentInputController::pageUp() {
    const int fully = comViewComponent_.getLayoutManager().getMaxNumOfDisplayLines();
    comViewComponent_.scrollLineToVisible(
        std::max(1, comViewComponent_.getFirstVisibleLine() - fully));
}

void CommonViewComponentInputController::pageDown() {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    const int fully = layout.getMaxNumOfDisplayLines();
    int top = comViewComponent_.getFirstVisibleLine() + fully;
    // The last page ends with the last line (not one line short of it).
    if (top >= layout.getNumRecords())
        top = layout.getNumRecords() - fully + 1;
    comViewComponent_.scrollLineToVisible(std::max(1, top));
}

} // namespace tracewin

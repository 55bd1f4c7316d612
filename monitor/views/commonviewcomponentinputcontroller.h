#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>

class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;

namespace tracewin {

class CommonViewComponent;

// The mouse and key listener of a source text component: a press moves the caret, a
// double click in the margin toggles a breakpoint, a context menu there edits it, Page Up/Down page
// through the text, Control+Home/End put the caret on the first or last line. The text is
// read-only, so dragging selects nothing. Subclasses may react to the events in their own way.
class CommonViewComponentInputController : public QObject {
public:
    explicit CommonViewComponentInputController(CommonViewComponent& component);

    bool getProcessingCTLKey() const { return processingCTLKey_; }
    QPoint getLastPressedPosition() const { return lastPressedPosition_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    virtual void mousePressed(QMouseEvent& event);
    // A press and release at the same point; nothing by default.
    virtual void mouseClicked(QMouseEvent& event);
    virtual void mouseDoubleClicked(QMouseEvent& event);
    virtual void mouseDragged(QMouseEvent& event);
    // True when the key was acted on (the scroll area must not act on it again).
    virtual bool keyPressed(QKeyEvent& event);
    virtual void keyReleased(QKeyEvent& event);

    CommonViewComponent& component() const { return comViewComponent_; }

private:
    static bool isMouseButtonEvent(QEvent::Type type);
    // The event, with mouse positions in content coordinates.
    bool handle(QEvent* event);
    // Keys act only when the text fills the viewport.
    bool textFillsViewport() const;
    // A context menu asked for in the margin: the breakpoint menu of its line.
    bool marginMenuRequested(QContextMenuEvent& event);
    void pageUp();
    void pageDown();

    bool processingCTLKey_ = false;
    CommonViewComponent& comViewComponent_;
    QPoint lastPressedPosition_;
};

} // namespace tracewin

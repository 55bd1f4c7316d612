#pragma once

#include <QPointer>
#include <QRect>

namespace tracewin {

class CommonViewComponent;

// Scrolls a source text component's scroll area so that a rectangle's top-left corner
// becomes the top-left of the viewport. It runs on the component's (user-interface)
// thread: at once when asked there, queued to run there later otherwise.
class Scroller {
public:
    Scroller(CommonViewComponent& component, const QRect& rect);

    // Runs the scroll on the component's thread.
    static void schedule(CommonViewComponent& component, const QRect& rect);

    void run() const;
    QRect getRect() const { return rect_; }

private:
    QPointer<CommonViewComponent> component_;
    QRect rect_;
};

} // namespace tracewin

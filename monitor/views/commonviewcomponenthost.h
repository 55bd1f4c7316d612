#pragma once

#include <QPoint>

namespace tracewin {

class CommonModel;

// What the source text component asks of the view that shows it. The view implements it;
// the component never reaches further into the view or the framework.
class CommonViewComponentHost {
public:
    virtual ~CommonViewComponentHost() = default;

    // The model whose lines the component shows when it is made; null when there is none.
    virtual const CommonModel* getCommonModel() const = 0;
    // Whether the view has the input focus.
    virtual bool getFocus() const = 0;
    // The user set (true) or cleared (false) the breakpoint of a 1-based line.
    virtual void sendBreakpointInfo(int line, bool isSet) = 0;
    // The user asked for the breakpoint menu of a 1-based line in the margin, at a point
    // on the screen. A view without one ignores it.
    virtual void showBreakpointMenu(int line, const QPoint& globalPos) {
        (void)line;
        (void)globalPos;
    }
    // The caret went to another line while the view had the focus: the frame's
    // selected-item menu must show the view's entries for the new position.
    virtual void refreshSelectedItemMenu() = 0;
};

} // namespace tracewin

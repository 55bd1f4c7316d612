#include "views/stackviewcomponentinputcontroller.h"

#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/stackview.h"

#include <QMouseEvent>

namespace tracewin {

StackViewComponentInputController::StackViewComponentInputController(CommonViewComponent& component,
                                                                     StackView& view)
    : CommonViewComponentInputController(component), view_(view) {}

void StackViewComponentInputController::mouseClicked(QMouseEvent& event) {
    if (event.button() != Qt::LeftButton)
        return;
    const int line =
        component().getLayoutManager().yCoordToLineNumber(event.position().toPoint().y());
    if (line >= 1)
        view_.selectLine(line - 1);
}

} // namespace tracewin

#pragma once

#include "views/commonviewcomponentinputcontroller.h"

namespace tracewin {

class StackView;

// The tag stack's mouse listener: a click selects the stack line under it and marks that
// tag in the HTML view.
class StackViewComponentInputController final : public CommonViewComponentInputController {
public:
    StackViewComponentInputController(CommonViewComponent& component, StackView& view);

protected:
    void mouseClicked(QMouseEvent& event) override;

private:
    StackView& view_;
};

} // namespace tracewin

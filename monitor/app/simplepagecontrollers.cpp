#include "app/simplepagecontrollers.h"

#include "views/monitorevents.h"

namespace tracewin {
SimplePageController::SimplePageController() {
    passDown<StartupEvent>();
    passDown<HighlightEvent>();
    passDown<StepEvent>();
    passDown<ClientExitEvent>();
    passUp<ResumeEvent>();
    passUp<ExitEvent>();
}

QStringList SimplePageController::getLinkEventNames() const {
    return {StartupEvent::kindKey(), ResumeEvent::kindKey(), HighlightEvent::kindKey(),
            ExitEvent::kindKey(),    StepEvent::kindKey(),   ClientExitEvent::kindKey()};
}

JavaPageController::JavaPageController() {
    onLinkEvent<UpdateModelStateEvent>([](const UpdateModelStateEvent&) {});
}

JspBreakPageController::JspBreakPageController() {
    onLinkEvent<UpdateModelStateEvent>([](const UpdateModelStateEvent&) {});
}

} // namespace tracewin

#include "simplepagecontrollers.h"

#include "monitorevents.h"

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

JspPageController::JspPageController() {
    passDown<HtmlEvent>();
    passUp<SetBreakpointEvent>();
    passUp<PrevErrEvent>();
    passUp<NextErrEvent>();
    passUp<RestartConnectionEvent>();
    onLinkEvent<SwitchJspFileEvent>([this](const SwitchJspFileEvent& e) {
        fireParentLinkEvent(e);
        fireLinkEvent(e);
    });
}

QStringList JspPageController::getLinkEventNames() const {
    return SimplePageController::getLinkEventNames() +
           QStringList{HtmlEvent::kindKey(), SwitchJspFileEvent::kindKey()};
}

JavaPageController::JavaPageController() {
    onLinkEvent<UpdateModelStateEvent>([](const UpdateModelStateEvent&) {});
}

JspBreakPageController::JspBreakPageController() {
    onLinkEvent<UpdateModelStateEvent>([](const UpdateModelStateEvent&) {});
}

} // namespace tracewin

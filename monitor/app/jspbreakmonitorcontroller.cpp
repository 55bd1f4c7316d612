#include "app/jspbreakmonitorcontroller.h"

#include "panekit/application.h"
#include "tracehook/tracer.h"
#include "views/monitorevents.h"

namespace tracewin {
namespace {
void print(const std::string& line) {
    tracehook::Tracer::printLine(line);
}
} // namespace

JspBreakMonitorController::JspBreakMonitorController() {
    onLinkEvent<ResumeEvent>(&JspBreakMonitorController::handleResume);
    onLinkEvent<ExitEvent>(&JspBreakMonitorController::handleExit);
}

QStringList JspBreakMonitorController::getLinkEventNames() const {
    return {StartupEvent::kindKey(), HighlightEvent::kindKey(), ClientExitEvent::kindKey()};
}

Record JspBreakMonitorController::fixedFileInfo() {
    const std::string page = "c:/www/html/simple.jsp";
    return std::make_shared<const tracehook::JspSourceInfo>("1", page, page, false);
}

void JspBreakMonitorController::toolActive() {
    getFilenames();
    print("MonitorController::toolActive()");
}

void JspBreakMonitorController::getFilenames() {
    const Record record = fixedFileInfo();
    if (record->getInfoType() != tracehook::JspSourceInfo::FILE_INFO) {
        print("error: wrong info type, expecting file info");
        return;
    }
    fireChildrenLinkEvent(std::make_shared<StartupEvent>(this, QString(), std::any(record)));
}

void JspBreakMonitorController::write(const std::string&) {
    // There is never a connection to write to.
    print("Error: Cannot talk to server.");
}

Record JspBreakMonitorController::read() {
    print("Error: Cannot talk to server.");
    return nullptr;
}

void JspBreakMonitorController::handleResume(ResumeEvent&) {
    write("");
    const Record record = read();
    if (!record)
        return;
    switch (record->getInfoType()) {
    case tracehook::JspSourceInfo::LINE_INFO:
        fireChildrenLinkEvent(std::make_shared<HighlightEvent>(this, QString(), std::any(record)));
        break;
    case tracehook::JspSourceInfo::COMMENT_INFO:
        break;
    case tracehook::JspSourceInfo::CLIENT_EXIT_COMMAND:
        fireChildrenLinkEvent(
            std::make_shared<ClientExitEvent>(this, tracehook::JspSourceInfo::CLIENT_EXIT_COMMAND));
        break;
    default:
        print("error: wrong info type");
        break;
    }
}

void JspBreakMonitorController::handleExit(ExitEvent&) {
    write("%T");
    if (panekit::Application* app = getApplication())
        app->exit(0);
}

} // namespace tracewin

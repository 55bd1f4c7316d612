#include "app/monitorcontroller.h"

#include "app/monitor.h"
#include "core/breakpoints.h"
#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/linkdeliverybatch.h"
#include "tracehook/debugconstants.h"
#include "tracehook/tracer.h"
#include "views/monitorevents.h"

#include <cstdio>
#include <utility>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;
using tracehook::Tracer;

constexpr const char* kSource = "MonitorController";

void print(const std::string& line) {
    Tracer::printLine(line);
}

std::any recordItem(const Record& record) {
    return record ? std::any(record) : std::any();
}

} // namespace

MonitorController::MonitorController()
    : settings_(MonitorSettings::fromInstall()),
      session_(std::make_shared<DebugSession>(settings_)), connections_(*this, this) {
    onLinkEvent<ResumeEvent>(&MonitorController::handleResume);
    onLinkEvent<PrevErrEvent>(&MonitorController::handlePrevErr);
    onLinkEvent<NextErrEvent>(&MonitorController::handleNextErr);
    onLinkEvent<SetBreakpointEvent>(&MonitorController::handleSetBreakpoint);
    onLinkEvent<SwitchJspFileEvent>(&MonitorController::handleSwitchJspFile);
    onLinkEvent<ClientExitEvent>(&MonitorController::handleClientExit);
    onLinkEvent<ExitEvent>(&MonitorController::handleExit);
    onLinkEvent<RestartConnectionEvent>(&MonitorController::handleRestartConnection);
    session_->onRunChanged([this] { connections_.updateAnswerAhead(); });
    Tracer::trace(kSource, "", "In MonitorController constructor...");
}

MonitorController::~MonitorController() {
    // The views may keep the session longer than the connections live.
    session_->onRunChanged(nullptr);
}

void MonitorController::setSettings(MonitorSettings settings) {
    settings_ = std::move(settings);
    session_->useFlagFiles(settings_);
}

QStringList MonitorController::getLinkEventNames() const {
    return {StartupEvent::kindKey(),
            HighlightEvent::kindKey(),
            HtmlEvent::kindKey(),
            ClientExitEvent::kindKey(),
            SwitchJspFileFromServletEvent::kindKey(),
            VariablesEvent::kindKey(),
            PassedEvent::kindKey()};
}

void MonitorController::toolActive() {
    if (hidden_)
        return;
    print("MonitorController::toolActive()");
    QElapsedTimer timer;
    timer.start();
    if (!init()) {
        const std::string reason =
            "the listening socket cannot be opened on port " + std::to_string(port_);
        if (startFailed_)
            startFailed_(reason);
        else
            Monitor::initFailed(reason);
        return;
    }
    session_->updateVariablesWanted();
    Tracer::trace(kSource, "toolActive",
                  "Time for init of MonitorController: " +
                      std::to_string(timer.elapsed() / 1000.0));
}

bool MonitorController::init() {
    Tracer::trace(kSource, "init", "MonitorController.init()");
    print("Inet address = localhost/127.0.0.1");
    port_ = settings_.getConnectPort().value_or(8082);
    print("The connect port is: " + std::to_string(port_));
    std::string error;
    if (!connections_.listen(port_, &error)) {
        print("Error: Cannot get the local host address.\n\tException: " + error);
        std::fflush(stdout);
        return false;
    }
    Tracer::trace(kSource, "init", "Trying to connect socket...");
    return true;
}

void MonitorController::handleResume(ResumeEvent& e) {
    std::optional<int> item;
    if (const int* state = e.itemAs<int>())
        item = *state;
    connections_.resume(item);
}

void MonitorController::handlePrevErr(PrevErrEvent&) {
    connections_.prevErr();
}
void MonitorController::handleNextErr(NextErrEvent&) {
    connections_.nextErr();
}

void MonitorController::handleSetBreakpoint(SetBreakpointEvent& e) {
    if (const BreakpointInfo* info = e.itemAs<BreakpointInfo>())
        connections_.setBreakpoint(info->getLineNum(), info->getIsSetBreakpt());
}

void MonitorController::handleSwitchJspFile(SwitchJspFileEvent& e) {
    if (const int* id = e.itemAs<int>())
        connections_.switchFile(*id);
}

void MonitorController::handleClientExit(ClientExitEvent&) {
    connections_.terminate();
}

void MonitorController::handleExit(ExitEvent&) {
    fireChildrenLinkEvent(makeEvent<HighlightEvent>(this));
    connections_.cleanAllClientSocket();
    settings_.saveIsMonitorWindowExists(false);
    session_->stopAskingForVariables();
    exiting_ = true;
    // The window does not close on this path: its layout is kept for the next start here.
    if (panekit::BrowserFrame* frame = getParentFrame())
        frame->keepLayout();
    if (panekit::Application* app = getApplication())
        app->exit(0);
}

void MonitorController::handleRestartConnection(RestartConnectionEvent&) {}

bool MonitorController::windowClosing() {
    print("Closing the monitor...");
    std::fflush(stdout);
    return true;
}

bool MonitorController::applicationExiting() {
    print("Closing the monitor...");
    std::fflush(stdout);
    settings_.saveIsMonitorWindowExists(false);
    connections_.cleanAllClientSocket();
    settings_.saveIsResetPortNum(true);
    session_->stopAskingForVariables();
    return true;
}

void MonitorController::startup(const Record& record) {
    fireChildrenLinkEvent(makeEvent<StartupEvent>(this, recordItem(record)));
}
void MonitorController::highlight(const Record& record) {
    fireHighlight(record, panekit::LinkEvent::NONE);
}
void MonitorController::passed(const Record& record) {
    if (record->getInfoType() == JspSourceInfo::HTML_INFO)
        fireChildrenLinkEvent(
            std::make_shared<HtmlEvent>(this, kAnsweredAhead, QString(), std::any(record)));
    else
        fireHighlight(record, kAnsweredAhead);
}
bool MonitorController::passedMayGoTogether() const {
    // A run that passes every position, with no variables to hand to a stop and no trace to
    // write of each: a position only moves the marks, which the next one moves again.
    return session_->runsAhead() && !nextStopVariables_ && !variablesShown_ &&
           !tracehook::DebugConstants::getTrace();
}
void MonitorController::passedTogether(std::vector<Record> records) {
    // Only while no variables are on show: the session holds none, as fireHighlight left it.
    fireChildrenLinkEvent(makeEvent<PassedEvent>(
        this, std::make_shared<const std::vector<Record>>(std::move(records))));
}
void MonitorController::fireHighlight(const Record& record, std::int32_t eventType) {
    // Variables belong to the stop they came before; a stop without any has none, so that
    // a condition is never tried on an earlier stop's values.
    Variables variables = std::exchange(nextStopVariables_, nullptr);
    if (record && record->getInfoType() != JspSourceInfo::LINE_INFO)
        variables = nullptr;
    session_->setVariables(variables);
    // While no runtime sends any, the pages hear nothing more per step.
    if (variables || variablesShown_)
        fireChildrenLinkEvent(makeEvent<VariablesEvent>(this, variables));
    variablesShown_ = variables != nullptr;
    fireChildrenLinkEvent(
        std::make_shared<HighlightEvent>(this, eventType, QString(), recordItem(record)));
}
void MonitorController::variables(const Variables& variables) {
    nextStopVariables_ = variables;
}
std::optional<int> MonitorController::continueItem() const {
    return session_->currentState();
}
std::optional<RuntimeConnectionEvents::AheadAnswer> MonitorController::answerAhead() const {
    // Output and variables are answered with the state of the run whatever it is, as the
    // views answer them; positions only while the run passes every one.
    return AheadAnswer{session_->currentState(), session_->runsAhead()};
}

void MonitorController::beginDelivery() {
    panekit::LinkDeliveryBatch::hold();
}

void MonitorController::endDelivery() {
    panekit::LinkDeliveryBatch::release();
}
void MonitorController::html(const Record& record) {
    fireChildrenLinkEvent(makeEvent<HtmlEvent>(this, recordItem(record)));
}
void MonitorController::clientExit(const Record& record, int code) {
    fireChildrenLinkEvent(record ? makeEvent<ClientExitEvent>(this, std::any(record))
                                 : std::make_shared<ClientExitEvent>(this, code));
}
void MonitorController::switchFromServlet(const Record& record) {
    fireChildrenLinkEvent(makeEvent<SwitchJspFileFromServletEvent>(this, recordItem(record)));
}
void MonitorController::switchAnswered(const Record& record) {
    fireChildrenLinkEvent(std::make_shared<SwitchJspFileFromServletEvent>(
        this, kShownAgain, QString(), recordItem(record)));
}

bool MonitorController::isHidden() const {
    return hidden_;
}
bool MonitorController::isMainWindowVisible() const {
    const panekit::BrowserFrame* frame = getParentFrame();
    return frame && frame->isVisible();
}
void MonitorController::showMainWindow() {
    if (panekit::BrowserFrame* frame = getParentFrame())
        frame->show();
}
void MonitorController::raiseMainWindow() {
    if (panekit::BrowserFrame* frame = getParentFrame()) {
        frame->raise();
        frame->activateWindow();
    }
}

} // namespace tracewin

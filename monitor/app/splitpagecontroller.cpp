#include "app/splitpagecontroller.h"

#include "app/commandaction.h"
#include "core/breakpoints.h"
#include "core/record.h"
#include "core/resourceconstants.h"
#include "panekit/application.h"
#include "panekit/menudata.h"
#include "panekit/toolbarcontribution.h"
#include "tracehook/decimal.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/tracer.h"
#include "views/monitorevents.h"

#include <QIcon>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;
using tracehook::Tracer;

constexpr const char* kSource = "SplitPageController";

void print(const std::string& line) {
    Tracer::printLine(line);
}

std::optional<int> fileIdOf(const JspSourceInfo& record) {
    return tracehook::parseDecimalInt32(record.getFileIdStr().value_or(""));
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

SplitPageController::SplitPageController() {
    onLinkEvent<StartupEvent>(&SplitPageController::handleStartup);
    onLinkEvent<HighlightEvent>(&SplitPageController::handleHighlight);
    onLinkEvent<HtmlEvent>(&SplitPageController::handleHtml);
    onLinkEvent<PassedEvent>(&SplitPageController::handlePassed);
    onLinkEvent<VariablesEvent>(&SplitPageController::handleVariables);
    onLinkEvent<HighlightTagEvent>(&SplitPageController::handleHighlightTag);
    onLinkEvent<ResumeEvent>(&SplitPageController::handleResume);
    onLinkEvent<ExitEvent>(&SplitPageController::handleExit);
    onLinkEvent<PrevErrEvent>(&SplitPageController::handlePrevErr);
    onLinkEvent<NextErrEvent>(&SplitPageController::handleNextErr);
    onLinkEvent<RestartConnectionEvent>(&SplitPageController::handleRestartConnection);
    onLinkEvent<SetBreakpointEvent>(&SplitPageController::handleSetBreakpoint);
    onLinkEvent<ClientExitEvent>(&SplitPageController::handleClientExit);
    onLinkEvent<SwitchJspFileEvent>(&SplitPageController::handleSwitchJspFile);
    onLinkEvent<SwitchJspFileFromServletEvent>(&SplitPageController::handleSwitchFromServlet);
    onLinkEvent<ChangeButtonStateEvent>(&SplitPageController::handleChangeButtonState);
    onLinkEvent<SendStateEvent>(&SplitPageController::handleSendState);

    const std::array<std::function<void()>, CommandCount> commands = {[this] { step(); },
                                                                      [this] { run(); },
                                                                      [this] { fastForward(); },
                                                                      [this] { terminate(); },
                                                                      [this] { prevErr(); },
                                                                      [this] { nextErr(); },
                                                                      [this] { exitMonitor(); },
                                                                      [this] { preferences(); },
                                                                      [this] {
                                                                          openPage();
                                                                      }};
    for (int i = 0; i < CommandCount; ++i)
        actions_[static_cast<std::size_t>(i)] =
            std::make_unique<CommandAction>(this, commands[static_cast<std::size_t>(i)]);
}

SplitPageController::~SplitPageController() = default;

DebugSession& SplitPageController::session() const {
    if (!session_)
        session_ = std::make_shared<DebugSession>();
    return *session_;
}

QStringList SplitPageController::getLinkEventNames() const {
    return {ChangeCurrentStateEvent::kindKey(),
            ClientExitEvent::kindKey(),
            ExitEvent::kindKey(),
            HighlightEvent::kindKey(),
            HighlightTagEvent::kindKey(),
            HtmlEvent::kindKey(),
            HtmlTagEvent::kindKey(),
            LoadFileEvent::kindKey(),
            NextErrEvent::kindKey(),
            PassedEvent::kindKey(),
            PrevErrEvent::kindKey(),
            RestartConnectionEvent::kindKey(),
            ResumeEvent::kindKey(),
            ReturnJspFocusEvent::kindKey(),
            SetBreakpointEvent::kindKey(),
            StartupEvent::kindKey(),
            StepEvent::kindKey(),
            SwitchJspFileEvent::kindKey(),
            VariablesEvent::kindKey()};
}

// ---- commands ----

void SplitPageController::announceState(int state) {
    session().setCurrentState(state);
    fireLinkEvent(makeEvent<ChangeCurrentStateEvent>(this, state));
}

void SplitPageController::step() {
    // A run in progress stops at its next highlight.
    if (session().step() == DebugSession::StepOutcome::PauseRequested)
        return;
    announceState(States::STEP);
    Tracer::trace(kSource, "run", "Step action..");
    fireParentLinkEvent(makeEvent<ResumeEvent>(this, States::STEP));
}

void SplitPageController::run() {
    startRun(false);
}

void SplitPageController::fastForward() {
    startRun(true);
}

void SplitPageController::startRun(bool skipAnimation) {
    const bool starts = session().startRun(skipAnimation);
    setButtonStates(true, true, true, true, false, false);
    // A run in progress only takes the new animation setting.
    if (!starts)
        return;
    announceState(States::RUN);
    setRunStatus({RunStatus::Kind::Running, {}, 0, 0});
    fireParentLinkEvent(makeEvent<ResumeEvent>(this, States::RUN));
    Tracer::trace(kSource, "run", "Run action..");
}

void SplitPageController::terminate() {
    session().terminate();
    setButtonStates(false, false, false, false, false, false);
    announceState(States::TERMINATE);
    fireParentLinkEvent(
        std::make_shared<ClientExitEvent>(this, JspSourceInfo::CLIENT_EXIT_COMMAND));
    Tracer::trace(kSource, "run", "Terminate action..");
}

void SplitPageController::exitMonitor() {
    announceState(States::EXIT);
    fireParentLinkEvent(makeEvent<ExitEvent>(this));
    Tracer::trace(kSource, "run", "Exit action..");
}

void SplitPageController::prevErr() {
    announceState(States::PREV_ERR);
    fireParentLinkEvent(makeEvent<PrevErrEvent>(this));
    Tracer::trace(kSource, "run", "Previous error action..");
}

void SplitPageController::nextErr() {
    announceState(States::NEXT_ERR);
    fireParentLinkEvent(makeEvent<NextErrEvent>(this));
    Tracer::trace(kSource, "run", "Next Error action..");
}

void SplitPageController::preferences() {
    print("Before PreferenceMenu");
    if (openPreferences_)
        openPreferences_();
    print("After PreferenceMenu");
}

void SplitPageController::openPage() {
    if (openPage_)
        openPage_();
}

// ---- run status ----

void SplitPageController::setRunStatusListener(std::function<void(const RunStatus&)> listener) {
    runStatusListener_ = std::move(listener);
    if (runStatusListener_)
        runStatusListener_(runStatus_);
}

void SplitPageController::setRunStatus(const RunStatus& status) {
    if (status == runStatus_)
        return;
    runStatus_ = status;
    if (runStatusListener_)
        runStatusListener_(runStatus_);
}

void SplitPageController::listeningOn(int port) {
    listeningPort_ = port;
    if (runStatus_.kind == RunStatus::Kind::None || runStatus_.kind == RunStatus::Kind::Waiting)
        setRunStatus({RunStatus::Kind::Waiting, {}, 0, port});
    else if (runStatus_.kind == RunStatus::Kind::Ended)
        setRunStatus({RunStatus::Kind::Ended, {}, 0, port});
}

void SplitPageController::stoppedAtLastPosition() {
    const auto file = fileNames_.find(session().currentFileId());
    setRunStatus(
        {RunStatus::Kind::Stopped, file != fileNames_.end() ? file->second : "", lastLine_, 0});
}

// ---- button states ----

void SplitPageController::setButtonStatesListener(
    std::function<void(const ButtonStates&)> listener) {
    buttonListener_ = std::move(listener);
    buttonStatesChanged();
}

void SplitPageController::buttonStatesChanged() {
    const ButtonStates& live = session().buttons();
    const bool flags[] = {live.step,      live.run,     live.fastForward,
                          live.terminate, live.prevErr, live.nextErr};
    for (int i = Step; i <= NextErr; ++i)
        actions_[static_cast<std::size_t>(i)]->setEnabled(flags[i]);
    if (buttonListener_)
        buttonListener_(live);
}

void SplitPageController::setButtonStates(bool step_, bool run_, bool fastForward_, bool terminate_,
                                          bool prevErr_, bool nextErr_) {
    setButtonStates(ButtonStates(step_, run_, fastForward_, terminate_, prevErr_, nextErr_));
}

void SplitPageController::setButtonStates(const ButtonStates& flags) {
    session().setButtons(flags);
    buttonStatesChanged();
    if (runStatus_.kind == RunStatus::Kind::CompileErrors)
        setRunStatus(withErrorWalk(runStatus_));
}

RunStatus SplitPageController::withErrorWalk(RunStatus status) const {
    const ButtonStates& live = session().buttons();
    status.nextError = live.nextErr;
    status.previousError = live.prevErr;
    return status;
}

// ---- contributions ----

namespace {
using R = ResourceConstants;
const char* const kCommandKeys[] = {R::MI_Step,      R::MI_Run,     R::MI_FastForward,
                                    R::MI_Terminate, R::MI_PrevErr, R::MI_NextErr,
                                    R::MI_Exit,      R::MI_JspPref, R::MI_OpenPage};
} // namespace

panekit::MenuContribution* SplitPageController::getMenuContribution() {
    if (menus_)
        return menus_.get();
    panekit::Application* app = getApplication();
    if (!app)
        return nullptr;
    menus_ = std::make_unique<panekit::MenuContribution>();
    auto item = [&](Command command) {
        auto data = app->getMenuItemData(QString::fromLatin1(kCommandKeys[command]));
        data->setAction(action(command));
        return data;
    };
    auto actionMenu = app->getMenuData(QString::fromLatin1(R::M_Action));
    actionMenu->setPriority(-1);
    for (Command c : {Step, Run, FastForward, Terminate})
        actionMenu->add(item(c));
    menus_->addMenuData(actionMenu);
    auto errorMenu = app->getMenuData(QString::fromLatin1(R::M_SyntaxErr));
    errorMenu->setPriority(0);
    errorMenu->add(item(PrevErr));
    errorMenu->add(item(NextErr));
    menus_->addMenuData(errorMenu);
    // The monitor's own preferences, where users look for them.
    auto fileMenu = app->getMenuData(QStringLiteral("MFile"));
    auto openPageItem = item(OpenPage);
    openPageItem->setPriority(10);
    fileMenu->add(openPageItem);
    auto preferencesItem = item(Preferences);
    preferencesItem->setPriority(900);
    fileMenu->add(preferencesItem);
    menus_->addMenuData(fileMenu);
    setButtonStates(false, false, false, session().buttons().terminate, false, false);
    return menus_.get();
}

panekit::ToolBarContribution* SplitPageController::getToolBarContribution() {
    if (toolBar_)
        return toolBar_.get();
    panekit::Application* app = getApplication();
    if (!app)
        return nullptr;
    toolBar_ = std::make_unique<panekit::ToolBarContribution>();
    toolBar_->setKey(QStringLiteral("ToolBar.monitor"));
    struct Button {
        Command command;
        const char* icon;
        const char* tooltip;
        const char* trace;
    };
    const Button buttons[] = {
        {Step, "StpOver.gif", R::TT_Step, "The step over icon file is: "},
        {Run, "Run.gif", R::TT_Run, "The run icon file is: "},
        {FastForward, "FastForward.gif", R::TT_FastForward, "The fast forward icon file is: "},
        {Terminate, "Terminat.gif", R::TT_Terminate, "The terminate icon file is: "},
        {PrevErr, "PrevErr.gif", R::TT_PrevErr, "The run icon file is: "},
        {NextErr, "NextErr.gif", R::TT_NextErr, "The run icon file is: "},
    };
    const std::string base =
        tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath().value_or(".") +
        "/com/zet/kwo/jsp/ui/";
    for (const Button& b : buttons) {
        const std::string path = base + b.icon;
        Tracer::trace(kSource, "getToolBarContribution", b.trace + path);
        const QString key = QString::fromLatin1(kCommandKeys[b.command]);
        auto data = std::make_shared<panekit::ToolBarButtonData>(
            app->parseMenuResource(key).label, QIcon(QString::fromStdString(path)), key,
            app->getString(QString::fromLatin1(b.tooltip)), action(b.command));
        data->setShowText(true);
        toolBar_->addButtonData(data);
    }
    return toolBar_.get();
}

// ---- events ----

void SplitPageController::handleStartup(StartupEvent& e) {
    Tracer::trace(kSource, "handleLinkEvent", "Split page -- starting new page");
    const Record* record = e.itemAs<Record>();
    session().startFile(record && *record ? fileIdOf(**record) : std::nullopt);
    if (!record || !*record) {
        setButtonStates(false, false, false, false, false, false);
        fireLinkEvent(e);
        return;
    }
    const std::string file = baseName((*record)->getJspSourceFilename().value_or(""));
    fileNames_[session().currentFileId()] = file;
    lastLine_ = 0;
    if ((*record)->getInfoType() == JspSourceInfo::COMPILE_ERR_FILE_INFO) {
        // The first error is on its way: only Next error goes anywhere until it shows.
        setButtonStates(false, false, false, true, false, true);
        setRunStatus(withErrorWalk({RunStatus::Kind::CompileErrors, file, 0, 0}));
    } else {
        setButtonStates(true, true, true, true, false, false);
        // Every page, an included one too, waits for a command at its start.
        setRunStatus({RunStatus::Kind::Ready, file, 0, 0});
    }
    fireLinkEvent(e);
}

void SplitPageController::handleHighlight(HighlightEvent& e) {
    if (const Record* record = e.itemAs<Record>(); record && *record)
        positionReached(**record);
    fireLinkEvent(e);
}
void SplitPageController::handleHtml(HtmlEvent& e) {
    fireLinkEvent(e);
}
void SplitPageController::handlePassed(PassedEvent& e) {
    if (const Record* last = lastPositionOf(e))
        positionReached(**last);
    fireLinkEvent(e);
}
void SplitPageController::positionReached(const JspSourceInfo& position) {
    // During a run a position is only remembered: the status says "running" until it stops.
    lastLine_ = position.getJspStartLine();
    if (session().currentState() == States::STEP)
        stoppedAtLastPosition();
}
void SplitPageController::handleVariables(VariablesEvent& e) {
    fireLinkEvent(e);
}
void SplitPageController::handleHighlightTag(HighlightTagEvent& e) {
    fireLinkEvent(e);
}

void SplitPageController::handleResume(ResumeEvent&) {
    fireParentLinkEvent(makeEvent<ResumeEvent>(this, session().currentState()));
}

void SplitPageController::handleExit(ExitEvent& e) {
    fireParentLinkEvent(e);
}
void SplitPageController::handlePrevErr(PrevErrEvent& e) {
    fireParentLinkEvent(e);
}
void SplitPageController::handleNextErr(NextErrEvent& e) {
    fireParentLinkEvent(e);
}
void SplitPageController::handleRestartConnection(RestartConnectionEvent& e) {
    fireParentLinkEvent(e);
}

void SplitPageController::handleSetBreakpoint(SetBreakpointEvent& e) {
    const BreakpointInfo* info = e.itemAs<BreakpointInfo>();
    if (!info)
        return;
    BreakpointInfo withFile = *info;
    withFile.setFileIdInt(session().currentFileId());
    fireParentLinkEvent(makeEvent<SetBreakpointEvent>(this, withFile));
}

void SplitPageController::handleClientExit(ClientExitEvent& e) {
    if (const Record* record = e.itemAs<Record>(); record && *record)
        fireLinkEvent(makeEvent<HighlightEvent>(this, *record));
    setButtonStates(false, false, false, false, false, false);
    setRunStatus({RunStatus::Kind::Ended, {}, 0, listeningPort_});
    fireLinkEvent(e);
}

void SplitPageController::handleSwitchJspFile(SwitchJspFileEvent& e) {
    print("Split controller -- switch file event");
    const int* id = e.itemAs<int>();
    if (!id)
        return;
    if (session().showFile(*id))
        buttonStatesChanged();
    fireParentLinkEvent(e);
    fireLinkEvent(e);
}

void SplitPageController::handleSwitchFromServlet(SwitchJspFileFromServletEvent& e) {
    print("Split controller -- switch file event from servlet");
    const Record* record = e.itemAs<Record>();
    if (!record || !*record)
        return;
    const JspSourceInfo& r = **record;
    const std::optional<int> id = fileIdOf(r);
    if (!id)
        return;
    // The page runtime came back to this page by itself (an included page ended): a run
    // goes on here, whatever state the page was left in when the included page began.
    const bool runGoesOn = e.getEventType() != kShownAgain && session().isRunning();
    if (*id == session().currentFileId())
        session().keepButtons();
    else if (session().showFile(*id))
        buttonStatesChanged();
    fireLinkEvent(makeEvent<SwitchJspFileEvent>(this, *id));
    if (runGoesOn)
        fireLinkEvent(makeEvent<ChangeCurrentStateEvent>(this, States::RUN));
    if (r.getJavaLine() != 0 || r.getJspStartLine() != 0 || r.getJspStartPos() != 0 ||
        r.getJspEndLine() != 0 || r.getJspEndPos() != 0) {
        Record line = std::make_shared<const JspSourceInfo>(
            r.getFileIdStr().value_or(""), r.getJavaLine(), r.getJspStartLine(), r.getJspStartPos(),
            r.getJspEndLine(), r.getJspEndPos());
        lastLine_ = r.getJspStartLine();
        if (session().currentState() == States::STEP)
            stoppedAtLastPosition();
        // The highlight carries the switch's type: an answer to the user's switch
        // (kShownAgain) shows where that page waits, and is no new stop.
        fireLinkEvent(
            std::make_shared<HighlightEvent>(this, e.getEventType(), QString(), std::any(line)));
    }
}

void SplitPageController::handleChangeButtonState(ChangeButtonStateEvent& e) {
    if (const ButtonStates* flags = e.itemAs<ButtonStates>())
        setButtonStates(*flags);
}

void SplitPageController::handleSendState(SendStateEvent& e) {
    const States* const* sentStates = e.itemAs<const States*>();
    const States& sent = sentStates && *sentStates ? **sentStates : session().states();
    const ButtonStates& live = session().buttons();
    // A run stopped (at a breakpoint, or paused by Step).
    if (sent.getCurrentState() == States::STEP && runStatus_.kind == RunStatus::Kind::Running)
        stoppedAtLastPosition();
    if (sent.getCurrentState() == States::STEP && !live.step && !live.run) {
        setButtonStates(true, true, true, true, false, false);
        print("SplitPageController forced button states: " + sent.toString());
    }
}

} // namespace tracewin

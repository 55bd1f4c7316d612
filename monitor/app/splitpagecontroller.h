#pragma once

#include "core/debugsession.h"
#include "core/runstatus.h"
#include "panekit/tool.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace panekit {
class MenuContribution;
class ToolBarContribution;
} // namespace panekit

namespace tracewin {

class CommandAction;
class ChangeButtonStateEvent;
class ClientExitEvent;
class ExitEvent;
class HighlightEvent;
class HighlightTagEvent;
class HtmlEvent;
class PassedEvent;
class VariablesEvent;
class NextErrEvent;
class PrevErrEvent;
class RestartConnectionEvent;
class ResumeEvent;
class SendStateEvent;
class SetBreakpointEvent;
class StartupEvent;
class SwitchJspFileEvent;
class SwitchJspFileFromServletEvent;

// The controller of the monitor's main page: owns the execution commands, carries them out
// on the debugging session (which keeps their enabled states per file of the request), and
// routes events down from the connection controller to the page's views and up from the
// views and commands to it.
class SplitPageController : public panekit::Tool {
    Q_OBJECT
public:
    SplitPageController();
    ~SplitPageController() override;

    QStringList getLinkEventNames() const override;
    panekit::MenuContribution* getMenuContribution() override;
    panekit::ToolBarContribution* getToolBarContribution() override;

    // The command actions, in the order of the six buttons, then exit, preferences and
    // open page.
    enum Command {
        Step,
        Run,
        FastForward,
        Terminate,
        PrevErr,
        NextErr,
        Exit,
        Preferences,
        OpenPage,
        CommandCount
    };
    CommandAction* action(Command command) const { return actions_[command].get(); }

    // The commands.
    void step();
    void run();
    void fastForward();
    void terminate();
    void exitMonitor();
    void prevErr();
    void nextErr();
    void preferences();
    void openPage();

    // The enabled states of the six commands.
    void setButtonStates(bool step, bool run, bool fastForward, bool terminate, bool prevErr,
                         bool nextErr);
    void setButtonStates(const ButtonStates& states);
    const ButtonStates& buttonStates() const { return session().buttons(); }
    int currentFileId() const { return session().currentFileId(); }

    // The debugging session the page works in; until one is given, a session of its own.
    void setSession(std::shared_ptr<DebugSession> session) { session_ = std::move(session); }
    DebugSession& session() const;

    // Told whenever the enabled states change (the command actions follow them).
    void setButtonStatesListener(std::function<void(const ButtonStates&)> listener);
    // Opens the preferences dialog; the monitor's start-up sets it.
    void setPreferencesOpener(std::function<void()> opener) {
        openPreferences_ = std::move(opener);
    }
    // Opens the Open page dialog; the monitor's start-up sets it.
    void setOpenPageOpener(std::function<void()> opener) { openPage_ = std::move(opener); }

    // What the page is doing, for the status line: told on every change.
    const RunStatus& runStatus() const { return runStatus_; }
    void setRunStatusListener(std::function<void(const RunStatus&)> listener);
    // The monitor listens for pages on `port` (told again after each page ends).
    void listeningOn(int port);

private:
    void handleStartup(StartupEvent& e);
    void handleHighlight(HighlightEvent& e);
    void handleVariables(VariablesEvent& e);
    void handleHtml(HtmlEvent& e);
    void handlePassed(PassedEvent& e);
    void handleHighlightTag(HighlightTagEvent& e);
    void handleResume(ResumeEvent& e);
    void handleExit(ExitEvent& e);
    void handlePrevErr(PrevErrEvent& e);
    void handleNextErr(NextErrEvent& e);
    void handleRestartConnection(RestartConnectionEvent& e);
    void handleSetBreakpoint(SetBreakpointEvent& e);
    void handleClientExit(ClientExitEvent& e);
    void handleSwitchJspFile(SwitchJspFileEvent& e);
    void handleSwitchFromServlet(SwitchJspFileFromServletEvent& e);
    void handleChangeButtonState(ChangeButtonStateEvent& e);
    void handleSendState(SendStateEvent& e);

    // Run and Fast forward, which differ only in the animation setting.
    void startRun(bool skipAnimation);
    // The session takes the state, and the page's views are told.
    void announceState(int state);
    void buttonStatesChanged();
    void setRunStatus(const RunStatus& status);
    // A compile-error status says where the error walk can go, as its buttons do.
    RunStatus withErrorWalk(RunStatus status) const;
    // The page stopped at the position reported last.
    void stoppedAtLastPosition();
    // A position of the page came (shown, or passed by a run).
    void positionReached(const tracehook::JspSourceInfo& position);

    mutable std::shared_ptr<DebugSession> session_;
    std::function<void(const ButtonStates&)> buttonListener_;
    std::function<void()> openPreferences_;
    std::function<void()> openPage_;
    std::function<void(const RunStatus&)> runStatusListener_;
    RunStatus runStatus_;
    int listeningPort_ = 0;
    // The JSP file name of each page of the request, by file id, and the last position.
    std::map<int, std::string> fileNames_;
    int lastLine_ = 0;
    std::array<std::unique_ptr<CommandAction>, CommandCount> actions_;
    std::unique_ptr<panekit::MenuContribution> menus_;
    std::unique_ptr<panekit::ToolBarContribution> toolBar_;
};

} // namespace tracewin

#pragma once

#include "core/breakpoints.h"
#include "core/monitorsettings.h"
#include "core/record.h"
#include "core/runrules.h"
#include "core/states.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tracewin {

// The state of one debugging session: the execution state, the enabled execution commands
// of each JSP file of the request, each file's breakpoints and the flags of a run in
// progress, with the rules that decide on them. The monitor controller owns the session and
// hands it to the page controller and the views; everything here runs on the thread of the
// user interface.
//
// The run flags are also written to their settings files, when they change, since users
// and other programs read them there; no decision reads them back from the disk.
class DebugSession {
public:
    DebugSession() = default;
    explicit DebugSession(MonitorSettings flagFiles) { useFlagFiles(std::move(flagFiles)); }
    // The run flags take what the files hold and are written back to them from now on.
    void useFlagFiles(MonitorSettings flagFiles);

    // ---- the execution state ----
    int currentState() const { return states_.getCurrentState(); }
    void setCurrentState(int state) {
        states_.setCurrentState(state);
        runChanged();
    }
    const States& states() const { return states_; }
    bool isRunning() const { return currentState() == States::RUN; }

    // ---- the files of the request and their execution commands ----
    int currentFileId() const { return currentFileId_; }
    const ButtonStates& buttons() const { return live_; }
    // New enabled flags for the file on show (any file id given is dropped).
    void setButtons(const ButtonStates& flags);
    // Keeps the enabled flags for the file on show, to come back with it.
    void keepButtons();
    // A page of the request starts: the buttons of the file left are kept for it. A page
    // without a file id stays on the current id.
    void startFile(std::optional<int> fileId);
    // Another file of the request comes on show: the buttons of the file left are kept for
    // it, and those kept for the file entered come back. True when they came back.
    bool showFile(int fileId);

    // ---- breakpoints ----
    // The breakpoint lines of a file, made empty when it has none yet.
    std::shared_ptr<BreakpointLst> breakpoints(int fileId);
    // A page of the file starts afresh: its breakpoint list is a new, empty one (a display
    // of the earlier page keeps the list it was given), and the run forgets the breakpoint
    // it stopped at.
    std::shared_ptr<BreakpointLst> startBreakpoints(int fileId);
    bool isBreakpoint(int fileId, int line) const;

    // ---- variables ----
    // What the page runtime sent for the stop just reported; null when it sent nothing
    // for it.
    void setVariables(Variables variables) { variables_ = std::move(variables); }
    const Variables& variables() const { return variables_; }
    // Whether a breakpoint on the line stops a run: it carries no condition, or its
    // condition holds for the variables of the stop, or cannot be told from them (a run
    // rather stops once too often than runs past what the user asked to see).
    bool stopsAt(int fileId, int line) const;

    // The monitor asks the page runtimes for variables while the Variables view is shown
    // or a breakpoint carries a condition. The answer is written to the debug settings file
    // when it changes (with flag files).
    void setVariablesViewShown(bool shown);
    // Works the answer out again and writes it when it changed or was never written: call
    // it after a condition was set or removed, and once at the start.
    void updateVariablesWanted();
    bool variablesWanted() const { return variablesWanted_; }
    // Writes that no variables are wanted, as the monitor goes (with flag files).
    void stopAskingForVariables();

    // ---- the commands ----
    enum class StepOutcome {
        Resume,        // the page takes one step now
        PauseRequested // a run is in progress: it stops at its next position
    };
    StepOutcome step();
    // Run (with animation) and Fast forward (without): the animation setting, and the delay
    // of the preferences, are taken at once. True when a new run starts; a run in progress
    // only takes the setting.
    bool startRun(bool skipAnimation);
    // The page is ended: a run in progress goes no further and a pause request lapses.
    void terminate();

    // ---- a run in progress ----
    bool pauseRequested() const { return pauseRequested_; }
    bool skipAnimation() const { return skipAnimation_; }
    // How long an animated run shows each position, as the preferences held it when Run
    // or Fast forward was last chosen.
    int animationDelayMs() const { return animationDelayMs_; }
    int lastBreakpointLine() const { return lastBreakpointLine_; }
    // What follows a position reported during a run: stop (the state goes back to STEP),
    // go on now, or go on after the animation delay. Stop is also the answer when no run is
    // in progress. The position covers the JSP lines first..last of a file.
    RunRules::Decision::Action afterPosition(int fileId, int spanFirstLine, int spanLastLine);
    // Whether every position the run reaches from now on would be passed at once: Fast
    // forward, no pause asked, no breakpoint anywhere and none just stopped at. The page
    // runtime's connection may then answer positions itself.
    bool runsAhead() const;
    // Called whenever something runsAhead() reads may have changed (breakpoints are set
    // through the views: their callers tell the connection themselves).
    void onRunChanged(std::function<void()> listener) { runChanged_ = std::move(listener); }

private:
    void runChanged() {
        if (runChanged_)
            runChanged_();
    }
    void setPauseRequested(bool pause);
    void setSkipAnimation(bool skip);

    States states_;
    int currentFileId_ = 0;
    ButtonStates live_;
    std::map<int, ButtonStates> keptButtons_;
    std::map<int, std::shared_ptr<BreakpointLst>> breakpoints_;
    bool pauseRequested_ = false;
    bool skipAnimation_ = true;
    int lastBreakpointLine_ = 0;
    int animationDelayMs_ = MonitorSettings::defaultAnimationDelayMs;
    std::optional<MonitorSettings> flagFiles_;
    Variables variables_;
    bool variablesViewShown_ = false;
    bool variablesWanted_ = false;
    std::optional<bool> variablesWritten_; // what the settings file says, once written
    std::function<void()> runChanged_;
};

} // namespace tracewin

#include "core/debugsession.h"

namespace tracewin {

void DebugSession::useFlagFiles(MonitorSettings flagFiles) {
    pauseRequested_ = flagFiles.getIsRunPause();
    skipAnimation_ = flagFiles.getIsSkipRunAnimation();
    flagFiles_ = std::move(flagFiles);
}

void DebugSession::setButtons(const ButtonStates& flags) {
    live_ = flags;
    live_.fileIdInt.reset();
}

void DebugSession::keepButtons() {
    ButtonStates kept = live_;
    kept.fileIdInt = currentFileId_;
    keptButtons_[currentFileId_] = kept;
}

void DebugSession::startFile(std::optional<int> fileId) {
    keepButtons();
    if (fileId)
        currentFileId_ = *fileId;
}

bool DebugSession::showFile(int fileId) {
    keepButtons();
    currentFileId_ = fileId;
    const auto it = keptButtons_.find(fileId);
    if (it == keptButtons_.end())
        return false;
    setButtons(it->second);
    return true;
}

std::shared_ptr<BreakpointLst> DebugSession::breakpoints(int fileId) {
    std::shared_ptr<BreakpointLst>& lines = breakpoints_[fileId];
    if (!lines)
        lines = std::make_shared<BreakpointLst>();
    return lines;
}

std::shared_ptr<BreakpointLst> DebugSession::startBreakpoints(int fileId) {
    lastBreakpointLine_ = 0;
    std::shared_ptr<BreakpointLst>& lines = breakpoints_[fileId];
    const bool hadConditions = lines && lines->hasConditions();
    lines = std::make_shared<BreakpointLst>();
    if (hadConditions)
        updateVariablesWanted();
    runChanged();
    return lines;
}

bool DebugSession::isBreakpoint(int fileId, int line) const {
    const auto it = breakpoints_.find(fileId);
    return it != breakpoints_.end() && it->second->contains(line);
}

bool DebugSession::stopsAt(int fileId, int line) const {
    const auto it = breakpoints_.find(fileId);
    if (it == breakpoints_.end() || !it->second->contains(line))
        return false;
    const BreakpointCondition* condition = it->second->condition(line);
    if (!condition)
        return true;
    if (!variables_)
        return true;
    return condition->holds(variables_->entries).value_or(true);
}

void DebugSession::setVariablesViewShown(bool shown) {
    variablesViewShown_ = shown;
    updateVariablesWanted();
}

void DebugSession::updateVariablesWanted() {
    bool conditions = false;
    for (const auto& [id, lines] : breakpoints_)
        conditions = conditions || lines->hasConditions();
    variablesWanted_ = variablesViewShown_ || conditions;
    if (flagFiles_ && variablesWritten_ != variablesWanted_ &&
        flagFiles_->saveSendVariables(variablesWanted_))
        variablesWritten_ = variablesWanted_;
}

void DebugSession::stopAskingForVariables() {
    if (flagFiles_ && variablesWritten_ != false && flagFiles_->saveSendVariables(false))
        variablesWritten_ = false;
}

DebugSession::StepOutcome DebugSession::step() {
    if (isRunning()) {
        setPauseRequested(true);
        return StepOutcome::PauseRequested;
    }
    setCurrentState(States::STEP);
    return StepOutcome::Resume;
}

bool DebugSession::startRun(bool skipAnimation) {
    setSkipAnimation(skipAnimation);
    if (flagFiles_)
        animationDelayMs_ = flagFiles_->getAnimationDelayMs();
    if (isRunning())
        return false;
    // A pause asked of an earlier run that ended before its next position has lapsed.
    setPauseRequested(false);
    setCurrentState(States::RUN);
    return true;
}

void DebugSession::terminate() {
    setCurrentState(States::TERMINATE);
    setPauseRequested(false);
}

RunRules::Decision::Action DebugSession::afterPosition(int fileId, int spanFirstLine,
                                                       int spanLastLine) {
    using Action = RunRules::Decision::Action;
    if (!isRunning())
        return Action::Stop;
    RunRules::Run run;
    run.spanFirstLine = spanFirstLine;
    run.spanLastLine = spanLastLine;
    run.isBreakpoint = [this, fileId](int line) {
        return stopsAt(fileId, line);
    };
    run.lastBreakpointLine = lastBreakpointLine_;
    run.pauseRequested = pauseRequested_;
    run.skipAnimation = [this] {
        return skipAnimation_;
    };
    const RunRules::Decision decision = RunRules::afterPosition(run);
    if (decision.pauseTaken)
        setPauseRequested(false);
    const bool lineChanged = lastBreakpointLine_ != decision.lastBreakpointLine;
    lastBreakpointLine_ = decision.lastBreakpointLine;
    if (decision.action == Action::Stop)
        setCurrentState(States::STEP);
    else if (lineChanged)
        runChanged();
    return decision.action;
}

bool DebugSession::runsAhead() const {
    if (!isRunning() || !skipAnimation_ || pauseRequested_ || lastBreakpointLine_ != 0)
        return false;
    for (const auto& [id, lines] : breakpoints_) {
        if (!lines->lines().empty())
            return false;
    }
    return true;
}

void DebugSession::setPauseRequested(bool pause) {
    if (pause == pauseRequested_)
        return;
    pauseRequested_ = pause;
    if (flagFiles_)
        flagFiles_->saveIsRunPause(pause);
    runChanged();
}

void DebugSession::setSkipAnimation(bool skip) {
    skipAnimation_ = skip;
    runChanged();
    // Written on every Run and Fast forward, as before.
    if (flagFiles_)
        flagFiles_->saveIsSkipRunAnimation(skip);
}

} // namespace tracewin

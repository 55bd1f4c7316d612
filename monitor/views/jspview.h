#pragma once

#include "core/monitorsettings.h"
#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/monitorevents.h"
#include "views/sourcemodels.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <mutex>
#include <optional>

namespace tracewin {

// The JSP source of the page with the span that executes next highlighted and breakpoints
// in the margin. While the monitor runs the page it answers each highlight with a resume
// of its own, until a breakpoint line, a pause request or the end; with animation it
// waits a short delay first, so that a person can follow the run.
class JspView final : public CommonView {
    Q_OBJECT

public:
    JspView();
    ~JspView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_JspView"); }
    const CommonModel* getCommonModel() const override { return &model(); }
    std::optional<QString> getStatusLineMsg() const override { return statusLineMessage(); }
    void restoreCanvas(const CommonModelViewInfo& info) override;

    CommonViewComponent* createCanvas();
    CommonViewComponent* getCanvas() const { return canvas; }
    void showSource();
    void highlightText(int startLine, int startPos, int endLine, int endPos);

    // The run-pause and skip-animation settings files.
    bool getIsRunPause() const;
    void saveIsRunPause(bool runPause) const;
    bool getIsSkipRunAnimation() const;
    // The files are those of the install unless a test gives others.
    void setSettings(MonitorSettings settings) { settings_ = std::move(settings); }

    // How long an animated run shows each position before it goes on: the preferences'
    // pause unless set here.
    void setRunAnimationDelay(int milliseconds) {
        runAnimationDelayMs_ = std::max(0, milliseconds);
    }
    int getRunAnimationDelay() const;
    bool isResumePending() const { return resumeTimer_.isActive(); }
    // The wait before the pending resume, in milliseconds (0 when none is pending).
    int pendingResumeDelay() const { return resumeTimer_.isActive() ? resumeTimer_.interval() : 0; }

    QString getCurFileIdStr() const { return curFileIdStr; }
    int getLastBreakptLine() const { return lastBreakptLine; }
    JspModel& model() const;

private:
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleStep(const StepEvent& e);
    void handleChangeCurrentState(const ChangeCurrentStateEvent& e);
    void handleClientExit(const ClientExitEvent& e);
    void handleReturnJspFocus(const ReturnJspFocusEvent& e);

    // The run goes on, after the animation delay when there is one.
    void resumeRun(bool skipAnimation);
    void fireState();
    void setButtonsForError(int errStatus);
    MonitorSettings& settings() const;
    int curFileId() const { return curFileIdStr.toInt(); }

    mutable JspModel* model_ = nullptr;
    mutable std::unique_ptr<JspModel> ownModel_;
    QPointer<CommonViewComponent> canvas;
    QString curFileIdStr = QStringLiteral("0");
    int lastBreakptLine = 0;
    mutable std::optional<MonitorSettings> settings_;
    std::optional<int> runAnimationDelayMs_;
    QTimer resumeTimer_;
    // Highlights are handled one at a time; a handler may be re-entered by synchronous
    // delivery of what it fires.
    std::recursive_mutex highlightLock_;
};

} // namespace tracewin

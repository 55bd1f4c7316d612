#pragma once

#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/monitorevents.h"
#include "views/sourcemodels.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <optional>

namespace tracewin {

// The JSP source of the page with the span that executes next highlighted and the file's
// breakpoints (kept by the session) in the margin. While the monitor runs the page it
// carries out the session's decision on each highlight: stop, resume at once, or resume
// after a short delay, so that a person can follow the run.
class JspView final : public CommonView {
    Q_OBJECT

public:
    JspView();
    ~JspView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_JspView"); }
    std::optional<QString> getStatusLineMsg() const override { return statusLineMessage(); }
    void restoreCanvas(const CommonModelViewInfo& info) override;

    CommonViewComponent* createCanvas();
    void showSource();
    void highlightText(int startLine, int startPos, int endLine, int endPos);

    // How long an animated run shows each position before it goes on: the session's delay
    // (the preferences' pause) unless set here.
    void setRunAnimationDelay(int milliseconds) {
        runAnimationDelayMs_ = std::max(0, milliseconds);
    }
    int getRunAnimationDelay() const;
    bool isResumePending() const { return resumeTimer_.isActive(); }
    // The wait before the pending resume, in milliseconds (0 when none is pending).
    int pendingResumeDelay() const { return resumeTimer_.isActive() ? resumeTimer_.interval() : 0; }

    int getLastBreakptLine() const;

    // The margin's menu for a line: set or remove its breakpoint, edit or remove its
    // condition.
    void showBreakpointMenu(int line, const QPoint& globalPos) override;
    // Gives the breakpoint of a line a condition (setting the breakpoint when the line has
    // none); an empty text removes the condition. False, with the reason in *error, when
    // the text is not a condition.
    bool setBreakpointCondition(int line, const QString& text, QString* error = nullptr);
    // The condition of the breakpoint on a line, empty when it has none.
    QString breakpointCondition(int line) const;
    JspModel& model() const;

protected:
    CommonModel& sourceModel() const override { return model(); }
    // The execution state the file was left in comes back with it.
    void restoreFile(int fileId, const CommonModelViewInfo* snapshot) override;
    void fileShown() override;

private:
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleStep(const StepEvent& e);
    void handleClientExit(const ClientExitEvent& e);
    void handleReturnJspFocus(const ReturnJspFocusEvent& e);
    void handleShowOutputOrigin(const ShowOutputOriginEvent& e);

    // The run goes on, after the animation delay when there is one.
    void resumeRun(bool skipAnimation);
    void fireState();
    void setButtonsForError(int errStatus);
    // Asks for a line's condition until it reads, or the user gives up.
    void editBreakpointCondition(int line);

    mutable JspModel* model_ = nullptr;
    mutable std::unique_ptr<JspModel> ownModel_;
    std::optional<int> runAnimationDelayMs_;
    QTimer resumeTimer_;
};

} // namespace tracewin

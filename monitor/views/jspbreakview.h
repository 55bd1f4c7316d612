#pragma once

#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/monitorevents.h"
#include "views/sourcemodels.h"

#include <QPointer>

namespace tracewin {

// The generated Java source on the breakpoint page: one component for the view's whole
// life, with a breakpoint margin, and the Java line that executes next highlighted.
class JspBreakView final : public CommonView {
    Q_OBJECT

public:
    JspBreakView();
    ~JspBreakView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_JavaView"); }

    void showSource();
    JspBreakModel& model() const;

protected:
    CommonModel& sourceModel() const override { return model(); }
    QString modelStateName() const override { return QStringLiteral("JspBreak"); }

private:
    CommonViewComponent* createCanvas();
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleClientExit(const ClientExitEvent& e);

    mutable JspBreakModel* model_ = nullptr;
    mutable std::unique_ptr<JspBreakModel> ownModel_;
};

} // namespace tracewin

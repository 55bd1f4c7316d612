#pragma once

#include "core/htmltagstack.h"
#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/monitorevents.h"
#include "views/stackmodel.h"

#include <QPointer>
#include <QTimer>

namespace tracewin {

// The HTML elements still open at the end of the output, innermost last, checked as each
// tag arrives. Nesting problems go to the status line and mark the tag in the HTML view;
// clicking a line marks that tag there.
class StackView final : public CommonView, private HtmlTagStackListener {
    Q_OBJECT

public:
    StackView();
    ~StackView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_HtmlView"); }

    StackModel& model() const;
    // Marks the tag of a 0-based stack line in the HTML view.
    void selectLine(int index);

protected:
    CommonModel& sourceModel() const override { return model(); }
    QString modelStateName() const override { return QStringLiteral("Stack"); }
    // The stack of the file entered, and the view's focus and line.
    void restoreFile(int fileId, const CommonModelViewInfo* snapshot) override;
    void fileShown() override { showStack(); }

private:
    CommonViewComponent* createCanvas();
    void showStack();
    // Scrolls the canvas to the innermost element.
    void showTop();
    // Brings the innermost element into view, once for all the tags handled in one turn
    // of the event loop (one piece of output holds hundreds of tags).
    void scheduleScrollToTop();
    void handleStartup(const StartupEvent& e);
    void handleHtmlTag(const HtmlTagEvent& e);
    void handleHtmlTags(const HtmlTagsEvent& e);
    // A canvas to show the stack in, made on the first tag when no page started one.
    void prepareForTags();
    // The stack's lines and scroll after tags were handled.
    void followTags();

    void showStatus(const std::string& message) override;
    void highlightTag(const std::optional<HtmlTagPosition>& position) override;

    mutable StackModel* model_ = nullptr;
    mutable std::unique_ptr<StackModel> ownModel_;
    // Brings the top of the stack into view once per turn of the event loop, however many
    // pieces of output changed it. A timer, not a posted call: it needs no wake-up.
    QTimer scrollToTop_;
    // The type of the highlight the tags being handled lead to (kOutputFollowed or none).
    std::int32_t highlightType_ = panekit::LinkEvent::NONE;
};

} // namespace tracewin

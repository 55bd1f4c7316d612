#pragma once

#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/htmlmodel.h"
#include "views/monitorevents.h"

#include <QPointer>

namespace tracewin {

// The HTML that the page has produced so far, newest output kept in view. Each piece of
// output lets the page go on at once, and every complete tag written is announced (name:
// the tag text, item: its position) for the tag stack beside it.
class HtmlView final : public CommonView {
    Q_OBJECT

public:
    HtmlView();
    ~HtmlView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_HtmlView"); }

    CommonViewComponent* createCanvas();
    void showSource();
    // Lays the text out again and scrolls so that `line` is in view at the bottom.
    void showSource(int line);

    HtmlModel& model() const;

protected:
    CommonModel& sourceModel() const override { return model(); }
    QString modelStateName() const override { return QStringLiteral("Html"); }

private:
    void handleStartup(const StartupEvent& e);
    void handleHtml(const HtmlEvent& e);
    void handleHighlightTag(const HighlightTagEvent& e);

    mutable HtmlModel* model_ = nullptr;
    mutable std::unique_ptr<HtmlModel> ownModel_;
};

} // namespace tracewin

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
    const CommonModel* getCommonModel() const override { return &model(); }

    CommonViewComponent* createCanvas();
    CommonViewComponent* getCanvas() const { return canvas; }
    void showSource();
    // Lays the text out again and scrolls so that `line` is in view at the bottom.
    void showSource(int line);

    QString getCurFileIdStr() const { return curFileIdStr; }
    HtmlModel& model() const;

private:
    void handleStartup(const StartupEvent& e);
    void handleHtml(const HtmlEvent& e);
    void handleHighlightTag(const HighlightTagEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleStep(const StepEvent& e);
    void handleChangeCurrentState(const ChangeCurrentStateEvent& e);
    void handleUpdateModelState(const UpdateModelStateEvent& e);

    mutable HtmlModel* model_ = nullptr;
    mutable std::unique_ptr<HtmlModel> ownModel_;
    QPointer<CommonViewComponent> canvas;
    QString curFileIdStr = QStringLiteral("0");
};

} // namespace tracewin

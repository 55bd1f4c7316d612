#pragma once

#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/monitorevents.h"
#include "views/sourcemodels.h"

#include <QPointer>

namespace tracewin {

// The generated Java source behind the page, with the Java line that executes next
// highlighted from the column the record gives to the end of the line.
class JavaView final : public CommonView {
    Q_OBJECT

public:
    JavaView();
    ~JavaView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_JavaView"); }
    const CommonModel* getCommonModel() const override { return &model(); }

    CommonViewComponent* createCanvas();
    CommonViewComponent* getCanvas() const { return canvas; }
    void showSource();
    void highlightText(int startLine, int startPos, int endLine, int endPos);
    // A record's Java column as a column of the shown line, whose instrumentation call was
    // cut off: 1 for column 0.
    int adjustStartCol(int col, int javaLine) const;

    QString getCurFileIdStr() const { return curFileIdStr; }
    JavaModel& model() const;

private:
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleStep(const StepEvent& e);
    void handleChangeCurrentState(const ChangeCurrentStateEvent& e);
    void handleUpdateModelState(const UpdateModelStateEvent& e);
    void handleClientExit(const ClientExitEvent& e);
    void clearHighlight();

    mutable JavaModel* model_ = nullptr;
    mutable std::unique_ptr<JavaModel> ownModel_;
    QPointer<CommonViewComponent> canvas;
    QString curFileIdStr = QStringLiteral("0");
};

} // namespace tracewin

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

    CommonViewComponent* createCanvas();
    void showSource();
    void highlightText(int startLine, int startPos, int endLine, int endPos);
    // A record's Java column as a column of the shown line, whose instrumentation call was
    // cut off: 1 for column 0.
    int adjustStartCol(int col, int javaLine) const;

    JavaModel& model() const;

protected:
    CommonModel& sourceModel() const override { return model(); }
    QString modelStateName() const override { return QStringLiteral("Java"); }

private:
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleClientExit(const ClientExitEvent& e);
    void handleShowOutputOrigin(const ShowOutputOriginEvent& e);
    void clearHighlight();

    mutable JavaModel* model_ = nullptr;
    mutable std::unique_ptr<JavaModel> ownModel_;
};

} // namespace tracewin

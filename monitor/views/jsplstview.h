#pragma once

#include "views/commonview.h"
#include "views/monitorevents.h"
#include "views/sourcemodels.h"

#include <QListWidget>
#include <QPointer>
#include <QStringList>
#include <map>

namespace tracewin {

// The JSP files of the request seen so far, one row per distinct path. Picking a row
// switches the source views to that file; a switch made elsewhere selects its row.
class JspLstView final : public CommonView {
    Q_OBJECT

public:
    JspLstView();
    ~JspLstView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_JspLstView"); }

    // The list now shown (null before the first start-up).
    QListWidget* getList() const { return jspStrLst; }
    const QStringList& getPaths() const { return jspStrLstData; }
    // The file id of a row, or none.
    std::optional<int> fileIdOfRow(int row) const;
    JspLstModel& model() const;

protected:
    CommonModel& sourceModel() const override { return model(); }

private:
    void handleStartup(const StartupEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleClientExit(const ClientExitEvent& e);
    // The user changed the selection.
    void valueChanged();
    void showList(int row);

    mutable JspLstModel* model_ = nullptr;
    mutable std::unique_ptr<JspLstModel> ownModel_;
    QStringList jspStrLstData;
    QPointer<QListWidget> jspStrLst;
    std::map<int, int> fileIdLst;
};

} // namespace tracewin

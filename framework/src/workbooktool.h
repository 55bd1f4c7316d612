#pragma once

#include "panekit/buildscope.h"
#include "panekit/tool.h"

#include <QPointer>

namespace panekit {

class ManagedWorkbook;

// The tool of a pane that holds a whole workbook: its view is the workbook, and the
// framework's walks (activation, closing, exiting) pass through it to the workbook's tools.
class WorkbookTool final : public Tool {
    Q_OBJECT

public:
    WorkbookTool(const WorkbookPaneDescription& description, BuildScope scope);

    ManagedWorkbook* workbook() const;

    QWidget* getView() override;
    // A minor workbook's controller fires through the pane that holds the workbook.
    QStringList getLinkEventNames() const override;
    void toolActive() override;
    bool windowClosing() override;
    bool applicationExiting() override;
    void toolUninstalled() override;

private:
    const WorkbookPaneDescription& description_;
    BuildScope scope_;
    QPointer<ManagedWorkbook> workbook_;
};

} // namespace panekit

#include "workbooktool.h"

#include "panekit/managedworkbook.h"

#include <QStringList>

namespace panekit {

WorkbookTool::WorkbookTool(const WorkbookPaneDescription& description, BuildScope scope)
    : description_(description), scope_(std::move(scope)) {}

QWidget* WorkbookTool::getView() {
    if (!workbook_) {
        workbook_ = new ManagedWorkbook(*description_.workbook, scope_);
        if (description_.notebook)
            workbook_->setTabPosition(QTabWidget::South);
        if (description_.minor) {
            setMinor(workbook_);
            workbook_->setHolder(this);
        }
    }
    return workbook_;
}

ManagedWorkbook* WorkbookTool::workbook() const {
    return workbook_;
}

QStringList WorkbookTool::getLinkEventNames() const {
    Tool* controller = workbook_ && description_.minor ? workbook_->getController() : nullptr;
    return controller ? controller->getLinkEventNames() : QStringList();
}

void WorkbookTool::toolActive() {
    if (workbook_)
        workbook_->activateAll();
}

bool WorkbookTool::windowClosing() {
    return !workbook_ || workbook_->windowClosing();
}

bool WorkbookTool::applicationExiting() {
    return !workbook_ || workbook_->applicationExiting();
}

void WorkbookTool::toolUninstalled() {
    if (workbook_)
        workbook_->uninstallAll();
}

} // namespace panekit

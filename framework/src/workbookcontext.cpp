#include "panekit/workbookcontext.h"

#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/managedworkbook.h"

#include <QMainWindow>

namespace panekit {

WorkbookContext::WorkbookContext(QMainWindow* root, const QString& appKey)
    : StandardContext(root, appKey) {}

ManagedWorkbook* WorkbookContext::buildWorkbook(const QString& workbookName) {
    Application* app = getApplication();
    const Configuration* config = app->getCurrentConfiguration();
    const WorkbookDescription* description = config ? config->findWorkbook(workbookName) : nullptr;
    if (!description)
        return nullptr;
    if (workbook_)
        uninstallAll(); // the old client goes when the new one takes its place
    BuildScope scope{app, qobject_cast<BrowserFrame*>(getRootPane()), this, {}};
    auto* workbook = new ManagedWorkbook(*description, scope);
    workbook_ = workbook;
    setClient(workbook);
    return workbook;
}

ManagedWorkbook* WorkbookContext::getWorkbook() const {
    return workbook_;
}

Tool* WorkbookContext::getController() const {
    return workbook_ ? workbook_->getController() : nullptr;
}

bool WorkbookContext::handleWindowClosing() {
    return !workbook_ || workbook_->windowClosing();
}

bool WorkbookContext::handleApplicationExiting() {
    return !workbook_ || workbook_->applicationExiting();
}

void WorkbookContext::activateAll() {
    if (workbook_)
        workbook_->activateAll();
    setActivated(true);
}

void WorkbookContext::uninstallAll() {
    if (workbook_)
        workbook_->uninstallAll();
}

void WorkbookContext::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (workbook_)
        workbook_->applyToAllTools(apply);
}

void WorkbookContext::fireLinkEvent(const LinkEventPtr& event) {
    if (workbook_)
        workbook_->fireLinkEvent(event);
}

void WorkbookContext::fireModelEvent(const LinkEventPtr& event) {
    if (workbook_)
        workbook_->fireModelEvent(event);
}

} // namespace panekit

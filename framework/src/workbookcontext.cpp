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
    BuildScope scope{app, qobject_cast<BrowserFrame*>(getRootPane()), this, {}};
    auto* workbook = new ManagedWorkbook(*description, scope);
    workbook_ = workbook;
    setClientTools(workbook, workbook);
    return workbook;
}

ManagedWorkbook* WorkbookContext::getWorkbook() const {
    return workbook_;
}

} // namespace panekit

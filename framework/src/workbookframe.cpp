#include "panekit/workbookframe.h"

#include "panekit/workbookcontext.h"

namespace panekit {

WorkbookFrame::WorkbookFrame(const QString& name, const QString& id, QWidget* parent)
    : BrowserFrame(id.isEmpty() ? name : id, parent), name_(name) {
    setWindowTitle(name);
    setPanekitContext(std::make_unique<WorkbookContext>(this, getApplicationKey()));
}

ManagedWorkbook* WorkbookFrame::buildWorkbook() {
    return buildWorkbook(name_);
}

ManagedWorkbook* WorkbookFrame::buildWorkbook(const QString& workbookName) {
    WorkbookContext* context = getWorkbookContext();
    return context ? context->buildWorkbook(workbookName) : nullptr;
}

ManagedWorkbook* WorkbookFrame::getWorkbook() const {
    WorkbookContext* context = getWorkbookContext();
    return context ? context->getWorkbook() : nullptr;
}

WorkbookContext* WorkbookFrame::getWorkbookContext() const {
    return qobject_cast<WorkbookContext*>(getPanekitContext());
}

} // namespace panekit

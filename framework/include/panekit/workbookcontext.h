#pragma once

#include "panekit/standardcontext.h"

namespace panekit {

class ManagedWorkbook;

// The context of a window that shows a workbook of pages.
class WorkbookContext : public StandardContext {
    Q_OBJECT

public:
    WorkbookContext(QMainWindow* root, const QString& appKey);

    // Builds the workbook of that name from the configuration in use; null when the
    // configuration holds none.
    ManagedWorkbook* buildWorkbook(const QString& workbookName);
    ManagedWorkbook* getWorkbook() const;

private:
    QPointer<ManagedWorkbook> workbook_;
};

} // namespace panekit

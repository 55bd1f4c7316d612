#pragma once

#include "panekit/browserframe.h"

namespace panekit {

class ManagedWorkbook;
class WorkbookContext;

// A frame that shows a workbook of pages built by name from the configuration.
class WorkbookFrame : public BrowserFrame {
    Q_OBJECT

public:
    // name is the window title and the workbook that buildWorkbook() builds; the identifier
    // (for the saved position) defaults to it.
    explicit WorkbookFrame(const QString& name, const QString& id = {}, QWidget* parent = nullptr);

    ManagedWorkbook* buildWorkbook();
    ManagedWorkbook* buildWorkbook(const QString& workbookName);
    ManagedWorkbook* getWorkbook() const;
    WorkbookContext* getWorkbookContext() const;

private:
    QString name_;
};

} // namespace panekit

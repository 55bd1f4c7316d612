#pragma once

#include "panekit/standardcontext.h"

namespace panekit {

class ManagedWorkbook;
class PaneManager;
class PageWidget;

// The context of a window that shows one page: the page's panes, or the nested workbook
// of a section, fill the client area.
class PaneContext : public StandardContext {
    Q_OBJECT

public:
    PaneContext(QMainWindow* root, const QString& appKey);

    // Builds the first page of the configuration in use whose name is pageName (exact
    // match). Returns null, and builds nothing, when there is none.
    PageWidget* buildPanesForPage(const QString& pageName);

    PageWidget* getPage() const;
    PaneManager* getPaneManager() const;
    ManagedWorkbook* getMinor() const;

private:
    QPointer<PageWidget> page_;
};

} // namespace panekit

#include "panekit/panecontext.h"

#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/pagewidget.h"
#include "panekit/panemanager.h"
#include "panekit/tool.h"

#include <QMainWindow>

namespace panekit {

PaneContext::PaneContext(QMainWindow* root, const QString& appKey)
    : StandardContext(root, appKey) {}

PageWidget* PaneContext::buildPanesForPage(const QString& pageName) {
    Application* app = getApplication();
    const Configuration* config = app->getCurrentConfiguration();
    const PageDescription* description = config ? config->findPage(pageName) : nullptr;
    if (!description)
        return nullptr;
    BuildScope scope{app, qobject_cast<BrowserFrame*>(getRootPane()), this, {}};
    auto* page = new PageWidget(*description, scope);
    page_ = page;
    setClientTools(page, page);
    return page;
}

PageWidget* PaneContext::getPage() const {
    return page_;
}

PaneManager* PaneContext::getPaneManager() const {
    return page_ ? page_->getPaneManager() : nullptr;
}

ManagedWorkbook* PaneContext::getMinor() const {
    return page_ ? page_->getMinor() : nullptr;
}

} // namespace panekit

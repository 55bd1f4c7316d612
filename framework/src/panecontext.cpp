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
    if (page_)
        uninstallAll(); // the old client goes when the new one takes its place
    BuildScope scope{app, qobject_cast<BrowserFrame*>(getRootPane()), this, {}};
    auto* page = new PageWidget(*description, scope);
    page_ = page;
    setClient(page);
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

Tool* PaneContext::getController() const {
    return page_ ? page_->getController() : nullptr;
}

bool PaneContext::handleWindowClosing() {
    return !page_ || page_->windowClosing();
}

bool PaneContext::handleApplicationExiting() {
    return !page_ || page_->applicationExiting();
}

void PaneContext::activateAll() {
    if (page_)
        page_->activateAll();
    setActivated(true);
}

void PaneContext::uninstallAll() {
    if (page_)
        page_->uninstallAll();
}

void PaneContext::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (page_)
        page_->applyToAllTools(apply);
}

void PaneContext::fireLinkEvent(const LinkEventPtr& event) {
    Tool* input = page_ ? page_->getInputTool() : nullptr;
    if (input && event) {
        input->linkChanged(event);
        input->linkChangedGeneric(event);
    }
}

void PaneContext::fireModelEvent(const LinkEventPtr& event) {
    if (page_ && event)
        page_->fireModelEvent(event);
}

} // namespace panekit

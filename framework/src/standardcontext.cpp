#include "panekit/standardcontext.h"

#include "focustracker.h"
#include "panekit/application.h"
#include "panekit/menudata.h"
#include "panekit/menumanager.h"
#include "panekit/statusline.h"
#include "panekit/statuslinecontribution.h"
#include "panekit/tool.h"
#include "panekit/toolbarcontribution.h"
#include "panekit/toolbarmanager.h"

#include <QLabel>
#include <QMainWindow>

namespace panekit {

StandardContext::StandardContext(QMainWindow* root, const QString& appKey)
    : PanekitContext(appKey), root_(root), menus_(new MenuManager(this)),
      toolBars_(new ToolBarManager(this)) {
    connect(&FocusTracker::instance(), &FocusTracker::toolInFocusChanged, this,
            &StandardContext::focusMoved);
}

StandardContext::~StandardContext() {
    // Tool-bar settings go to the pane-settings profile, which the application saves.
    if (Application* app = Application::findApplication(getApplicationKey()))
        for (const Contributions& c : asked_)
            if (c.tool && c.toolBar)
                c.toolBar->saveToProfile(app->getProfile());
}

void StandardContext::setClient(QWidget* client) {
    if (root_)
        root_->setCentralWidget(client);
}

QWidget* StandardContext::getClient() const {
    return root_ ? root_->centralWidget() : nullptr;
}

void StandardContext::setClientTools(QWidget* client, ClientTools* tools) {
    if (ClientTools* old = clientTools())
        old->uninstallAll(); // the old client goes when the new one takes its place
    clientWidget_ = client;
    clientTools_ = tools;
    setClient(client);
}

Tool* StandardContext::getController() const {
    ClientTools* tools = clientTools();
    return tools ? tools->getController() : nullptr;
}

bool StandardContext::handleWindowClosing() {
    ClientTools* tools = clientTools();
    return !tools || tools->windowClosing();
}

bool StandardContext::handleApplicationExiting() {
    ClientTools* tools = clientTools();
    return !tools || tools->applicationExiting();
}

void StandardContext::activateAll() {
    if (ClientTools* tools = clientTools())
        tools->activateAll();
    setActivated(true);
}

void StandardContext::uninstallAll() {
    if (ClientTools* tools = clientTools())
        tools->uninstallAll();
}

void StandardContext::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (ClientTools* tools = clientTools())
        tools->applyToAllTools(apply);
}

void StandardContext::fireLinkEvent(const LinkEventPtr& event) {
    ClientTools* tools = clientTools();
    if (tools && event)
        tools->fireLinkEvent(event);
}

void StandardContext::fireModelEvent(const LinkEventPtr& event) {
    ClientTools* tools = clientTools();
    if (tools && event)
        tools->fireModelEvent(event);
}

void StandardContext::setStatusLine(StatusLine* statusLine) {
    if (root_)
        root_->setStatusBar(statusLine);
}

StatusLine* StandardContext::getStatusLine() const {
    if (!root_)
        return nullptr;
    QStatusBar* current = root_->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (auto* line = qobject_cast<StatusLine*>(current))
        return line;
    auto* line = new StatusLine(root_);
    root_->setStatusBar(line);
    return line;
}

void StandardContext::setStatusComponent(QWidget* component) {
    if (StatusLine* status = getStatusLine())
        status->addPermanentWidget(component);
}

void StandardContext::setStatusLineVisible(bool visible) {
    if (StatusLine* status = getStatusLine())
        status->setVisible(visible);
}

void StandardContext::setBusy(bool busy) {
    PanekitContext::setBusy(busy);
    if (!root_)
        return;
    if (busy)
        root_->setCursor(Qt::WaitCursor);
    else
        root_->unsetCursor();
    if (StatusLine* status = getStatusLine())
        status->setBusyIndicatorActive(busy);
}

std::vector<StandardContext::Contributions> StandardContext::collect() {
    std::vector<Contributions> out;
    applyToAllTools([&](Tool& tool) {
        auto it = asked_.find(&tool);
        if (it == asked_.end() || it->tool != &tool) {
            Contributions c{&tool, tool.getMenuContribution(), tool.getToolBarContribution(),
                            tool.getStatusLineContribution()};
            if (c.menu && !c.menu->getTool())
                c.menu->setTool(&tool);
            if (c.toolBar) {
                if (!c.toolBar->getTool())
                    c.toolBar->setTool(&tool);
                if (Application* app = getApplication())
                    c.toolBar->initializeFromProfile(app->getProfile());
            }
            if (c.statusLine && !c.statusLine->getTool())
                c.statusLine->setTool(&tool);
            it = asked_.insert(&tool, c);
        }
        out.push_back(*it);
    });
    // Tools that went away leave the cache.
    for (auto it = asked_.begin(); it != asked_.end();)
        it = it->tool.isNull() ? asked_.erase(it) : std::next(it);
    return out;
}

void StandardContext::buildMenuBar(bool rebuild) {
    Q_UNUSED(rebuild); // the bar is always rebuilt from the current contributions
    std::vector<const MenuContribution*> contributions;
    for (const Contributions& c : collect())
        if (c.menu)
            contributions.push_back(c.menu);
    for (MenuContribution* c : extraMenus_)
        contributions.push_back(c);
    menus_->build(contributions, dynamic_);
    menuBuilt_ = true;
}

void StandardContext::buildToolBar(bool rebuild) {
    Q_UNUSED(rebuild);
    std::vector<ToolBarContribution*> contributions;
    for (const Contributions& c : collect())
        if (c.toolBar)
            contributions.push_back(c.toolBar);
    for (ToolBarContribution* c : extraToolBars_)
        contributions.push_back(c);
    toolBars_->build(contributions);
    toolBarBuilt_ = true;
}

void StandardContext::buildStatusLine(bool rebuild) {
    Q_UNUSED(rebuild);
    StatusLine* status = getStatusLine();
    if (!status)
        return;
    status->removeAllUserComponents();
    std::vector<StatusLineContribution*> contributions;
    for (const Contributions& c : collect())
        if (c.statusLine)
            contributions.push_back(c.statusLine);
    for (StatusLineContribution* c : extraStatus_)
        contributions.push_back(c);
    for (StatusLineContribution* c : contributions)
        for (const auto& label : c->getItems())
            status->addUserComponent(label->getComponent());
    statusBuilt_ = true;
}

void StandardContext::addMenuContribution(MenuContribution* c) {
    if (c && std::find(extraMenus_.begin(), extraMenus_.end(), c) == extraMenus_.end())
        extraMenus_.push_back(c);
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::removeMenuContribution(MenuContribution* c) {
    std::erase(extraMenus_, c);
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::addToolBarContribution(ToolBarContribution* c) {
    if (c && std::find(extraToolBars_.begin(), extraToolBars_.end(), c) == extraToolBars_.end())
        extraToolBars_.push_back(c);
    if (toolBarBuilt_)
        buildToolBar(true);
}

void StandardContext::removeToolBarContribution(ToolBarContribution* c) {
    std::erase(extraToolBars_, c);
    if (toolBarBuilt_)
        buildToolBar(true);
}

void StandardContext::addStatusLineContribution(StatusLineContribution* c) {
    if (c && std::find(extraStatus_.begin(), extraStatus_.end(), c) == extraStatus_.end())
        extraStatus_.push_back(c);
    if (statusBuilt_)
        buildStatusLine(true);
}

void StandardContext::removeStatusLineContribution(StatusLineContribution* c) {
    std::erase(extraStatus_, c);
    if (statusBuilt_)
        buildStatusLine(true);
}

void StandardContext::addDynamicMenuItem(const QString& menuKey,
                                         std::shared_ptr<MenuComponentData> item) {
    if (!item)
        return;
    dynamic_.emplace_back(menuKey, std::move(item));
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item) {
    std::erase_if(dynamic_,
                  [&](const auto& d) { return d.first == menuKey && d.second.get() == item; });
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::removePredefinedMenu(const QString& key) {
    menus_->removePredefinedMenu(key);
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::removePredefinedMenuItem(const QString& key) {
    menus_->removePredefinedMenuItem(key);
    if (menuBuilt_)
        buildMenuBar(true);
}

void StandardContext::installSelectedMenuFor(Tool* tool) {
    menus_->installSelectedMenuFor(tool);
}

void StandardContext::setToolBarActiveFor(const QString& toolName, bool active) {
    toolBars_->setToolBarActiveFor(toolName, active);
}

void StandardContext::setPreferencesHandler(std::function<void()> handler) {
    menus_->setPreferencesHandler(std::move(handler));
}

void StandardContext::focusMoved(Tool* tool) {
    if (tool && tool->getParentContext() != this)
        return; // focus in another window leaves this one's menus as they are
    menus_->installSelectedMenuFor(tool);
    toolBars_->focusMovedTo(tool);
}

} // namespace panekit

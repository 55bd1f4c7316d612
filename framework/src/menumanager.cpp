#include "panekit/menumanager.h"

#include "panekit/action.h"
#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/browserframemanager.h"
#include "panekit/managedworkbook.h"
#include "panekit/menuresource.h"
#include "panekit/pagewidget.h"
#include "panekit/panemanager.h"
#include "panekit/standardcontext.h"
#include "panekit/tool.h"
#include "panekit/toolpane.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>

namespace panekit {
namespace {

// The framework's own texts; an application's bundle may replace any of them.
const QHash<QString, QString>& frameworkTexts() {
    static const QHash<QString, QString> texts{
        {"MFile", "&File"},
        {"MPage", "&Page"},
        {"MPane", "P&ane"},
        {"MView", "&View"},
        {"MSelected", "&Selected"},
        {"MWindows", "&Windows"},
        {"MHelp", "&Help"},
        {"MiPreferences", "&Preferences..."},
        {"MiClose", "&Close@CTRL+VK_W"},
        {"MiExit", "E&xit@CTRL+VK_Q"},
        {"MiDetachPage", "&Detach page"},
        {"MiShowTabs", "Show &tabs"},
        {"MiPaneRestore", "&Restore"},
        {"MiPaneMaximize", "Ma&ximize"},
        {"MiPaneMinimize", "Mi&nimize"},
        {"MiPaneDetach", "&Detach"},
        {"MiPaneAnchor", "&Anchor"},
    };
    return texts;
}

const char* const priorityProperty = "PanekitPriority";

// Runs a function: the predefined items' commands.
class CallbackAction final : public Action {
public:
    explicit CallbackAction(std::function<void()> run) : run_(std::move(run)) {}
    void setRun(std::function<void()> run) { run_ = std::move(run); }
    void run() override { run_(); }

private:
    std::function<void()> run_;
};

} // namespace

MenuManager::MenuManager(StandardContext* context) : QObject(context), context_(context) {}

MenuManager::~MenuManager() {
    for (const QPointer<QMenu>& m : menus_)
        delete m.data();
}

QString MenuManager::text(const QString& key) const {
    Application* app = context_->getApplication();
    if (std::optional<QString> own = app ? app->findString(key) : std::nullopt)
        return *own;
    return frameworkTexts().value(key, QStringLiteral("?"));
}

void MenuManager::removePredefinedMenu(const QString& key) {
    removed_.insert(key);
}

void MenuManager::removePredefinedMenuItem(const QString& key) {
    removed_.insert(key);
}

void MenuManager::setPreferencesHandler(std::function<void()> handler) {
    preferences_ = std::move(handler);
    if (Action* a = actionsByKey_.value(QStringLiteral("MiPreferences")))
        a->setEnabled(bool(preferences_));
}

Action* MenuManager::makeAction(const QString& key, std::function<void()> run, bool enabled) {
    auto action = std::make_unique<CallbackAction>(std::move(run));
    action->setEnabled(enabled);
    Action* raw = action.get();
    predefinedActions_.push_back(std::move(action));
    actionsByKey_.insert(key, raw);
    return raw;
}

std::shared_ptr<MenuItemData> MenuManager::predefinedItem(const QString& key, Action* action,
                                                          int priority, bool check) {
    const MenuResource r = parseMenuText(text(key));
    std::shared_ptr<MenuItemData> item =
        check ? std::make_shared<CheckBoxMenuItemData>(r.label, action)
              : std::make_shared<MenuItemData>(r.label, action);
    item->setMnemonic(r.mnemonic);
    item->setAccelerator(r.accelerator);
    item->setKey(key);
    item->setActionCommand(key);
    item->setPriority(priority);
    return item;
}

std::vector<std::shared_ptr<MenuData>> MenuManager::standardMenus() {
    if (predefinedActions_.empty()) {
        QMainWindow* root = context_->getRootPane();
        makeAction(
            "MiPreferences",
            [this] {
                if (preferences_)
                    preferences_();
            },
            bool(preferences_));
        makeAction("MiClose", [root] {
            if (root)
                root->close();
        });
        makeAction("MiExit", [] { BrowserFrameManager::getManager().closeAllFrames(); });
        makeAction(
            "MiDetachPage", [] {}, false); // pages and panes stay docked
        makeAction(
            "MiPaneDetach", [] {}, false);
        makeAction(
            "MiPaneAnchor", [] {}, false);
        for (const char* key : {"MiPaneRestore", "MiPaneMaximize", "MiPaneMinimize"})
            makeAction(QLatin1String(key),
                       [this, k = QString::fromLatin1(key)] { paneCommand(k); });
        auto* tabs = static_cast<CallbackAction*>(makeAction("MiShowTabs", [] {}));
        tabs->setSelected(true);
        tabs->setRun([this, tabs] { toggleTabs(tabs->isSelected()); });
    }
    auto menu = [this](const QString& key, int priority) {
        const MenuResource r = parseMenuText(text(key));
        auto m = std::make_shared<MenuData>(r.label);
        m->setMnemonic(r.mnemonic);
        m->setKey(key);
        m->setPriority(priority);
        return m;
    };
    auto item = [this](const QString& key, int priority, bool check = false) {
        return predefinedItem(key, actionsByKey_.value(key), priority, check);
    };
    std::vector<std::shared_ptr<MenuData>> menus;
    auto file = menu("MFile", -1000);
    file->add(item("MiPreferences", 900));
    file->add(MenuComponentData::separator(940));
    file->add(item("MiClose", 950));
    file->add(item("MiExit", 1000));
    menus.push_back(file);
    auto page = menu("MPage", -900);
    page->add(MenuComponentData::separator(900));
    page->add(item("MiDetachPage", 950));
    menus.push_back(page);
    auto pane = menu("MPane", -800);
    pane->add(item("MiPaneRestore", 900));
    pane->add(item("MiPaneMaximize", 910));
    pane->add(item("MiPaneMinimize", 920));
    pane->add(MenuComponentData::separator(940));
    pane->add(item("MiPaneDetach", 950));
    pane->add(item("MiPaneAnchor", 960));
    menus.push_back(pane);
    auto view = menu("MView", -700);
    view->add(item("MiShowTabs", 900, true));
    menus.push_back(view);
    menus.push_back(menu("MSelected", -600));
    menus.push_back(menu("MWindows", 900));
    menus.push_back(menu("MHelp", 1000));
    return menus;
}

void MenuManager::build(
    const std::vector<const MenuContribution*>& contributions,
    const std::vector<std::pair<QString, std::shared_ptr<MenuComponentData>>>& dynamic) {
    if (merger_)
        MenuMerger::ungroup(merger_->getGroupedActions());
    standard_ = standardMenus();
    merger_ = std::make_unique<MenuMerger>(removed_);
    for (const auto& m : standard_)
        merger_->mergeMenu(*m);
    for (const MenuContribution* c : contributions)
        for (const auto& m : c->getItems())
            merger_->mergeContributedMenu(*m);
    for (const auto& [key, item] : dynamic)
        merger_->mergeItem(key, *item);
    merger_->finish();

    QMainWindow* root = context_->getRootPane();
    if (!root)
        return;
    QMenuBar* bar = root->menuBar();
    bar->clear();
    for (const QPointer<QMenu>& m : menus_)
        if (m)
            m->deleteLater();
    menus_.clear();
    selected_ = nullptr;
    for (const MergedMenuEntry& entry : merger_->getMenus()) {
        QMenu* menu = buildMenu(entry, bar);
        bar->addMenu(menu);
        menus_.append(menu);
    }
    installSelectedMenuFor(Tool::getToolInFocus());
}

const std::vector<MergedMenuEntry>& MenuManager::getMergedMenus() const {
    static const std::vector<MergedMenuEntry> none;
    return merger_ ? merger_->getMenus() : none;
}

QMenu* MenuManager::buildMenu(const MergedMenuEntry& entry, QWidget* parent) {
    const auto* data = static_cast<const MenuData*>(entry.data);
    auto* menu = new QMenu(withMnemonic(data->getLabel(), data->getMnemonic()), parent);
    menu->setObjectName(data->getKey().isEmpty() ? QStringLiteral("menu:") + data->getLabel()
                                                 : data->getKey());
    menu->setProperty(priorityProperty, entry.priority);
    menu->setProperty("panekitKey", data->getKey());
    fillMenu(menu, entry.children);
    const QString key = data->getKey();
    std::vector<const MenuData*> sources = entry.menus;
    connect(menu, &QMenu::aboutToShow, this, [this, menu, key, sources] {
        if (key == QLatin1String("MPage"))
            fillPageMenu(menu);
        else if (key == QLatin1String("MWindows"))
            fillWindowsMenu(menu);
        for (const MenuData* source : sources)
            if (source->getMenuListener())
                source->getMenuListener()(menu);
    });
    if (key == QLatin1String("MSelected"))
        selected_ = menu;
    return menu;
}

void MenuManager::fillMenu(QMenu* menu, const std::vector<MergedMenuEntry>& entries) {
    for (const MergedMenuEntry& e : entries) {
        if (e.isSeparator()) {
            menu->addSeparator()->setProperty(priorityProperty, e.priority);
            continue;
        }
        if (e.isMenu()) {
            QMenu* sub = buildMenu(e, menu);
            menu->addMenu(sub);
            continue;
        }
        const auto* item = static_cast<const MenuItemData*>(e.data);
        auto* qa = new QAction(withMnemonic(item->getLabel(), item->getMnemonic()), menu);
        qa->setObjectName(item->getKey().isEmpty() ? item->getLabel() : item->getKey());
        qa->setProperty(priorityProperty, e.priority);
        qa->setShortcut(item->getAccelerator());
        qa->setIcon(item->getIcon());
        qa->setStatusTip(item->getDescription());
        if (item->getType() == MenuComponentData::TYPE_CHECKBOX_ITEM) {
            qa->setCheckable(true);
            qa->setChecked(static_cast<const CheckBoxMenuItemData*>(item)->isSelected());
        }
        menu->addAction(qa);
        if (Action* action = item->getAction())
            action->addEmitter(qa, item->getActionCommand());
        else
            qa->setEnabled(false);
    }
}

QMenu* MenuManager::findMenu(const QString& keyOrLabel) const {
    for (const QPointer<QMenu>& m : menus_) {
        if (!m)
            continue;
        if (m->property("panekitKey").toString() == keyOrLabel ||
            parseMenuText(m->title()).label == keyOrLabel)
            return m;
    }
    return nullptr;
}

void MenuManager::installSelectedMenuFor(Tool* tool) {
    if (!selected_)
        return;
    selected_->clear();
    const MenuContribution* c = nullptr;
    if (tool && tool->getParentContext() == context_)
        c = tool->getMenuContribution();
    MenuData* focus = c ? c->getFocusMenu() : nullptr;
    if (!focus) {
        selected_->setEnabled(false);
        return;
    }
    MenuMerger single(removed_);
    MenuData wrapper(QStringLiteral("MSelected"));
    for (const auto& item : focus->getItems())
        wrapper.add(item);
    single.mergeMenu(wrapper);
    single.finish();
    if (!single.getMenus().empty())
        fillMenu(selected_, single.getMenus().front().children);
    selected_->setEnabled(!selected_->isEmpty());
}

void MenuManager::fillPageMenu(QMenu* menu) {
    for (QAction* a : menu->actions())
        if (a->property("panekitPaneItem").toBool())
            delete a;
    PaneManager* manager = nullptr;
    if (QWidget* client = context_->getClient()) {
        if (auto* page = qobject_cast<PageWidget*>(client))
            manager = page->getPaneManager();
        else if (auto* book = qobject_cast<ManagedWorkbook*>(client))
            manager = book->getCurrentPage() ? book->getCurrentPage()->getPaneManager() : nullptr;
    }
    if (!manager)
        return;
    QAction* before = menu->actions().isEmpty() ? nullptr : menu->actions().front();
    for (ToolPane* pane : manager->getPanes()) {
        auto* qa = new QAction(pane->getTitle(), menu);
        qa->setProperty("panekitPaneItem", true);
        qa->setCheckable(true);
        qa->setChecked(!pane->isHidden());
        QPointer<ToolPane> guarded(pane);
        connect(qa, &QAction::toggled, this, [guarded](bool shown) {
            if (guarded)
                guarded->setVisible(shown);
        });
        menu->insertAction(before, qa);
    }
}

void MenuManager::fillWindowsMenu(QMenu* menu) {
    menu->clear();
    QMainWindow* root = context_->getRootPane();
    for (BrowserFrame* frame : BrowserFrameManager::getManager().getAllFrames()) {
        if (frame == root)
            continue;
        QPointer<BrowserFrame> guarded(frame);
        menu->addAction(frame->windowTitle().isEmpty() ? frame->getID() : frame->windowTitle(),
                        this, [guarded] {
                            if (guarded) {
                                guarded->showNormal();
                                guarded->raise();
                                guarded->activateWindow();
                            }
                        });
    }
    menu->setEnabled(true);
}

ToolPane* MenuManager::paneInFocus() const {
    Tool* tool = Tool::getToolInFocus();
    return tool && tool->getParentContext() == context_ ? tool->getPane() : nullptr;
}

void MenuManager::paneCommand(const QString& key) {
    ToolPane* pane = paneInFocus();
    if (!pane)
        return;
    auto siblings = [pane] {
        std::vector<ToolPane*> out;
        if (PaneManager* m = pane->getTool()->getPaneManager())
            for (ToolPane* p : m->getPanes())
                if (p != pane)
                    out.push_back(p);
        return out;
    };
    if (key == QLatin1String("MiPaneMinimize")) {
        pane->setMinimized(true);
    } else if (key == QLatin1String("MiPaneMaximize")) {
        pane->setMinimized(false);
        for (ToolPane* p : siblings())
            p->hide();
        maximized_ = pane;
    } else if (key == QLatin1String("MiPaneRestore")) {
        pane->setMinimized(false);
        if (maximized_ == pane) {
            for (ToolPane* p : siblings())
                if (p->getDescription().state != LeafPaneDescription::State::HIDDEN)
                    p->show();
            maximized_ = nullptr;
        }
    }
}

void MenuManager::toggleTabs(bool show) {
    if (QWidget* client = context_->getClient())
        for (QTabWidget* tabs : client->findChildren<QTabWidget*>()
                                    << qobject_cast<QTabWidget*>(client))
            if (tabs)
                tabs->tabBar()->setVisible(show);
}

} // namespace panekit

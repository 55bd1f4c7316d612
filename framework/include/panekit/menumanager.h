#pragma once

#include "panekit/menudata.h"
#include "panekit/menumerger.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <memory>
#include <vector>

class QMainWindow;
class QMenu;
class QMenuBar;

namespace panekit {

class Action;
class StandardContext;
class Tool;
class ToolPane;

// The menu bar of one window: the standard menus with their predefined items, merged with
// the menu contributions of the window's tools (see MenuMerger), minus the predefined menus
// and items the application removed (remembered across rebuilds).
//
// Standard menus (resource keys of the framework, texts overridable by the application's
// bundle): "MFile" (MiPreferences, MiClose, MiExit), "MPage" (a check item per pane of the
// current page, MiDetachPage), "MPane" (MiPaneRestore, MiPaneMaximize, MiPaneMinimize,
// MiPaneDetach, MiPaneAnchor: acting on the pane in focus), "MView" (MiShowTabs), "MSelected"
// (the focus menu of the tool in focus), "MWindows" (the other open frames) and "MHelp".
// Contributed menus without a standard counterpart go between "MSelected" and "MWindows",
// ordered by priority.
class MenuManager : public QObject {
    Q_OBJECT

public:
    explicit MenuManager(StandardContext* context);
    ~MenuManager() override;

    void removePredefinedMenu(const QString& key);
    void removePredefinedMenuItem(const QString& key);
    bool isRemoved(const QString& key) const { return removed_.contains(key); }

    // Rebuilds the window's menu bar from the standard menus, the contributions (in order)
    // and the dynamic items.
    void build(const std::vector<const MenuContribution*>& contributions,
               const std::vector<std::pair<QString, std::shared_ptr<MenuComponentData>>>& dynamic);
    const std::vector<MergedMenuEntry>& getMergedMenus() const;

    // The built top-level menu with that key or label, or null.
    QMenu* findMenu(const QString& keyOrLabel) const;
    // Fills the "MSelected" menu with the focus menu of tool.
    void installSelectedMenuFor(Tool* tool);

    // The text of a framework resource key (the application's bundle first).
    QString text(const QString& key) const;

    // Called by MiPreferences; without one the item is disabled.
    void setPreferencesHandler(std::function<void()> handler);

private:
    std::vector<std::shared_ptr<MenuData>> standardMenus();
    std::shared_ptr<MenuItemData> predefinedItem(const QString& key, Action* action, int priority,
                                                 bool check = false);
    QMenu* buildMenu(const MergedMenuEntry& entry, QWidget* parent);
    void fillMenu(QMenu* menu, const std::vector<MergedMenuEntry>& entries);
    void fillPageMenu(QMenu* menu);
    void fillWindowsMenu(QMenu* menu);
    ToolPane* paneInFocus() const;
    void paneCommand(const QString& key);
    void toggleTabs(bool show);
    Action* makeAction(const QString& key, std::function<void()> run, bool enabled = true);

    StandardContext* context_;
    QSet<QString> removed_;
    std::vector<std::shared_ptr<MenuData>> standard_;
    std::unique_ptr<MenuMerger> merger_;
    std::vector<std::unique_ptr<Action>> predefinedActions_;
    QHash<QString, Action*> actionsByKey_;
    QList<QPointer<QMenu>> menus_;
    QPointer<QMenu> selected_;
    QPointer<ToolPane> maximized_;
    std::function<void()> preferences_;
};

} // namespace panekit

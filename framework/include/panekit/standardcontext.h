#pragma once

#include "panekit/clienttools.h"
#include "panekit/panekitcontext.h"

#include <QHash>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

class QMainWindow;
class QWidget;

namespace panekit {

class MenuManager;
class StatusLine;
class ToolBarManager;

// The context of a standard window: a client area, a status line and a docking area for
// tool bars, all provided by the window (a QMainWindow). It builds the window's menu bar,
// tool bars and status line from the contributions of the tools it holds.
class StandardContext : public PanekitContext {
    Q_OBJECT

public:
    StandardContext(QMainWindow* root, const QString& appKey);
    ~StandardContext() override;

    QMainWindow* getRootPane() const { return root_; }
    // The component that fills the client area; the window takes ownership.
    void setClient(QWidget* client);
    QWidget* getClient() const;
    // The window's status line; one is installed on first use.
    void setStatusLine(StatusLine* statusLine);
    StatusLine* getStatusLine() const;
    void setStatusComponent(QWidget* component);
    void setStatusLineVisible(bool visible);
    QMainWindow* getDockingPane() const { return root_; }

    // Forwarded to the page or workbook of the client area, when there is one.
    Tool* getController() const override;
    bool handleWindowClosing() override;
    bool handleApplicationExiting() override;
    void activateAll() override;
    void uninstallAll() override;
    void applyToAllTools(const std::function<void(Tool&)>& apply) override;
    void fireLinkEvent(const LinkEventPtr& event) override;
    void fireModelEvent(const LinkEventPtr& event) override;
    // The wait cursor and the status line's busy indicator.
    void setBusy(bool busy) override;

    void buildMenuBar(bool rebuild = false) override;
    void buildToolBar(bool rebuild = false) override;
    void buildStatusLine(bool rebuild = false) override;
    bool isMenuBarBuilt() const { return menuBuilt_; }
    void addMenuContribution(MenuContribution* c) override;
    void removeMenuContribution(MenuContribution* c) override;
    void addToolBarContribution(ToolBarContribution* c) override;
    void removeToolBarContribution(ToolBarContribution* c) override;
    void addStatusLineContribution(StatusLineContribution* c) override;
    void removeStatusLineContribution(StatusLineContribution* c) override;
    void addDynamicMenuItem(const QString& menuKey,
                            std::shared_ptr<MenuComponentData> item) override;
    void removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item) override;
    void removePredefinedMenu(const QString& key) override;
    void removePredefinedMenuItem(const QString& key) override;
    void installSelectedMenuFor(Tool* tool) override;
    void setToolBarActiveFor(const QString& toolName, bool active) override;
    // Called by the "Preferences" item of the File menu.
    void setPreferencesHandler(std::function<void()> handler);

    MenuManager& getMenuManager() const { return *menus_; }
    ToolBarManager& getToolBarManager() const { return *toolBars_; }

protected:
    // A built page or workbook takes the client area; the one before it is uninstalled.
    void setClientTools(QWidget* client, ClientTools* tools);
    ClientTools* clientTools() const { return clientWidget_ ? clientTools_ : nullptr; }

private:
    // What one tool contributed, asked once.
    struct Contributions {
        QPointer<Tool> tool;
        MenuContribution* menu = nullptr;
        ToolBarContribution* toolBar = nullptr;
        StatusLineContribution* statusLine = nullptr;
    };
    std::vector<Contributions> collect();
    void focusMoved(Tool* tool);

    QPointer<QMainWindow> root_;
    MenuManager* menus_;
    ToolBarManager* toolBars_;
    QHash<Tool*, Contributions> asked_;
    std::vector<MenuContribution*> extraMenus_;
    std::vector<ToolBarContribution*> extraToolBars_;
    std::vector<StatusLineContribution*> extraStatus_;
    std::vector<std::pair<QString, std::shared_ptr<MenuComponentData>>> dynamic_;
    bool menuBuilt_ = false;
    bool toolBarBuilt_ = false;
    bool statusBuilt_ = false;
    QPointer<QWidget> clientWidget_;
    ClientTools* clientTools_ = nullptr;
};

} // namespace panekit

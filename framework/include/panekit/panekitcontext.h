#pragma once

#include "panekit/linkevent.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace panekit {

class Application;
class MenuComponentData;
class MenuContribution;
class StatusLineContribution;
class Tool;
class ToolBarContribution;

// What sits between a window and its tools: it walks the tools for activation, closing
// and exiting, and (with the contributions of the tools) will own the window's menus,
// tool bars and status line. Listeners learn of state changes through stateChanged.
class PanekitContext : public QObject {
    Q_OBJECT

public:
    explicit PanekitContext(const QString& appKey, QObject* parent = nullptr);
    ~PanekitContext() override;

    Application* getApplication() const;
    void setApplicationKey(const QString& key) { appKey_ = key; }
    QString getApplicationKey() const { return appKey_; }

    // The controller of what this context shows (page or workbook controller), or null.
    virtual Tool* getController() const = 0;
    // Ask the controller, then every pane tool in layout order; false vetoes.
    virtual bool handleWindowClosing() = 0;
    virtual bool handleApplicationExiting() = 0;
    // toolActive of the controller, then of every pane tool.
    virtual void activateAll() = 0;
    // toolUninstalled (and paneUninstalled) of every tool, once.
    virtual void uninstallAll() = 0;
    virtual void applyToAllTools(const std::function<void(Tool&)>& apply) = 0;
    virtual Tool* getPrintableTool() const { return nullptr; }
    // To the input tool of what this context shows (the page or workbook controller, else
    // the input pane's tool).
    virtual void fireLinkEvent(const LinkEventPtr& event) { Q_UNUSED(event); }
    // To every tool of the context, controller first.
    virtual void fireModelEvent(const LinkEventPtr& event) { Q_UNUSED(event); }

    // ---- menus, tool bars and status line (a context with a window builds them) ----
    // Each also collects the contributions of the context's tools (asked once per tool).
    virtual void buildMenuBar(bool rebuild = false) { Q_UNUSED(rebuild); }
    virtual void buildToolBar(bool rebuild = false) { Q_UNUSED(rebuild); }
    virtual void buildStatusLine(bool rebuild = false) { Q_UNUSED(rebuild); }
    // Contributions that belong to no tool of the context; the caller keeps ownership.
    virtual void addMenuContribution(MenuContribution* c) { Q_UNUSED(c); }
    virtual void removeMenuContribution(MenuContribution* c) { Q_UNUSED(c); }
    virtual void addToolBarContribution(ToolBarContribution* c) { Q_UNUSED(c); }
    virtual void removeToolBarContribution(ToolBarContribution* c) { Q_UNUSED(c); }
    virtual void addStatusLineContribution(StatusLineContribution* c) { Q_UNUSED(c); }
    virtual void removeStatusLineContribution(StatusLineContribution* c) { Q_UNUSED(c); }
    virtual void addDynamicMenuItem(const QString& menuKey,
                                    std::shared_ptr<MenuComponentData> item) {
        Q_UNUSED(menuKey);
        Q_UNUSED(item);
    }
    virtual void removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item) {
        Q_UNUSED(menuKey);
        Q_UNUSED(item);
    }
    // Predefined menus and items stay removed across rebuilds.
    virtual void removePredefinedMenu(const QString& key) { Q_UNUSED(key); }
    virtual void removePredefinedMenuItem(const QString& key) { Q_UNUSED(key); }
    virtual void installSelectedMenuFor(Tool* tool) { Q_UNUSED(tool); }
    virtual void setToolBarActiveFor(const QString& toolName, bool active) {
        Q_UNUSED(toolName);
        Q_UNUSED(active);
    }

    virtual void setActivated(bool activated);
    bool isActivated() const { return activated_; }
    virtual void setBusy(bool busy) { busy_ = busy; }
    bool isBusy() const { return busy_; }

signals:
    void stateChanged();

private:
    QString appKey_;
    bool activated_ = false;
    bool busy_ = false;
};

} // namespace panekit

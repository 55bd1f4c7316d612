#pragma once

#include "panekit/linkevent.h"

#include <QObject>
#include <QString>
#include <functional>

namespace panekit {

class Application;
class Tool;

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

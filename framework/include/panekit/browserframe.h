#pragma once

#include "panekit/linkevent.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

namespace panekit {

class Application;
class MenuComponentData;
class MenuContribution;
class PanekitContext;
class Tool;
class ToolBarContribution;

// A top-level window of the framework. It registers with the frame manager when shown,
// asks its tools before it closes (and, as the last frame, before the application exits),
// keeps its position in the system profile under "Frame." + its identifier, and ends the
// application when the last frame has closed. Most operations forward to its context.
class BrowserFrame : public QMainWindow {
    Q_OBJECT

public:
    explicit BrowserFrame(const QString& id = {}, QWidget* parent = nullptr);
    ~BrowserFrame() override;

    virtual void setPanekitContext(std::unique_ptr<PanekitContext> context);
    virtual PanekitContext* getPanekitContext() const { return context_.get(); }
    virtual void setID(const QString& id) { id_ = id; }
    virtual QString getID() const { return id_; }
    virtual void setMode(int mode) { mode_ = mode; }
    virtual int getMode() const { return mode_; }
    virtual void setApplicationKey(const QString& key);
    virtual QString getApplicationKey() const { return appKey_; }
    virtual Application* getApplication() const;

    virtual void activateAll();
    // Moves the frame to the bounds saved for its identifier; false when none are saved or
    // they lie where no screen shows the window's top edge. Bounds larger than the screen
    // they are on, or partly off it, are brought inside it.
    virtual bool setSavedBounds();
    // Keeps the frame's bounds and the shares of its split panes in the system profile, as
    // closing the frame does (saving the profile is the caller's).
    void keepLayout();
    // Gives the split panes the shares kept for them; false when none fit (a splitter whose
    // number of panes changed keeps the shares of the configuration).
    bool restoreSplitterShares();
    virtual bool handleWindowClosing();
    virtual bool handleApplicationExiting();
    virtual Tool* getController() const;
    virtual Tool* getPrintableTool() const;
    virtual void applyToAllTools(const std::function<void(Tool&)>& apply);
    // The first tool of type T, or null.
    template <class T> T* findTool() {
        T* found = nullptr;
        applyToAllTools([&found](Tool& tool) {
            if (!found)
                found = dynamic_cast<T*>(&tool);
        });
        return found;
    }
    // ---- menus, tool bars and status line (built from the tools' contributions) ----
    // A frame builds all three when first shown unless the application built them before.
    virtual void buildMenuBar(bool rebuild = false);
    virtual void buildToolBar(bool rebuild = false);
    virtual void buildStatusLine(bool rebuild = false);
    virtual void removePredefinedMenu(const QString& key);
    virtual void removePredefinedMenuItem(const QString& key);
    virtual void addMenuContribution(MenuContribution* contribution);
    virtual void removeMenuContribution(MenuContribution* contribution);
    virtual void addToolBarContribution(ToolBarContribution* contribution);
    virtual void removeToolBarContribution(ToolBarContribution* contribution);
    virtual void addDynamicMenuItem(const QString& menuKey,
                                    std::shared_ptr<MenuComponentData> item);
    virtual void removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item);
    virtual void installSelectedMenuFor(Tool* tool);
    virtual void setToolBarActiveFor(const QString& toolName, bool active);

    virtual void fireLinkEvent(const LinkEventPtr& event);
    virtual void fireModelEvent(const LinkEventPtr& event);

    // The system-profile key of this frame's bounds.
    QString boundsKey() const { return QStringLiteral("Frame.") + id_; }
    // The system-profile key of the pane sizes of the frame's index-th split pane.
    QString splitterKey(int index) const {
        return boundsKey() + QStringLiteral(".Splitter.") + QString::number(index);
    }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void frameClosed();

    QString id_;
    QString appKey_;
    int mode_ = 0;
    bool boundsRestored_ = false;
    bool menuBuilt_ = false;
    bool toolBarBuilt_ = false;
    bool statusBuilt_ = false;
    std::unique_ptr<PanekitContext> context_;
};

} // namespace panekit

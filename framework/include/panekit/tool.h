#pragma once

#include "panekit/configuration.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace panekit {

class AbstractModel;
class Application;
class BrowserFrame;
class ManagedWorkbook;
class Page;
class PaneManager;
class PanekitContext;
class ToolPane;

// Base of every pane content and page controller. A tool is a QObject, so that work for it
// can be queued on the user-interface thread and dropped if it goes away; it provides its
// view widget, which the pane shows below its title bar. The framework creates tools from
// the class names of a configuration file (see PartsFactory) and tells them about their
// life through the virtual notifications below, all on the user-interface thread.
class Tool : public QObject {
    Q_OBJECT

public:
    Tool();
    ~Tool() override;

    // ---- where the tool lives (set by the framework while a page is built) ----
    virtual void setController(bool controller) { controller_ = controller; }
    virtual bool isController() const { return controller_; }
    virtual void setPaneManager(PaneManager* manager) { manager_ = manager; }
    virtual PaneManager* getPaneManager() const { return manager_; }
    virtual void setParentFrame(BrowserFrame* frame);
    virtual BrowserFrame* getParentFrame() const;
    virtual void setParentContext(PanekitContext* context);
    virtual PanekitContext* getParentContext() const;
    virtual void setParentPage(Page* page) { parentPage_ = page; }
    virtual Page* getParentPage() const { return parentPage_; }
    // The workbook that this tool controls or whose page holds it.
    virtual void setManagedWorkbook(ManagedWorkbook* workbook);
    virtual ManagedWorkbook* getManagedWorkbook() const;
    virtual void setMinor(ManagedWorkbook* minor);
    virtual ManagedWorkbook* getMinor() const;
    virtual void setPaneDescription(const LeafPaneDescription* description) {
        lpaned_ = description;
    }
    virtual const LeafPaneDescription* getPaneDescription() const { return lpaned_; }
    virtual void setPane(ToolPane* pane);
    virtual ToolPane* getPane() const;
    virtual void setApplicationKey(const QString& key) { appKey_ = key; }
    virtual QString getApplicationKey() const { return appKey_; }
    virtual Application* getApplication() const;

    // ---- identity and parameters ----
    virtual void setName(const QString& name) { name_ = name; }
    virtual QString getName() const { return name_; }
    virtual QString getViewName() const;
    virtual QIcon getViewIcon() const { return titleIcon_; }
    // A parameter of this tool's pane or controller description, or an invalid QVariant.
    virtual QVariant getParameter(const QString& name) const;
    virtual QStringList getParameterNames() const;

    // ---- models ----
    // The model named in this tool's description, else the application's default model.
    virtual AbstractModel* getModel() const;
    virtual AbstractModel* getDefaultModel() const;

    // ---- lifecycle notifications (defaults do nothing) ----
    virtual void paneInstalled() {}
    virtual void toolInstalled() {}
    virtual void paneUninstalled() {}
    virtual void toolUninstalled() {}
    virtual void toolActive() {}
    virtual void focusGained() {}
    virtual void focusLost() {}
    virtual void paneDetached() {}
    virtual void paneAnchored() {}
    virtual void parentPageSelected() {}
    virtual void uiUpdated() {}
    // Asked before a window closes and before the application exits; false vetoes.
    virtual bool windowClosing() { return true; }
    virtual bool applicationExiting() { return true; }

    // ---- view and title bar ----
    // The widget shown in this tool's pane; null for a tool without a view. The pane takes
    // it as a child, so it lives as long as the pane.
    virtual QWidget* getView() { return nullptr; }
    virtual void setTitle(const QString& title);
    virtual QString getTitle() const;
    virtual void setTitleIcon(const QIcon& icon);
    virtual QIcon getTitleIcon() const { return titleIcon_; }
    virtual bool isShowing() const;

    virtual void setTitleBarVisible(bool visible);
    virtual bool isTitleBarVisible() const { return titleVisible_; }
    virtual void setLinkButtonVisible(bool visible);
    virtual bool isLinkButtonVisible() const { return linkButtonVisible_; }
    virtual void setMinimizeButtonVisible(bool visible);
    virtual bool isMinimizeButtonVisible() const { return mvisible_; }
    virtual void setViewButtonVisible(bool visible);
    virtual bool isViewButtonVisible() const { return vvisible_; }
    virtual void setFocusVisible(bool visible) { focusVisible_ = visible; }
    virtual bool isFocusVisible() const { return focusVisible_; }
    virtual void setBorderVisible(bool visible);
    virtual bool isBorderVisible() const { return borderVisible_; }
    virtual void setBusy(bool busy);
    virtual bool isBusy() const { return busy_; }

protected:
    // The pane that shows this tool; null for a controller or before the page is built.
    QPointer<ToolPane> pane;

private:
    QString name_;
    QString appKey_;
    QString title_;
    QIcon titleIcon_;
    bool controller_ = false;
    QPointer<BrowserFrame> parentFrame_;
    QPointer<PanekitContext> parentContext_;
    Page* parentPage_ = nullptr;
    PaneManager* manager_ = nullptr;
    QPointer<ManagedWorkbook> workbook_;
    QPointer<ManagedWorkbook> minor_;
    const LeafPaneDescription* lpaned_ = nullptr;
    bool titleVisible_ = true;
    bool linkButtonVisible_ = true;
    bool mvisible_ = true;
    bool vvisible_ = true;
    bool focusVisible_ = true;
    bool borderVisible_ = true;
    bool busy_ = false;
};

} // namespace panekit

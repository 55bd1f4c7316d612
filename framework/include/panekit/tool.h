#pragma once

#include "panekit/configuration.h"
#include "panekit/linkevent.h"
#include "panekit/linklistener.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace panekit {

class AbstractModel;
class Application;
class MenuComponentData;
class MenuContribution;
class StatusLineContribution;
class ToolBarContribution;
class BrowserFrame;
class ManagedWorkbook;
class Page;
class PageWidget;
class PaneManager;
class PanekitContext;
class ToolPane;

// Base of every pane content and page controller. A tool is a QObject, so that work for it
// can be queued on the user-interface thread and dropped if it goes away; it provides its
// view widget, which the pane shows below its title bar. The framework creates tools from
// the class names of a configuration file (see PartsFactory) and tells them about their
// life through the virtual notifications below, all on the user-interface thread.
//
// Tools talk only through link events. A tool registers one handler per event kind in its
// constructor (onLinkEvent<StartupEvent>(&MyTool::handleStartup); a handler for LinkEvent
// itself is the catch-all), lists the kinds it fires in getLinkEventNames(), and fires with
// fireLinkEvent and its page-targeted variants. Firing may happen on any thread; handlers
// always run on the tool's (the user-interface) thread, by default as queued jobs in posting
// order.
class Tool : public QObject, public LinkListener {
    Q_OBJECT

public:
    // A handler as kept in the table: it gets the event under its exact kind.
    using LinkHandler = std::function<void(LinkEvent&)>;

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

    // ---- contributions (asked once, when the tool's pane is merged into a window) ----
    // The tool keeps ownership; none by default.
    virtual MenuContribution* getMenuContribution() { return nullptr; }
    virtual ToolBarContribution* getToolBarContribution() { return nullptr; }
    virtual StatusLineContribution* getStatusLineContribution() { return nullptr; }
    // A single item added to (removed from) the window's menu with that key or label; the
    // menu bar is rebuilt.
    virtual void addDynamicMenuItem(const QString& menuKey,
                                    std::shared_ptr<MenuComponentData> item);
    virtual void removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item);
    // Shows the tool's help page: the pane parameter "help" through the application's help
    // handler; nothing when there is none.
    virtual void displayHelp();

    // ---- link events: what this tool fires ----
    // The kind keys of the events this tool fires; receivers are linked for these only.
    // None by default, and a tool that lists none gets no receivers.
    virtual QStringList getLinkEventNames() const { return {}; }

    // Sends event to every tool linked to this one: the receivers of its kind in the order
    // they were linked, then the generic receivers; and, when the page has focus followers,
    // to those (later, if this tool's pane still has the focus then). Callable from any
    // thread: off the user-interface thread the firing itself is queued there first.
    void fireLinkEvent(LinkEventPtr event);
    void fireLinkEvent(const LinkEvent& event) { fireLinkEvent(event.makeCopy()); }

    // Page-targeted firing inside the managed workbook that holds this tool's page (for a
    // workbook controller: its own workbook). The page's input tool (its controller, else its
    // input pane's tool) receives the event. Nothing happens outside a workbook or for a page
    // that does not exist. group names a section of the workbook (empty: the top level).
    void fireLinkEvent(const LinkEventPtr& event, const QString& group, const QString& pageName);
    void fireLinkEvent(const LinkEventPtr& event, PageWidget* page);
    PageWidget* findPage(const QString& group, const QString& pageName) const;
    // Child pages: the pages of the workbook this tool controls, or of the minor workbook
    // it holds.
    PageWidget* findChildPage(const QString& group, const QString& pageName) const;
    void fireChildLinkEvent(const LinkEventPtr& event, const QString& group,
                            const QString& pageName);
    void fireChildLinkEvent(const LinkEventPtr& event, PageWidget* page);
    // To the parent: the controller of the workbook holding this tool's page (for a workbook
    // controller, the controller of the workbook around its own).
    void fireParentLinkEvent(const LinkEventPtr& event);
    void fireParentLinkEvent(const LinkEvent& event) { fireParentLinkEvent(event.makeCopy()); }
    // To every child page's input tool, in page order; each gets its own copy (makeCopy).
    void fireChildrenLinkEvent(const LinkEventPtr& event);
    void fireChildrenLinkEvent(const LinkEvent& event) { fireChildrenLinkEvent(event.makeCopy()); }
    // The tool that fireParentLinkEvent reaches, or null.
    Tool* getParentTool() const;

    // ---- link events: links ----
    // Adds a receiver of kind (linkEventClassName: of every kind). A receiver already
    // registered for that kind is not added twice.
    void addLinkListener(const QString& kind, Tool* target);
    void addLinkListener(const QString& kind, std::shared_ptr<LinkListener> listener);
    void removeLinkListener(const QString& kind, Tool* target);
    void removeLinkListener(const QString& kind, const LinkListener* listener);
    // How many receivers this tool has for kind (linkEventClassName: generic receivers).
    int getLinkListenerCount(const QString& kind) const;
    // Drops this tool's receivers and links them again from the page description.
    virtual void rebuildLinks();
    // Whether this tool's events are kept from the page's focus followers.
    virtual bool isRejectFocus() const;
    // The handle through which chains of other tools reach this tool; it stops delivering
    // when the tool is destroyed.
    std::shared_ptr<LinkListener> getLinkListenerHandle() const { return handle_; }

    // ---- link events: receiving ----
    // The handler table (kind key -> handler). Fixed once it is first used.
    const QHash<QString, LinkHandler>& getLinkListenerMethods() const;
    bool hasLinkEventHandler(const QString& kind) const;
    // Events delivered under their own kind, and to a receiver of every kind: kept as the
    // saved event while the pane is unlinked or minimised, dropped when this tool fired
    // them, else dispatched (linkChangedImpl). Callable from any thread.
    void linkChanged(const LinkEventPtr& event) override;
    void linkChangedGeneric(const LinkEventPtr& event) override;
    // Delivers the saved event (if still valid) once, when the pane can take it again.
    void fireSavedEvent();
    LinkEventPtr getSavedEvent() const { return savedEvent_; }

    // A synchronous tool runs each delivery at once inside the firing call (when fired on the
    // user-interface thread); otherwise deliveries are queued jobs run in posting order.
    void setSynchronousDispatch(bool synchronous) { synchronous_ = synchronous; }
    bool isSynchronousDispatch() const;
    static void setGlobalSynchronousDispatch(bool synchronous);
    static bool getGlobalSynchronousDispatch();

    // ---- focus ----
    // The tool whose pane holds the keyboard focus, or null.
    static Tool* getToolInFocus();
    bool isInFocus() const { return getToolInFocus() == this; }

protected:
    // Registers the handler of kind E (an exact kind; E = LinkEvent gives the catch-all).
    // Call it in the constructor: the table is fixed once it is first used.
    template <class E, class T> void onLinkEvent(void (T::*handler)(const E&)) {
        static_assert(std::is_base_of_v<Tool, T>, "handlers are operations of a tool");
        T* self = static_cast<T*>(this);
        addLinkEventHandler<E>([self, handler](E& e) { (self->*handler)(e); });
    }
    template <class E, class T> void onLinkEvent(void (T::*handler)(E&)) {
        static_assert(std::is_base_of_v<Tool, T>, "handlers are operations of a tool");
        T* self = static_cast<T*>(this);
        addLinkEventHandler<E>([self, handler](E& e) { (self->*handler)(e); });
    }
    template <class E> void onLinkEvent(std::function<void(const E&)> handler) {
        addLinkEventHandler<E>([h = std::move(handler)](E& e) { h(e); });
    }

    // Dispatches one accepted delivery: at once when synchronous, else as a queued job.
    virtual void linkChangedImpl(const LinkEventPtr& event, bool generic);

    // The pane that shows this tool; null for a controller or before the page is built.
    QPointer<ToolPane> pane;

private:
    template <class E> void addLinkEventHandler(std::function<void(E&)> typed) {
        static_assert(std::is_base_of_v<LinkEvent, E>, "handlers take a LinkEvent kind");
        const QString key = E::kindKey();
        addLinkEventHandler(key, [typed = std::move(typed), key](LinkEvent& e) {
            if (auto* event = dynamic_cast<E*>(&e))
                typed(*event);
            else
                reportForeignEvent(key, e);
        });
    }
    void addLinkEventHandler(const QString& key, LinkHandler handler);
    static void reportForeignEvent(const QString& key, const LinkEvent& event);

    friend class DeliveryQueue; // runs the queued deliveries
    void receive(const LinkEventPtr& event, bool generic);
    // The handler that a delivery of the event through the tool's own link (generic false)
    // or the generic one reaches; null when none does.
    const LinkHandler* handlerReached(const LinkEvent& event, bool generic) const;
    // The handler of the event's kind (of a null event: the catch-all), or null. The key is
    // looked up once per kind.
    const LinkHandler* handlerOfKind(const LinkEvent* event) const;
    // The receivers this tool fires a kind to, or null.
    std::shared_ptr<LinkListener> receiversOfKind(const LinkEvent& event);
    void forgetReceiversOfKinds();
    void deliver(const LinkEventPtr& event, bool generic);
    void postFocusDispatch(const LinkEventPtr& event, const QString& key);
    // Whether the caller runs on this tool's thread. Work called from another thread is
    // handed over; the job is made only then, so that a call on the tool's own thread
    // copies and allocates nothing for it.
    bool onOwnThread() const;
    // Queues job on this tool's thread.
    void handOver(std::function<void()> job);
    ManagedWorkbook* childWorkbook() const;
    void paneStateChanged();

    // Invoked by name: the wake-up event is then made inside Qt, whose hand-over between
    // threads the race checker cannot see (a wake-up made in this code and read on the other
    // thread would look like a race).
    Q_INVOKABLE void runCrossThreadJobs();

    // Work handed over from other threads, run in hand-over order on this tool's thread. The
    // queue is guarded by its own lock so that what one thread hands over is fully visible to
    // the thread that runs it; one queued wake-up drains everything handed over meanwhile.
    std::mutex crossThreadMutex_;
    std::vector<std::function<void()>> crossThreadJobs_;
    bool crossThreadDrainPosted_ = false;

    QHash<QString, LinkHandler> handlers_;
    mutable bool handlersFixed_ = false;
    QHash<QString, std::shared_ptr<LinkListener>> eventMulticasters_;
    // The lookups of the two tables by kind number, made once per kind. A handler is found
    // only once the table is fixed, so its entry never moves; the receivers are looked up
    // again after the links change.
    struct KindRoute {
        bool handlerKnown = false;
        const LinkHandler* handler = nullptr;
        bool receiversKnown = false;
        std::shared_ptr<LinkListener> receivers;
    };
    mutable std::vector<KindRoute> kindRoutes_;
    KindRoute& routeOf(std::size_t kindIndex) const;
    bool multicastersCreated_ = false;
    std::shared_ptr<LinkListener> genericListener_;
    std::shared_ptr<LinkListener> handle_;
    LinkEventPtr savedEvent_;
    bool synchronous_ = false;

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

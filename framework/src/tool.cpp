#include "panekit/tool.h"

#include "deliveryqueue.h"
#include "focustracker.h"
#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/helphandler.h"
#include "panekit/linkeventmulticaster.h"
#include "panekit/managedworkbook.h"
#include "panekit/menudata.h"
#include "panekit/pagewidget.h"
#include "panekit/panekitcontext.h"
#include "panekit/panemanager.h"
#include "panekit/toolpane.h"
#include "toollinkhandle.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <exception>

namespace panekit {
namespace {

std::atomic<bool> globalSynchronous{false};

const QString& catchAllKey() {
    static const QString key = QString::fromLatin1(LinkEvent::linkEventClassName);
    return key;
}

std::size_t catchAllIndex() {
    static const std::size_t index = LinkEvent::kindIndexOf(catchAllKey());
    return index;
}

// Runs a job of the tool later, in posting order with the other link deliveries.
void queueJob(Tool* tool, std::function<void()> job) {
    if (DeliveryQueue::servesCurrentThread())
        DeliveryQueue::post(tool, std::move(job));
    else
        QMetaObject::invokeMethod(tool, std::move(job), Qt::QueuedConnection);
}

void printError(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The input tool of a page gets page-targeted events under their kind and generically.
void deliverToPage(PageWidget* page, const LinkEventPtr& event) {
    if (Tool* input = page ? page->getInputTool() : nullptr) {
        input->linkChanged(event);
        input->linkChangedGeneric(event);
    }
}

PageWidget* findPageIn(ManagedWorkbook* workbook, const QString& group, const QString& name) {
    if (!workbook)
        return nullptr;
    if (group.isEmpty())
        return workbook->findPage(name);
    PageWidget* section = workbook->findPage(group);
    return section && section->getMinor() ? section->getMinor()->findPage(name) : nullptr;
}

} // namespace

Tool::Tool() : handle_(std::make_shared<ToolLinkHandle>(this)) {}

Tool::~Tool() {
    DeliveryQueue::forget(this);
    if (Application* app = Application::findApplication(appKey_))
        app->removeTool(this);
}

void Tool::setParentFrame(BrowserFrame* frame) {
    parentFrame_ = frame;
}

BrowserFrame* Tool::getParentFrame() const {
    return parentFrame_;
}

void Tool::setParentContext(PanekitContext* context) {
    parentContext_ = context;
}

PanekitContext* Tool::getParentContext() const {
    return parentContext_;
}

void Tool::setManagedWorkbook(ManagedWorkbook* workbook) {
    workbook_ = workbook;
}

ManagedWorkbook* Tool::getManagedWorkbook() const {
    return workbook_;
}

void Tool::setMinor(ManagedWorkbook* minor) {
    minor_ = minor;
}

ManagedWorkbook* Tool::getMinor() const {
    return minor_;
}

void Tool::setPane(ToolPane* p) {
    if (pane)
        disconnect(pane, nullptr, this, nullptr);
    pane = p;
    if (p) {
        FocusTracker::instance(); // panes exist, so the focus is worth following
        connect(p, &ToolPane::linkedChanged, this, &Tool::paneStateChanged);
        connect(p, &ToolPane::minimizedChanged, this, &Tool::paneStateChanged);
    }
}

void Tool::paneStateChanged() {
    if (pane && pane->isLinked() && !pane->isMinimized())
        fireSavedEvent();
}

ToolPane* Tool::getPane() const {
    return pane;
}

Application* Tool::getApplication() const {
    return Application::getApplication(appKey_);
}

QString Tool::getViewName() const {
    return lpaned_ ? lpaned_->name : name_;
}

QVariant Tool::getParameter(const QString& name) const {
    return lpaned_ ? lpaned_->params.value(name) : QVariant();
}

QStringList Tool::getParameterNames() const {
    return lpaned_ ? lpaned_->params.keys() : QStringList();
}

AbstractModel* Tool::getModel() const {
    Application* app = getApplication();
    if (lpaned_ && lpaned_->model)
        return app->getModelInstance(*lpaned_->model);
    return app->getDefaultModel();
}

AbstractModel* Tool::getDefaultModel() const {
    return getApplication()->getDefaultModel();
}

void Tool::setTitle(const QString& title) {
    title_ = title;
    if (pane)
        pane->setTitle(getTitle());
}

QString Tool::getTitle() const {
    if (!title_.isEmpty())
        return title_;
    const QString fromParams = getParameter(QStringLiteral("title")).toString();
    return fromParams.isEmpty() ? name_ : fromParams;
}

void Tool::setTitleIcon(const QIcon& icon) {
    titleIcon_ = icon;
    if (pane)
        pane->setTitleIcon(icon);
}

bool Tool::isShowing() const {
    const QWidget* view = pane ? pane->getClient() : nullptr;
    return view && view->isVisible();
}

void Tool::setTitleBarVisible(bool visible) {
    titleVisible_ = visible;
    if (pane)
        pane->setTitleBarVisible(visible);
}

void Tool::setLinkButtonVisible(bool visible) {
    linkButtonVisible_ = visible;
    if (pane)
        pane->setLinkButtonVisible(visible);
}

void Tool::setMinimizeButtonVisible(bool visible) {
    mvisible_ = visible;
    if (pane)
        pane->setMinimizeButtonVisible(visible);
}

void Tool::setViewButtonVisible(bool visible) {
    vvisible_ = visible;
    if (pane)
        pane->setViewButtonVisible(visible);
}

void Tool::setBorderVisible(bool visible) {
    borderVisible_ = visible;
    if (pane)
        pane->setBorderVisible(visible);
}

void Tool::setBusy(bool busy) {
    busy_ = busy;
    if (QWidget* view = pane ? pane->getClient() : nullptr) {
        if (busy)
            view->setCursor(Qt::WaitCursor);
        else
            view->unsetCursor();
    }
}

void Tool::addDynamicMenuItem(const QString& menuKey, std::shared_ptr<MenuComponentData> item) {
    if (PanekitContext* context = getParentContext())
        context->addDynamicMenuItem(menuKey, std::move(item));
}

void Tool::removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item) {
    if (PanekitContext* context = getParentContext())
        context->removeDynamicMenuItem(menuKey, item);
}

void Tool::displayHelp() {
    const QString page = getParameter(QStringLiteral("help")).toString();
    if (!page.isEmpty())
        getApplication()->getHelpHandler().showURL(page);
}

// ---- link events ------------------------------------------------------------------

bool Tool::onOwnThread() const {
    return QThread::currentThread() == thread();
}

void Tool::handOver(std::function<void()> job) {
    bool wake = false;
    {
        std::lock_guard lock(crossThreadMutex_);
        crossThreadJobs_.push_back(std::move(job));
        wake = !crossThreadDrainPosted_;
        crossThreadDrainPosted_ = true;
    }
    // The wake-up is dropped (with the jobs) if the tool is destroyed before it runs.
    if (wake)
        QMetaObject::invokeMethod(this, "runCrossThreadJobs", Qt::QueuedConnection);
}

void Tool::runCrossThreadJobs() {
    std::vector<std::function<void()>> jobs;
    {
        std::lock_guard lock(crossThreadMutex_);
        jobs.swap(crossThreadJobs_);
        crossThreadDrainPosted_ = false;
    }
    for (const std::function<void()>& job : jobs)
        job();
}

void Tool::addLinkEventHandler(const QString& key, LinkHandler handler) {
    if (handlersFixed_) {
        printError(QStringLiteral("Handler for ") + key + QStringLiteral(" of tool ") + name_ +
                   QStringLiteral(" registered after the handler table was used; ignored"));
        return;
    }
    handlers_.insert(key, std::move(handler));
}

void Tool::reportForeignEvent(const QString& key, const LinkEvent& event) {
    printError(QStringLiteral("Link event of kind ") + event.getKindKey() +
               QStringLiteral(" is not of the class that its handler for ") + key +
               QStringLiteral(" takes; not delivered"));
}

const QHash<QString, Tool::LinkHandler>& Tool::getLinkListenerMethods() const {
    handlersFixed_ = true;
    return handlers_;
}

bool Tool::hasLinkEventHandler(const QString& kind) const {
    return getLinkListenerMethods().contains(kind);
}

void Tool::addLinkListener(const QString& kind, Tool* target) {
    if (target)
        addLinkListener(kind, target->getLinkListenerHandle());
}

void Tool::addLinkListener(const QString& kind, std::shared_ptr<LinkListener> listener) {
    if (!listener)
        return;
    if (kind == catchAllKey()) {
        if (!LinkEventMulticaster::contains(genericListener_, listener.get()))
            genericListener_ = LinkEventMulticaster::add(genericListener_, listener);
        return;
    }
    multicastersCreated_ = true;
    forgetReceiversOfKinds();
    std::shared_ptr<LinkListener>& chain = eventMulticasters_[kind];
    if (!LinkEventMulticaster::contains(chain, listener.get()))
        chain = LinkEventMulticaster::add(chain, listener);
}

void Tool::removeLinkListener(const QString& kind, Tool* target) {
    if (target)
        removeLinkListener(kind, target->getLinkListenerHandle().get());
}

void Tool::removeLinkListener(const QString& kind, const LinkListener* listener) {
    if (kind == catchAllKey()) {
        genericListener_ = LinkEventMulticaster::remove(genericListener_, listener);
        return;
    }
    const auto it = eventMulticasters_.find(kind);
    if (it == eventMulticasters_.end())
        return;
    forgetReceiversOfKinds();
    *it = LinkEventMulticaster::remove(*it, listener);
    if (!*it)
        eventMulticasters_.erase(it);
}

int Tool::getLinkListenerCount(const QString& kind) const {
    if (kind == catchAllKey())
        return LinkEventMulticaster::count(genericListener_);
    return LinkEventMulticaster::count(eventMulticasters_.value(kind));
}

void Tool::rebuildLinks() {
    if (!manager_)
        return;
    eventMulticasters_.clear();
    forgetReceiversOfKinds();
    multicastersCreated_ = false;
    genericListener_.reset();
    manager_->rebuildLinksFrom(this);
}

Tool::KindRoute& Tool::routeOf(std::size_t kindIndex) const {
    if (kindIndex >= kindRoutes_.size())
        kindRoutes_.resize(kindIndex + 1);
    return kindRoutes_[kindIndex];
}

std::shared_ptr<LinkListener> Tool::receiversOfKind(const LinkEvent& event) {
    KindRoute& route = routeOf(event.getKindIndex());
    if (!route.receiversKnown) {
        route.receivers = eventMulticasters_.value(event.getKindKey());
        route.receiversKnown = true;
    }
    return route.receivers;
}

void Tool::forgetReceiversOfKinds() {
    for (KindRoute& route : kindRoutes_) {
        route.receiversKnown = false;
        route.receivers.reset();
    }
}

bool Tool::isRejectFocus() const {
    return lpaned_ && lpaned_->rejectFocus;
}

void Tool::fireLinkEvent(LinkEventPtr event) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([this, event] { fireLinkEvent(event); });
    // The controller of a minor workbook speaks for the pane that holds the workbook.
    if (ManagedWorkbook* book = getManagedWorkbook();
        controller_ && book && book->getController() == this && book->getHolder()) {
        book->getHolder()->fireLinkEvent(event);
        return;
    }
    if (manager_ && manager_->hasFocusPanes() && !isRejectFocus())
        postFocusDispatch(event, event->getKindKey());
    // Chains are copied before they run: a handler may rebuild this tool's links.
    const std::shared_ptr<LinkListener> generic = genericListener_;
    if (!multicastersCreated_) {
        if (generic)
            generic->linkChangedGeneric(event);
        return;
    }
    // The wait cursor shows while handlers may run inside this call; a queued delivery
    // only posts jobs, and changing the cursor twice a firing would cost more than that.
    QWidget* view = pane && getGlobalSynchronousDispatch() ? pane->getClient() : nullptr;
    const bool ownCursor = view && view->testAttribute(Qt::WA_SetCursor);
    const QCursor previous = ownCursor ? view->cursor() : QCursor();
    if (view)
        view->setCursor(Qt::WaitCursor);
    if (const std::shared_ptr<LinkListener> chain = receiversOfKind(*event))
        chain->linkChanged(event);
    if (generic)
        generic->linkChangedGeneric(event);
    if (view && !busy_) {
        if (ownCursor)
            view->setCursor(previous);
        else
            view->unsetCursor();
    }
}

void Tool::postFocusDispatch(const LinkEventPtr& event, const QString& key) {
    queueJob(this, [this, event, key] {
        if (pane && isInFocus() && manager_)
            manager_->fireEventToFocusPanes(event, key);
    });
}

void Tool::fireLinkEvent(const LinkEventPtr& event, const QString& group, const QString& pageName) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([=, this] { fireLinkEvent(event, group, pageName); });
    deliverToPage(findPage(group, pageName), event);
}

void Tool::fireLinkEvent(const LinkEventPtr& event, PageWidget* page) {
    if (!event)
        return;
    if (!onOwnThread()) {
        QPointer<PageWidget> guarded(page);
        return handOver([=, this] { fireLinkEvent(event, guarded.data()); });
    }
    if (getManagedWorkbook())
        deliverToPage(page, event);
}

PageWidget* Tool::findPage(const QString& group, const QString& pageName) const {
    return findPageIn(getManagedWorkbook(), group, pageName);
}

ManagedWorkbook* Tool::childWorkbook() const {
    ManagedWorkbook* book = getManagedWorkbook();
    if (book && book->getController() == this)
        return book;
    return getMinor();
}

PageWidget* Tool::findChildPage(const QString& group, const QString& pageName) const {
    return findPageIn(childWorkbook(), group, pageName);
}

void Tool::fireChildLinkEvent(const LinkEventPtr& event, const QString& group,
                              const QString& pageName) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([=, this] { fireChildLinkEvent(event, group, pageName); });
    deliverToPage(findChildPage(group, pageName), event);
}

void Tool::fireChildLinkEvent(const LinkEventPtr& event, PageWidget* page) {
    if (!event)
        return;
    if (!onOwnThread()) {
        QPointer<PageWidget> guarded(page);
        return handOver([=, this] { fireChildLinkEvent(event, guarded.data()); });
    }
    if (childWorkbook())
        deliverToPage(page, event);
}

Tool* Tool::getParentTool() const {
    ManagedWorkbook* book = getManagedWorkbook();
    if (!book)
        return nullptr;
    if (book->getController() != this)
        return book->getController();
    ManagedWorkbook* outer = book->getEnclosingWorkbook();
    return outer ? outer->getController() : nullptr;
}

void Tool::fireParentLinkEvent(const LinkEventPtr& event) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([this, event] { fireParentLinkEvent(event); });
    if (Tool* parent = getParentTool()) {
        parent->linkChanged(event);
        parent->linkChangedGeneric(event);
    }
}

void Tool::fireChildrenLinkEvent(const LinkEventPtr& event) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([this, event] { fireChildrenLinkEvent(event); });
    ManagedWorkbook* book = childWorkbook();
    if (!book)
        return;
    for (int i = 0; i < book->getPageCount(); ++i)
        deliverToPage(book->getPage(i), event->makeCopy());
}

void Tool::linkChanged(const LinkEventPtr& event) {
    receive(event, false);
}

void Tool::linkChangedGeneric(const LinkEventPtr& event) {
    receive(event, true);
}

void Tool::receive(const LinkEventPtr& event, bool generic) {
    if (!event)
        return;
    if (!onOwnThread())
        return handOver([this, event, generic] { receive(event, generic); });
    if (pane && (!pane->isLinked() || pane->isMinimized())) {
        savedEvent_ = event;
        return;
    }
    if (event->getSource() == static_cast<const void*>(this))
        return;
    // A delivery that no handler would take is not queued at all: every tool hears each
    // event twice (its own link and the generic one), and one of the two always ends here.
    if (!handlerReached(*event, generic))
        return;
    linkChangedImpl(event, generic);
}

const Tool::LinkHandler* Tool::handlerReached(const LinkEvent& event, bool generic) const {
    // A kind with its own handler reaches it through its own link only.
    if (const LinkHandler* own = handlerOfKind(&event))
        return generic ? nullptr : own;
    return generic ? handlerOfKind(nullptr) : nullptr;
}

const Tool::LinkHandler* Tool::handlerOfKind(const LinkEvent* event) const {
    KindRoute& route = routeOf(event ? event->getKindIndex() : catchAllIndex());
    if (!route.handlerKnown) {
        const QHash<QString, LinkHandler>& table = getLinkListenerMethods();
        const auto it = table.constFind(event ? event->getKindKey() : catchAllKey());
        route.handler = it == table.constEnd() ? nullptr : &*it;
        route.handlerKnown = true;
    }
    return route.handler;
}

void Tool::linkChangedImpl(const LinkEventPtr& event, bool generic) {
    if (isSynchronousDispatch()) {
        deliver(event, generic);
        return;
    }
    if (DeliveryQueue::servesCurrentThread())
        DeliveryQueue::postDelivery(this, event, generic);
    else
        queueJob(this, [this, event, generic] { deliver(event, generic); });
}

void Tool::deliver(const LinkEventPtr& event, bool generic) {
    const LinkHandler* handler = handlerReached(*event, generic);
    if (!handler)
        return;
    try {
        (*handler)(*event);
    } catch (const std::exception& failure) {
        printError(QStringLiteral("Link event handler of ") + name_ + QStringLiteral(" for ") +
                   event->getKindKey() + QStringLiteral(" failed: ") +
                   QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        printError(QStringLiteral("Link event handler of ") + name_ + QStringLiteral(" for ") +
                   event->getKindKey() + QStringLiteral(" failed"));
    }
}

void Tool::fireSavedEvent() {
    if (!onOwnThread())
        return handOver([this] { fireSavedEvent(); });
    if (!savedEvent_)
        return;
    const LinkEventPtr event = std::move(savedEvent_);
    savedEvent_.reset();
    if (!event->isValid())
        return;
    linkChanged(event);
    linkChangedGeneric(event);
}

bool Tool::isSynchronousDispatch() const {
    return synchronous_ || globalSynchronous.load(std::memory_order_relaxed);
}

void Tool::setGlobalSynchronousDispatch(bool synchronous) {
    globalSynchronous.store(synchronous, std::memory_order_relaxed);
}

bool Tool::getGlobalSynchronousDispatch() {
    return globalSynchronous.load(std::memory_order_relaxed);
}

Tool* Tool::getToolInFocus() {
    return FocusTracker::instance().toolInFocus();
}

} // namespace panekit

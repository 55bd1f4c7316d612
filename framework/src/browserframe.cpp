#include "panekit/browserframe.h"

#include "panekit/application.h"
#include "panekit/browserframemanager.h"
#include "panekit/menudata.h"
#include "panekit/standardcontext.h"
#include "ratiosplitter.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

namespace panekit {
namespace {

// Positions at x or y of -500 or less, or without extent, come from a frame pushed off the
// screen and are not worth restoring.
bool saneBounds(const QRect& r) {
    return r.x() > -500 && r.y() > -500 && r.width() > 0 && r.height() > 0;
}

// The height of the strip along a window's top edge (its title bar) that must be on a
// screen for the user to reach the window, and the width of it that must show.
constexpr int kGripHeight = 30;
constexpr int kGripWidth = 100;

// The bounds as they fit the screen that shows most of their top edge; none when no
// screen shows enough of it to grab the window.
std::optional<QRect> fittedToScreens(const QRect& r) {
    const QRect grip(r.x(), r.y(), r.width(), qMin(r.height(), kGripHeight));
    const QScreen* best = nullptr;
    int bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(grip);
        if (shown.width() < qMin(kGripWidth, r.width()) || shown.height() < grip.height())
            continue;
        if (shown.width() * shown.height() > bestArea) {
            best = screen;
            bestArea = shown.width() * shown.height();
        }
    }
    if (!best)
        return std::nullopt;
    const QRect area = best->availableGeometry();
    QRect fitted(r.topLeft(), r.size().boundedTo(area.size()));
    fitted.moveLeft(qBound(area.left(), fitted.left(), area.right() - fitted.width() + 1));
    fitted.moveTop(qBound(area.top(), fitted.top(), area.bottom() - fitted.height() + 1));
    return fitted;
}

QList<RatioSplitter*> splittersOf(const QWidget& frame) {
    return frame.findChildren<RatioSplitter*>();
}

} // namespace

BrowserFrame::BrowserFrame(const QString& id, QWidget* parent)
    : QMainWindow(parent), id_(id.isEmpty() ? QStringLiteral("Frame") : id),
      appKey_(Application::getApplication()->getKey()) {
    setAttribute(Qt::WA_DeleteOnClose);
    context_ = std::make_unique<StandardContext>(this, appKey_);
}

BrowserFrame::~BrowserFrame() {
    if (context_)
        context_->uninstallAll();
    BrowserFrameManager::getManager().removeBrowserFrame(this);
}

void BrowserFrame::setPanekitContext(std::unique_ptr<PanekitContext> context) {
    context_ = std::move(context);
    if (context_)
        context_->setApplicationKey(appKey_);
}

void BrowserFrame::setApplicationKey(const QString& key) {
    appKey_ = key;
    if (context_)
        context_->setApplicationKey(key);
}

Application* BrowserFrame::getApplication() const {
    return Application::getApplication(appKey_);
}

void BrowserFrame::activateAll() {
    if (context_)
        context_->activateAll();
}

bool BrowserFrame::setSavedBounds() {
    const QStringList parts = getApplication()->getSystemProfile().value(boundsKey()).split(u',');
    if (parts.size() != 4)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    const std::optional<QRect> bounds =
        fittedToScreens(QRect(values[0], values[1], values[2], values[3]));
    if (!bounds || !saneBounds(*bounds))
        return false;
    // Positions are the outer window's (as move() and pos() have it), sizes the client's.
    resize(bounds->size());
    move(bounds->topLeft());
    return true;
}

bool BrowserFrame::restoreSplitterShares() {
    const Profile& profile = getApplication()->getSystemProfile();
    const QList<RatioSplitter*> splitters = splittersOf(*this);
    bool restored = false;
    for (int i = 0; i < splitters.size(); ++i) {
        const QStringList parts = profile.value(splitterKey(i)).split(u',', Qt::SkipEmptyParts);
        if (parts.size() != splitters[i]->count())
            continue;
        QList<int> shares;
        qint64 sum = 0;
        for (const QString& part : parts) {
            bool ok = false;
            const int share = part.trimmed().toInt(&ok);
            if (!ok || share < 0)
                break;
            shares << share;
            sum += share;
        }
        if (shares.size() != parts.size() || sum <= 0)
            continue;
        splitters[i]->setRatios(shares);
        restored = true;
    }
    return restored;
}

void BrowserFrame::keepLayout() {
    Profile& profile = getApplication()->getSystemProfile();
    const QRect bounds(pos(), size());
    if (saneBounds(bounds)) {
        profile.set(boundsKey(), QStringLiteral("%1,%2,%3,%4")
                                     .arg(bounds.x())
                                     .arg(bounds.y())
                                     .arg(bounds.width())
                                     .arg(bounds.height()));
    }
    // The sizes as shown are the shares to come back to; a window never shown has none.
    if (!isVisible())
        return;
    const QList<RatioSplitter*> splitters = splittersOf(*this);
    for (int i = 0; i < splitters.size(); ++i) {
        QStringList sizes;
        for (int size : splitters[i]->sizes())
            sizes << QString::number(size);
        profile.set(splitterKey(i), sizes.join(u','));
    }
}

bool BrowserFrame::handleWindowClosing() {
    return !context_ || context_->handleWindowClosing();
}

bool BrowserFrame::handleApplicationExiting() {
    return !context_ || context_->handleApplicationExiting();
}

Tool* BrowserFrame::getController() const {
    return context_ ? context_->getController() : nullptr;
}

Tool* BrowserFrame::getPrintableTool() const {
    return context_ ? context_->getPrintableTool() : nullptr;
}

void BrowserFrame::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (context_)
        context_->applyToAllTools(apply);
}

void BrowserFrame::buildMenuBar(bool rebuild) {
    menuBuilt_ = true;
    if (context_)
        context_->buildMenuBar(rebuild);
}

void BrowserFrame::buildToolBar(bool rebuild) {
    toolBarBuilt_ = true;
    if (context_)
        context_->buildToolBar(rebuild);
}

void BrowserFrame::buildStatusLine(bool rebuild) {
    statusBuilt_ = true;
    if (context_)
        context_->buildStatusLine(rebuild);
}

void BrowserFrame::removePredefinedMenu(const QString& key) {
    if (context_)
        context_->removePredefinedMenu(key);
}

void BrowserFrame::removePredefinedMenuItem(const QString& key) {
    if (context_)
        context_->removePredefinedMenuItem(key);
}

void BrowserFrame::addMenuContribution(MenuContribution* contribution) {
    if (context_)
        context_->addMenuContribution(contribution);
}

void BrowserFrame::removeMenuContribution(MenuContribution* contribution) {
    if (context_)
        context_->removeMenuContribution(contribution);
}

void BrowserFrame::addToolBarContribution(ToolBarContribution* contribution) {
    if (context_)
        context_->addToolBarContribution(contribution);
}

void BrowserFrame::removeToolBarContribution(ToolBarContribution* contribution) {
    if (context_)
        context_->removeToolBarContribution(contribution);
}

void BrowserFrame::addDynamicMenuItem(const QString& menuKey,
                                      std::shared_ptr<MenuComponentData> item) {
    if (context_)
        context_->addDynamicMenuItem(menuKey, std::move(item));
}

void BrowserFrame::removeDynamicMenuItem(const QString& menuKey, const MenuComponentData* item) {
    if (context_)
        context_->removeDynamicMenuItem(menuKey, item);
}

void BrowserFrame::installSelectedMenuFor(Tool* tool) {
    if (context_)
        context_->installSelectedMenuFor(tool);
}

void BrowserFrame::setToolBarActiveFor(const QString& toolName, bool active) {
    if (context_)
        context_->setToolBarActiveFor(toolName, active);
}

void BrowserFrame::fireLinkEvent(const LinkEventPtr& event) {
    if (context_)
        context_->fireLinkEvent(event);
}

void BrowserFrame::fireModelEvent(const LinkEventPtr& event) {
    if (context_)
        context_->fireModelEvent(event);
}

void BrowserFrame::showEvent(QShowEvent* event) {
    BrowserFrameManager& manager = BrowserFrameManager::getManager();
    if (!manager.contains(this))
        manager.addBrowserFrame(this);
    if (!boundsRestored_) {
        boundsRestored_ = true;
        setSavedBounds();
        restoreSplitterShares();
    }
    if (!menuBuilt_)
        buildMenuBar();
    if (!toolBarBuilt_)
        buildToolBar();
    if (!statusBuilt_)
        buildStatusLine();
    QMainWindow::showEvent(event);
}

void BrowserFrame::closeEvent(QCloseEvent* event) {
    if (!handleWindowClosing()) {
        event->ignore();
        return;
    }
    const BrowserFrameManager& manager = BrowserFrameManager::getManager();
    const QList<BrowserFrame*> open = manager.getAllFrames();
    const bool last = std::none_of(open.begin(), open.end(), [this](auto* f) { return f != this; });
    if (last && !handleApplicationExiting()) {
        event->ignore();
        return;
    }
    event->accept();
    frameClosed();
}

void BrowserFrame::frameClosed() {
    Application* app = getApplication();
    keepLayout();
    app->saveSystemProfile();
    if (context_)
        context_->uninstallAll();
    BrowserFrameManager& manager = BrowserFrameManager::getManager();
    manager.removeBrowserFrame(this);
    if (manager.getFrameCount() == 0)
        app->exit(0);
}

} // namespace panekit

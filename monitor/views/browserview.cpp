#include "views/browserview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace tracewin {

// Every request a rendered page makes beyond its own HTML is blocked unless the user
// allowed the network: the output of a page under test must not call anywhere.
class BrowserRequestGuard final : public QWebEngineUrlRequestInterceptor {
public:
    explicit BrowserRequestGuard(const bool& networkAllowed) : networkAllowed_(networkAllowed) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (!networkAllowed_ && scheme != QLatin1String("data") && scheme != QLatin1String("about"))
            info.block(true);
    }

private:
    const bool& networkAllowed_;
};

namespace {

using tracehook::JspSourceInfo;

// Renders at most this often while the output grows; and the engine stays idle at least
// this many times as long as its last rendering took, so that a large page rendered again
// and again never takes more than a fifth of the time from the page being debugged.
constexpr int kQuietMs = 300;
constexpr int kIdleShare = 4;
// What a data URL can carry: a longer output is kept and rendered up to there.
constexpr std::size_t kLargestRendered = 2 * 1024 * 1024 - 4096;

// A page that goes nowhere: links in the produced HTML are not followed.
class OutputPage final : public QWebEnginePage {
public:
    OutputPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        return url.scheme() == QLatin1String("data") || url.scheme() == QLatin1String("about");
    }
};

bool browserSwitchedOff() {
    return qEnvironmentVariable("TRACEWIN_BROWSER_VIEW") == QLatin1String("off");
}

} // namespace

BrowserView::BrowserView() : switchedOff_(browserSwitchedOff()) {
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        if (renderPending_)
            render();
    });
    onLinkEvent<StartupEvent>(&BrowserView::handleStartup);
    onLinkEvent<HtmlEvent>(&BrowserView::handleHtml);
    onLinkEvent<SwitchJspFileEvent>(&BrowserView::handleSwitchJspFile);
    onLinkEvent<HighlightEvent>(&BrowserView::handleHighlight);
    onLinkEvent<PassedEvent>(&BrowserView::handlePassed);
}

BrowserView::~BrowserView() {
    // The page goes before the profile it was made with.
    delete engine_;
}

QWebEngineView* BrowserView::engineView() const {
    return engine_;
}

QStringList BrowserView::getLinkEventNames() const {
    return {ShowOutputOriginEvent::kindKey()};
}

void BrowserView::toolInstalled() {
    setTitle(tr("Browser") + QStringLiteral("  "));
}

QWidget* BrowserView::getView() {
    if (!stack_) {
        stack_ = new QStackedWidget;
        message_ = new QLabel;
        message_->setAlignment(Qt::AlignCenter);
        message_->setWordWrap(true);
        // The note never widens the pane: the panes beside it keep their share.
        message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        message_->setText(switchedOff_ ? tr("The browser view is off (TRACEWIN_BROWSER_VIEW=off).")
                                       : tr("The page as a browser shows it appears here."));
        stack_->addWidget(message_);
        if (!switchedOff_)
            startEngine();
    }
    return stack_;
}

void BrowserView::startEngine() {
    // The engine's sandbox refuses to run as root; only then is it turned off.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        tracehook::Tracer::printLine(
            "The monitor runs as root: the browser view runs without its sandbox.");
    }
    profile_ = std::make_unique<QWebEngineProfile>(); // off the record: nothing kept on disk
    guard_ = std::make_unique<BrowserRequestGuard>(networkAllowed_);
    profile_->setUrlRequestInterceptor(guard_.get());
    engine_ = new QWebEngineView;
    engine_->setPage(new OutputPage(profile_.get(), engine_));
    QWebEngineSettings* settings = engine_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, scriptsAllowed_);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);

    auto* scripts = new QAction(tr("Allow scripts"), engine_);
    scripts->setCheckable(true);
    connect(scripts, &QAction::toggled, this, &BrowserView::setScriptsAllowed);
    auto* network = new QAction(tr("Allow network access"), engine_);
    network->setCheckable(true);
    connect(network, &QAction::toggled, this, &BrowserView::setNetworkAllowed);
    engine_->setContextMenuPolicy(Qt::ActionsContextMenu);
    engine_->addActions({scripts, network});
    stack_->addWidget(engine_);
    stack_->setCurrentWidget(engine_);
    // The engine's widget that takes the mouse exists once the view is shown.
    connect(engine_->page(), &QWebEnginePage::loadFinished, this, [this] {
        if (engine_ && engine_->focusProxy())
            engine_->focusProxy()->installEventFilter(this);
        // Each rendering is a navigation whose entry holds the whole page: none is kept.
        engine_->history()->clear();
        if (!loading_)
            return;
        loading_ = false;
        quiet_.start(std::max<qint64>(kQuietMs, kIdleShare * loadTime_.elapsed()));
    });
    // A renderer that died finishes no load: the next rendering starts a new one.
    connect(engine_->page(), &QWebEnginePage::renderProcessTerminated, this, [this] {
        loading_ = false;
        tracehook::Tracer::printLine("The browser view's renderer ended; it starts again.");
        quiet_.start(kQuietMs);
        renderPending_ = true;
    });
    render();
}

void BrowserView::setScriptsAllowed(bool allowed) {
    scriptsAllowed_ = allowed;
    if (engine_) {
        engine_->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, allowed);
        render();
    }
}

void BrowserView::setNetworkAllowed(bool allowed) {
    networkAllowed_ = allowed;
    if (engine_)
        render();
}

const std::string& BrowserView::output() const {
    static const std::string none;
    auto it = outputs_.find(fileId_);
    return it == outputs_.end() ? none : it->second.html;
}

void BrowserView::handleHighlight(const HighlightEvent& e) {
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    current_ = r ? OutputOrigin::of(*r) : std::nullopt;
}

bool BrowserView::showOriginOfElement(const QString& tag, int index) {
    auto it = outputs_.find(fileId_);
    if (it == outputs_.end() || tag.isEmpty() || index < 0)
        return false;
    const std::string& html = it->second.html;
    const std::string name = tag.toLower().toStdString();
    auto isNameEnd = [&](std::size_t at) {
        return at >= html.size() || !(std::isalnum(static_cast<unsigned char>(html[at])) ||
                                      html[at] == '-' || html[at] == ':' || html[at] == '_');
    };
    // The index-th start tag of that name, in any case.
    std::size_t at = 0;
    int seen = -1;
    while (seen < index) {
        at = html.find('<', at);
        if (at == std::string::npos)
            return false;
        ++at;
        if (at + name.size() <= html.size() && isNameEnd(at + name.size()) &&
            std::equal(
                name.begin(), name.end(), html.begin() + static_cast<std::ptrdiff_t>(at),
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
            ++seen;
    }
    const auto& pieces = it->second.pieces;
    auto after = std::upper_bound(
        pieces.begin(), pieces.end(), at - 1,
        [](std::size_t offset, const auto& piece) { return offset < piece.first; });
    if (after == pieces.begin())
        return false;
    fireLinkEvent(std::make_shared<ShowOutputOriginEvent>(this, QString(),
                                                          std::any(std::prev(after)->second)));
    return true;
}

void BrowserView::showOriginAt(const QPoint& point) {
    if (!engine_)
        return;
    // Asked in the engine's own script world, which runs even when the page's scripts may not.
    const double zoom = engine_->zoomFactor();
    const QString script =
        QStringLiteral(
            "(function(x, y) {"
            "  var e = document.elementFromPoint(x, y);"
            "  if (!e) return null;"
            "  var all = document.getElementsByTagName(e.tagName);"
            "  for (var i = 0; i < all.length; i++) if (all[i] === e) return [e.tagName, i];"
            "  return null;"
            "})(%1, %2)")
            .arg(point.x() / zoom)
            .arg(point.y() / zoom);
    QPointer<BrowserView> self(this);
    engine_->page()->runJavaScript(
        script, QWebEngineScript::ApplicationWorld, [self](const QVariant& result) {
            const QVariantList found = result.toList();
            if (self && found.size() == 2)
                self->showOriginOfElement(found[0].toString(), found[1].toInt());
        });
}

bool BrowserView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && engine_)
            showOriginAt(engine_->mapFromGlobal(mouse->globalPosition().toPoint()));
    }
    return QObject::eventFilter(watched, event);
}

void BrowserView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    if (r && r->getFileIdStr())
        fileId_ = QString::fromStdString(*r->getFileIdStr()).toInt();
    outputs_[fileId_] = Output{};
    setTitle(tr("Browser") + QStringLiteral("  "));
    scheduleRender();
}

void BrowserView::handleHtml(const HtmlEvent& e) {
    const Record* record = e.itemAs<Record>();
    if (switchedOff_ || !record || !*record || !(*record)->getHtmlString())
        return; // switched off, nothing is ever rendered
    if (addOutput(*(*record)->getHtmlString()))
        scheduleRender();
}

void BrowserView::handlePassed(const PassedEvent& e) {
    const PassedRecords* passed = e.itemAs<PassedRecords>();
    if (switchedOff_ || !passed || !*passed)
        return;
    bool added = false;
    for (const Record& record : **passed) {
        if (record->getInfoType() != JspSourceInfo::HTML_INFO)
            current_ = OutputOrigin::of(*record);
        else if (const std::optional<std::string>& html = record->getHtmlString())
            added = addOutput(*html) || added;
    }
    // Rendered once for all the pieces.
    if (added)
        scheduleRender();
}

bool BrowserView::addOutput(const std::string& piece) {
    Output& out = outputs_[fileId_];
    // Only what can be rendered is kept: the view costs no memory by the size of the output.
    const std::size_t room = kLargestRendered - out.html.size();
    if (room == 0)
        return false;
    if (current_)
        out.pieces.emplace_back(out.html.size(), *current_);
    out.html.append(piece, 0, std::min(piece.size(), room));
    if (out.html.size() == kLargestRendered)
        setTitle(tr("Browser (the first 2 MB of the output)") + QStringLiteral("  "));
    return true;
}

void BrowserView::handleSwitchJspFile(const SwitchJspFileEvent& e) {
    if (const int* id = e.itemAs<int>()) {
        fileId_ = *id;
        scheduleRender();
    }
}

void BrowserView::scheduleRender() {
    if (loading_ || quiet_.isActive()) {
        renderPending_ = true;
        return;
    }
    render();
}

void BrowserView::render() {
    renderPending_ = false;
    if (!engine_)
        return;
    const std::string& html = output();
    loading_ = true;
    loadTime_.start();
    engine_->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())),
                     QUrl(QStringLiteral("about:blank")));
    ++renderCount_;
}

} // namespace tracewin

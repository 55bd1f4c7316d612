#include "views/browserview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"

#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
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

// Renders at most this often while the output grows.
constexpr int kQuietMs = 300;
// What a data URL can carry; a longer output is rendered up to there.
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

} // namespace

BrowserView::BrowserView() {
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        if (renderPending_)
            render();
    });
    onLinkEvent<StartupEvent>(&BrowserView::handleStartup);
    onLinkEvent<HtmlEvent>(&BrowserView::handleHtml);
    onLinkEvent<SwitchJspFileEvent>(&BrowserView::handleSwitchJspFile);
}

BrowserView::~BrowserView() {
    // The page goes before the profile it was made with.
    delete engine_;
}

QWebEngineView* BrowserView::engineView() const {
    return engine_;
}

bool BrowserView::switchedOff() {
    return qEnvironmentVariable("TRACEWIN_BROWSER_VIEW") == QLatin1String("off");
}

QStringList BrowserView::getLinkEventNames() const {
    return {};
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
        message_->setText(switchedOff() ? tr("The browser view is off (TRACEWIN_BROWSER_VIEW=off).")
                                        : tr("The page as a browser shows it appears here."));
        stack_->addWidget(message_);
        if (!switchedOff())
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
    return it == outputs_.end() ? none : it->second;
}

void BrowserView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    if (r && r->getFileIdStr())
        fileId_ = QString::fromStdString(*r->getFileIdStr()).toInt();
    outputs_[fileId_].clear();
    scheduleRender();
}

void BrowserView::handleHtml(const HtmlEvent& e) {
    const Record* record = e.itemAs<Record>();
    if (!record || !*record || !(*record)->getHtmlString())
        return;
    outputs_[fileId_] += *(*record)->getHtmlString();
    scheduleRender();
}

void BrowserView::handleSwitchJspFile(const SwitchJspFileEvent& e) {
    if (const int* id = e.itemAs<int>()) {
        fileId_ = *id;
        scheduleRender();
    }
}

void BrowserView::scheduleRender() {
    if (quiet_.isActive()) {
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
    const std::size_t shown = std::min(html.size(), kLargestRendered);
    engine_->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(shown)),
                     QUrl(QStringLiteral("about:blank")));
    ++renderCount_;
    quiet_.start(kQuietMs);
}

} // namespace tracewin

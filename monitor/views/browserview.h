#pragma once

#include "panekit/tool.h"
#include "views/monitorevents.h"
// After Qt's headers: moc cannot parse <compare> ahead of them.
#include "core/outputorigins.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

class QLabel;
class QStackedWidget;
class QWebEngineProfile;
class QWebEngineView;

namespace tracewin {

// The page as a browser renders it, from the HTML produced so far: it follows the output
// as the page runs, at most a few times a second. The rendering is a real browser engine's
// with no network access and no scripts unless the user allows them, so only the produced
// HTML shows. A click on an element announces the source that wrote it. The
// engine starts the first time the view is shown; with TRACEWIN_BROWSER_VIEW=off it never
// does and the view says so.
class BrowserView final : public panekit::Tool {
    Q_OBJECT

public:
    BrowserView();
    ~BrowserView() override;

    QWidget* getView() override;
    QStringList getLinkEventNames() const override;
    void toolInstalled() override;

    // The HTML of the file on show, as the page produced it.
    const std::string& output() const;
    // The browser engine's view, once it runs; null while off or not yet shown.
    QWebEngineView* engineView() const;
    // How many times the output was handed to the engine.
    int renderCount() const { return renderCount_; }
    // Whether pages may run scripts, or load from the network (both off by default).
    void setScriptsAllowed(bool allowed);
    bool scriptsAllowed() const { return scriptsAllowed_; }
    void setNetworkAllowed(bool allowed);
    bool networkAllowed() const { return networkAllowed_; }

    // Announces the origin of the element that is the index-th (from 0) of its tag in the
    // rendered page, found as the index-th start tag of that name in the output; false when
    // the output has no such start tag (an element the browser added) or no origin.
    bool showOriginOfElement(const QString& tag, int index);
    // Asks the page which element is at a point of the engine's view, then does the above.
    void showOriginAt(const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handleStartup(const StartupEvent& e);
    void handleHtml(const HtmlEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handlePassed(const PassedEvent& e);
    // Keeps a piece of output, written by the current span; false when no room is left.
    bool addOutput(const std::string& piece);
    void startEngine();
    // Renders now, or when the quiet time after the last rendering ends.
    void scheduleRender();
    void render();

    QPointer<QStackedWidget> stack_;
    QPointer<QLabel> message_;
    QPointer<QWebEngineView> engine_;
    // The guard outlives the profile that holds it.
    std::unique_ptr<class BrowserRequestGuard> guard_;
    std::unique_ptr<QWebEngineProfile> profile_;
    QTimer quiet_;
    QElapsedTimer loadTime_;
    bool loading_ = false; // a rendering runs: the next waits for it
    bool renderPending_ = false;
    int renderCount_ = 0;
    bool scriptsAllowed_ = false;
    bool networkAllowed_ = false;
    int fileId_ = 0;
    const bool switchedOff_; // TRACEWIN_BROWSER_VIEW=off when the view was made
    // What each file produced, and where each piece of it starts with its origin.
    struct Output {
        std::string html;
        std::vector<std::pair<std::size_t, OutputOrigin>> pieces;
    };
    std::map<int, Output> outputs_; // by file id
    std::optional<OutputOrigin> current_;
};

} // namespace tracewin

#pragma once

#include "panekit/tool.h"
#include "views/monitorevents.h"

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
// HTML shows. A click on an element asks the HTML view for the source that wrote it. The
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

    static bool switchedOff();

private:
    void handleStartup(const StartupEvent& e);
    void handleHtml(const HtmlEvent& e);
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void startEngine();
    // Renders now, or when the quiet time after the last rendering ends.
    void scheduleRender();
    void render();

    QPointer<QStackedWidget> stack_;
    QPointer<QLabel> message_;
    QPointer<QWebEngineView> engine_;
    std::unique_ptr<QWebEngineProfile> profile_;
    std::unique_ptr<class BrowserRequestGuard> guard_;
    QTimer quiet_;
    bool renderPending_ = false;
    int renderCount_ = 0;
    bool scriptsAllowed_ = false;
    bool networkAllowed_ = false;
    int fileId_ = 0;
    std::map<int, std::string> outputs_; // by file id
};

} // namespace tracewin

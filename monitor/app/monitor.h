#pragma once

#include "core/monitorarguments.h"
#include "core/pagelaunch.h"
#include "panekit/workbookframe.h"
#include "tracehook/appstatuseventlistener.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;

namespace panekit {
class StatusLine;
}

namespace tracehook {
class ApplicationStatus;
class JspMonitorResource;
} // namespace tracehook

namespace tracewin {

class OpenPageDialog;
class RuntimeLauncher;
class SplitPageController;

// The monitor program: reads its command line, sends its output to monitor.out and
// monitor.err, prepares the framework application "Monitor", builds the main window from
// the workbook "Monitor" of its configuration, shows it and activates its pages (which
// opens the listening socket). Another process can bring the window to the front through
// the application status file.
class Monitor : public QObject, public tracehook::AppStatusEventListener {
    Q_OBJECT
public:
    static constexpr const char* applicationKey = "Monitor";

    struct Options {
        bool redirectOutput = true; // off in tests
        bool showDialogs = true;    // install the message-box presenter
    };

    Monitor();
    ~Monitor() override;

    // Called before the application object exists. The monitor's loop wakes up for every
    // record of a run; the toolkit's own dispatcher does that with far fewer system calls
    // than the GLib one, which the monitor does not need (a user's explicit QT_NO_GLIB
    // setting stays). The heaps give freed memory back to the system as it is freed.
    static void prepareProcess();

    // Start-up up to the shown and activated window. Returns false when start-up failed;
    // the failure has then been reported and the exit requested.
    bool start(const std::vector<std::string>& args, const Options& options);

    panekit::WorkbookFrame* frame() const { return frame_; }
    // What the status line says the page is doing.
    QString runStatusText() const;

    // Open page: shows the dialog (without waiting for it) with the last choices; when it
    // is accepted, the choices are kept and the page runtime starts. Returns the dialog.
    OpenPageDialog* openPage();
    OpenPageDialog* openPageDialog() const;
    // Help > About: opens the About box (without waiting for it) and returns it.
    QMessageBox* openAbout();
    // The page runtime started by Open page (null before the window is built).
    RuntimeLauncher* runtimeLauncher() const { return launcher_.get(); }

    // The start-up failure path: prints the reason, shows "E-MONITOR_WIN_INIT_FAIL",
    // records that no monitor window exists and ends the process with exit code 1.
    static void initFailed(const std::string& reason);
    // How the process ends; tests replace it. The default quits the event loop, or the
    // process when no loop runs.
    static void setExitHandler(std::function<void(int)> handler);
    static void exitProcess(int code);

    // The install's directories, as the monitor uses them.
    static std::string programDirectory();
    // Where the monitor writes: its settings, window profiles, log and status file. The
    // install folder, or the user's own folder when the install is not the user's to change
    // (see tracehook::SettingsLocation).
    static std::string settingsDirectory();
    // The program's icon: the desktop theme's, else the install's own.
    static QIcon programIcon();

    void handleAppStatusEvent(const tracehook::AppStatusEvent& event) override;

signals:
    // Another process asked for the window, and it was brought to the front.
    void broughtToFront();

private:
    bool buildWindow(const MonitorArguments& arguments);
    // Trims the framework's predefined menus and builds the menu bar and tool bars.
    void prepareMenus();
    void bringToFront();
    // A saved position and size, else the whole available area of the window's screen.
    void placeWindow();
    // The page controller's Open page command and run status reach the window.
    void connectPage(SplitPageController& page);
    void showRunStatus(const QString& text);
    panekit::StatusLine* statusLine() const;
    void startPage(const PageLaunchRequest& request);
    int listeningPort() const;
    // The controller's debugging session reaches the page controller and every view; the
    // controller learns whether the monitor is hidden and how a late start-up failure ends.
    void handOutSession(bool hidden);
    // A failure once the window exists: the window comes to the front for the message.
    void failStart(const std::string& reason);

    std::unique_ptr<tracehook::ApplicationStatus> appStatus_;
    std::unique_ptr<tracehook::JspMonitorResource> resource_;
    QPointer<panekit::WorkbookFrame> frame_;
    QPointer<OpenPageDialog> openPageDialog_;
    std::unique_ptr<RuntimeLauncher> launcher_;
};

} // namespace tracewin

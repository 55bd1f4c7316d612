#include "app/monitor.h"

#include "app/aboutbox.h"
#include "app/commandaction.h"
#include "app/generalprefnode.h"
#include "app/jspbreakmonitorcontroller.h"
#include "app/monitorcontroller.h"
#include "app/openpagedialog.h"
#include "app/qtmessagepresenter.h"
#include "app/runstatustext.h"
#include "app/runtimelauncher.h"
#include "app/splitpagecontroller.h"
#include "core/monitorconstants.h"
#include "core/monitormessagefile.h"
#include "core/monitorsettings.h"
#include "core/outputredirection.h"
#include "panekit/application.h"
#include "panekit/menudata.h"
#include "panekit/repaintpacer.h"
#include "panekit/statusline.h"
#include "panekit/workbookframe.h"
#include "tracehook/applicationstatus.h"
#include "tracehook/appstatusevent.h"
#include "tracehook/classpath.h"
#include "tracehook/debugconstants.h"
#include "tracehook/eventidnames.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/jspmonitorresource.h"
#include "tracehook/messagehandler.h"
#include "tracehook/properties.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"
#include "views/commonview.h"
#include "views/variablesview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tracewin {
namespace {

using tracehook::Tracer;

constexpr const char* kSource = "Monitor";
// About thirty pictures a second while the views change faster than that.
constexpr int kRepaintIntervalMs = 33;

std::mutex exitMutex;
std::function<void(int)>& exitHandler() {
    static std::function<void(int)> handler;
    return handler;
}

void print(const std::string& line) {
    Tracer::printLine(line);
}

std::string elapsed(QElapsedTimer& timer) {
    const std::string ms = std::to_string(timer.restart());
    return ms;
}

} // namespace

Monitor::Monitor() = default;

Monitor::~Monitor() {
    if (appStatus_) {
        appStatus_->removeEventListener(this);
        appStatus_->stopApp();
    }
}

std::string Monitor::programDirectory() {
    return tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath().value_or(
        tracehook::SystemProperties::value("user.dir", "."));
}

std::string Monitor::settingsDirectory() {
    return MonitorSettings::settingsDirectoryOf(programDirectory());
}

QIcon Monitor::programIcon() {
    // The desktop's icon theme has it once the program is installed for the desktop; the
    // install's own copies serve a tree run where it was built.
    QIcon own;
    for (int size : {16, 32, 48, 64, 128, 256})
        own.addFile(QString::fromStdString(programDirectory() + "/com/zet/kwo/jsp/ui/tracewin-" +
                                           std::to_string(size) + ".png"),
                    QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("tracewin"), own);
}

void Monitor::setExitHandler(std::function<void(int)> handler) {
    std::lock_guard lock(exitMutex);
    exitHandler() = std::move(handler);
}

void Monitor::exitProcess(int code) {
    std::function<void(int)> handler;
    {
        std::lock_guard lock(exitMutex);
        handler = exitHandler();
    }
    if (handler) {
        handler(code);
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(code);
        return;
    }
    std::exit(code);
}

void Monitor::initFailed(const std::string& reason) {
    print("Monitor init fail: " + reason);
    std::fflush(stdout);
    std::fflush(stderr);
    tracehook::JspMonitorResource resource;
    tracehook::MessageHandler::showToolError(resource.getToolString("E-MONITOR_WIN_INIT_FAIL"));
    MonitorSettings::fromInstall().saveIsMonitorWindowExists(false);
    // A start-up that failed is not a success: the exit code says so.
    exitProcess(1);
}

bool Monitor::start(const std::vector<std::string>& args, const Options& options) {
    const std::string program = programDirectory();
    const std::string settings = settingsDirectory();
    appStatus_ = std::make_unique<tracehook::ApplicationStatus>(
        settings + "/" + MonitorConstants::appStatusFilename);
    appStatus_->startApp();
    appStatus_->addEventListener(this);
    // The messages of the tag stack come from the install's message file.
    MonitorMessageFile::setSharedBase(program + "/com/zet/kwo/jsp/ui/MonitorMsg");

    const MonitorArguments arguments = MonitorArguments::processArgs(args);
    if (arguments.external && arguments.serverRoot) {
        tracehook::SystemProperties::set("server.root", *arguments.serverRoot);
        tracehook::SystemProperties::set("user.home", *arguments.serverRoot);
    }
    if (tracehook::DebugConstants::getTrace()) {
        print("The Harbeck java home is: " +
              tracehook::JspDebugDynamicPathFactory::getHarbeckFullPath().value_or("null"));
    }
    if (options.redirectOutput &&
        !OutputRedirection::redirect(settings + "/monitor.out", settings + "/monitor.err")) {
        print("Cannot redirect the standard output or error.");
    }
    if (options.showDialogs)
        QtMessagePresenter::install();

    try {
        return buildWindow(arguments);
    } catch (const std::exception& e) {
        initFailed(e.what());
        return false;
    }
}

bool Monitor::buildWindow(const MonitorArguments& arguments) {
    QElapsedTimer timer;
    timer.start();
    resource_ = std::make_unique<tracehook::JspMonitorResource>();
    Tracer::trace(kSource, "main", "in Monitor main()");
    const std::string javaHome = tracehook::SystemProperties::value("java.home");
    print("Java home: " + javaHome);
    std::fflush(stdout);

    tracehook::Properties defaults;
    std::optional<std::string> resource =
        tracehook::ClassPath::find(MonitorConstants::defaultPropertiesResource);
    std::optional<tracehook::Properties> loaded =
        resource ? tracehook::Properties::load(*resource) : std::nullopt;
    if (loaded)
        defaults = std::move(*loaded);
    else
        print("main: error loading default.properties");

    std::string home;
    if (std::optional<std::string> jspHome = defaults.get("jsp.home");
        jspHome && !jspHome->empty()) {
        std::filesystem::path p(*jspHome);
        home = p.is_absolute()
                   ? p.string()
                   : (std::filesystem::path(settingsDirectory()) / p).lexically_normal().string();
    } else {
        home = arguments.serverRoot.value_or(javaHome);
    }
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    const std::string appHome = home + "/com/zet/kwo/jsp/ui";
    panekit::Application* app =
        panekit::Application::getApplication(QString::fromLatin1(applicationKey));
    app->setHome(QString::fromStdString(appHome));
    Tracer::trace(kSource, "main", "*** Sethome is: " + appHome);
    app->setProtectedHome(QString::fromStdString(programDirectory() + "/com/zet/kwo/jsp/ui"));
    app->setResourceFileName(QString::fromLatin1(applicationKey));
    app->initialize();
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setWindowIcon(programIcon());
    Tracer::trace(
        kSource, "main",
        "Time for initializing the application, \n\tset resource filename, set look and feel: " +
            elapsed(timer));

    frame_ = new panekit::WorkbookFrame(
        QString::fromStdString(resource_->getToolString("L-JSPMonitorTitle")),
        QString::fromLatin1(applicationKey));
    frame_->setAttribute(Qt::WA_DeleteOnClose);
    // Run and Fast forward move the views thousands of times a second; the screen needs
    // no more than a few dozen pictures of that.
    panekit::RepaintPacer::install(frame_, std::chrono::milliseconds(kRepaintIntervalMs));
    frame_->setApplicationKey(QString::fromLatin1(applicationKey));
    // The monitor's own files live in its install folder: they serve when the home has none.
    if (!app->setCurrentConfiguration(QString::fromLatin1(applicationKey)) &&
        !app->setCurrentConfiguration(QString::fromLatin1(applicationKey), true))
        throw std::runtime_error("the configuration \"Monitor\" cannot be read");
    if (!frame_->buildWorkbook(QString::fromLatin1(applicationKey)))
        throw std::runtime_error("the workbook \"Monitor\" cannot be built");
    Tracer::trace(kSource, "main", "Time for building the workbook: " + elapsed(timer));
    handOutSession(arguments.hide);

    if (arguments.hide) {
        app->exit(0);
        return true;
    }
    launcher_ = std::make_unique<RuntimeLauncher>(
        QString::fromStdString(tracehook::SystemProperties::value("java.home", programDirectory())),
        *app);
    QPointer<panekit::WorkbookFrame> frame = frame_;
    SplitPageController* page = nullptr;
    frame_->applyToAllTools([frame, &page](panekit::Tool& tool) {
        if (auto* split = dynamic_cast<SplitPageController*>(&tool)) {
            split->setPreferencesOpener([frame] {
                PreferenceMenu menu(frame, MonitorSettings::fromInstall());
                menu.show(true);
            });
            page = split;
        }
    });
    prepareMenus();
    if (page)
        connectPage(*page);
    Tracer::trace(kSource, "main", "Time for building the menu and toolbar: " + elapsed(timer));

    placeWindow();
    frame_->show();
    frame_->activateAll();
    if (page && listeningPort() > 0)
        page->listeningOn(listeningPort());
    Tracer::trace(kSource, "main", "Time for active all: " + elapsed(timer));
    bringToFront();
    Tracer::trace(kSource, "main", "end of main");
    return true;
}

void Monitor::handOutSession(bool hidden) {
    std::shared_ptr<DebugSession> session;
    panekit::Tool* top = frame_->getController();
    if (auto* controller = dynamic_cast<MonitorController*>(top)) {
        controller->setHidden(hidden);
        controller->setStartFailureHandler(
            [this](const std::string& reason) { failStart(reason); });
        session = controller->session();
    } else if (auto* fixedPage = dynamic_cast<JspBreakMonitorController*>(top)) {
        session = fixedPage->session();
    } else {
        session = std::make_shared<DebugSession>();
    }
    frame_->applyToAllTools([&session](panekit::Tool& tool) {
        if (auto* view = dynamic_cast<CommonView*>(&tool))
            view->setSession(session);
        else if (auto* page = dynamic_cast<SplitPageController*>(&tool))
            page->setSession(session);
        else if (auto* variables = dynamic_cast<VariablesView*>(&tool))
            variables->setSession(session);
    });
}

void Monitor::failStart(const std::string& reason) {
    if (frame_) {
        frame_->raise();
        frame_->activateWindow();
    }
    initFailed(reason);
}

void Monitor::prepareProcess() {
    ::setenv("QT_NO_GLIB", "1", 0);
#ifdef __GLIBC__
    // Once a large block is freed (a page's text, when the next page starts), the C
    // library raises the size its heaps keep free up to 64 MB for good, and the records a
    // Fast forward had in flight then stay resident in the reading thread's heap. A fixed
    // threshold gives such memory back as it is freed.
    ::mallopt(M_TRIM_THRESHOLD, 128 << 10);
#endif
    // The browser view's engine shares the application's graphics contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void Monitor::prepareMenus() {
    // The predefined menus the monitor does not offer; the page controllers' menus and
    // tool bar come in when the menu bar and tool bars are built.
    for (const char* item : {"MiClose", "MiPreferences", "MiDetachPage"})
        frame_->removePredefinedMenuItem(QString::fromLatin1(item));
    for (const char* menu : {"MSelected", "MPage", "MPane", "MWindows"})
        frame_->removePredefinedMenu(QString::fromLatin1(menu));
    panekit::Application* app =
        panekit::Application::getApplication(QString::fromLatin1(applicationKey));
    // The window owns the action behind its menu item.
    auto* aboutAction = new CommandAction(nullptr, [monitor = QPointer<Monitor>(this)] {
        if (monitor)
            monitor->openAbout();
    });
    aboutAction->setParent(frame_);
    auto about = app->getMenuItemData(QStringLiteral("MiAbout"));
    about->setAction(aboutAction);
    frame_->addDynamicMenuItem(QStringLiteral("MHelp"), about);
    frame_->buildMenuBar();
    frame_->buildToolBar();
    frame_->buildStatusLine();
}

void Monitor::placeWindow() {
    if (frame_->setSavedBounds())
        return;
    // A first start: the whole working area of the screen, most of it for the sources.
    const QScreen* screen = frame_->screen() ? frame_->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    frame_->move(area.topLeft());
    frame_->resize(area.size());
    // A window manager's frame comes on top of that: once it is known, the window shrinks
    // by it so that the whole frame fits.
    QTimer::singleShot(0, frame_.data(), [frame = frame_, area] {
        if (!frame)
            return;
        const QRect outer = frame->frameGeometry();
        if (area.contains(outer))
            return;
        frame->resize(frame->size() - (outer.size() - frame->size()).expandedTo(QSize(0, 0)));
        frame->move(area.topLeft());
    });
}

void Monitor::connectPage(SplitPageController& page) {
    page.setOpenPageOpener([this] { openPage(); });
    panekit::Application* app =
        panekit::Application::getApplication(QString::fromLatin1(applicationKey));
    page.setRunStatusListener([this, text = RunStatusText(*app)](const RunStatus& status) {
        showRunStatus(text.text(status));
    });
}

panekit::StatusLine* Monitor::statusLine() const {
    // The window's current one: the framework put its own in when it built it.
    return frame_ ? qobject_cast<panekit::StatusLine*>(frame_->statusBar()) : nullptr;
}

void Monitor::showRunStatus(const QString& text) {
    if (panekit::StatusLine* line = statusLine())
        line->setMessage(text);
}

QString Monitor::runStatusText() const {
    const panekit::StatusLine* line = statusLine();
    return line ? line->getMessage() : QString();
}

int Monitor::listeningPort() const {
    auto* controller = frame_ ? dynamic_cast<MonitorController*>(frame_->getController()) : nullptr;
    return controller ? controller->connections().listeningPort() : 0;
}

QMessageBox* Monitor::openAbout() {
    if (!frame_)
        return nullptr;
    panekit::Application* app =
        panekit::Application::getApplication(QString::fromLatin1(applicationKey));
    return AboutBox::open(
        frame_, [app](const char* key) { return app->getString(QString::fromLatin1(key)); });
}

OpenPageDialog* Monitor::openPageDialog() const {
    return openPageDialog_;
}

OpenPageDialog* Monitor::openPage() {
    if (!frame_)
        return nullptr;
    if (openPageDialog_) {
        openPageDialog_->raise();
        openPageDialog_->activateWindow();
        return openPageDialog_;
    }
    panekit::Application* app =
        panekit::Application::getApplication(QString::fromLatin1(applicationKey));
    auto* dialog = new OpenPageDialog(
        [app](const char* key) { return app->getString(QString::fromLatin1(key)); }, frame_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRequest(PageLaunchSettings::inProgramDir(settingsDirectory()).load());
    connect(dialog, &QDialog::accepted, this, [this, dialog] { startPage(dialog->request()); });
    openPageDialog_ = dialog;
    // Shown without a loop of its own: the window goes on taking the page's records.
    dialog->open();
    return dialog;
}

void Monitor::startPage(const PageLaunchRequest& request) {
    PageLaunchSettings::inProgramDir(settingsDirectory()).save(request);
    if (launcher_)
        launcher_->start(request, listeningPort());
}

void Monitor::bringToFront() {
    if (!frame_)
        return;
    frame_->show();
    frame_->raise();
    frame_->activateWindow();
}

void Monitor::handleAppStatusEvent(const tracehook::AppStatusEvent& event) {
    if (event.getEventNameID() != tracehook::EventIDNames::bringAppToFrontEventID)
        return;
    // Called on the status thread: the window is raised on the user-interface thread.
    QMetaObject::invokeMethod(
        this,
        [this] {
            bringToFront();
            print("***Bring window to front ...");
            emit broughtToFront();
        },
        Qt::QueuedConnection);
}

} // namespace tracewin

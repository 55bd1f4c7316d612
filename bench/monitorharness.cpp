#include "monitorharness.h"

#include "app/commandaction.h"
#include "app/monitor.h"
#include "app/monitorcontroller.h"
#include "app/monitorparts.h"
#include "app/splitpagecontroller.h"
#include "core/installpaths.h"
#include "panekit/application.h"
#include "panekit/toolpane.h"
#include "panekit/workbookframe.h"
#include "views/htmlview.h"
#include "views/jspview.h"
#include "views/variablesview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {

namespace {

constexpr const char* kProgramDir = "jspvlm/tools/com-zet-kwo-ui-jspdebug";

template <class T> T* findTool(panekit::WorkbookFrame& frame) {
    T* found = nullptr;
    frame.applyToAllTools([&](panekit::Tool& tool) {
        if (!found)
            found = dynamic_cast<T*>(&tool);
    });
    return found;
}

} // namespace

std::string prepareInstallCopy(const fs::path& stage, const fs::path& root) {
    fs::create_directories(root / "jspvlm");
    fs::copy(stage / "jspvlm/tools", root / "jspvlm/tools", fs::copy_options::recursive);
    fs::copy(stage / "com", root / "com", fs::copy_options::recursive);
    fs::create_directories(root / "jspvlm/nqc/bin");
    std::ofstream(root / kProgramDir / "jspdebug.properties")
        << "port=0\nDebugModeOn=false\nRetrieveSyntaxErr=true\nSkipRunAnimation=true\n";
    return (root / "jspvlm/nqc/bin").string();
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

MonitorHarness::MonitorHarness(const fs::path& stage) : stage_(stage) {
    if (!root_.isValid())
        throw std::runtime_error("no temporary folder");
    tracewin::setUpInstallPaths(prepareInstallCopy(stage, root_.path().toStdString()));
    tracewin::registerMonitorParts(
        panekit::Application::getApplication(QString::fromLatin1(tracewin::Monitor::applicationKey))
            ->getPartsFactory());
    monitor_ = std::make_unique<tracewin::Monitor>();
    if (!monitor_->start({}, tracewin::Monitor::Options{true, false}) || !monitor_->frame())
        throw std::runtime_error("the monitor did not start");
    jsp_ = findTool<tracewin::JspView>(*monitor_->frame());
    html_ = findTool<tracewin::HtmlView>(*monitor_->frame());
    page_ = findTool<tracewin::SplitPageController>(*monitor_->frame());
    if (!jsp_ || !html_ || !page_)
        throw std::runtime_error("the monitor's main page lacks its views");
}

MonitorHarness::~MonitorHarness() {
    if (monitor_ && monitor_->frame())
        delete monitor_->frame();
    monitor_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

quint16 MonitorHarness::port() const {
    auto* controller =
        dynamic_cast<tracewin::MonitorController*>(monitor_->frame()->getController());
    return controller ? controller->connections().listeningPort() : 0;
}

fs::path MonitorHarness::workDir() const {
    return fs::path(root_.path().toStdString()) / "work";
}

bool MonitorHarness::runUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    // The loop sleeps until an event comes, as the program's own loop does; the heartbeat
    // only bounds the wait when nothing comes at all.
    QTimer heartbeat;
    heartbeat.start(50);
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > std::chrono::milliseconds(limit).count())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void MonitorHarness::settle() {
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool MonitorHarness::pageReady() const {
    return jsp_->getCanvas() != nullptr &&
           page_->action(tracewin::SplitPageController::FastForward)->isEnabled();
}

bool MonitorHarness::waitForPage(std::chrono::seconds limit) {
    return runUntil([&] { return pageReady(); }, limit);
}

void MonitorHarness::showVariables(bool shown) {
    auto* view = findTool<tracewin::VariablesView>(*monitor_->frame());
    if (!view || !view->getPane())
        throw std::runtime_error("the monitor's main page lacks its Variables view");
    view->getPane()->setMinimized(!shown);
    settle();
}

void MonitorHarness::chooseFastForward() {
    page_->action(tracewin::SplitPageController::FastForward)
        ->processAction(QStringLiteral("bench"));
}

double MonitorHarness::fastForwardPage(const std::string& page) {
    QProcess runner;
    runner.setProgram(QString::fromStdString((stage_ / "jspvlm/nqc/bin/pagerunner").string()));
    // The runner reads this monitor's settings, so it sends variables while the view shows.
    runner.setArguments({QStringLiteral("--port"), QString::number(port()),
                         QStringLiteral("--root"), root_.path(), QStringLiteral("--work"),
                         QString::fromStdString(workDir().string()), QString::fromStdString(page)});
    runner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    runner.setStandardOutputFile(QProcess::nullDevice());
    runner.start();
    if (!runner.waitForStarted(10000) || !waitForPage(std::chrono::seconds(30)))
        return -1;
    QElapsedTimer timer;
    timer.start();
    chooseFastForward();
    const bool ended =
        runUntil([&] { return runner.state() == QProcess::NotRunning; }, std::chrono::minutes(10));
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    settle();
    if (!ended) {
        runner.kill();
        runner.waitForFinished();
        return -1;
    }
    return runner.exitStatus() == QProcess::NormalExit && runner.exitCode() == 0 ? seconds : -1;
}

} // namespace bench

// The monitor's main window as a user meets it: where it opens and how its panes share it,
// what it remembers for the next start, what its status line says, and Open page, which
// starts a page runtime as a child of the monitor.
#include "app/commandaction.h"
#include "app/monitor.h"
#include "app/monitorcontroller.h"
#include "app/monitorparts.h"
#include "app/openpagedialog.h"
#include "app/runtimelauncher.h"
#include "app/splitpagecontroller.h"
#include "core/pagelaunch.h"
#include "panekit/application.h"
#include "panekit/toolpane.h"
#include "panekit/workbookframe.h"
#include "support/installtree.h"
#include "support/scopedenvironment.h"
#include "tracehook/messagehandler.h"
#include "tracehook/pageruntimerecords.h"
#include "tracewin/version.h"
#include "views/jspview.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QTcpSocket>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

using namespace tracewin;
using tracehook::PageRuntimeRecords;

namespace {

const std::filesystem::path kResources = TRACEWIN_RESOURCES;

class MonitorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = panekit::Application::getApplication(QString::fromLatin1(Monitor::applicationKey));
        registerMonitorParts(app->getPartsFactory());
        app->setExitHandler([](int) {});
        Monitor::setExitHandler([](int) {});
        previous = tracehook::MessageHandler::setPresenter(
            [this](const tracehook::MessageHandler::Dialog& d) { dialogs.push_back(d.message); });
        // Frames of other tests keep their bounds in the application's memory.
        app->getSystemProfile().clear();
        ::testing::internal::CaptureStdout();
    }
    void TearDown() override {
        closeMonitor();
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (HasFailure())
            std::cerr << "The monitor's output:\n" << out;
        app->getSystemProfile().clear();
        tracehook::MessageHandler::setPresenter(previous);
        Monitor::setExitHandler({});
        app->setExitHandler({});
    }

    void startMonitor() {
        monitor = std::make_unique<Monitor>();
        ASSERT_TRUE(monitor->start({}, Monitor::Options{false, false}));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(monitor->frame()));
    }
    void closeMonitor() {
        if (monitor && monitor->frame())
            delete monitor->frame();
        monitor.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    int port() const {
        return dynamic_cast<MonitorController*>(monitor->frame()->getController())
            ->connections()
            .listeningPort();
    }
    SplitPageController* page() const { return monitor->frame()->findTool<SplitPageController>(); }
    panekit::ToolPane* pane(const char* name) const {
        for (auto* p : monitor->frame()->findChildren<panekit::ToolPane*>())
            if (p->getName() == QLatin1String(name))
                return p;
        return nullptr;
    }
    // The splitter that holds the JSP, Java, HTML and tag panes side by side.
    QSplitter* sourcesSplitter() const {
        panekit::ToolPane* jsp = pane("jsp");
        return jsp ? qobject_cast<QSplitter*>(jsp->parentWidget()) : nullptr;
    }
    bool waitForStatus(const QString& text) {
        const bool shown = QTest::qWaitFor([&] { return monitor->runStatusText() == text; }, 10000);
        if (!shown)
            ADD_FAILURE() << "status line: " << monitor->runStatusText().toStdString()
                          << "\nexpected:    " << text.toStdString();
        return shown;
    }

    testsupport::InstallTree tree{0, kResources};
    panekit::Application* app = nullptr;
    std::unique_ptr<Monitor> monitor;
    std::vector<std::string> dialogs;
    tracehook::MessageHandler::Presenter previous;
};

// ---- window and layout ----

TEST_F(MonitorWindowTest, AFirstStartFillsTheScreenAndGivesTheSourcesMostOfTheWidth) {
    startMonitor();
    const QRect area = monitor->frame()->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(monitor->frame()->frameGeometry()));
    EXPECT_GE(monitor->frame()->width(), area.width() * 9 / 10);
    EXPECT_GE(monitor->frame()->height(), area.height() * 8 / 10);

    ASSERT_TRUE(pane("jsp") && pane("java") && pane("html") && pane("stack"));
    const int sources = pane("jsp")->width() + pane("java")->width();
    const int others = pane("html")->width() + pane("stack")->width();
    EXPECT_GT(sources, 2 * others);
    EXPECT_GT(pane("html")->width(), pane("stack")->width());
}

TEST_F(MonitorWindowTest, SizePositionAndSplittersSurviveARestart) {
    startMonitor();
    monitor->frame()->resize(640, 480);
    monitor->frame()->move(30, 40);
    QSplitter* splitter = sourcesSplitter();
    ASSERT_TRUE(splitter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return splitter->width() > 400; }, 5000));
    const int extent = splitter->width() - 3 * splitter->handleWidth();
    splitter->setSizes(
        {extent / 2, extent / 4, extent / 8, extent - extent / 2 - extent / 4 - extent / 8});
    const QList<int> sizes = splitter->sizes();
    const QRect bounds(monitor->frame()->pos(), monitor->frame()->size());
    ASSERT_TRUE(monitor->frame()->close());
    closeMonitor();

    // The next start reads them from the saved profile, not from this process's memory.
    app->getSystemProfile().clear();
    startMonitor();
    EXPECT_EQ(QRect(monitor->frame()->pos(), monitor->frame()->size()), bounds);
    ASSERT_TRUE(sourcesSplitter());
    EXPECT_TRUE(QTest::qWaitFor([&] { return sourcesSplitter()->sizes() == sizes; }, 5000))
        << "sizes now: " << QTest::toString(sourcesSplitter()->sizes());
}

TEST_F(MonitorWindowTest, BoundsSavedOffEveryScreenAreNotRestored) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    app->getSystemProfile().set(
        QStringLiteral("Frame.Monitor"),
        QStringLiteral("%1,%2,400,300").arg(area.right() + 2000).arg(area.bottom() + 2000));
    startMonitor();
    EXPECT_TRUE(area.contains(monitor->frame()->frameGeometry()));
    closeMonitor();

    // Larger than the screen: brought inside it.
    app->getSystemProfile().set(QStringLiteral("Frame.Monitor"), QStringLiteral("%1,%2,%3,%4")
                                                                     .arg(area.x() + 10)
                                                                     .arg(area.y())
                                                                     .arg(area.width() * 2)
                                                                     .arg(area.height()));
    startMonitor();
    EXPECT_TRUE(area.contains(QRect(monitor->frame()->pos(), monitor->frame()->size())));
}

TEST_F(MonitorWindowTest, TheFileMenuOffersOpenPageAndTheMonitorsPreferences) {
    startMonitor();
    auto* file = monitor->frame()->menuBar()->findChild<QMenu*>(QStringLiteral("MFile"));
    ASSERT_TRUE(file);
    QStringList keys;
    for (QAction* action : file->actions())
        keys << action->objectName();
    EXPECT_TRUE(keys.contains(QStringLiteral("MiOpenPage"))) << keys.join(' ').toStdString();
    EXPECT_TRUE(keys.contains(QStringLiteral("MiPreferences")))
        << "the framework's own item is gone, the monitor's stays: "
        << keys.join(' ').toStdString();
    EXPECT_EQ(keys.count(QStringLiteral("MiPreferences")), 1);
}

TEST_F(MonitorWindowTest, HelpAboutShowsTheVersion) {
    startMonitor();
    auto* help = monitor->frame()->menuBar()->findChild<QMenu*>(QStringLiteral("MHelp"));
    ASSERT_TRUE(help);
    QAction* about = nullptr;
    for (QAction* action : help->actions())
        if (action->objectName() == QLatin1String("MiAbout"))
            about = action;
    ASSERT_TRUE(about);
    EXPECT_EQ(about->text(), "&About tracewin");
    about->trigger();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            box = monitor->frame()->findChild<QMessageBox*>(QStringLiteral("aboutBox"));
            return box && box->isVisible();
        },
        5000));
    EXPECT_EQ(box->windowTitle(), "About tracewin");
    const QString version = QString::fromLatin1(tracewin::version.data(),
                                                static_cast<qsizetype>(tracewin::version.size()));
    EXPECT_TRUE(box->text().contains(QStringLiteral("tracewin ") + version))
        << box->text().toStdString();
    box->close();
}

// An install that is not the user's to change (the package's): the window's profiles, the
// status file and the settings are the user's own, made from the installed defaults.
TEST_F(MonitorWindowTest, AnInstallForUsersKeepsTheWindowsFilesInTheUsersFolder) {
    testsupport::ScopedEnvironment xdg("XDG_CONFIG_HOME", tree.dir.str() + "/config");
    tree.dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/user.settings", "");
    const std::filesystem::path user = tree.dir.path() / "config/tracewin";
    const std::filesystem::path ui = "com/zet/kwo/jsp/ui";
    auto files = [](const std::filesystem::path& dir) {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
            names.insert(e.path().lexically_relative(dir).string());
        return names;
    };
    const std::set<std::string> installed = files(tree.program);

    startMonitor();
    EXPECT_EQ(Monitor::settingsDirectory(), user.string());
    EXPECT_EQ(testsupport::withoutVariablesKey(
                  testsupport::readFile((user / "jspdebug.properties").string())),
              testsupport::readFile(tree.program + "/jspdebug.properties"));
    EXPECT_TRUE(std::filesystem::exists(user / "appStatus.properties"));
    ASSERT_TRUE(monitor->frame()->close());
    closeMonitor();

    EXPECT_TRUE(std::filesystem::exists(user / ui / "Panes.ini"));
    EXPECT_TRUE(std::filesystem::exists(user / ui / "System.ini"));
    EXPECT_EQ(files(tree.program), installed) << "the install is left as it was";
}

// ---- the status line ----

// A page runtime's connection to the monitor, written to record by record.
struct ScriptedRuntime {
    explicit ScriptedRuntime(int port) {
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        connected = socket.waitForConnected(5000);
    }
    void send(const std::string& record) {
        socket.write(PageRuntimeRecords::framed(record).c_str());
    }
    std::string reply() {
        if (!QTest::qWaitFor([&] { return socket.canReadLine() || socket.waitForReadyRead(10); },
                             5000))
            return "(no reply)";
        return socket.readLine().toStdString();
    }
    QTcpSocket socket;
    bool connected = false;
};

TEST_F(MonitorWindowTest, TheStatusLineSaysWhatThePageDoesAndWhichKeysGoOn) {
    startMonitor();
    const QString waiting = QStringLiteral("Waiting for a page on port %1").arg(port());
    ASSERT_TRUE(waitForStatus(waiting));

    const std::string file = tree.dir.write("pages/a.jsp", "<html>\n<body>\n<p>hi</p>\n");
    ScriptedRuntime runtime(port());
    ASSERT_TRUE(runtime.connected);
    runtime.send("%F5&" + file + "&/w/a.java");
    ASSERT_TRUE(waitForStatus("a.jsp: loaded, waiting for the first step (F6 Step, F8 Run)"));

    page()->step();
    EXPECT_EQ(runtime.reply(), "%N5&0\n");
    runtime.send("%L5&12&3&1&3&9");
    ASSERT_TRUE(waitForStatus("a.jsp: stopped at line 3 (F6 Step, F8 Run)"));

    page()->run();
    ASSERT_TRUE(waitForStatus("Running (F6 Pause, Ctrl+F2 Terminate)"));
    EXPECT_EQ(runtime.reply(), "%N5&1\n");
    runtime.send(PageRuntimeRecords::clientExit());
    ASSERT_TRUE(waitForStatus(
        QStringLiteral("Page ended. Waiting for the next page on port %1").arg(port())));

    // A page that does not compile says how to walk its errors: only the keys that go
    // somewhere from the error shown.
    ScriptedRuntime broken(port());
    ASSERT_TRUE(broken.connected);
    const std::string brokenFile = tree.dir.write("pages/include.jsp", "<% if (x) { %>\n<p>\n");
    broken.send("%M7&" + brokenFile + "&/w/include.java");
    ASSERT_TRUE(waitForStatus("include.jsp: compile errors (F4 Next error)"));
    EXPECT_EQ(broken.reply(), "%N7&23\n") << "the first error is asked for";
    broken.send("%P7&2&1&1&1&1&1&5&missing brace&12");
    ASSERT_TRUE(waitForStatus("include.jsp: compile errors (F4 Next error)"));
    page()->nextErr();
    EXPECT_EQ(broken.reply(), "%N7&23\n");
    broken.send("%P7&2&1&1&2&1&2&3&unknown tag&11");
    ASSERT_TRUE(
        waitForStatus("include.jsp: compile errors (F4 Next error, Shift+F4 Previous error)"));
    page()->nextErr();
    EXPECT_EQ(broken.reply(), "%N7&23\n");
    broken.send("%P7&2&1&1&2&1&2&3&unclosed tag&13");
    ASSERT_TRUE(waitForStatus("include.jsp: compile errors (Shift+F4 Previous error)"));

    // A page with one error has nowhere to walk to.
    page()->terminate();
    ScriptedRuntime once(port());
    ASSERT_TRUE(once.connected);
    once.send("%M8&" + brokenFile + "&/w/include.java");
    ASSERT_TRUE(waitForStatus("include.jsp: compile errors (F4 Next error)"));
    once.send("%P8&2&1&1&1&1&1&5&missing brace&14");
    ASSERT_TRUE(waitForStatus("include.jsp: one compile error"));
}

// ---- Open page ----

class OpenPageTest : public MonitorWindowTest {
protected:
    // The runtime beside the monitor's programs, as an install has it.
    void installPageRunner() {
        std::filesystem::create_symlink(TRACEWIN_PAGERUNNER,
                                        tree.dir.path() / "jspvlm/nqc/bin/pagerunner");
    }
    // Chooses Open page as the menu does and accepts the dialog with `request`.
    void openPage(const PageLaunchRequest& request) {
        page()->action(SplitPageController::OpenPage)->processAction(QStringLiteral("test"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->openPageDialog() != nullptr; }, 5000));
        OpenPageDialog* dialog = monitor->openPageDialog();
        ASSERT_TRUE(dialog->isVisible());
        dialog->setRequest(request);
        dialog->accept();
    }
    bool waitForDialog() {
        return QTest::qWaitFor([&] { return !dialogs.empty(); }, 15000);
    }
};

TEST_F(OpenPageTest, RunsPagerunnerOnTheChosenFileAndThePageAppears) {
    installPageRunner();
    const std::string file =
        tree.dir.write("pages/hello.jsp", "<html>\n<body>\n<p><%= 1 + 2 %></p>\n</body>\n");
    startMonitor();
    const PageLaunchRequest request{PageLaunchRequest::Kind::JspFile, file, "", "", "", {}};
    openPage(request);

    JspView* jsp = monitor->frame()->findTool<JspView>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->getCanvas() != nullptr; }, 15000));
    EXPECT_EQ(jsp->model().lineCount(), 4);
    ASSERT_TRUE(waitForStatus("hello.jsp: loaded, waiting for the first step (F6 Step, F8 Run)"));
    const qint64 pid = monitor->runtimeLauncher()->processId();
    ASSERT_GT(pid, 0);

    // The choice is offered again next time.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(PageLaunchSettings::inProgramDir(tree.program).load(), request);
    page()->action(SplitPageController::OpenPage)->processAction(QStringLiteral("test"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->openPageDialog() != nullptr; }, 5000));
    EXPECT_EQ(monitor->openPageDialog()->request(), request);
    monitor->openPageDialog()->reject();

    // The monitor's end ends the runtime it started.
    closeMonitor();
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0);
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(OpenPageTest, ARuntimeThatCannotStartIsReportedWithItsReason) {
    startMonitor(); // no pagerunner beside the monitor
    openPage({PageLaunchRequest::Kind::JspFile, "/p/a.jsp", "", "", "", {}});
    ASSERT_TRUE(waitForDialog());
    EXPECT_NE(dialogs[0].find("Cannot start pagerunner"), std::string::npos) << dialogs[0];
    EXPECT_FALSE(monitor->runtimeLauncher()->isRunning());
}

TEST_F(OpenPageTest, ARuntimeThatEndsWithAFailureIsReportedWithItsMessage) {
    installPageRunner();
    startMonitor();
    openPage({PageLaunchRequest::Kind::JspFile, tree.dir.str() + "/no/such.jsp", "", "", "", {}});
    ASSERT_TRUE(waitForDialog());
    EXPECT_NE(dialogs[0].find("pagerunner ended with exit code 2"), std::string::npos)
        << dialogs[0];
    // Its own words say why.
    EXPECT_NE(dialogs[0].find("such.jsp"), std::string::npos) << dialogs[0];
}

TEST_F(OpenPageTest, AnIncompleteChoiceStartsNothingAndSaysWhy) {
    startMonitor();
    openPage({PageLaunchRequest::Kind::AttachTomcat, "", "", " ", "", {}});
    ASSERT_TRUE(waitForDialog());
    EXPECT_NE(dialogs[0].find("Cannot start the page"), std::string::npos) << dialogs[0];
}

} // namespace

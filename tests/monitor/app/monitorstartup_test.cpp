#include "app/monitor.h"
#include "app/monitorcontroller.h"
#include "app/monitorparts.h"
#include "app/simplepagecontrollers.h"
#include "app/splitpagecontroller.h"
#include "panekit/application.h"
#include "panekit/workbookframe.h"
#include "support/installtree.h"
#include "tracehook/applicationstatus.h"
#include "tracehook/classpath.h"
#include "tracehook/debugconstants.h"
#include "tracehook/messagehandler.h"
#include "tracehook/pageruntimerecords.h"
#include "tracehook/systemproperties.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/jspview.h"
#include "views/monitorevents.h"

#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tracewin;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::filesystem::path kResources = TRACEWIN_RESOURCES;

class MonitorStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = panekit::Application::getApplication(QString::fromLatin1(Monitor::applicationKey));
        registerMonitorParts(app->getPartsFactory());
        app->setExitHandler([this](int code) { appExitCodes.push_back(code); });
        Monitor::setExitHandler([this](int code) { exitCodes.push_back(code); });
        previous = tracehook::MessageHandler::setPresenter(
            [this](const tracehook::MessageHandler::Dialog& d) { dialogs.push_back(d.message); });
    }
    void TearDown() override {
        tracehook::MessageHandler::setPresenter(previous);
        Monitor::setExitHandler({});
        app->setExitHandler({});
        if (monitor && monitor->frame())
            delete monitor->frame();
        monitor.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    bool start(std::vector<std::string> args) {
        monitor = std::make_unique<Monitor>();
        return monitor->start(args, Monitor::Options{false, false});
    }
    MonitorController* controller() const {
        return monitor && monitor->frame()
                   ? dynamic_cast<MonitorController*>(monitor->frame()->getController())
                   : nullptr;
    }
    template <class T> T* findTool() const { return monitor->frame()->template findTool<T>(); }

    panekit::Application* app = nullptr;
    std::unique_ptr<Monitor> monitor;
    std::vector<int> exitCodes, appExitCodes;
    std::vector<std::string> dialogs;
    tracehook::MessageHandler::Presenter previous;
};

TEST_F(MonitorStartupTest, ShowsTheWindowListensAndHandsRecordsToItsPage) {
    testsupport::InstallTree tree(0, kResources);
    CaptureStdout();
    ASSERT_TRUE(start({}));
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("The connect port is: 0"), std::string::npos);
    ASSERT_TRUE(monitor->frame());
    EXPECT_TRUE(monitor->frame()->isVisible());
    ASSERT_TRUE(controller());
    const quint16 port = controller()->connections().listeningPort();
    ASSERT_NE(port, 0);

    const std::string page = tree.dir.write("pages/a.jsp", "<html>\n<body>\n<p>hi there</p>\n");
    QTcpSocket runtime;
    runtime.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(runtime.waitForConnected(3000));
    runtime.write(tracehook::PageRuntimeRecords::framed("%F5&" + page + "&/w/a.java").c_str());
    JspView* jsp = findTool<JspView>();
    ASSERT_TRUE(jsp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->getCurFileIdStr() == "5"; }, 3000));
    ASSERT_TRUE(jsp->getCanvas());
    EXPECT_EQ(jsp->model().lineCount(), 3);

    // A command from the page travels up to the wire.
    SplitPageController* pageController = findTool<SplitPageController>();
    ASSERT_TRUE(pageController);
    pageController->fireParentLinkEvent(
        std::make_shared<ResumeEvent>(pageController, QString(), std::any(1)));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return runtime.bytesAvailable() > 0 || runtime.waitForReadyRead(10); }, 3000));
    EXPECT_EQ(runtime.readAll().toStdString(), "%N5&1\n");
    runtime.write(tracehook::PageRuntimeRecords::framed("%L5&12&3&1&3&9").c_str());
    const CommonViewComponentHighlighter& mark = jsp->getCanvas()->getHighlighter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mark.isClear(); }, 3000));
    EXPECT_EQ(*mark.getStartPosition(), FilePosition(1, 3));
    EXPECT_EQ(*mark.getEndPosition(), FilePosition(8, 3));
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(MonitorStartupTest, HideBuildsTheWindowShowsNothingAndExitsWithZero) {
    testsupport::InstallTree tree(0, kResources);
    CaptureStdout();
    ASSERT_TRUE(start({"-hide"}));
    GetCapturedStdout();
    EXPECT_EQ(appExitCodes, std::vector<int>{0});
    ASSERT_TRUE(monitor->frame());
    EXPECT_FALSE(monitor->frame()->isVisible());
}

TEST_F(MonitorStartupTest, APortInUseShowsTheDialogAndExitsWithAFailure) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    testsupport::InstallTree tree(taken.serverPort(), kResources);
    CaptureStdout();
    start({});
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("Error: Cannot get the local host address.\n\tException: "),
              std::string::npos);
    EXPECT_NE(out.find("Monitor init fail: "), std::string::npos);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].find("could not start"), std::string::npos);
    EXPECT_EQ(exitCodes, std::vector<int>{1});
    EXPECT_NE(testsupport::readFile(tree.program + "/com/zet/kwo/jsp/ui/monitorStatus.properties")
                  .find("IsMonitorWindowExists=false"),
              std::string::npos);
}

TEST_F(MonitorStartupTest, AMissingDefaultPropertiesOnlyPrintsItsMessage) {
    testsupport::InstallTree tree(0, kResources);
    std::filesystem::remove(tree.program + "/com/zet/kwo/jsp/ui/default.properties");
    CaptureStdout();
    start({});
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("main: error loading default.properties"), std::string::npos);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(MonitorStartupTest, AnotherProcessCanBringTheWindowToTheFront) {
    testsupport::InstallTree tree(0, kResources);
    ASSERT_TRUE(start({}));
    int raised = 0;
    QObject::connect(monitor.get(), &Monitor::broughtToFront, [&] { ++raised; });
    const std::string status = tree.program + "/appStatus.properties";
    ASSERT_TRUE(tracehook::ApplicationStatus::sendBringAppToFront(status));
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised > 0; }, 9000));
    // The monitor's status thread rewrites its file at every round: once the round after
    // the one that took the request has, whatever the request set off is posted here.
    auto inode = [&] {
        struct stat info {};
        return ::stat(status.c_str(), &info) == 0 ? info.st_ino : ino_t{};
    };
    const ino_t seen = inode();
    ASSERT_TRUE(QTest::qWaitFor([&] { return inode() != seen; }, 60000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(raised, 1) << "one request raises the window once";
}

} // namespace

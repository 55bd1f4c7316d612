#include "../support/tempdir.h"
#include "commandaction.h"
#include "commonviewcomponent.h"
#include "commonviewcomponenthighlighter.h"
#include "commonviewcomponentlayoutmanager.h"
#include "htmlview.h"
#include "jsplstview.h"
#include "jspview.h"
#include "monitor.h"
#include "monitorcontroller.h"
#include "monitorevents.h"
#include "monitorparts.h"
#include "monitorsettings.h"
#include "pagerunner/pagerunner.h"
#include "panekit/application.h"
#include "panekit/workbookframe.h"
#include "splitpagecontroller.h"
#include "stackview.h"
#include "states.h"
#include "tracehook/classpath.h"
#include "tracehook/debugconstants.h"
#include "tracehook/messagehandler.h"
#include "tracehook/systemproperties.h"

#include <QTest>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

using namespace tracewin;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::filesystem::path kResources = TRACEWIN_RESOURCES_DIR;
const std::filesystem::path kExamples = TRACEWIN_EXAMPLES_DIR;

// A test-environment tree laid out as an install lays it out, listening on any free port.
class InstallTree {
public:
    InstallTree() {
        const std::filesystem::path root = dir.path();
        program = (root / "jspvlm/tools/com-zet-kwo-ui-jspdebug").string();
        std::filesystem::create_directories(root / "jspvlm/nqc/bin");
        std::filesystem::create_directories(program + "/com/zet/kwo/jsp/ui");
        std::filesystem::create_directories(root / "com/zet/kwo/jsp/debugger");
        for (const char* f : {"JspToolLabel.properties", "JspExeLabel.properties"})
            std::filesystem::copy_file(kResources / "debugger" / f,
                                       root / "com/zet/kwo/jsp/debugger" / f);
        for (const char* f :
             {"default.properties", "Monitor.cfg", "Monitor.properties", "MonitorMsg.properties"})
            std::filesystem::copy_file(kResources / "monitor/ui" / f,
                                       std::filesystem::path(program) / "com/zet/kwo/jsp/ui" / f);
        dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
                  "port=0\nDebugModeOn=false\nRetrieveSyntaxErr=true\nSkipRunAnimation=false\n");
        tracehook::SystemProperties::reset();
        tracehook::SystemProperties::set("java.home", (root / "jspvlm/nqc/bin").string());
        tracehook::SystemProperties::set("os.name", "Linux");
        tracehook::SystemProperties::set("user.dir", root.string());
        tracehook::ClassPath::setDirectories({program, root.string()});
        tracehook::DebugConstants::resetForTests();
    }
    ~InstallTree() {
        tracehook::ClassPath::setDirectories({});
        tracehook::SystemProperties::reset();
    }
    testsupport::TempDir dir;
    std::string program;
};

// The monitor's main window in this process, with the stand-in test server running a page
// against it on a thread of its own.
class MonitorPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        States::resetForTests();
        app = panekit::Application::getApplication(QString::fromLatin1(Monitor::applicationKey));
        registerMonitorParts(app->getPartsFactory());
        app->setExitHandler([](int) {});
        Monitor::setExitHandler([](int) {});
        previous = tracehook::MessageHandler::setPresenter([](const auto&) {});
        CaptureStdout();
        monitor = std::make_unique<Monitor>();
        ASSERT_TRUE(monitor->start({}, Monitor::Options{false, false}));
        jsp = findTool<JspView>();
        html = findTool<HtmlView>();
        page = findTool<SplitPageController>();
        ASSERT_TRUE(jsp && html && page && findTool<StackView>() && findTool<JspLstView>());
    }
    void TearDown() override {
        if (runner)
            runner->stop();
        if (thread.joinable())
            thread.join();
        if (monitor && monitor->frame())
            delete monitor->frame();
        monitor.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const std::string out = GetCapturedStdout();
        if (HasFailure())
            std::cerr << "The monitor's output:\n" << out;
        tracehook::MessageHandler::setPresenter(previous);
        Monitor::setExitHandler({});
        app->setExitHandler({});
    }

    template <class T> T* findTool() const {
        T* found = nullptr;
        monitor->frame()->applyToAllTools([&](panekit::Tool& t) {
            if (!found)
                found = dynamic_cast<T*>(&t);
        });
        return found;
    }
    void runPage(const std::string& name) {
        pagerunner::PageRunnerOptions options;
        options.page = (kExamples / name).string();
        options.port = dynamic_cast<MonitorController*>(monitor->frame()->getController())
                           ->connections()
                           .listeningPort();
        options.workDir = (tree.dir.path() / "work").string();
        options.params = {{"user", "Ann"}};
        runner = std::make_unique<pagerunner::PageRunner>(options);
        thread = std::thread([this] {
            runner->run();
            finished = true;
        });
    }
    // Chooses a command as a click on its button would.
    void choose(SplitPageController::Command command) {
        ASSERT_TRUE(page->action(command)->isEnabled()) << "command " << command;
        page->action(command)->processAction(QStringLiteral("test"));
    }
    std::optional<FilePosition> mark() const {
        CommonViewComponent* canvas = jsp->getCanvas();
        return canvas ? canvas->getHighlighter().getStartPosition() : std::nullopt;
    }
    bool waitForMarkOtherThan(std::optional<FilePosition> old) {
        return QTest::qWaitFor([&] { return mark() && mark() != old; }, 5000);
    }

    InstallTree tree;
    panekit::Application* app = nullptr;
    tracehook::MessageHandler::Presenter previous;
    std::unique_ptr<Monitor> monitor;
    JspView* jsp = nullptr;
    HtmlView* html = nullptr;
    SplitPageController* page = nullptr;
    std::unique_ptr<pagerunner::PageRunner> runner;
    std::thread thread;
    std::atomic<bool> finished{false};
};

TEST_F(MonitorPageTest, StepsRunsToABreakpointAndFastForwardsToTheEnd) {
    runPage("loop.jsp");
    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->getCanvas() != nullptr; }, 5000));
    EXPECT_EQ(jsp->model().lineCount(), 13);
    EXPECT_EQ(jsp->getModel(), static_cast<panekit::AbstractModel*>(&jsp->model()))
        << "the view shows the framework's model";

    // Step: the mark moves from one position to the next.
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(std::nullopt));
    const FilePosition first = *mark();
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(first));
    EXPECT_TRUE(first.isLessThan(*mark()));

    // A breakpoint on the loop body stops an animated run there.
    CommonViewComponent* canvas = jsp->getCanvas();
    const QPoint margin(3, canvas->getLayoutManager().lineNumberToYCoord(8) + 2);
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, margin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).count(8) == 1; }, 5000));
    choose(SplitPageController::Run);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return States::createStates().getCurrentState() == States::RUN; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return States::createStates().getCurrentState() == States::STEP; }, 10000));
    ASSERT_TRUE(mark());
    EXPECT_EQ(mark()->line, 8);
    EXPECT_FALSE(finished);

    // Without the breakpoint, fast forward runs the page to its end.
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, margin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).empty(); }, 5000));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    QString output;
    for (const auto& line : html->model().getLines())
        output += line->getViewLine() + "\n";
    EXPECT_NE(output.indexOf("3 squared is 9"), -1) << output.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
}

} // namespace

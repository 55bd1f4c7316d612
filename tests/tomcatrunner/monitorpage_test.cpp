// The monitor's main window in this process, debugging pages that run in a real Tomcat: what
// a user does with it (step, run to a breakpoint, terminate, follow an include, walk compile
// errors) works the same as with the stand-in runtime.
#include "debuggedtomcat.h"
#include "pagerunner/stopsignal.h"
#include "support/monitorwindow.h"
#include "tempdir.h"
#include "views/commonview.h"
#include "views/variablesview.h"

#include <QTreeWidget>

namespace {

namespace fs = std::filesystem;
using namespace tracewin;
using tomcatrunner::RequestResult;
using tomcattest::DebuggedTomcat;
using tomcattest::TempDir;

// The first request of a page compiles it, which takes a while on a loaded machine.
constexpr int FirstRecordWait = 120'000;

class TomcatMonitorTest : public testsupport::MonitorWindowTest {
protected:
    TomcatMonitorTest() : MonitorWindowTest(TRACEWIN_RESOURCES_DIR) {}

    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("tomcatrunner-monitor");
        tomcat_ = DebuggedTomcat::servingCopiesOf({TRACEWIN_EXAMPLES, TOMCATRUNNER_TEST_PAGES},
                                                  dir_->path);
    }
    static void TearDownTestSuite() {
        tomcat_.reset();
        dir_.reset();
    }
    void SetUp() override {
        ASSERT_NE(tomcat_, nullptr) << "the server did not start";
        MonitorWindowTest::SetUp();
    }
    void stopRuntime() override { stop_.stop(); }

    void runPage(const std::string& target) {
        const int port = monitorPort();
        thread = std::thread([this, target, port] {
            try {
                result_ = tomcat_->debug(target, port, stop_, settingsFile_);
            } catch (const std::exception& e) {
                // Stopped by the fixture, or a failure the test reports through result_.
                result_.kind = RequestResult::Kind::MonitorLost;
                result_.message = e.what();
            }
            finished = true;
        });
    }
    // Steps until the JSP view shows a file whose name ends with `name`.
    void stepUntilFile(const char* name) {
        for (int i = 0; i < 40 && !jspFileName().endsWith(QLatin1String(name)) && !finished; ++i) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return enabled(SplitPageController::Step); }, 10000));
            const auto old = mark();
            const QString file = jspFileName();
            choose(SplitPageController::Step);
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return (mark() && mark() != old) || jspFileName() != file || finished; },
                10000));
        }
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<DebuggedTomcat> tomcat_;
    pagerunner::StopSignal stop_;
    std::string settingsFile_; // the monitor's debug settings, read for the variables key
    RequestResult result_;     // written by the runtime's thread before `finished`
};

TEST_F(TomcatMonitorTest, ABreakpointStopsAnAnimatedRunThenFastForwardEndsThePage) {
    runPage("/loop.jsp?user=Ann");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(waitForButtons("TTTTFF")) << buttons();
    EXPECT_EQ(jsp->model().lineCount(), 13);

    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(std::nullopt));

    // Each Run stops on the loop body, once per pass, with the passes before it written.
    toggleBreakpoint(8);
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_TRUE(runToStop(60'000));
        EXPECT_TRUE(markCovers(8)) << (mark() ? mark()->line : -1);
        EXPECT_EQ(jsp->getLastBreakptLine(), 8);
        EXPECT_EQ(htmlOutput().indexOf(QStringLiteral("%1 squared is").arg(pass + 1)), -1)
            << htmlOutput().toStdString();
        // Run on past the spans of the same line before the next pass.
    }
    EXPECT_NE(htmlOutput().indexOf("1 squared is 1"), -1) << htmlOutput().toStdString();

    // Without the breakpoint, fast forward runs the page to its end.
    toggleBreakpoint(8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return enabled(SplitPageController::FastForward); }, 5000));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::Ended) << result_.message;
    EXPECT_TRUE(QTest::qWaitFor([&] { return htmlOutput().indexOf("</html>") != -1; }, 5000));
    EXPECT_NE(htmlOutput().indexOf("3 squared is 9"), -1) << htmlOutput().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
}

// The Variables view and a conditional breakpoint work on what Tomcat's page holds.
TEST_F(TomcatMonitorTest, AConditionalBreakpointStopsWhereTheVariablesSayItHolds) {
    settingsFile_ = tree.program + "/jspdebug.properties";
    runPage("/loop.jsp?user=Ann");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(waitForButtons("TTTTFF")) << buttons();
    ASSERT_TRUE(jsp->setBreakpointCondition(8, QStringLiteral("i == 2")));

    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::RUN; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::STEP || finished; }, 60'000));
    ASSERT_FALSE(finished) << result_.message;
    EXPECT_TRUE(markCovers(8));
    EXPECT_NE(htmlOutput().indexOf("1 squared is 1"), -1) << htmlOutput().toStdString();
    EXPECT_EQ(htmlOutput().indexOf("2 squared is"), -1) << htmlOutput().toStdString();

    // The view shows the stop (a run's last stop within its pace): the loop variable and
    // the request's parameter.
    auto* view = findTool<VariablesView>();
    QStringList shown;
    auto look = [&] {
        shown.clear();
        QString i;
        bool user = false;
        QTreeWidget* shownTree = view->tree();
        for (int g = 0; shownTree && g < shownTree->topLevelItemCount(); ++g) {
            QTreeWidgetItem* group = shownTree->topLevelItem(g);
            for (int c = 0; c < group->childCount(); ++c) {
                shown << group->text(0) + "/" + group->child(c)->text(0);
                if (group->text(0) == "Locals" && group->child(c)->text(0) == "i")
                    i = group->child(c)->text(2);
                user = user || (group->text(0) == "Request parameters" &&
                                group->child(c)->text(0) == "user");
            }
        }
        return view->showsTree() && i == "2" && user;
    };
    EXPECT_TRUE(QTest::qWaitFor(look, 5000)) << shown.join(", ").toStdString();

    jsp->setRunAnimationDelay(1);
    choose(SplitPageController::Run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::Ended) << result_.message;
}

TEST_F(TomcatMonitorTest, TerminateEndsThePageAndTheServerGoesOn) {
    runPage("/loop.jsp?user=Ann");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(waitForButtons("TTTTFF")) << buttons();
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(std::nullopt));

    choose(SplitPageController::Terminate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::MonitorClosed) << result_.message;
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
    EXPECT_EQ(htmlOutput().indexOf("3 squared is 9"), -1) << "the page is no longer shown";
    // The request itself ran on to its end, and the server serves the next one.
    EXPECT_NE(result_.body.find("3 squared is 9"), std::string::npos);
    EXPECT_NE(tomcat_->plainBody("/plain.jsp").find("Plain page"), std::string::npos);
}

TEST_F(TomcatMonitorTest, AnIncludedPageIsShownThenTheIncluderComesBack) {
    runPage("/include.jsp");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(jspFileName().endsWith("include.jsp")) << jspFileName().toStdString();
    auto* files = findTool<JspLstView>();
    stepUntilFile("header.jsp");
    ASSERT_TRUE(jspFileName().endsWith("header.jsp")) << jspFileName().toStdString();
    EXPECT_EQ(files->getList()->count(), 2);
    EXPECT_EQ(files->getList()->currentRow(), 1);

    stepUntilFile("include.jsp");
    ASSERT_TRUE(jspFileName().endsWith("include.jsp")) << jspFileName().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark().has_value(); }, 5000));
    EXPECT_GE(mark()->line, 4) << "the including page stands at its include or after it";
    EXPECT_EQ(files->getList()->currentRow(), 0);

    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return htmlOutput().indexOf("After the header") != -1; }, 5000))
        << htmlOutput().toStdString();
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
}

TEST_F(TomcatMonitorTest, APageThatFailsIntoItsErrorPageEndsWithIt) {
    runPage("/fails.jsp?fail=1");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(waitForButtons("TTTTFF")) << buttons();
    stepUntilFile("failed.jsp");
    ASSERT_TRUE(jspFileName().endsWith("failed.jsp")) << jspFileName().toStdString();
    // Fast forward runs the error page to its end; back in the failing page, the monitor
    // stops as at every change of file, and Fast forward runs it to its end.
    for (int i = 0; i < 3 && !finished; ++i) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return finished ||
                       (state() == States::STEP && enabled(SplitPageController::FastForward));
            },
            10000))
            << buttons();
        if (finished)
            break;
        choose(SplitPageController::FastForward);
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished || state() != States::STEP; }, 10000));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::Ended) << result_.message;
    EXPECT_NE(result_.body.find("The error page shows: asked to fail"), std::string::npos);
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
}

TEST_F(TomcatMonitorTest, APageThatThrowsShowsTheExceptionWhereItWasThrown) {
    runPage("/throws.jsp");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(waitForButtons("TTTTFF")) << buttons();
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::Abnormal) << result_.message;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return jspStatus().startsWith(CommonView::labelText("L-RuntimeException")); }, 5000))
        << jspStatus().toStdString();
    EXPECT_NE(jspStatus().indexOf("The basket is empty"), -1) << jspStatus().toStdString();
    ASSERT_TRUE(mark());
    EXPECT_TRUE(markCovers(6)) << mark()->line;
    EXPECT_NE(htmlOutput().indexOf("Before the failure"), -1);
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
}

TEST_F(TomcatMonitorTest, ACompileErrorIsMarkedInThePage) {
    runPage("/jsperror.jsp");
    ASSERT_TRUE(waitForCanvas(FirstRecordWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark() && !jspStatus().trimmed().isEmpty(); }, 10000))
        << "the error is marked and its message shown";
    EXPECT_TRUE(waitForButtons("FFFTFF")) << buttons() << ": one error, nothing to walk to";
    EXPECT_EQ(state(), States::NEXT_ERR);
    EXPECT_GE(mark()->line, 4) << mark()->line;
    choose(SplitPageController::Terminate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 60'000));
    EXPECT_EQ(result_.kind, RequestResult::Kind::CompileFailed) << result_.message;
}

} // namespace

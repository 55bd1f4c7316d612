#include "core/debugsession.h"
#include "tracehook/compileerrorcodes.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/jspview.h"
#include "viewtestsupport.h"

#include <QTest>

using namespace tracewin;
using namespace viewtest;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const char* kPage = "<html>\n"
                    "<body>\n"
                    "<% int n = 3; %>\n"
                    "<% for (int i = 0; i < n; i++) { %>\n"
                    "  <p><%= i %></p>\n"
                    "<% } %>\n"
                    "\n"
                    "</body>\n";

class JspViewTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        page = dir.write("pages/a.jsp", kPage);
        other = dir.write("pages/b.jsp", "<p>b</p>\n<p>second</p>\n");
        view = std::make_unique<JspView>();
        view->setSession(session);
        useFiles(settings(false));
        view->setRunAnimationDelay(0);
        attach(*view);
    }
    void start(const std::string& id, const std::string& file, bool compileErr = false) {
        deliver<StartupEvent>(*view, fileRecord(id, file, std::nullopt, compileErr));
    }
    void highlight(int startLine, int startPos, int endLine, int endPos) {
        deliver<HighlightEvent>(*view, lineRecord("1", 1, startLine, startPos, endLine, endPos));
    }
    // The settings files of the run flags, as the monitor gives them to its session.
    void useFiles(const MonitorSettings& files) { session->useFlagFiles(files); }
    void run() { deliver<ChangeCurrentStateEvent>(*view, States::RUN); }
    int state() const { return session->currentState(); }
    void doubleClickMargin(int line) {
        CommonViewComponent* canvas = view->getCanvas();
        const int y = canvas->getLayoutManager().lineNumberToYCoord(line) + 2;
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, QPoint(3, y));
    }

    std::string page, other;
    std::shared_ptr<DebugSession> session = std::make_shared<DebugSession>();
    std::unique_ptr<JspView> view;
};

TEST_F(JspViewTest, StartupShowsThePageAndStepHighlightsTheSpan) {
    start("1", page);
    ASSERT_TRUE(view->getCanvas());
    EXPECT_EQ(view->getScrollPane()->widget(), view->getCanvas());
    EXPECT_EQ(view->model().lineCount(), 8);
    EXPECT_EQ(view->getCurFileIdStr(), "1");
    EXPECT_EQ(state(), States::STEP);
    EXPECT_EQ(status->text, " ");

    // The record's end is exclusive: column 12 of line 3 ends at column 11.
    highlight(3, 1, 3, 12);
    const auto& h = view->getCanvas()->getHighlighter();
    ASSERT_FALSE(h.isClear());
    EXPECT_EQ(*h.getStartPosition(), FilePosition(1, 3));
    EXPECT_EQ(*h.getEndPosition(), FilePosition(11, 3));
    EXPECT_EQ(probe.count<ResumeEvent>(), 0) << "stepping waits for the user";

    deliver<HighlightEvent>(*view);
    EXPECT_TRUE(h.isClear());
}

TEST_F(JspViewTest, ADoubleClickInTheMarginSetsAndClearsABreakpoint) {
    start("1", page);
    doubleClickMargin(5);
    doubleClickMargin(5);
    doubleClickMargin(7); // blank: takes none
    const auto sent = probe.of<SetBreakpointEvent>();
    ASSERT_EQ(sent.size(), 2u);
    const auto* set = sent[0]->itemAs<BreakpointInfo>();
    const auto* cleared = sent[1]->itemAs<BreakpointInfo>();
    ASSERT_TRUE(set && cleared);
    EXPECT_EQ(set->getLineNum(), 5);
    EXPECT_TRUE(set->getIsSetBreakpt());
    EXPECT_EQ(cleared->getLineNum(), 5);
    EXPECT_FALSE(cleared->getIsSetBreakpt());
    EXPECT_FALSE(set->getFileIdInt()) << "the page controller adds the file id";
}

TEST_F(JspViewTest, RunningResumesAfterEachHighlightAndStopsAtABreakpoint) {
    start("1", page);
    doubleClickMargin(5);
    run();
    highlight(2, 1, 2, 7);
    EXPECT_EQ(probe.count<ResumeEvent>(), 1);
    EXPECT_FALSE(probe.of<ResumeEvent>()[0]->hasItem()) << "the page controller adds the state";

    // A span over lines 4 to 6 meets the breakpoint on 5: the run stops there.
    highlight(4, 1, 6, 3);
    EXPECT_EQ(probe.count<ResumeEvent>(), 1);
    EXPECT_EQ(state(), States::STEP);
    const auto states = probe.of<SendStateEvent>();
    ASSERT_EQ(states.size(), 1u);
    ASSERT_TRUE(states[0]->itemAs<const States*>());
    EXPECT_EQ((*states[0]->itemAs<const States*>())->getCurrentState(), States::STEP);
    EXPECT_EQ(view->getLastBreakptLine(), 5);
}

TEST_F(JspViewTest, TheLastBreakpointStopDoesNotStopTheNextAnimatedStepOnItsLine) {
    start("1", page);
    doubleClickMargin(5);
    run();
    highlight(5, 3, 5, 10);
    EXPECT_EQ(probe.count<ResumeEvent>(), 0);
    EXPECT_EQ(view->getLastBreakptLine(), 5);

    // Run again: the same line runs on, and the memory stays while the span ends on it.
    run();
    highlight(5, 3, 5, 10);
    EXPECT_EQ(probe.count<ResumeEvent>(), 1);
    EXPECT_EQ(view->getLastBreakptLine(), 5);
    // Once the span has moved on, the memory goes, and line 5 stops the run again.
    highlight(6, 1, 6, 8);
    EXPECT_EQ(probe.count<ResumeEvent>(), 2);
    EXPECT_EQ(view->getLastBreakptLine(), 0);
    highlight(5, 3, 5, 10);
    EXPECT_EQ(probe.count<ResumeEvent>(), 2);
    EXPECT_EQ(state(), States::STEP);
}

TEST_F(JspViewTest, WithoutAnimationTheLastBreakpointStopsAgain) {
    useFiles(settings(true));
    start("1", page);
    doubleClickMargin(5);
    run();
    highlight(5, 3, 5, 10);
    run();
    highlight(5, 3, 5, 10);
    EXPECT_EQ(probe.count<ResumeEvent>(), 0);
    EXPECT_EQ(state(), States::STEP);
}

TEST_F(JspViewTest, APauseRequestStopsTheRunAndIsCleared) {
    MonitorSettings files = settings(false, true);
    useFiles(files);
    start("1", page);
    run();
    highlight(2, 1, 2, 7);
    EXPECT_EQ(probe.count<ResumeEvent>(), 0);
    EXPECT_EQ(state(), States::STEP);
    EXPECT_FALSE(files.getIsRunPause());
}

TEST_F(JspViewTest, AnAnimatedRunWaitsItsDelayFastForwardDoesNot) {
    view->setRunAnimationDelay(60);
    start("1", page);
    run();
    highlight(2, 1, 2, 7);
    EXPECT_EQ(probe.count<ResumeEvent>(), 0);
    EXPECT_EQ(view->pendingResumeDelay(), 60) << "the run waits its delay";
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.count<ResumeEvent>() == 1; }, 3000));
    EXPECT_FALSE(view->isResumePending());

    // A run that ends while it waits does not go on when its delay is over.
    highlight(3, 1, 3, 5);
    EXPECT_TRUE(view->isResumePending());
    deliver<ChangeCurrentStateEvent>(*view, States::TERMINATE);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isResumePending(); }, 3000));
    QCoreApplication::processEvents();
    EXPECT_EQ(probe.count<ResumeEvent>(), 1);

    useFiles(settings(true));
    run();
    highlight(3, 1, 3, 5);
    EXPECT_EQ(probe.count<ResumeEvent>(), 2) << "fast forward goes on at once";
}

TEST_F(JspViewTest, ACompileErrorPageWalksItsErrorsWithTheirButtons) {
    start("4", page, true);
    EXPECT_EQ(state(), States::NEXT_ERR);
    EXPECT_EQ(probe.count<SendStateEvent>(), 1);
    EXPECT_EQ(probe.count<NextErrEvent>(), 1);

    auto error = [&](int position) {
        deliver<HighlightEvent>(*view, std::make_shared<const JspSourceInfo>(
                                           "4", tracehook::CompileErrorCodes::JSP_ERR, 0, 0, 3, 1,
                                           3, 5, "unclosed scriptlet", position));
        const auto buttons = probe.of<ChangeButtonStateEvent>();
        return buttons.empty() ? ButtonStates() : *buttons.back()->itemAs<ButtonStates>();
    };
    using Codes = tracehook::CompileErrorCodes;
    EXPECT_TRUE(
        error(Codes::FIRST_AND_LAST_ERR).sameFlags({false, false, false, true, false, false}));
    EXPECT_NE(status->text.indexOf("unclosed scriptlet"), -1) << status->text.toStdString();
    EXPECT_TRUE(error(Codes::FIRST_ERR).sameFlags({false, false, false, true, false, true}));
    EXPECT_TRUE(error(Codes::NORMAL_ERR).sameFlags({false, false, false, true, true, true}));
    EXPECT_TRUE(error(Codes::LAST_ERR).sameFlags({false, false, false, true, true, false}));
    const int before = probe.count<ChangeButtonStateEvent>();
    error(0);
    EXPECT_EQ(probe.count<ChangeButtonStateEvent>(), before) << "other positions keep the buttons";
}

TEST_F(JspViewTest, ClientExitClearsOrKeepsTheMarkAndReportsAnAbnormalEnd) {
    start("1", page);
    highlight(3, 1, 3, 12);
    const auto& h = view->getCanvas()->getHighlighter();

    deliver<ClientExitEvent>(*view, JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND);
    EXPECT_EQ(status->text, CommonView::labelText("L-RuntimeException"));
    EXPECT_FALSE(h.isClear());

    deliver<ClientExitEvent>(
        *view, Record(std::make_shared<const JspSourceInfo>(
                   JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND, "1", 0, 5, 3, 5, 9, "boom")));
    EXPECT_EQ(status->text, CommonView::labelText("L-RuntimeException") + ": boom");
    EXPECT_FALSE(h.isClear());

    deliver<ClientExitEvent>(*view, JspSourceInfo::CLIENT_EXIT_COMMAND);
    EXPECT_TRUE(h.isClear());
}

TEST_F(JspViewTest, SwitchingBackRestoresCanvasHighlightBreakpointsAndStatus) {
    start("1", page);
    CommonViewComponent* first = view->getCanvas();
    doubleClickMargin(5);
    highlight(3, 1, 3, 12);
    status->setMessage("message of a");

    start("2", other);
    CommonViewComponent* second = view->getCanvas();
    ASSERT_NE(first, second);
    EXPECT_EQ(view->model().lineCount(), 2);
    EXPECT_FALSE(second->getBreakpointState(5));

    deliver<SwitchJspFileEvent>(*view, 1);
    EXPECT_EQ(view->getCanvas(), first);
    EXPECT_EQ(view->getScrollPane()->widget(), first);
    EXPECT_EQ(view->getCurFileIdStr(), "1");
    EXPECT_EQ(view->model().lineCount(), 8);
    EXPECT_TRUE(first->getBreakpointState(5));
    EXPECT_EQ(*first->getHighlighter().getStartPosition(), FilePosition(1, 3));
    EXPECT_EQ(status->text, "message of a");

    EXPECT_TRUE(session->isBreakpoint(1, 5)) << "the session keeps each file's breakpoints";
    EXPECT_FALSE(session->isBreakpoint(2, 5));

    // Each file comes back in the execution state it was left in.
    session->setCurrentState(States::NEXT_ERR);
    deliver<SwitchJspFileEvent>(*view, 2);
    EXPECT_EQ(view->getCanvas(), second);
    EXPECT_EQ(view->model().lineCount(), 2);
    EXPECT_EQ(state(), States::STEP);
    deliver<SwitchJspFileEvent>(*view, 1);
    EXPECT_EQ(state(), States::NEXT_ERR);
}

TEST_F(JspViewTest, AStartupWhoseFileIsMissingShowsNoTextAndKeepsTheCanvas) {
    start("1", page);
    CommonViewComponent* shown = view->getCanvas();
    CaptureStdout();
    start("2", dir.str() + "/nowhere.jsp");
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("JspView.handleLinkedEvent(StartupEvent) - caught I/O exception"),
              std::string::npos);
    EXPECT_EQ(view->getCanvas(), shown);
    EXPECT_EQ(view->model().lineCount(), 0);
    highlight(3, 1, 3, 12); // nothing to mark, nothing breaks
}

} // namespace

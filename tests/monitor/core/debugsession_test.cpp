#include "core/debugsession.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

using tracewin::ButtonStates;
using tracewin::DebugSession;
using tracewin::MonitorSettings;
using tracewin::States;
using Action = tracewin::RunRules::Decision::Action;

namespace {

// A session whose run flags live in settings files of a folder of its own.
class DebugSessionTest : public ::testing::Test {
protected:
    DebugSessionTest() {
        std::filesystem::create_directories(dir.path() / "com/zet/kwo/jsp/ui");
        session.useFlagFiles(files);
    }
    void setBreakpoint(int fileId, int line) { session.breakpoints(fileId)->add(line); }

    testsupport::TempDir dir;
    MonitorSettings files{dir.str(), dir.str(), [](std::string_view) {
                              return "#";
                          }};
    DebugSession session;
};

TEST_F(DebugSessionTest, ARunStopsAtABreakpointOnTheNextLineOnlyInItsOwnFile) {
    setBreakpoint(1, 5);
    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.currentState(), States::RUN);
    EXPECT_EQ(session.afterPosition(1, 4, 4), Action::ResumeAfterDelay);
    EXPECT_EQ(session.afterPosition(2, 5, 5), Action::ResumeAfterDelay)
        << "another file's line 5 holds no breakpoint";
    EXPECT_EQ(session.afterPosition(1, 5, 6), Action::Stop);
    EXPECT_EQ(session.currentState(), States::STEP) << "a stop puts the session back to STEP";
    EXPECT_EQ(session.lastBreakpointLine(), 5);

    // Run again from the breakpoint: its own line runs on, and the next stop is a new one.
    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.afterPosition(1, 5, 5), Action::ResumeAfterDelay);
    EXPECT_EQ(session.afterPosition(1, 6, 6), Action::ResumeAfterDelay);
    EXPECT_EQ(session.lastBreakpointLine(), 0);
    EXPECT_EQ(session.afterPosition(1, 5, 5), Action::Stop);
}

TEST_F(DebugSessionTest, StepWhileRunningPausesAtTheNextPositionOnce) {
    EXPECT_EQ(session.step(), DebugSession::StepOutcome::Resume) << "not running: one step";
    EXPECT_EQ(session.currentState(), States::STEP);
    EXPECT_FALSE(files.getIsRunPause());

    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.step(), DebugSession::StepOutcome::PauseRequested);
    EXPECT_EQ(session.currentState(), States::RUN) << "the run goes on until its next position";
    EXPECT_TRUE(files.getIsRunPause()) << "the request is written for other programs";

    EXPECT_EQ(session.afterPosition(1, 2, 2), Action::Stop);
    EXPECT_EQ(session.currentState(), States::STEP);
    EXPECT_FALSE(session.pauseRequested());
    EXPECT_FALSE(files.getIsRunPause()) << "the pause is used up";
}

TEST_F(DebugSessionTest, FastForwardGoesOnAtOnceAndARunInProgressTakesTheNewSetting) {
    ASSERT_TRUE(session.startRun(true));
    EXPECT_TRUE(files.getIsSkipRunAnimation());
    EXPECT_EQ(session.afterPosition(1, 2, 2), Action::ResumeNow);

    EXPECT_FALSE(session.startRun(false)) << "a run in progress does not start again";
    EXPECT_FALSE(files.getIsSkipRunAnimation());
    EXPECT_EQ(session.afterPosition(1, 3, 3), Action::ResumeAfterDelay)
        << "Run during Fast forward brings the animation delay back";

    // Without animation a breakpoint stops the run even on the line it stopped at last.
    setBreakpoint(1, 4);
    EXPECT_FALSE(session.startRun(true));
    EXPECT_EQ(session.afterPosition(1, 4, 4), Action::Stop);
    ASSERT_TRUE(session.startRun(true));
    EXPECT_EQ(session.afterPosition(1, 4, 4), Action::Stop);
}

TEST_F(DebugSessionTest, AnAnimatedRunWaitsTheDelayThePreferencesHeldWhenItWasChosen) {
    EXPECT_EQ(DebugSession().animationDelayMs(), MonitorSettings::defaultAnimationDelayMs);
    ASSERT_TRUE(files.saveAnimationDelayMs(400));
    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.animationDelayMs(), 400);
    ASSERT_TRUE(files.saveAnimationDelayMs(90));
    EXPECT_EQ(session.afterPosition(1, 2, 2), Action::ResumeAfterDelay);
    EXPECT_EQ(session.animationDelayMs(), 400) << "no position waits on a read of the file";
    EXPECT_FALSE(session.startRun(false));
    EXPECT_EQ(session.animationDelayMs(), 90) << "choosing Run again takes the new delay";
}

TEST_F(DebugSessionTest, TerminateDuringARunEndsItAndDropsAPendingPause) {
    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.afterPosition(1, 2, 2), Action::ResumeAfterDelay);
    EXPECT_TRUE(session.isRunning()) << "the delayed resume may still go";
    ASSERT_EQ(session.step(), DebugSession::StepOutcome::PauseRequested);

    session.terminate();
    EXPECT_EQ(session.currentState(), States::TERMINATE);
    EXPECT_FALSE(session.isRunning()) << "a resume waiting for its delay is dropped";
    EXPECT_FALSE(session.pauseRequested());
    EXPECT_FALSE(files.getIsRunPause());
    EXPECT_EQ(session.afterPosition(1, 3, 3), Action::Stop) << "no run: nothing goes on";
    EXPECT_EQ(session.currentState(), States::TERMINATE);

    // The next run starts clean.
    ASSERT_TRUE(session.startRun(false));
    EXPECT_EQ(session.afterPosition(1, 3, 3), Action::ResumeAfterDelay);
}

TEST_F(DebugSessionTest, APauseLeftFromAnEndedRunDoesNotStopTheNextOne) {
    { // A request written before this session started, never used up.
        MonitorSettings stale(dir.str(), dir.str(), [](std::string_view) { return "#"; });
        ASSERT_TRUE(stale.saveIsRunPause(true));
    }
    DebugSession fresh(files);
    EXPECT_TRUE(fresh.pauseRequested()) << "the flags start as the files hold them";
    ASSERT_TRUE(fresh.startRun(false));
    EXPECT_FALSE(fresh.pauseRequested());
    EXPECT_EQ(fresh.afterPosition(1, 2, 2), Action::ResumeAfterDelay);
}

TEST_F(DebugSessionTest, EachFileKeepsItsButtonsAndAFreshPageItsOwnBreakpoints) {
    session.startFile(1);
    session.setButtons(ButtonStates(3, true, true, true, true, false, false));
    EXPECT_FALSE(session.buttons().fileIdInt) << "the live flags name no file";
    session.startFile(2);
    EXPECT_EQ(session.currentFileId(), 2);
    session.setButtons(ButtonStates(false, false, false, true, false, true));

    EXPECT_TRUE(session.showFile(1));
    EXPECT_TRUE(session.buttons().sameFlags({true, true, true, true, false, false}));
    EXPECT_TRUE(session.showFile(2));
    EXPECT_TRUE(session.buttons().sameFlags({false, false, false, true, false, true}));
    EXPECT_FALSE(session.showFile(9)) << "a file never shown has no buttons to bring back";
    EXPECT_EQ(session.currentFileId(), 9);
    session.startFile(std::nullopt);
    EXPECT_EQ(session.currentFileId(), 9) << "a page without a file id stays on the file";

    setBreakpoint(1, 5);
    const auto earlier = session.breakpoints(1);
    const auto fresh = session.startBreakpoints(1);
    EXPECT_TRUE(fresh->lines().empty());
    EXPECT_FALSE(session.isBreakpoint(1, 5));
    EXPECT_TRUE(earlier->contains(5)) << "the earlier page's display keeps its list";
}

} // namespace

namespace {

std::shared_ptr<const tracehook::PageVariables::Parsed> stopWith(const std::string& i) {
    auto stop = std::make_shared<tracehook::PageVariables::Parsed>();
    stop->fileId = "1";
    stop->entries = {{0, "Locals", "", "", false, true}, {1, "i", "int", i}};
    return stop;
}

TEST_F(DebugSessionTest, AConditionalBreakpointStopsARunOnlyWhereItsConditionHolds) {
    setBreakpoint(1, 5);
    session.breakpoints(1)->setCondition(5,
                                         tracewin::BreakpointCondition::parse("i == 2", nullptr));
    ASSERT_TRUE(session.startRun(true));
    session.setVariables(stopWith("1"));
    EXPECT_EQ(session.afterPosition(1, 5, 5), Action::ResumeNow);
    session.setVariables(stopWith("2"));
    EXPECT_EQ(session.afterPosition(1, 5, 5), Action::Stop);

    // A stop without variables, or without the variable, cannot tell: the run stops.
    for (auto stop : {std::shared_ptr<const tracehook::PageVariables::Parsed>(),
                      std::make_shared<const tracehook::PageVariables::Parsed>()}) {
        ASSERT_TRUE(session.startRun(true));
        EXPECT_EQ(session.afterPosition(1, 6, 6), Action::ResumeNow);
        session.setVariables(stop);
        EXPECT_EQ(session.afterPosition(1, 5, 5), Action::Stop);
    }
    // Removing the breakpoint removes its condition.
    session.breakpoints(1)->remove(5);
    EXPECT_EQ(session.breakpoints(1)->condition(5), nullptr);
    session.breakpoints(1)->setCondition(5,
                                         tracewin::BreakpointCondition::parse("i == 2", nullptr));
    EXPECT_EQ(session.breakpoints(1)->condition(5), nullptr) << "no breakpoint, no condition";
}

TEST_F(DebugSessionTest, RuntimesAreAskedForVariablesWhileTheViewShowsOrAConditionNeedsThem) {
    const std::string settings = (dir.path() / "jspdebug.properties").string();
    testsupport::TempDir scratch;
    dir.write("jspdebug.properties", "port=9000\nDebugModeOn=true\n\n# a comment\n");
    auto sendVariables = [&] {
        return files.getSendVariables();
    };
    session.updateVariablesWanted();
    EXPECT_EQ(sendVariables(), false) << "written once at the start";
    session.setVariablesViewShown(true);
    EXPECT_EQ(sendVariables(), true);
    EXPECT_TRUE(session.variablesWanted());

    // Hidden, the view no longer asks; a condition still does, until its page starts again.
    setBreakpoint(1, 5);
    session.breakpoints(1)->setCondition(5, tracewin::BreakpointCondition::parse("i > 1", nullptr));
    session.updateVariablesWanted();
    session.setVariablesViewShown(false);
    EXPECT_EQ(sendVariables(), true);
    session.startBreakpoints(1);
    EXPECT_EQ(sendVariables(), false);
    session.setVariablesViewShown(true);
    session.stopAskingForVariables();
    EXPECT_EQ(sendVariables(), false);

    // The rest of the file stays as it was, the port line first, the key once.
    EXPECT_EQ(testsupport::readFile(settings),
              "port=9000\nDebugModeOn=true\nSendVariables=false\n\n# a comment\n");
    EXPECT_EQ(files.getConnectPort(), 9000);
}

} // namespace

namespace {

// A run may be answered ahead only while every position it reaches would be passed at
// once; the listener hears every change that may end or start that.
TEST_F(DebugSessionTest, ARunGoesAheadOnlyWhileItWouldPassEveryPosition) {
    int changes = 0;
    session.onRunChanged([&] { ++changes; });
    EXPECT_FALSE(session.runsAhead()) << "not running";

    ASSERT_TRUE(session.startRun(true));
    EXPECT_TRUE(session.runsAhead()) << "Fast forward without breakpoints";
    EXPECT_GT(changes, 0);

    changes = 0;
    EXPECT_EQ(session.step(), DebugSession::StepOutcome::PauseRequested);
    EXPECT_FALSE(session.runsAhead()) << "a pause was asked";
    EXPECT_GT(changes, 0);
    EXPECT_EQ(session.afterPosition(1, 2, 2), Action::Stop);
    EXPECT_FALSE(session.runsAhead()) << "stopped";

    ASSERT_TRUE(session.startRun(false));
    EXPECT_FALSE(session.runsAhead()) << "Run shows every position";
    changes = 0;
    EXPECT_FALSE(session.startRun(true)) << "the run in progress takes Fast forward";
    EXPECT_TRUE(session.runsAhead());
    EXPECT_GT(changes, 0);

    // A breakpoint anywhere, in any file, lets the monitor decide on each position.
    setBreakpoint(7, 40);
    EXPECT_FALSE(session.runsAhead());
    EXPECT_EQ(session.afterPosition(7, 40, 40), Action::Stop);
    EXPECT_EQ(session.lastBreakpointLine(), 40);
    session.breakpoints(7)->remove(40);
    ASSERT_TRUE(session.startRun(true));
    EXPECT_FALSE(session.runsAhead()) << "the run still remembers the line it stopped at";
    changes = 0;
    EXPECT_EQ(session.afterPosition(7, 41, 41), Action::ResumeNow);
    EXPECT_TRUE(session.runsAhead()) << "the span left the line";
    EXPECT_GT(changes, 0);

    changes = 0;
    session.terminate();
    EXPECT_FALSE(session.runsAhead());
    EXPECT_GT(changes, 0);
}

} // namespace

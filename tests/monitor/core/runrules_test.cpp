// The rules of an animated run, without a window: what happens when the page runtime
// reports its next position during Run or Fast forward.
#include "core/runrules.h"

#include <gtest/gtest.h>
#include <set>

namespace {

using tracewin::RunRules;
using Action = RunRules::Decision::Action;

// A run over a page whose breakpoints are `breakpoints`, animated unless `fastForward`.
struct RunOver {
    std::set<int> breakpoints;
    bool fastForward = false;
    int lastBreakpointLine = 0;
    int skipReads = 0;

    RunRules::Decision at(int first, int last, bool pause = false) {
        RunRules::Run run;
        run.spanFirstLine = first;
        run.spanLastLine = last;
        run.isBreakpoint = [this](int line) {
            return breakpoints.count(line) == 1;
        };
        run.lastBreakpointLine = lastBreakpointLine;
        run.pauseRequested = pause;
        run.skipAnimation = [this] {
            ++skipReads;
            return fastForward;
        };
        const RunRules::Decision d = RunRules::afterPosition(run);
        lastBreakpointLine = d.lastBreakpointLine;
        return d;
    }
};

TEST(RunRules, AnAnimatedRunWaitsItsDelayAndFastForwardGoesOnAtOnce) {
    RunOver animated;
    EXPECT_EQ(animated.at(1, 1).action, Action::ResumeAfterDelay);
    RunOver fast{{}, true};
    EXPECT_EQ(fast.at(1, 1).action, Action::ResumeNow);
    EXPECT_EQ(fast.skipReads, 1);
}

TEST(RunRules, ABreakpointOnTheNextLineStopsTheRunAndIsRemembered) {
    for (const bool fastForward : {false, true}) {
        SCOPED_TRACE(fastForward);
        RunOver run{{5}, fastForward};
        EXPECT_NE(run.at(4, 4).action, Action::Stop);
        const RunRules::Decision stop = run.at(5, 5);
        EXPECT_EQ(stop.action, Action::Stop);
        EXPECT_EQ(stop.lastBreakpointLine, 5);
        EXPECT_FALSE(stop.pauseTaken);
    }
    // Anywhere in a span of several lines.
    RunOver span{{7}};
    EXPECT_EQ(span.at(6, 8).action, Action::Stop);
    EXPECT_EQ(span.lastBreakpointLine, 7);
}

TEST(RunRules, AnimatedTheSpansStillOnTheStoppedLineRunOnUntilTheSpanLeavesIt) {
    RunOver run{{5}};
    ASSERT_EQ(run.at(5, 5).action, Action::Stop);
    // Run again: the rest of line 5 runs on, and the line is remembered while spans end on it.
    EXPECT_EQ(run.at(5, 5).action, Action::ResumeAfterDelay);
    EXPECT_EQ(run.lastBreakpointLine, 5);
    // Once a span ends elsewhere the memory goes, and line 5 stops the run again.
    EXPECT_EQ(run.at(6, 6).action, Action::ResumeAfterDelay);
    EXPECT_EQ(run.lastBreakpointLine, 0);
    EXPECT_EQ(run.at(5, 5).action, Action::Stop);
}

TEST(RunRules, FastForwardStopsAgainOnTheLineItStoppedAt) {
    RunOver run{{5}, true};
    ASSERT_EQ(run.at(5, 5).action, Action::Stop);
    EXPECT_EQ(run.at(5, 5).action, Action::Stop);
}

TEST(RunRules, StepChosenWhileRunningStopsTheRunAndUsesTheRequestUp) {
    RunOver run{{9}};
    const RunRules::Decision d = run.at(2, 2, true);
    EXPECT_EQ(d.action, Action::Stop);
    EXPECT_TRUE(d.pauseTaken);
    EXPECT_EQ(d.lastBreakpointLine, 0) << "a pause is not a breakpoint";
    EXPECT_EQ(run.skipReads, 0) << "the settings are not read for a pause";
    // Without a new request the run goes on.
    EXPECT_EQ(run.at(3, 3).action, Action::ResumeAfterDelay);
}

TEST(RunRules, TheSettingsAreReadOnlyWhenTheyDecide) {
    RunOver run{{5}};
    run.at(5, 5); // a new breakpoint line: stops without asking
    EXPECT_EQ(run.skipReads, 0);
    run.at(5, 5); // the remembered line: the animation decides
    EXPECT_EQ(run.skipReads, 1);
}

} // namespace

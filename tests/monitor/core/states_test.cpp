#include "core/states.h"

#include <gtest/gtest.h>

using tracewin::ButtonStates;
using tracewin::States;

TEST(States, StartsAtStepAndStoresAnyInteger) {
    States a;
    EXPECT_EQ(a.getCurrentState(), States::STEP);
    a.setCurrentState(States::RUN);
    EXPECT_EQ(a.getCurrentState(), States::RUN);
    a.setCurrentState(77);
    EXPECT_EQ(a.getCurrentState(), 77) << "any integer is stored";
    static_assert(States::TERMINATE == States::EXIT);
}

TEST(ButtonStates, ConstructorsKeepTheFlagOrder) {
    ButtonStates live(true, false, true, false, true, false);
    EXPECT_FALSE(live.fileIdInt);
    EXPECT_TRUE(live.step);
    EXPECT_FALSE(live.run);
    EXPECT_TRUE(live.fastForward);
    EXPECT_FALSE(live.terminate);
    EXPECT_TRUE(live.prevErr);
    EXPECT_FALSE(live.nextErr);
    ButtonStates saved(7, true, false, true, false, true, false);
    EXPECT_EQ(saved.fileIdInt, std::optional<int>(7));
    EXPECT_TRUE(saved.sameFlags(live));
    EXPECT_EQ(saved.toString(), "ButtonStates[fileId=7 TFTFTF]");
}

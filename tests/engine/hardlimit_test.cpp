#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/internal.h"
#include "search/search.h"

namespace {

// A short clock with an increment: the budget is mostly the increment, and a budget grown by a
// failed aspiration window would exceed the whole clock.
TEST(HardTimeLimit, AGrownBudgetNeverSpendsTheWholeClock) {
    movesPerSession = 0;
    incrementMs = 1000;
    gamePly = 100;
    SetTimeBudget(210, 900);
    EXPECT_EQ(timeForMove, 6 * 10 + 1000);
    EXPECT_EQ(hardTimeLimit, 2100 - 2100 / 8 - 30);

    EngineState = Thinking;
    worker.iterationDepth = 11;
    stopSearch = false;
    commandPending = false;
    const i32 now = Now();
    searchStart = now;
    timeForMove *= 3;  // as after a failed aspiration window
    moveClockStart = now;
    EXPECT_FALSE(TimeIsUp()) << "a fresh move is within both limits";
    moveClockStart = now - 1900;
    EXPECT_TRUE(TimeIsUp()) << "the budget is not spent, but the clock nearly is";
    EXPECT_TRUE(stopSearch);

    // Pondering runs on the opponent's time: no limit applies.
    stopSearch = false;
    EngineState = Pondering;
    EXPECT_FALSE(TimeIsUp());
    EngineState = Playing;
}

// "st": the fixed time is the limit, whatever the clock reports and the budget say.
TEST(HardTimeLimit, AFixedTimeAMoveOutlastsAShortClock) {
    movesPerSession = 40;
    incrementMs = 0;
    gamePly = 1;
    SetTimeBudget(50, 50);  // half a second on the clock
    EngineState = Thinking;
    worker.iterationDepth = 8;
    stopSearch = false;
    commandPending = false;
    searchLimits.moveTimeMs = 2000;
    const i32 now = Now();
    searchStart = now - 1500;
    moveClockStart = now - 1500;
    EXPECT_FALSE(TimeIsUp()) << "a second and a half of two";
    moveClockStart = now - 1950;
    EXPECT_TRUE(TimeIsUp()) << "inside the margin kept for the pipe";
    searchLimits.moveTimeMs = 0;
    stopSearch = false;
    EXPECT_TRUE(TimeIsUp()) << "without st the clock's limit stops it";
    stopSearch = false;
    EngineState = Playing;
}

TEST(HardTimeLimit, TinyAndHugeClocks) {
    movesPerSession = 40;
    incrementMs = 0;
    gamePly = 1;
    SetTimeBudget(0, 0);
    EXPECT_EQ(hardTimeLimit, 10) << "an empty clock still allows a move";
    SetTimeBudget(999999999, 1);
    EXPECT_GT(hardTimeLimit, i64{INT32_MAX}) << "the test clock stays practically unlimited";
}

}  // namespace

// The time budget from clock reports, the time test, the poll gate and the ponder credit.
#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"
#include "search/search.h"

namespace {

struct Budget {
    i32 movesPerSession, gamePly, incrementMs, ownCs;
    i32 movesToGo, timeForMove;
};

class TimeControl : public ::testing::Test {
protected:
    void SetUp() override { Save(); }
    void TearDown() override { Restore(); }
    void Save() {
        saved_ = {movesPerSession, incrementMs, gamePly,        EngineState, worker.iterationDepth,
                  searchStart,     timeForMove, commandPending, stopSearch};
    }
    void Restore() {
        movesPerSession = saved_.movesPerSession;
        incrementMs = saved_.incrementMs;
        gamePly = saved_.gamePly;
        EngineState = saved_.state;
        worker.iterationDepth = saved_.depth;
        searchStart = saved_.start;
        timeForMove = saved_.budget;
        commandPending = saved_.pending;
        stopSearch = saved_.stop;
    }
    struct {
        i32 movesPerSession, incrementMs;
        u16 gamePly;
        i32 state;
        u32 depth;
        i32 start, budget;
        bool pending, stop;
    } saved_;
};

TEST_F(TimeControl, BudgetCases) {
    const Budget cases[] = {
        {40, 1, 0, 30000, 40, 6500},       // 750 per move, 100 kept back
        {40, 79, 0, 30000, 1, 9 * 29900},  // last move before the control: nine tenths
        {40, 79, 2000, 30000, 1, 9 * 29900 + 2000},
        {0, 1, 0, 6000, 33, 1810},  // 181: no deduction below 220
        {0, 1, 3000, 6000, 33, 4810},
        {1, 1, 0, 220, 1, 9 * 170},  // 220 loses 50
        {1, 1, 0, 499, 1, 9 * 449},
        {1, 1, 0, 500, 1, 9 * 400},  // 500 loses 100
        {1, 1, 0, 219, 1, 9 * 219},
        {40, 2, 0, 4000, 39, 1020},    // one move each played: 102 per move
        {40, 160, 0, 4000, 40, 1000},  // second control starts afresh
        {35, 1, 0, -500, 35, -140},    // flag already fallen: a negative budget, no fault
        {40, 1, 0, 0, 40, 0},
    };
    for (const Budget& b : cases) {
        movesPerSession = b.movesPerSession;
        gamePly = static_cast<u16>(b.gamePly);
        incrementMs = b.incrementMs;
        SetTimeBudget(b.ownCs, 12345);
        EXPECT_EQ(movesToGo, b.movesToGo)
            << b.movesPerSession << " " << b.gamePly << " " << b.ownCs;
        EXPECT_EQ(timeForMove, b.timeForMove)
            << b.movesPerSession << " " << b.gamePly << " " << b.ownCs;
    }
}

TEST_F(TimeControl, PracticallyUnlimitedClockWrapsToOverHundredHours) {
    movesPerSession = 1;
    incrementMs = 0;
    gamePly = 1;
    SetTimeBudget(999999999, 1);
    EXPECT_EQ(movesToGo, 1);
    EXPECT_EQ(timeForMove, 410064499);  // 9 x 999999899 modulo 2^32
    EXPECT_GT(timeForMove, 100 * 3600 * 1000);
    // The largest clock with ten budgets wraps too, without a signed overflow.
    movesPerSession = 0;
    SetTimeBudget(INT32_MAX, 0);
    EXPECT_EQ(timeForMove, static_cast<i32>(static_cast<u32>(INT32_MAX / 33 - 100) * 10u));
}

TEST_F(TimeControl, TimeTestHonoursFirstIterationAndPondering) {
    commandPending = false;
    searchStart = Now() - 5000;
    timeForMove = 1000;
    EngineState = Thinking;
    worker.iterationDepth = 2;
    stopSearch = false;
    EXPECT_FALSE(TimeIsUp());  // the first iteration always completes
    EXPECT_FALSE(stopSearch);
    worker.iterationDepth = 3;
    EngineState = Pondering;
    EXPECT_FALSE(TimeIsUp());  // pondering never runs out of time
    EngineState = Thinking;
    EXPECT_TRUE(TimeIsUp());
    EXPECT_TRUE(stopSearch);
    stopSearch = false;
    searchStart = Now();
    timeForMove = 60000;
    EXPECT_FALSE(TimeIsUp());
    // A budget so large that start + budget passes the 32-bit range is still "not yet".
    searchStart = INT32_MAX - 10;
    timeForMove = INT32_MAX;
    EXPECT_FALSE(TimeIsUp());
}

TEST_F(TimeControl, PendingStopCommandKeepsTheTimeTestSaying) {
    searchStart = Now();
    timeForMove = 60000;
    EngineState = Thinking;
    worker.iterationDepth = 4;
    stopSearch = false;
    commandPending = true;
    pendingStopsSearch = false;  // e.g. "post": the search goes on
    EXPECT_FALSE(TimeIsUp());
    pendingStopsSearch = true;  // "quit" or "force": a restarted shallow search stops again
    EXPECT_TRUE(TimeIsUp());
    commandPending = false;
    pendingStopsSearch = false;
}

TEST_F(TimeControl, PollGateAndAbort) {
    EngineState = Thinking;
    searchStart = Now() - 100000;
    timeForMove = 1;
    worker.iterationDepth = 5;
    commandPending = false;
    stopSearch = false;
    worker.nodeCount = 16384;
    worker.nextPoll = 16384;
    EXPECT_FALSE(PollPoint());  // not past the gate: nothing is looked at
    EXPECT_FALSE(stopSearch);
    worker.nodeCount = 16385;
    EXPECT_TRUE(PollPoint());
    EXPECT_TRUE(stopSearch);
    EXPECT_EQ(worker.nextPoll, 16384u);  // an abort leaves the gate where it is
    EXPECT_TRUE(PollClock());
    // Gate comparison is unsigned: a node count past 2^31 is still "past".
    stopSearch = false;
    worker.nodeCount = 0x80000001u;
    worker.nextPoll = 0x7fffffffu;
    EXPECT_TRUE(PollClock());
}

TEST_F(TimeControl, PonderCreditIsAtMostTwoThirds) {
    i32 now = 100000;
    timeForMove = 6000;
    searchStart = now - 5000;  // pondered 5 s on a 6 s budget: 4 s credited, 2 s left
    ApplyPonderCredit(now);
    EXPECT_EQ(searchStart, now - 4000);
    searchStart = now - 1000;  // a short ponder is credited whole
    ApplyPonderCredit(now);
    EXPECT_EQ(searchStart, now - 1000);
}

// The node counters run past 2^32 in a long analysis: the poll still comes once every 16384
// nodes, none skipped and none doubled, as the search's node gate drives it.
TEST_F(TimeControl, PollsEvery16384NodesAcrossTheWrapOf32Bits) {
    EngineState = Thinking;
    worker.iterationDepth = 2;  // the clock never stops the first iteration
    commandPending = false;
    stopSearch = false;
    // Earlier tests may leave standard input at its end, which reads as "quit": the poll's reader
    // is taken out, so that only the node gate is under test.
    const auto keptPoller = inputPoller;
    inputPoller = [] {};
    const u64 start = (u64{1} << 32) - 3 * 16384 - 5;
    worker.nodeCount = start;
    worker.nextPoll = start;
    std::vector<u64> polls;
    for (int node = 0; node < 10 * 16384; ++node) {
        ++worker.nodeCount;
        if (worker.nodeCount > worker.nextPoll) {
            const u64 gate = worker.nextPoll;
            ASSERT_FALSE(PollPoint());
            ASSERT_EQ(worker.nextPoll, gate + 16384);
            polls.push_back(worker.nodeCount);
        }
    }
    ASSERT_EQ(polls.size(), 10u);
    for (std::size_t i = 0; i < polls.size(); ++i) EXPECT_EQ(polls[i], start + 1 + 16384 * i);
    EXPECT_GT(worker.nodeCount, u64{1} << 32);
    inputPoller = keptPoller;
    worker.nodeCount = 0;
    worker.nextPoll = 0;
}

}  // namespace

// The move's budget comes from the clock of the side to move, whichever of the two clocks is the
// short one: xboard's "time"/"otim" (at rest and during a search) and UCI's wtime/btime (with and
// without movestogo), for White and for Black. The engine runs in this process on input from a
// memory file, so the budget is read directly rather than timed.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "engine_process.h"
#include "search/search.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

namespace {

// Standard input becomes `text`; its end acts as "quit".
void FeedInput(const std::string& text) {
    const int fd = memfd_create("zelmor-test-input", 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    ResetInput();
}

struct Budget {
    i32 timeForMove;
    i64 hardLimit;
};

Budget RunXboard(const std::string& commands) {
    FeedInput(zelmor_test::Handshake + "new\neasy\nlevel 40 5 0\n" + commands);
    inputPoller = PollXboardInput;
    thinkingPrinter = PrintXboardThinking;
    testing::internal::CaptureStdout();
    CommandLoop();
    testing::internal::GetCapturedStdout();
    inputPoller = PollCommand;
    return {timeForMove, hardTimeLimit};
}

Budget RunUci(const std::string& commands) {
    static const bool started = [] {
        FeedInput("");
        testing::internal::CaptureStdout();
        EngineStartup(true);
        testing::internal::GetCapturedStdout();
        return true;
    }();
    (void)started;
    SetBoard(StartFen);
    // No lag kept back: the budgets below are the clock's own.
    FeedInput("setoption name OwnBook value false\nsetoption name Move Overhead value 0\n" +
              commands);
    testing::internal::CaptureStdout();
    UciCommands();
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("bestmove "), std::string::npos) << output;
    inputPoller = PollCommand;
    thinkingPrinter = PrintXboardThinking;
    return {timeForMove, hardTimeLimit};
}

// One second against five minutes: 1/33 of the own clock, or 1/10 with ten moves to go; the
// hard limit is seven eighths of the own clock less 30 ms.
constexpr Budget ShortClock{30, 845};
constexpr Budget LongClock{8090, 262470};
constexpr Budget ShortClockTenMoves{100, 845};
constexpr Budget LongClockTenMoves{29000, 262470};

void ExpectBudget(const Budget& got, const Budget& expected, const std::string& what) {
    EXPECT_EQ(got.timeForMove, expected.timeForMove) << what;
    EXPECT_EQ(got.hardLimit, expected.hardLimit) << what;
}

TEST(ClockSides, XboardBudgetFromTheEnginesOwnClock) {
    // 40 moves in the control, the first move: 1/40 of the own clock (centiseconds).
    ExpectBudget(RunXboard("time 100\notim 30000\n"), {20, 845}, "short own clock");
    ExpectBudget(RunXboard("time 30000\notim 100\n"), {6500, 262470}, "long own clock");
    // Black to move after White's first move: 39 moves left to the control.
    ExpectBudget(RunXboard("force\ne2e4\ntime 100\notim 30000\n"), {20, 845}, "Black, short");
    ExpectBudget(RunXboard("force\ne2e4\ntime 30000\notim 100\n"), {6690, 262470}, "Black, long");

    // A clock report read by a running search replaces the budget from the same clock. The
    // search polls from its first node and stops at depth 3.
    firstPoll = 0;
    ExpectBudget(RunXboard("time 30000\notim 100\nsd 3\ngo\ntime 100\notim 30000\n"), {20, 845},
                 "during the search, short");
    ExpectBudget(RunXboard("time 100\notim 30000\nsd 3\ngo\ntime 30000\notim 100\n"),
                 {6500, 262470}, "during the search, long");
    firstPoll = 16384;
}

TEST(ClockSides, UciBudgetFromTheClockOfTheSideToMove) {
    const std::string white = "position startpos\n";
    const std::string black = "position startpos moves e2e4\n";
    ExpectBudget(RunUci(white + "go wtime 1000 btime 300000 depth 2\n"), ShortClock, "White");
    ExpectBudget(RunUci(white + "go wtime 300000 btime 1000 depth 2\n"), LongClock, "White");
    ExpectBudget(RunUci(black + "go wtime 300000 btime 1000 depth 2\n"), ShortClock, "Black");
    ExpectBudget(RunUci(black + "go wtime 1000 btime 300000 depth 2\n"), LongClock, "Black");
    ExpectBudget(RunUci(white + "go wtime 1000 btime 300000 movestogo 10 depth 2\n"),
                 ShortClockTenMoves, "White, moves to go");
    ExpectBudget(RunUci(black + "go btime 300000 wtime 1000 movestogo 10 depth 2\n"),
                 LongClockTenMoves, "Black, moves to go");
    // The increment is the mover's own as well.
    const Budget withIncrement =
        RunUci(black + "go wtime 1000 btime 1000 winc 5000 binc 200 depth 2\n");
    EXPECT_EQ(withIncrement.timeForMove, ShortClock.timeForMove + 200);
}

}  // namespace

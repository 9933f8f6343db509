// The command loop through the real binary: argument consumption, prefix and exact matching,
// over-long input, and refusals that keep the engine sound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "engine/engine.h"
#include "engine/engine_process.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "xboard/xboard.h"

namespace {

using zelmor_test::RunSession;
using zelmor_test::ScratchDir;

using zelmor_test::Contains;
using zelmor_test::Count;
using zelmor_test::Handshake;

TEST(Commands, ClockReportConsumesExactlyThreeItems) {
    ScratchDir dir;
    auto result =
        RunSession(dir, Handshake + "time 1000 otim 900\ntime 77 whatever 66 bookshow\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(
        log, "::cmd:: time\n1000 otim 900\n::cmd:: time\n77 whatever 66\n::cmd:: bookshow\n"))
        << log;
    EXPECT_FALSE(Contains(log, "::cmd:: otim"));
    EXPECT_TRUE(Contains(result.output, "NO\n2: NO\n"));
}

TEST(Commands, ClockReportWithoutNumberIsRefusedAndLeavesTheRest) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "time abc\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "Error (clock report needs a number): time\n"));
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "::cmd:: abc\n"));
}

TEST(Commands, LevelConsumesItsThreeArguments) {
    ScratchDir dir;
    auto result =
        RunSession(dir, Handshake + "level 40 5 0\nlevel 0 2:30 12\nlevel 40 0:30 0.5\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(
        Contains(log,
                 "::cmd:: level\n40 5 0\n::cmd:: level\n0 2:30 12\n::cmd:: level\n40 0:30 0\n"
                 "::cmd:: quit\n"))
        << log;
    EXPECT_EQ(result.output.find("Error"), std::string::npos);
}

TEST(Commands, LevelWithBadNumbersIsRefused) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "level x 5 0\nlevel -3 5 0\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "Error (level needs a number of moves): level\n"));
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "::cmd:: x\n"));
}

// Runs the command loop inside the test program on `input` and returns what it printed, so
// that the values a command sets can be read directly.
std::string RunLoop(const std::string& input) {
    std::FILE* file = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), file);
    std::rewind(file);
    const int saved = dup(0);
    dup2(fileno(file), 0);
    ResetInput();
    testing::internal::CaptureStdout();
    CommandLoop();
    std::string output = testing::internal::GetCapturedStdout();
    dup2(saved, 0);
    close(saved);
    std::fclose(file);
    ResetInput();
    return output;
}

TEST(Commands, LevelSetsTheControlAndTheIncrement) {
    RunLoop(Handshake + "level 0 2 1\nquit\n");  // 2+1 blitz
    EXPECT_EQ(movesPerSession, 0);
    EXPECT_EQ(incrementMs, 1000);
    gamePly = 1;
    SetTimeBudget(12000, 0);  // 33 moves to go: 363 - 50 cs a move, plus the second
    EXPECT_EQ(timeForMove, 3130 + 1000);
    RunLoop(Handshake + "level 0 2:30 12\nquit\n");
    EXPECT_EQ(incrementMs, 12000);
    RunLoop(Handshake + "level 40 0:30 0.5\nquit\n");
    EXPECT_EQ(movesPerSession, 40);
    EXPECT_EQ(incrementMs, 0);
    // An unreadable increment: the error line, the moves still taken, no increment.
    RunLoop(Handshake + "level 0 2 1\nquit\n");
    std::string out = RunLoop(Handshake + "level 30 5 x\nquit\n");
    EXPECT_TRUE(Contains(out, "Error (level needs an increment): level\n")) << out;
    EXPECT_EQ(movesPerSession, 30);
    EXPECT_EQ(incrementMs, 0);
}

TEST(Commands, PrefixMatching) {
    ScratchDir dir;
    // "quite" quits: nothing after it runs.
    auto quit = RunSession(dir, Handshake + "quite\nbookshow\n");
    EXPECT_EQ(quit.exitCode, 0);
    EXPECT_FALSE(Contains(quit.output, "NO\n"));

    // "results" resets the board like "new": e2e4 is then legal.
    auto reset = RunSession(
        dir, Handshake + "setboard 7k/8/8/8/8/8/8/K7 w - -\nresults\nforce\ne2e4\nquit\n");
    EXPECT_FALSE(Contains(reset.output, "Illegal Move"));
    auto control =
        RunSession(dir, Handshake + "setboard 7k/8/8/8/8/8/8/K7 w - -\nforce\ne2e4\nquit\n");
    EXPECT_TRUE(Contains(control.output, "Illegal Move: e2e4\n"));

    // "forceful" stops the engine: the move gets no reply.
    auto force = RunSession(dir, Handshake + "new\nforceful\ne2e4\nquit\n");
    EXPECT_FALSE(Contains(force.output, "move "));
    EXPECT_TRUE(
        Contains(dir.Read("Zelmor.log"), "-M: entered StopEngine\n-M: exited StopEngine\n"));

    // "eval" matches exactly: "evaluate" is only logged.
    auto exact = RunSession(dir, Handshake + "evaluate\nquit\n");
    EXPECT_FALSE(Contains(exact.output, "eval score"));
    auto eval = RunSession(dir, Handshake + "eval\nquit\n");
    EXPECT_TRUE(Contains(eval.output, "eval score: "));
}

TEST(Commands, GoIsAPrefix) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "new\neasy\ngone\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "\nmove ")) << result.output;
}

TEST(Commands, WhiteAndBlackOnlyChangeTheSideToMove) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "new\nforce\nblack\ne7e5\nwhite\ne2e4\nquit\n");
    EXPECT_FALSE(Contains(result.output, "Illegal Move"));
    EXPECT_FALSE(Contains(result.output, "move "));  // no thinking
    auto control = RunSession(dir, Handshake + "new\nforce\ne7e5\nquit\n");
    EXPECT_TRUE(Contains(control.output, "Illegal Move: e7e5\n"));
}

TEST(Commands, OverLongTokensAndLinesAreCutNotMisread) {
    ScratchDir dir;
    std::string token = std::string(255, 'a') + "quit";
    std::string huge(100000, 'q');  // bigger than the reader's buffer, starts like "quit"... almost
    std::string fen = "setboard 7k/8/8/8/8/8/8/K7 w - - " + std::string(300, ' ') + "quit\n";
    auto result =
        RunSession(dir, Handshake + token + "\n" + huge + "\n" + fen + "bookshow\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "NO\n2: NO\n"));
    std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "::cmd:: " + std::string(255, 'a') + "\n"));
    EXPECT_TRUE(Contains(log, "::cmd:: " + std::string(255, 'q') + "\n"));
    EXPECT_TRUE(Contains(log, "setboard line longer than 254"));
    EXPECT_FALSE(Contains(log, "::cmd:: quit\n::cmd:: bookshow"));
}

TEST(Commands, IllegalMovesAreReportedAndChangeNothing) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "new\nforce\ne2e5\nd2d4\nd7d5\nd4d5\nb1c3\nquit\n");
    EXPECT_TRUE(Contains(result.output, "Illegal Move: e2e5\n"));
    EXPECT_TRUE(Contains(result.output, "Illegal Move: d4d5\n"));  // blocked by the pawn
    EXPECT_FALSE(Contains(result.output, "Illegal Move: b1c3"));   // the refusals changed nothing
    // A move that leaves the own king attacked: the pawn is pinned by the bishop.
    auto pinned = RunSession(
        dir, Handshake + "setboard 4k3/8/8/8/1b6/8/3P4/4K3 w - -\nforce\nd2d3\ne1f2\nquit\n");
    EXPECT_TRUE(Contains(pinned.output, "Illegal Move: d2d3\n"));
    EXPECT_FALSE(Contains(pinned.output, "Illegal Move: e1f2"));
    // Castling across a square the rook on f2 attacks.
    auto castling =
        RunSession(dir, Handshake + "setboard 4k3/8/8/8/8/8/5r2/4K2R w K -\nforce\ne1g1\nquit\n");
    EXPECT_TRUE(Contains(castling.output, "Illegal Move: e1g1\n"));
    // A pawn reaching the last rank without saying what it becomes.
    auto promotion = RunSession(
        dir, Handshake + "setboard 4k3/P7/8/8/8/8/8/4K3 w - -\nforce\na7a8\na7a8n\nquit\n");
    EXPECT_TRUE(Contains(promotion.output, "Illegal Move: a7a8\n"));
    EXPECT_FALSE(Contains(promotion.output, "Illegal Move: a7a8n"));
}

TEST(Commands, UnplayablePositionsAreRefusedUntilRepaired) {
    ScratchDir dir;
    auto result = RunSession(
        dir, Handshake +
                 "setboard 8/8/8/8/8/8/8/8 w - -\ngo\ne2e4\nperft 2\n"
                 "setboard kK6/8/8/8/8/8/8/8 w - -\ngo\n"         // kings side by side
                 "setboard 4k3/8/8/8/8/8/8/R3K2R b KQ -\ngo\n"    // fine: black to move
                 "setboard 4k3/8/8/8/8/8/8/r3K2r w - -\nforce\n"  // fine: white in check
                 "setboard 4k3/4R3/8/8/8/8/8/4K3 w - -\ngo\n"     // black's king can be taken
                 "setboard P3k3/8/8/8/8/8/8/4K3 w - -\ngo\n"      // pawn on the last rank
                 "new\nforce\ne2e4\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.output, "Error (illegal position): go\n"), 4) << result.output;
    EXPECT_TRUE(Contains(result.output, "Illegal Move: e2e4\n"));
    EXPECT_TRUE(Contains(result.output, "Error (illegal position): perft\n"));
    EXPECT_EQ(result.output.find("Illegal Move: e2e4\n"),
              result.output.rfind("Illegal Move: e2e4\n"));
}

TEST(Commands, MovesBeforeNewMeetTheInitialPosition) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "force\ne2e4\ne7e5\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_FALSE(Contains(result.output, "Illegal Move"));
}

TEST(Commands, MaintenanceCommandsConsumeTheirArguments) {
    ScratchDir dir;
    auto result =
        RunSession(dir, Handshake + "benchmark x 5\nbenchmarkspeed y\nperft\nnew\nperft 2\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "Define __STAT\nDefine __STAT\n"));
    std::string log = dir.Read("Zelmor.log");
    EXPECT_FALSE(Contains(log, "::cmd:: x\n"));
    EXPECT_FALSE(Contains(log, "::cmd:: 5\n"));
    EXPECT_FALSE(Contains(log, "::cmd:: y\n"));
    EXPECT_TRUE(Contains(log, "::cmd:: perft\n::cmd:: new\n"));  // no number: depth 0, "new" kept
    EXPECT_TRUE(Contains(result.output, "2\t"));
    EXPECT_TRUE(Contains(result.output, "\t420\n"));
}

}  // namespace

namespace {

TEST(Commands, GameLongerThanTheHistoryIsRefusedNotOverrun) {
    ScratchDir dir;
    std::string moves = Handshake + "new\nforce\n";
    for (int i = 0; i < 12288 / 4; ++i) moves += "g1f3\ng8f6\nf3g1\nf6g8\n";
    auto result = RunSession(dir, moves + "g1f3\ngo\nquit\n", 60000);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.output, "Illegal Move"), 1);
    EXPECT_TRUE(Contains(result.output, "Illegal Move: g1f3\n"));
    // Shuffling knights: the fifty-move rule is checked first.
    EXPECT_TRUE(Contains(result.output, "1/2-1/2 {Draw by 50 moves rule (3)}\n"));
}

}  // namespace

namespace {

TEST(Commands, InterfaceCommandsRefuseBadInputAndChangeNothing) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake +
                                      "new\nforce\nundo\nremove\nst\nst -1\nsd x\nsd -2\n"
                                      "ping\nping -5\nexit\nhint\n.\nundos\nsdx\npingx 3\n"
                                      "e2e4\nping 1\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    const std::string& out = result.output;
    EXPECT_TRUE(Contains(out, "Error (no game move to take back): undo\n"));
    EXPECT_TRUE(Contains(out, "Error (no game move to take back): remove\n"));
    EXPECT_EQ(Count(out, "Error (st needs a number of seconds): st\n"), 2);
    EXPECT_EQ(Count(out, "Error (sd needs a depth): sd\n"), 2);
    EXPECT_EQ(Count(out, "Error (ping needs a number): ping\n"), 2);
    EXPECT_TRUE(Contains(out, "Error (not analysing): exit\n"));
    EXPECT_FALSE(Contains(out, "Hint"));
    EXPECT_FALSE(Contains(out, "stat01"));
    EXPECT_FALSE(Contains(out, "pong 3"));   // whole tokens only
    EXPECT_FALSE(Contains(out, "Illegal"));  // the game is still at its start
    EXPECT_TRUE(Contains(out, "pong 1\n"));
    // The unread "x" of "sd x" is a token of its own.
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "::cmd:: x\n"));
}

TEST(Commands, AnalysisOfFinishedPositionsAndRepeatedAnalyze) {
    ScratchDir dir;
    // Mated, then stalemated, then bare kings: one line each, then the engine waits. "analyze"
    // twice changes nothing and says nothing an interface would take for "no analysis".
    auto result = RunSession(dir, Handshake +
                                      "setboard R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1\nanalyze\n"
                                      "analyze\n.\nsetboard 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\n"
                                      "setboard 8/8/8/4k3/8/8/8/4K3 w - - 0 1\ngo\nexit\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    const std::string& out = result.output;
    EXPECT_EQ(Count(out, "    1     -8100     0     0  # \n"), 1) << out;
    EXPECT_EQ(Count(out, "    1     0     0     0  1/2 - 1/2 (stalemate)\n"), 1) << out;
    EXPECT_EQ(Count(out, "1/2 - 1/2 (insufficient material)\n"), 1) << out;
    EXPECT_TRUE(Contains(out, "stat01: 0 0 0 0 0\n"));
    EXPECT_TRUE(Contains(out, "Error (analysing, send exit first): go\n"));
    EXPECT_FALSE(Contains(out, "move "));
    EXPECT_EQ(out.find("analyze", out.find("feature done=1")), std::string::npos);
}

}  // namespace

namespace {

// A depth limit combines with any clock and lasts until "new".
TEST(Commands, DepthLimitSurvivesTheClockAndEndsWithNew) {
    RunLoop(Handshake + "new\nsd 4\nlevel 40 5 0\nst 3\nlevel 0 1 0\nquit\n");
    EXPECT_EQ(searchLimits.depth, 4);
    RunLoop(Handshake + "sd 5\nresult 1-0 {x}\nquit\n");
    EXPECT_EQ(searchLimits.depth, 5);
    RunLoop(Handshake + "sd 5\nnew\nquit\n");
    EXPECT_EQ(searchLimits.depth, 0);
}

}  // namespace

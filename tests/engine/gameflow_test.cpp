// Playing through the real binary: thinking lines, the move, result claims, pondering and the
// commands that arrive while a search runs.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "engine/engine.h"
#include "engine_process.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

using zelmor_test::EngineProcess;
using zelmor_test::RunSession;
using zelmor_test::ScratchDir;

using zelmor_test::Contains;
using zelmor_test::Count;
using zelmor_test::Handshake;
// A clock that gives 40 moves in 5 seconds: about an eighth of a second per move.
const std::string QuickClock = "level 40 0:05 0\ntime 500 otim 500\n";

// Waits until the debug log holds `text`; returns the log.
bool WaitForLog(const ScratchDir& dir, const std::string& text, std::string* log = nullptr,
                int timeoutMs = 10000) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        std::string current = dir.Read("Zelmor.log");
        if (Contains(current, text)) {
            if (log) *log = current;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The guessed reply the engine ponders on, read from its log.
std::string PonderMove(const ScratchDir& dir) {
    std::string log;
    if (!WaitForLog(dir, "-ponder move: ", &log)) return "";
    std::size_t at = log.find("-ponder move: ") + 14;
    return log.substr(at, log.find('\n', at) - at);
}

std::string Session(const std::string& commands) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + commands + "quit\n", 60000);
    EXPECT_EQ(result.exitCode, 0);
    std::size_t start = result.output.find("EGBB ERROR");
    return result.output.substr(result.output.find('\n', start) + 1);
}

TEST(GameFlow, ThinkingLinesThenTheMove) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "test\ngo\n");
    ASSERT_TRUE(engine.WaitFor("\n    4     ", 30000)) << engine.output;
    engine.Send("?\n");
    ASSERT_TRUE(engine.WaitFor("move ", 10000)) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);

    std::string out = engine.output.substr(engine.output.find("  A B C D E F G H\n") + 18);
    std::regex thinking(R"(    (\d+)     (-?\d+)     (\d+)     (\d+)  (.*))");
    std::istringstream lines(out);
    std::string line;
    int thinkingLines = 0, lastDepth = 0;
    bool moved = false;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, thinking)) {
            EXPECT_FALSE(moved) << "thinking after the move: " << line;
            ++thinkingLines;
            lastDepth = std::stoi(m[1]);
        } else if (line.rfind("move ", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, std::regex("move [a-h][1-8][a-h][1-8][qrbn]?")))
                << line;
            moved = true;
        } else if (!line.empty()) {
            ADD_FAILURE() << "unexpected line: " << line;
        }
    }
    EXPECT_TRUE(moved);
    EXPECT_GE(thinkingLines, 3);
    EXPECT_GE(lastDepth, 3);
}

TEST(GameFlow, MateInOneIsPlayedAndClaimed) {
    std::string white =
        Session("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\n" + QuickClock + "go\n");
    EXPECT_TRUE(Contains(white, "move a1a8\n1-0 {Zelmor mates 1}\n")) << white;
    std::string black =
        Session("setboard r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1\n" + QuickClock + "go\n");
    EXPECT_TRUE(Contains(black, "move a8a1\n0-1 {Zelmor mates 1}\n")) << black;
}

TEST(GameFlow, NoMoveGivesOnlyTheClaim) {
    struct Case {
        const char* fen;
        const char* claim;
    } cases[] = {
        {"R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "1-0 {Zelmor mated 0}\n"},
        {"6k1/8/8/8/8/8/5PPP/r5K1 w - - 0 1", "0-1 {Zelmor mated 0}\n"},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "1/2-1/2 {Draw by stalemate (1)}\n"},
        {"8/8/8/4k3/8/8/8/4K1N1 w - - 0 1",
         "1/2-1/2 {Draw by insufficient material to mate (4)}\n"},
    };
    for (const Case& c : cases) {
        std::string out = Session(std::string("setboard ") + c.fen + "\n" + QuickClock + "go\n");
        EXPECT_FALSE(Contains(out, "move ")) << c.fen << "\n" << out;
        EXPECT_TRUE(Contains(out, c.claim)) << c.fen << "\n" << out;
    }
}

// Kings shuffling around blocked pawns, never three times in the same place: 4 squares for White,
// 7 for Black, so a position first comes back after 56 plies and a third time after 112.
std::string Shuffle(int plies) {
    const char* white[] = {"a1b1", "b1b2", "b2a2", "a2a1"};
    const char* black[] = {"h8g8", "g8f8", "f8f7", "f7g6", "g6h6", "h6h7", "h7h8"};
    std::string moves = "setboard 7k/8/8/4p3/4P3/8/8/K7 w - - 0 1\nforce\n";
    for (int p = 0; p < plies; ++p)
        moves += std::string(p % 2 == 0 ? white[(p / 2) % 4] : black[(p / 2) % 7]) + "\n";
    return moves;
}

TEST(GameFlow, DrawClaimsBeforeAndAfterTheEnginesMove) {
    // The game position is already a third repetition: no move.
    std::string two = Session("new\nforce\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\n" +
                              QuickClock + "go\n");
    EXPECT_EQ(two, "1/2-1/2 {Draw by 3 fold repetition (2)}\n");
    // The engine's only move (Kh8-h7) repeats a position for the third time.
    std::string twentyTwo = Session(
        "setboard 7k/5K2/8/8/8/8/8/R7 b - - 0 1\nforce\n"
        "h8h7\na1a2\nh7h6\na2a1\nh6h7\na1a2\nh7h8\na2a1\n" +
        QuickClock + "go\n");
    EXPECT_TRUE(Contains(twentyTwo, "move h8h7\n1/2-1/2 {Draw by 3 fold repetition (22)}\n"))
        << twentyTwo;
    // A hundred reversible plies already played: no move.
    std::string three = Session(Shuffle(100) + QuickClock + "go\n");
    EXPECT_EQ(three, "1/2-1/2 {Draw by 50 moves rule (3)}\n");
    // Ninety-nine: the engine's move is the hundredth.
    std::string thirtyThree = Session(Shuffle(99) + QuickClock + "go\n");
    EXPECT_TRUE(std::regex_search(
        thirtyThree,
        std::regex("move h8(g8|g7|h7)\n1/2-1/2 \\{Draw by 50 moves rule \\(33\\)\\}\n")))
        << thirtyThree;
    // Taking the queen leaves knight against bare king.
    std::string fortyFour =
        Session("setboard 7k/8/8/4q3/8/5N2/8/4K3 w - - 0 1\n" + QuickClock + "go\n");
    EXPECT_TRUE(
        Contains(fortyFour, "move f3e5\n1/2-1/2 {Draw by insufficient material to mate (44)}\n"))
        << fortyFour;
}

// Starts a game in which the engine plays White's first move and then ponders.
void StartPondering(EngineProcess& engine, const ScratchDir& dir, std::string& guess) {
    engine.Send(Handshake + "new\nhard\n" + QuickClock + "go\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000)) << engine.output;
    guess = PonderMove(dir);
    ASSERT_EQ(guess.size(), 4u) << dir.Read("Zelmor.log");
}

TEST(GameFlow, GoodPonderTurnsIntoTheSearchForTheNextMove) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    std::size_t after = engine.output.size();
    engine.Send("time 500 otim 500\n" + guess + "\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000, after)) << engine.output;
    EXPECT_TRUE(WaitForLog(dir, "--- GOOD PONDER --- cmd:" + guess));
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Count(engine.output, "Illegal"), 0);
}

TEST(GameFlow, BadPonderTakesTheGuessBack) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    std::string reply = guess == "a7a6" ? "h7h6" : "a7a6";
    std::size_t after = engine.output.size();
    engine.Send("time 500 otim 500\n" + reply + "\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000, after)) << engine.output;
    EXPECT_TRUE(WaitForLog(dir, "-BAD PONDER"));
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Count(engine.output, "Illegal"), 0) << engine.output;
}

TEST(GameFlow, ForceDuringPonderingTakesTheGuessBack) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    // The guess itself is legal in the game position only if it is no longer on the board.
    engine.Send("force\n" + guess + "\ngo\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000, engine.output.find("move ") + 5)) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Count(engine.output, "Illegal"), 0) << engine.output;
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "-M: guessed move taken back"));
}

TEST(GameFlow, QuitDuringPonderingEndsAtOnce) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(5000), 0);
}

TEST(GameFlow, QuitOrForceWhileThinkingPreventsPondering) {
    for (const char* command : {"quit", "force"}) {
        ScratchDir dir;
        EngineProcess engine(dir.path());
        // A budget of 25 seconds: only the command can end this search early.
        engine.Send(Handshake + "new\nhard\nlevel 40 5 0\ntime 100000 otim 100000\ngo\n");
        ASSERT_TRUE(WaitForLog(dir, "start engine"));
        engine.Send(std::string(command) + "\n");
        ASSERT_TRUE(engine.WaitFor("move ", 10000)) << command << engine.output;
        engine.Send("quit\n");
        EXPECT_EQ(engine.Finish(5000), 0) << command;
        std::string log = dir.Read("Zelmor.log");
        EXPECT_FALSE(Contains(log, "-ponder move: ")) << command;
    }
}

TEST(GameFlow, ClockReportDuringSearchChangesItsBudget) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "test\ngo\n");  // a budget of over 100 hours
    ASSERT_TRUE(engine.WaitFor("\n    3     ", 30000)) << engine.output;
    auto sent = std::chrono::steady_clock::now();
    engine.Send("time 100 otim 100\n");  // one move to go: 0.9 s
    ASSERT_TRUE(engine.WaitFor("move ", 15000)) << engine.output;
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "100 otim 100 [cC]"));
}

// "?" made the engine move; the ponder search after that move runs until the next input.
TEST(GameFlow, MoveNowDoesNotEndThePonderingThatFollows) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nhard\nlevel 40 5 0\ntime 30000 otim 30000\ne2e4\n");
    ASSERT_TRUE(WaitForLog(dir, "start engine"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    engine.Send("?\n");
    ASSERT_TRUE(engine.WaitFor("move ", 10000)) << engine.output;
    std::string guess = PonderMove(dir);
    ASSERT_EQ(guess.size(), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::string log = dir.Read("Zelmor.log");
    EXPECT_FALSE(Contains(log.substr(log.find("-ponder move: ")), "-E (-): "))
        << "the ponder search ended without input\n" << log;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
}

// A ponder search stopped by a command ("level") before the guess is played: only the time it
// really pondered is counted against the move, not the wait for the guess.
TEST(GameFlow, PonderCreditOnlyForPonderingThatRan) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    engine.Send("time 30000 otim 30000\nlevel 40 5 0\n");
    ASSERT_TRUE(WaitForLog(dir, "::cmd:: level"));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    engine.Send(guess + "\n");
    std::string log;
    ASSERT_TRUE(WaitForLog(dir, "entered StartEngine, goodPonder: 1", &log));
    ASSERT_TRUE(WaitForLog(dir, "*** xxx czas uzyty: ", &log, 10000));
    std::size_t at = log.rfind("*** xxx czas uzyty: ") + 20;
    EXPECT_LT(std::stoi(log.substr(at)), 1500) << log;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
}

// A token waiting for the loop, then a clock report during the search: the report is applied
// once, by the search, and the loop neither reads it again nor takes the next move for its
// numbers.
TEST(GameFlow, ClockReportAfterAWaitingTokenIsReadOnce) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "easy\nnew\nlevel 40 5 0\ntime 3000 otim 3000\ne2e4\n");
    ASSERT_TRUE(WaitForLog(dir, "start engine"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    engine.Send("post\ntime 2900 otim 2900\n");
    ASSERT_TRUE(engine.WaitFor("move ", 10000)) << engine.output;
    std::size_t after = engine.output.find("move ") + 5;
    engine.Send("d2d4\n");
    ASSERT_TRUE(engine.WaitFor("move ", 10000, after)) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "Error")) << engine.output;
    EXPECT_FALSE(Contains(engine.output, "Illegal")) << engine.output;
    std::string log = dir.Read("Zelmor.log");
    EXPECT_EQ(Count(log, "2900 otim 2900"), 1) << log;
}

// A game move starts the cut-off history and statistics afresh; killers stay.
TEST(GameFlow, GameMoveResetsTheOrderingStatistics) {
    InitTables();
    SetBoard(StartFen);
    History[White][0x123] = 77;
    History[Black][0x456] = 9;
    CutoffCount[3][20] = 40;
    TriedCount[3][20] = 50;
    plyRecords[2].killer1 = 0x0123;
    ASSERT_TRUE(MakeRealMove(ParseMove("e2e4")));
    EXPECT_EQ(History[White][0x123], 0u);
    EXPECT_EQ(History[Black][0x456], 0u);
    EXPECT_EQ(CutoffCount[3][20], 1u);
    EXPECT_EQ(TriedCount[3][20], 1u);
    EXPECT_EQ(plyRecords[2].killer1, 0x0123);
}

TEST(GameFlow, EasyMeansNoPondering) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "easy\nnew\n" + QuickClock + "go\nquit\n", 30000);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output, "move "));
    std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "- NO ponder move"));
    EXPECT_FALSE(Contains(log, "-ponder move: "));
}

TEST(GameFlow, EndOfInputDuringSearchStillPlaysAndExits) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "test\ngo\n");
    ASSERT_TRUE(engine.WaitFor("\n    3     ", 30000)) << engine.output;
    EXPECT_EQ(engine.Finish(10000), 0);
    EXPECT_TRUE(Contains(engine.output, "move "));
}

}  // namespace

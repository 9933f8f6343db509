// Playing through the real binary: thinking lines, the move, result claims, pondering and the
// commands that arrive while a search runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <thread>
#include <vector>

#include "book/book.h"
#include "engine/engine.h"
#include "engine/internal.h"
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

std::string ReadLog() {
    std::ifstream in("Zelmor.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

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
        << "the ponder search ended without input\n"
        << log;
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
    InitEngineTables();
    SetBoard(StartFen);
    worker.History[White][0x123] = 77;
    worker.History[Black][0x456] = 9;
    worker.CutoffCount[3][20] = 40;
    worker.TriedCount[3][20] = 50;
    worker.plyRecords[2].killer1 = 0x0123;
    ASSERT_TRUE(MakeRealMove(ParseMove("e2e4")));
    EXPECT_EQ(worker.History[White][0x123], 0u);
    EXPECT_EQ(worker.History[Black][0x456], 0u);
    EXPECT_EQ(worker.CutoffCount[3][20], 1u);
    EXPECT_EQ(worker.TriedCount[3][20], 1u);
    EXPECT_EQ(worker.plyRecords[2].killer1, 0x0123);
}

// think() inside the test program on a position set up here: its own budget, no input
// polling, no hard limit; returns what it printed. The debug log's new lines go to *log.
std::string ThinkHere(std::string* log = nullptr, i32 budgetMs = 300) {
    const std::string before = ReadLog();
    EngineState = Playing;
    timeForMove = budgetMs;
    hardTimeLimit = -1;
    firstPoll = UINT32_MAX;
    commandPending = false;
    testing::internal::CaptureStdout();
    think();
    std::string out = testing::internal::GetCapturedStdout();
    firstPoll = 16384;
    ponderEnabled = true;
    if (log) *log = ReadLog().substr(before.size());
    return out;
}

// An earlier, deeper search left mate in three plies on the mating move: the table's mated
// reply position settles the claim.
TEST(GameFlow, MateScoreOtherThanMateInOneClaimsWhatTheTableShows) {
    InitEngineTables();
    ASSERT_TRUE(SetBoard("6k1/5ppp/8/8/8/8/8/R5K1 w - -"));
    StoreRootHash(MakeMoveWord(A1, A8, Quiet), 8097, 127, 0);
    ponderEnabled = false;
    const std::string out = ThinkHere();
    EXPECT_TRUE(Contains(out, "move a1a8\n1-0 {Zelmor mates 1#}\n")) << out;
}

// The guess comes from the table entry of the position after the engine's move: a marker there
// is reported and not pondered; a score beyond +-4999 is not pondered either.
TEST(GameFlow, GuessFromTheTableMustBeAMoveWithAnOrdinaryScore) {
    struct Case {
        Move move;
        int score;
    } cases[] = {{StandPatMarker, 100},
                 {MakeMoveWord(G6, F6, Quiet), 5000},
                 {MakeMoveWord(G6, F6, Quiet), -5000}};
    for (const Case& c : cases) {
        InitEngineTables();
        ASSERT_TRUE(SetBoard("7k/6P1/6K1/8/8/8/8/8 b - -"));  // h8g8 is Black's only move
        const Move only = MakeMoveWord(H8, G8, Quiet);
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(only, undo);
        StoreHash(c.move, c.score, 127, 0);  // too deep for the search to replace
        UnmakeMove(only, undo);
        std::string log;
        const std::string out = ThinkHere(&log);
        EXPECT_TRUE(Contains(out, "move h8g8\n")) << out;
        EXPECT_EQ(Contains(out, "\n****************_FixingPonderedMove_***************\n\n"),
                  c.move == StandPatMarker)
            << c.score;
        EXPECT_TRUE(Contains(log, "-************** NO ponder move")) << c.score;
        EXPECT_EQ(ponderMove, 0);
        EXPECT_EQ(EngineState, Playing);
    }
}

// After its move the engine ages the table (shallower entries, lower ages) only when more than
// 80 reversible plies have been played; otherwise entries keep their depth.
TEST(GameFlow, TableAgesAfterTheMoveOnlyPastEightyReversiblePlies) {
    for (int clock : {79, 80}) {
        InitEngineTables();
        ASSERT_TRUE(SetBoard("6k1/8/8/8/8/8/8/3R2K1 w - -"));
        historyTop->halfmoveClock = static_cast<u16>(clock);
        const u64 rootKey = pos.key;
        pos.key = 0x5A5A5A5A00012345ull;  // a position of its own, kept deep in the table
        pos.sideToMove = Black;
        StoreHash(MakeMoveWord(G8, G7, Quiet), 0, 20, 0);
        pos.key = rootKey;
        pos.sideToMove = White;
        ponderEnabled = false;
        ThinkHere();
        pos.key = 0x5A5A5A5A00012345ull;
        pos.sideToMove = Black;
        HashEntry entry{};
        ASSERT_TRUE(ProbeHash(entry));
        if (clock == 79)
            EXPECT_EQ(entry.depth, 20) << "80 plies: no aging";
        else
            EXPECT_LT(entry.depth, 20) << "81 plies: aged by the root entry's depth";
        ASSERT_TRUE(SetBoard(StartFen));
    }
}

// Book positions as the book writer lays them out: one key per book here.
void WriteOneKeyBook(const std::string& base, u64 key) {
    std::string index, data;
    auto put32 = [](std::string& out, u32 value) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
    };
    for (u32 b = 0; b < BookBuckets; ++b) put32(index, b >= BookBucket(key) ? 1 : 0);
    put32(data, static_cast<u32>(key));
    const u32 high = static_cast<u32>(key >> 32) & 0x7FFF;
    data += static_cast<char>(high);
    data += static_cast<char>(high >> 8);
    std::ofstream(base + ".zbx", std::ios::binary) << index;
    std::ofstream(base + ".zbk", std::ios::binary) << data;
}

// The key of `fen` after `move`.
u64 KeyAfter(const char* fen, Move move) {
    SetBoard(fen);
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(move, undo);
    const u64 key = pos.key;
    UnmakeMove(move, undo);
    return key;
}

TEST(GameFlow, BookIsAskedUpToGamePly63AndABookMoveEndsTheTurn) {
    InitEngineTables();
    ScratchDir dir;
    WriteOneKeyBook(dir.path() + "/bookbtm",
                    KeyAfter("rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq -",
                             MakeMoveWord(E2, E4, Quiet)));
    WriteOneKeyBook(dir.path() + "/bookwtm",
                    KeyAfter("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -",
                             MakeMoveWord(E7, E5, Quiet)));
    dir.Write("Zelmor.ini", "BOOK_PATH=" + dir.path() + "\n");
    std::string knights;  // 62 plies: the knights go out and back, then out once more
    for (int i = 0; i < 15; ++i) knights += "g1f3\ng8f6\nf3g1\nf6g8\n";
    knights += "g1f3\ng8f6\n";
    {
        auto result = RunSession(
            dir, Handshake + "new\nhard\n" + QuickClock + "force\n" + knights + "go\nquit\n");
        EXPECT_TRUE(Contains(result.output, "move e2e4\n")) << result.output;
        const std::string log = dir.Read("Zelmor.log");
        EXPECT_TRUE(Contains(log, "move (book) e2e4\n- NO ponder move\n")) << log;
        EXPECT_FALSE(Contains(log, "start engine"));
        EXPECT_FALSE(Contains(log, "-ponder move: "));
    }
    {
        // One ply more, Black to move at game ply 64: the book is not asked.
        auto result = RunSession(
            dir, Handshake + "new\n" + QuickClock + "force\n" + knights + "f3g1\ngo\nquit\n");
        const std::string log = dir.Read("Zelmor.log");
        EXPECT_TRUE(Contains(log, "::cmd:: go\n")) << log;
        EXPECT_FALSE(Contains(log.substr(log.find("::cmd:: go\n")), "getBookMove")) << log;
        EXPECT_FALSE(Contains(result.output, "move e7e5")) << result.output;
    }
}

// A sample of the debug log's own texts through a move, its search, pondering and "force".
TEST(GameFlow, DebugLogTexts) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nhard\n" + QuickClock + "e2e4\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000)) << engine.output;
    ASSERT_TRUE(WaitForLog(dir, "---PONDER:"));
    engine.Send("force\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    const std::string log = dir.Read("Zelmor.log");
    std::size_t at = 0;
    for (const char* text : {"::cmd:: level\n40 0:05 0\n",
                             "::cmd:: time\n500 otim 500\n",
                             "::cmd:: e2e4\n",
                             "entered think: 0\n",
                             "getBookMove\n",
                             "bookMove 0\n",
                             "start engine\n",
                             "-M: entered StartEngine, goodPonder: 0\n",
                             "*** xxx czas uzyty: ",
                             "---------- brak hm na poczatku!!!\n",
                             "-FEN:\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/",
                             "-E: 2:\t",
                             "-E (-): ",
                             "\r\n------M: mv",
                             " sc: ",
                             " sct: ",
                             " d: ",
                             "\r\nmove ",
                             "\tscore: ",
                             "-ponder move: ",
                             "-M: entered StartEngine, goodPonder: 0\n",
                             "---PONDER:\n",
                             "::cmd:: force\n",
                             "-M: guessed move taken back\n",
                             "-M: entered StopEngine\n",
                             "-M: exited StopEngine\n",
                             "::cmd:: quit\n"}) {
        const std::size_t found = log.find(text, at);
        ASSERT_NE(found, std::string::npos) << "[" << text << "] after " << at << "\n" << log;
        at = found;
    }
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

// ---------------------------------------------------------------------------------------------
// Takeback, analysis and the interface's other commands

namespace {

// Whether the moves are legal, one after the other, from `setup` ("new" or a setboard line), as
// a fresh engine in force mode plays them.
bool LegalLine(const std::string& setup, const std::vector<std::string>& moves) {
    ScratchDir dir;
    std::string input = Handshake + setup + "\nforce\n";
    for (const std::string& move : moves) input += move + "\n";
    auto result = RunSession(dir, input + "quit\n");
    return result.exitCode == 0 && !Contains(result.output, "Illegal");
}

std::string LastMove(const std::string& output) {
    std::size_t at = output.rfind("move ");
    return at == std::string::npos ? "" : output.substr(at + 5, output.find('\n', at) - at - 5);
}

// The first move of the first whole thinking line printed after "pong tag": once the engine has
// answered the ping, every command before it has been handled.
std::string PvAfterPing(EngineProcess& engine, int tag) {
    const std::string pong = "pong " + std::to_string(tag) + "\n";
    engine.Send("ping " + std::to_string(tag) + "\n");
    if (!engine.WaitFor(pong, 20000)) return "no pong";
    const std::size_t from = engine.output.find(pong);
    const std::regex line(
        R"(\n    \d+     -?\d+     \d+     \d+  ([a-h][1-8][a-h][1-8][qrbn]?)[^\n]*\n)");
    for (int waits = 0; waits < 100; ++waits) {
        std::smatch m;
        const std::string rest = engine.output.substr(from + pong.size() - 1);
        if (std::regex_search(rest, m, line)) return m[1];
        engine.WaitFor("\n", 200, engine.output.size());
    }
    return "no line";
}

// Everything a game move changes and a takeback must restore, as one text.
std::string GameState() {
    std::string state;
    auto add = [&state](u64 value) { state += std::to_string(value) + ' '; };
    for (u64 bits : {pos.occupied, pos.occupiedR90, pos.occupiedR45, pos.occupiedR315,
                     pos.occupiedBy[0], pos.occupiedBy[1], pos.key, u64{pos.pawnKey}})
        add(bits);
    for (u64 bits : pos.pieces) add(bits);
    for (int value : std::initializer_list<int>{
             pos.enPassant, pos.materialTotal, pos.castleRights, pos.kingSquare[0],
             pos.kingSquare[1], pos.pieceMaterial[0], pos.pieceMaterial[1], pos.pawnCount[0],
             pos.pawnCount[1], pos.sideToMove, GamePosition.castleRights, GamePosition.enPassant,
             GamePosition.sideToMove, GamePosition.kingSquare[0], GamePosition.kingSquare[1],
             int{gamePly}})
        add(static_cast<u64>(value));
    for (const HistoryEntry* entry = history; entry <= historyTop; ++entry)
        add(HistoryKey(*entry) ^ entry->halfmoveClock);
    state.append(reinterpret_cast<const char*>(pos.board), 64);
    state.append(reinterpret_cast<const char*>(GamePosition.board), 64);
    return state;
}

TEST(Takeback, RestoresPositionHistoryAndGameCounters) {
    static bool ready = false;
    if (!ready) InitEngineTables();
    ready = true;
    // Every kind of move: double step, en passant, both castlings, promotion with capture.
    ASSERT_TRUE(SetBoard("r3k2r/1p4P1/8/2P5/8/8/8/R3K2R b KQkq - 0 1"));
    const char* line[] = {"b7b5", "c5b6", "e8c8", "e1g1", "d8d2", "g7h8q", "c8b7"};
    std::vector<std::string> before;
    for (const char* text : line) {
        before.push_back(GameState());
        ASSERT_TRUE(PlayGameMove(ParseMove(text), false)) << text;
    }
    const std::string end = GameState();
    EXPECT_FALSE(TakeBackGameMove(8)) << "more than the game holds";
    EXPECT_EQ(GameState(), end);
    for (int i = 6; i >= 0; --i) {
        ASSERT_TRUE(TakeBackGameMove(1)) << line[i];
        EXPECT_EQ(GameState(), before[i]) << line[i];
    }
    EXPECT_FALSE(TakeBackGameMove(1));
    // "white" or "black" between moves changes the side to move, not who made them.
    ASSERT_TRUE(PlayGameMove(ParseMove("b7b5"), false));
    pos.sideToMove = Black;
    ASSERT_TRUE(TakeBackGameMove(1));
    EXPECT_EQ(GameState(), before[0]);
    SetBoard(StartFen);
}

TEST(Takeback, UndoAtTheStartAndAfterOneMove) {
    ScratchDir dir;
    auto result = RunSession(
        dir, Handshake + "new\nforce\nremove\ne2e4\nundo\nundo\nundo\nremove\ne2e4\ne7e5\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.output, "Error (no game move to take back): undo\n"), 2);
    EXPECT_EQ(Count(result.output, "Error (no game move to take back): remove\n"), 2);
    EXPECT_FALSE(Contains(result.output, "Illegal"));
    std::string log = dir.Read("Zelmor.log");
    EXPECT_EQ(Count(log, "-M: game move taken back"), 1);
    EXPECT_EQ(Count(log, "-M: undo: no game move to take back"), 2);
}

TEST(Takeback, ClaimsAndBookAfterATakeback) {
    // Forced king moves for Black (Ra6 and Rb6 guard the sixth rank, Kf7 the g-file); the
    // position with Black's king on h7 and White's rook on a6 has been seen once when the two
    // takebacks are done. Kept history entries would make the engine's first move a third
    // repetition; lost ones would hide the real third one at the end.
    std::string cycle = Session(
        "setboard 7k/5K2/R7/8/8/8/8/8 b - - 0 1\nforce\nh8h7\na6b6\nh7h8\nb6a6\nh8h7\na6b6\n"
        "undo\nundo\neasy\nnopost\n" +
        QuickClock + "go\na6b6\nb6a6\n");
    EXPECT_EQ(cycle, "move h8h7\nmove h7h8\n1/2-1/2 {Draw by 3 fold repetition (2)}\n");
    // After taking back the hundredth reversible ply, the engine's move is the hundredth again.
    std::string fifty = Session(Shuffle(100) + "undo\nnopost\n" + QuickClock + "go\n");
    EXPECT_TRUE(std::regex_match(
        fifty, std::regex("move h8(g8|g7|h7)\n1/2-1/2 \\{Draw by 50 moves rule \\(33\\)\\}\n")))
        << fifty;
    // Ply 65 is past the book; three takebacks bring the game back to ply 62, and the book is
    // asked again.
    ScratchDir dir;
    auto book = RunSession(dir, Handshake + Shuffle(64) + "easy\n" + QuickClock +
                                    "go\nforce\nundo\nundo\nundo\ngo\nquit\n");
    EXPECT_EQ(Count(book.output, "\nmove "), 2) << book.output;
    EXPECT_EQ(Count(dir.Read("Zelmor.log"), "getBookMove"), 1);
}

TEST(Takeback, RemoveWhilePonderingThenAnotherMove) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    const std::string first = LastMove(engine.output);
    // The guessed reply (the guess becomes a game move), the engine's second move, pondering
    // again; the interface's hint and ping are answered without stopping the ponder search.
    std::size_t after = engine.output.size();
    engine.Send("time 500 otim 500\n" + guess + "\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000, after)) << engine.output;
    std::string log;
    for (int waited = 0; Count(log, "-ponder move: ") < 2 && waited < 20000; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log = dir.Read("Zelmor.log");
    }
    ASSERT_EQ(Count(log, "-ponder move: "), 2) << log;
    const std::size_t second = log.rfind("-ponder move: ");
    const std::string guess2 = log.substr(second + 14, log.find('\n', second) - second - 14);
    after = engine.output.size();
    engine.Send("hint\nping 3\n");
    ASSERT_TRUE(engine.WaitFor("pong 3\n", 10000, after)) << engine.output;
    EXPECT_LT(engine.output.find("Hint: " + guess2 + "\n", after), engine.output.find("pong 3"));
    // The user takes back the reply and plays another: the engine's answer fits that game.
    const std::string other = guess == "h7h6" ? "a7a6" : "h7h6";
    after = engine.output.size();
    engine.Send("remove\ntime 500 otim 500\n" + other + "\n");
    ASSERT_TRUE(engine.WaitFor("move ", 20000, after)) << engine.output;
    const std::string reply = LastMove(engine.output);
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "Illegal")) << engine.output;
    log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "-M: guessed move taken back"));
    EXPECT_TRUE(Contains(log, "-M: two game moves taken back"));
    EXPECT_TRUE(Contains(log, "GOOD PONDER"));
    EXPECT_TRUE(LegalLine("new", {first, other, reply})) << first << " " << other << " " << reply;
}

TEST(Takeback, UndoWhileThinkingTakesBackTheMoveJustPlayed) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    // 25 seconds for the move: only the commands end the search early.
    engine.Send(Handshake + "new\nhard\nlevel 40 5 0\ntime 100000 otim 100000\ngo\n");
    ASSERT_TRUE(WaitForLog(dir, "start engine"));
    engine.Send("undo\nping 4\n");
    ASSERT_TRUE(engine.WaitFor("pong 4\n", 10000)) << engine.output;
    const std::string move = LastMove(engine.output);
    EXPECT_LT(engine.output.find("move "), engine.output.find("pong 4"));
    // The move is gone from the engine's board: played again, it is legal.
    engine.Send("force\n" + move + "\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "Illegal")) << engine.output;
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "-M: game move taken back"));
}

TEST(Analysis, FollowsTheGameAndNeverPlays) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\npost\nanalyze\n");
    std::vector<std::string> game;
    int tag = 10;
    auto expectLegalPv = [&](const std::string& setup) {
        std::string pv = PvAfterPing(engine, ++tag);
        std::vector<std::string> line = game;
        line.push_back(pv);
        EXPECT_TRUE(LegalLine(setup, line)) << pv << " after " << game.size() << " moves";
    };
    expectLegalPv("new");
    for (const char* move : {"e2e4", "e7e5", "g1f3"}) {
        engine.Send(std::string(move) + "\n");
        game.push_back(move);
        expectLegalPv("new");
    }
    engine.Send("undo\n");
    game.pop_back();
    expectLegalPv("new");
    const std::string fen = "setboard r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
    engine.Send(fen + "\n");
    game.clear();
    expectLegalPv(fen);
    engine.Send(".\n");
    ASSERT_TRUE(engine.WaitFor("stat01: ", 10000)) << engine.output;
    // The status line: time, nodes, depth, moves left, legal moves (26), move under search.
    std::regex status(R"(stat01: \d+ \d+ \d+ \d+ 26 [a-h][1-8][a-h][1-8]\n)");
    ASSERT_TRUE(engine.WaitFor("\n", 5000, engine.output.find("stat01: ")));
    EXPECT_TRUE(std::regex_search(engine.output, status)) << engine.output;
    // "exit" ends it: no thinking line after the engine has read it, and moves get no reply.
    engine.Send("exit\nping 99\n");
    ASSERT_TRUE(engine.WaitFor("pong 99\n", 10000));
    engine.Send("e8c8\nping 100\n");
    ASSERT_TRUE(engine.WaitFor("pong 100\n", 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string afterExit = engine.output.substr(engine.output.find("pong 99\n") + 8);
    EXPECT_EQ(afterExit, "pong 100\n");
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "move "));
    EXPECT_FALSE(Contains(engine.output, "Illegal"));
    EXPECT_FALSE(Contains(engine.output, "Error"));
}

TEST(Analysis, StartedWhilePonderingAnalysesTheGamePosition) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    std::string guess;
    StartPondering(engine, dir, guess);
    const std::string first = LastMove(engine.output);
    engine.Send("analyze\n");
    const std::string pv = PvAfterPing(engine, 1);
    engine.Send("exit\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_TRUE(LegalLine("new", {first, pv})) << first << " " << pv;
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "-M: guessed move taken back"));
}

TEST(LimitsAndOutput, FixedTimeAMoveWhateverTheClock) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "easy\nnopost\nst 2\n");
    auto timed = [&](const std::string& commands) {
        const std::size_t after = engine.output.size();
        const auto sent = std::chrono::steady_clock::now();
        engine.Send(commands);
        EXPECT_TRUE(engine.WaitFor("move ", 20000, after)) << engine.output;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    };
    const double shortClock = timed("new\ntime 50 otim 50\ngo\n");
    const double longClock = timed("force\nnew\ntime 1000000 otim 1000000\ngo\n");
    // "level" ends the fixed time: the clock's budget (half a second here) counts again.
    const double level = timed("force\nnew\nlevel 0 0:05 0\ntime 1000 otim 1000\ngo\n");
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_GT(shortClock, 1.5);
    EXPECT_LT(shortClock, 3.5);
    EXPECT_GT(longClock, 1.5);
    EXPECT_LT(longClock, 3.5);
    EXPECT_LT(level, 1.5);
}

TEST(LimitsAndOutput, FixedDepthAndThinkingOutput) {
    std::string depth = Session("new\neasy\nlevel 40 5 0\nsd 5\ntime 100000 otim 100000\ngo\n");
    std::regex thinking(R"(    (\d+)     -?\d+     \d+     \d+  [^\n]*\n)");
    int deepest = 0;
    for (auto it = std::sregex_iterator(depth.begin(), depth.end(), thinking);
         it != std::sregex_iterator(); ++it)
        deepest = std::max(deepest, std::stoi((*it)[1]));
    EXPECT_EQ(deepest, 5) << depth;
    EXPECT_TRUE(Contains(depth, "move ")) << depth;
    // "nopost" silences the thinking lines, "post" brings them back.
    std::string post = Session("new\neasy\nnopost\n" + QuickClock + "go\nforce\nnew\npost\ngo\n");
    const std::size_t second = post.find("move ", post.find("move ") + 1);
    ASSERT_NE(second, std::string::npos) << post;
    EXPECT_FALSE(std::regex_search(post.substr(0, post.find("move ")), thinking)) << post;
    EXPECT_TRUE(std::regex_search(post.substr(post.find("move ")), thinking)) << post;
}

TEST(LimitsAndOutput, PingAnswersAfterWhatCameBefore) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake +
                "new\nforce\ne2e5\nping 7\nhard\nlevel 40 5 0\n"
                "time 100000 otim 100000\ngo\nping 8\n");
    ASSERT_TRUE(engine.WaitFor("pong 8\n", 15000)) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    const std::string& out = engine.output;
    EXPECT_LT(out.find("Illegal Move: e2e5\n"), out.find("pong 7\n"));
    EXPECT_LT(out.find("pong 7\n"), out.find("move "));
    EXPECT_LT(out.find("move "), out.find("pong 8\n"));
}

}  // namespace

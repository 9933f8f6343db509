// The UCI front end through the real binary: handshake, searches under every kind of limit,
// pondering, a whole game on a running clock, mate scores, bad input, and the same search as the
// xboard side. Every bestmove is checked against the legal moves computed in this process.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <thread>

#include "engine/engine.h"
#include "engine/engine_process.h"
#include "engine/internal.h"
#include "movegen/movegen.h"

namespace {

using zelmor_test::Contains;
using zelmor_test::EngineProcess;
using zelmor_test::Handshake;
using zelmor_test::ScratchDir;
using Clock = std::chrono::steady_clock;
using Moves = std::vector<std::string>;

int MsSince(Clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The legal moves of a position, computed here with the engine's own board.
Moves LegalMoves(const std::string& fen, const Moves& moves = {}) {
    static const bool tablesReady = (InitEngineTables(), true);
    (void)tablesReady;
    SetBoard(fen == "startpos" ? StartFen : fen.c_str());
    for (const std::string& m : moves) EXPECT_TRUE(PlayGameMove(ParseMove(m.c_str()), false)) << m;
    ScoredMove list[MaxGeneratedMoves];
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove* end = checkInfo.checkers ? EvasionGenerators[pos.sideToMove](list, checkInfo)
                                         : MoveGenerators[pos.sideToMove](list);
    Moves legal;
    char text[8];
    for (ScoredMove* m = list; m != end; ++m)
        if (KeepsKingSafe(m->move)) legal.push_back((MoveToText(m->move, text), text));
    return legal;
}

bool IsLegal(const std::string& move, const std::string& fen, const Moves& moves = {}) {
    Moves legal = LegalMoves(fen, moves);
    return std::find(legal.begin(), legal.end(), move) != legal.end();
}

std::string Joined(const Moves& moves) {
    std::string text;
    for (const std::string& m : moves) text += " " + m;
    return text;
}

// Zelmor in UCI mode, past its handshake. Output is consumed up to each bestmove read.
class Uci {
public:
    // Started with --uci, or as `binary` (a link named zelmor-uci) without arguments.
    explicit Uci(const std::string& binary = "")
        : engine_(dir_.path(), nullptr, binary.empty() ? ZELMOR_BINARY : binary,
                  binary.empty() ? Moves{"--uci"} : Moves{}) {}
    void Send(const std::string& text) { engine_.Send(text); }
    bool Wait(const std::string& text, int ms = 30000) { return engine_.WaitFor(text, ms, seen_); }
    // The output since the last bestmove read.
    std::string Fresh() const { return engine_.output.substr(seen_); }
    // The next bestmove and its ponder move ("" on timeout); its lines are kept in lastSearch.
    std::string BestMove(int ms = 60000, std::string* ponder = nullptr) {
        if (!engine_.WaitFor("bestmove ", ms, seen_)) return "";
        std::size_t at = engine_.output.find("bestmove ", seen_);
        if (!engine_.WaitFor("\n", 5000, at)) return "";
        std::size_t end = engine_.output.find('\n', at);
        lastSearch = engine_.output.substr(seen_, end - seen_);
        std::istringstream words(engine_.output.substr(at, end - at));
        std::string word, move, reply;
        words >> word >> move >> word >> reply;
        if (ponder) *ponder = reply;
        seen_ = end + 1;
        return move;
    }
    int Finish() { return engine_.Finish(20000); }
    const ScratchDir& dir() const { return dir_; }
    std::string lastSearch;

private:
    ScratchDir dir_;
    EngineProcess engine_;
    std::size_t seen_ = 0;
};

// The last "info depth" line of a search: its depth, score text, nodes and first pv move.
struct Info {
    int depth = 0;
    std::string score, nodes, move;
};
Info LastInfo(const std::string& output) {
    static const std::regex pattern(
        R"(info depth (\d+) seldepth \d+ multipv 1 score (cp -?\d+|mate -?\d+) nodes (\d+) nps \d+ hashfull \d+ time \d+(?: pv (\S+))?)");
    Info info;
    for (std::sregex_iterator it(output.begin(), output.end(), pattern), end; it != end; ++it)
        info = {std::stoi((*it)[1]), (*it)[2], (*it)[3], (*it)[4]};
    return info;
}

TEST(Uci, HandshakeUnderEitherNameWithTheReportInTheLog) {
    Uci uci;
    uci.Send("uci\n");
    ASSERT_TRUE(uci.Wait("uciok\n"));
    std::string out = uci.Fresh();
    EXPECT_EQ(out.rfind("id name Zelmor\nid author ", 0), 0u) << out;
    for (const char* option : {"option name Ponder type check default false\n",
                               "option name OwnBook type check default true\n",
                               "option name BookPath type string default <empty>\n",
                               "option name EgbbPath type string default <empty>\n",
                               "option name EgbbCache type spin default 4 min 0 max 2047\n",
                               "option name EgbbLoad type spin default 1 min 0 max 5\n",
                               "option name Hash type spin default 72 min 1 max ",
                               "option name Threads type spin default 1 min 1 max 256\n",
                               "option name Clear Hash type button\n"})
        EXPECT_TRUE(Contains(out, option)) << option;
    // Start-up's report is for the log; the user hears what is missing as info strings.
    EXPECT_FALSE(Contains(out, "ERROR") || Contains(out, "feature"));
    uci.Send("isready\n");
    ASSERT_TRUE(uci.Wait("readyok\n"));
    EXPECT_TRUE(Contains(uci.Fresh(), "info string no opening book"));
    EXPECT_TRUE(Contains(uci.Fresh(), "info string endgame bitbases not loaded"));
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
    std::string log = uci.dir().Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "BOOK ERROR: ") && Contains(log, "EGBB ERROR: ")) << log;

    const std::string link = uci.dir().path() + "/zelmor-uci";
    ASSERT_EQ(symlink(ZELMOR_BINARY, link.c_str()), 0);
    Uci linked(link);
    linked.Send("uci\n");
    EXPECT_TRUE(linked.Wait("uciok\n"));
    linked.Send("quit\n");
    EXPECT_EQ(linked.Finish(), 0);
}

TEST(Uci, DepthMoveTimeInfiniteAndALongPosition) {
    Uci uci;
    uci.Send("uci\nposition startpos moves e2e4 e7e5\ngo depth 6\n");
    std::string move = uci.BestMove();
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4", "e7e5"})) << move;
    EXPECT_EQ(LastInfo(uci.lastSearch).depth, 6) << uci.lastSearch;
    EXPECT_FALSE(Contains(uci.lastSearch, "info depth 7"));

    auto start = Clock::now();
    uci.Send("go movetime 500\n");
    move = uci.BestMove(5000);
    const int ms = MsSince(start);
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4", "e7e5"})) << move;

    // A node limit is checked at the search's polls, every 16384 nodes.
    uci.Send("go nodes 50000\n");
    move = uci.BestMove();
    EXPECT_LT(std::stoll("0" + LastInfo(uci.lastSearch).nodes), 50000 + 16384) << uci.lastSearch;
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4", "e7e5"})) << move;

    // Infinite: readyok at once while searching, no bestmove before stop.
    uci.Send("go infinite\n");
    ASSERT_TRUE(uci.Wait("info depth "));
    uci.Send("isready\n");
    ASSERT_TRUE(uci.Wait("readyok\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(Contains(uci.Fresh(), "bestmove"));
    uci.Send("stop\n");
    start = Clock::now();
    move = uci.BestMove(5000);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4", "e7e5"})) << move;

    // 200 moves of a game chosen at random among the legal ones.
    Moves game;
    for (unsigned seed = 7; game.size() < 200; ++seed) {
        game.clear();
        for (unsigned r = seed; game.size() < 200; r = r * 1103515245u + 12345u) {
            Moves legal = LegalMoves("startpos", game);
            if (legal.empty()) break;
            game.push_back(legal[(r >> 16) % legal.size()]);
        }
    }
    uci.Send("position startpos moves" + Joined(game) + "\ngo depth 4\n");
    move = uci.BestMove();
    EXPECT_TRUE(IsLegal(move, "startpos", game)) << move;
    EXPECT_FALSE(Contains(uci.lastSearch, "info string")) << uci.lastSearch;
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, PonderHitGoesOnUnderTheClockAndAMissIsTakenBack) {
    Uci uci;
    const Moves guessed = {"e2e4", "e7e5", "g1f3", "b8c6"};
    uci.Send("uci\nposition startpos moves" + Joined(guessed) +
             "\ngo ponder wtime 3000 btime 3000\n");
    // The clock would have ended a search for the move by now; a ponder search ignores it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(Contains(uci.Fresh(), "bestmove"));
    uci.Send("ponderhit\n");
    auto start = Clock::now();
    std::string move = uci.BestMove(5000);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_TRUE(IsLegal(move, "startpos", guessed)) << move;

    // The opponent plays another move: stop, then a position without the guess.
    Moves game = guessed;
    game.push_back(move);
    game.push_back(LegalMoves("startpos", game)[0]);
    uci.Send("position startpos moves" + Joined(game) + "\ngo ponder wtime 3000 btime 3000\n");
    ASSERT_TRUE(uci.Wait("info depth "));
    uci.Send("stop\n");
    start = Clock::now();
    EXPECT_TRUE(IsLegal(uci.BestMove(5000), "startpos", game));
    EXPECT_LT(MsSince(start), 1000);
    game.back() = LegalMoves("startpos", Moves(game.begin(), game.end() - 1))[1];
    uci.Send("position startpos moves" + Joined(game) + "\ngo depth 5\n");
    move = uci.BestMove();
    EXPECT_TRUE(IsLegal(move, "startpos", game)) << move << Joined(game);
    EXPECT_FALSE(Contains(uci.lastSearch, "info string")) << uci.lastSearch;
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, AGameOnARunningClockNeverLosesOnTime) {
    Uci uci;
    uci.Send("uci\nucinewgame\nisready\n");
    ASSERT_TRUE(uci.Wait("readyok"));
    Moves game;
    // Each move spends a thirty-third of the clock and the increment, so the clock runs down.
    int clock[2] = {5000, 5000};  // [Black], [White], in ms
    const int increment = 100;
    for (int ply = 0; ply < 70; ++ply) {
        if (LegalMoves("startpos", game).empty()) break;
        const int side = ply % 2 == 0 ? 1 : 0;
        auto start = Clock::now();
        uci.Send("position startpos moves" + Joined(game) + "\ngo wtime " +
                 std::to_string(clock[1]) + " btime " + std::to_string(clock[0]) + " winc " +
                 std::to_string(increment) + " binc " + std::to_string(increment) + "\n");
        std::string move = uci.BestMove(clock[side] + 2000);
        clock[side] -= MsSince(start);
        ASSERT_GT(clock[side], 0) << "lost on time at ply " << ply;
        clock[side] += increment;
        ASSERT_TRUE(IsLegal(move, "startpos", game)) << move << " after" << Joined(game);
        game.push_back(move);
    }
    EXPECT_LT(std::min(clock[0], clock[1]), 4000) << "the clock was hardly used";
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, MateScoresInMovesWithTheSideToMovesSign) {
    Uci uci;
    const struct {
        const char* fen;
        const char* score;
        const char* move;
    } cases[] = {
        {"7k/5K2/8/8/8/8/8/R7 w - - 0 1", "mate 1", "a1h1"},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", "mate 2", ""},
        {"7k/5K2/8/8/8/8/8/6R1 b - - 0 1", "mate -1", "h8h7"},
    };
    uci.Send("uci\n");
    for (const auto& c : cases) {
        uci.Send(std::string("position fen ") + c.fen + "\ngo depth 6\n");
        std::string move = uci.BestMove();
        EXPECT_EQ(LastInfo(uci.lastSearch).score, c.score) << c.fen << uci.lastSearch;
        EXPECT_TRUE(IsLegal(move, c.fen)) << move;
        if (*c.move) {
            EXPECT_EQ(move, c.move);
        }
    }
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, BadInputIsToldAndNeverLeavesAnIllegalMoveOrAHang) {
    Uci uci;
    uci.Send("uci\nposition startpos moves e2e4\nposition fen 9/8/8 w - -\ngo depth 3\n");
    std::string move = uci.BestMove();
    EXPECT_TRUE(Contains(uci.lastSearch, "info string position: FEN")) << uci.lastSearch;
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4"})) << move;  // the position stayed

    uci.Send("position startpos moves e2e4 e7e5 e1e3 g1f3\ngo depth 3\n");
    move = uci.BestMove();
    EXPECT_TRUE(Contains(uci.lastSearch, "info string position: move 3 (e1e3) is illegal"));
    EXPECT_TRUE(IsLegal(move, "startpos", {"e2e4", "e7e5"})) << move;

    uci.Send(
        "position\nposition startpos moves e7e8q\nsetoption\n"
        "setoption name Nonsense value 3\nsetoption name EgbbLoad value 9\n"
        "setoption name OwnBook value maybe\nsetoption name Hash value 0\n"
        "setoption name Threads value 999\nsetoption name Threads value two\n"
        "setoption name Threads value 2\ngo wtime -100 btime -100\n");
    move = uci.BestMove(5000);
    for (const char* told :
         {"info string position needs startpos or fen", "move 1 (e7e8q) is illegal",
          "info string setoption needs", "no option 'Nonsense'", "EgbbLoad takes 0 to 5, not '9'",
          "OwnBook takes true or false", "1 used, not '0'", "Threads takes 1 to 256: 256 used",
          "Threads takes 1 to 256, not 'two'", "wtime -100 is negative"})
        EXPECT_TRUE(Contains(uci.lastSearch, told)) << told;
    EXPECT_TRUE(IsLegal(move, "startpos")) << move;

    uci.Send("go depth -3 wtime\n");
    ASSERT_TRUE(uci.Wait("info depth "));  // no usable limit: it searches until stop
    uci.Send("stop\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(5000), "startpos"));
    EXPECT_TRUE(Contains(uci.lastSearch, "info string go: depth -3 is no limit"));
    EXPECT_TRUE(Contains(uci.lastSearch, "info string go: wtime needs a number"));

    // No legal move: 0000, and only after stop in an infinite search.
    uci.Send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 5\n");
    EXPECT_EQ(uci.BestMove(), "0000");
    EXPECT_TRUE(Contains(uci.lastSearch, "score cp 0"));
    uci.Send("position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1\ngo infinite\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Contains(uci.Fresh(), "bestmove"));
    uci.Send("stop\n");
    EXPECT_EQ(uci.BestMove(5000), "0000");
    EXPECT_TRUE(Contains(uci.lastSearch, "score mate 0"));

    // A command that needs a resting engine ends the search first, then takes effect.
    uci.Send("position startpos\ngo infinite\n");
    ASSERT_TRUE(uci.Wait("info depth "));
    uci.Send("position startpos moves d2d4\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(5000), "startpos"));
    EXPECT_TRUE(Contains(uci.lastSearch, "info string position during a search"));
    uci.Send("go depth 3\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(), "startpos", {"d2d4"}));

    // The end of input ends an infinite search with its move and the engine with it.
    uci.Send("go infinite\n");
    ASSERT_TRUE(uci.Wait("info depth "));
    EXPECT_EQ(uci.Finish(), 0);
    EXPECT_TRUE(IsLegal(uci.BestMove(1000), "startpos", {"d2d4"}));
}

TEST(Uci, HashThreadsAndClearHashTakeEffectBetweenSearches) {
    Uci uci;
    uci.Send(
        "uci\nsetoption name Threads value 2\nsetoption name Hash value 16\n"
        "setoption name Clear Hash\nsetoption name Hash value 72\nisready\n");
    ASSERT_TRUE(uci.Wait("readyok\n"));
    uci.Send("position startpos\ngo depth 4\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(), "startpos"));
    // With helpers searching: stopped from the input, and a ponder search turned into the move.
    uci.Send("position startpos moves e2e4\ngo infinite\n");
    ASSERT_TRUE(uci.Wait("info depth 6 "));
    uci.Send("stop\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(), "startpos", {"e2e4"}));
    uci.Send("position startpos moves e2e4 e7e5\ngo ponder wtime 2000 btime 2000\n");
    ASSERT_TRUE(uci.Wait("info depth 5 "));
    uci.Send("ponderhit\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(), "startpos", {"e2e4", "e7e5"}));
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
    const std::string log = uci.dir().Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "-M: 2 search threads\n")) << log;
    EXPECT_TRUE(Contains(log, "-M: table of 18874368 bytes\n"));  // 18 MiB, nearest to 16
    EXPECT_TRUE(Contains(log, "-M: table cleared\n"));
    EXPECT_TRUE(Contains(log, "-M: table of 75497472 bytes\n"));
}

// The same position and depth through either front end: the same nodes, score and move.
TEST(Uci, SearchesAsTheXboardSideDoes) {
    const Moves moves = {"e2e4", "c7c5", "g1f3", "d7d6", "d2d4"};
    Uci uci;
    uci.Send("uci\nucinewgame\nposition startpos moves" + Joined(moves) + "\ngo depth 6\n");
    const std::string move = uci.BestMove();
    const Info info = LastInfo(uci.lastSearch);
    ASSERT_EQ(info.depth, 6) << uci.lastSearch;
    EXPECT_EQ(info.move, move);
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);

    ScratchDir dir;
    EngineProcess xboard(dir.path());
    std::string commands = Handshake + "new\neasy\nforce\n";
    for (const std::string& m : moves) commands += m + "\n";
    xboard.Send(commands + "level 0 100 0\ntime 1000000 otim 1000000\ngo\n");
    ASSERT_TRUE(xboard.WaitFor("\n    7     ", 120000)) << xboard.output;
    xboard.Send("?\nquit\n");
    EXPECT_EQ(xboard.Finish(), 0);
    std::smatch line;
    ASSERT_TRUE(std::regex_search(xboard.output, line,
                                  std::regex(R"(\n    6     (-?\d+)     \d+     (\d+)  (\S+))")));
    EXPECT_EQ(line[2], info.nodes);
    EXPECT_EQ(line[3], move);
    EXPECT_EQ("cp " + line[1].str(), info.score);
}

}  // namespace

namespace {

TEST(Uci, PlainBinaryAnswersUciAsItsFirstWord) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send("uci\n");
    ASSERT_TRUE(engine.WaitFor("uciok\n")) << engine.output;
    engine.Send("isready\nposition startpos moves e2e4\ngo depth 3\n");
    ASSERT_TRUE(engine.WaitFor("bestmove ")) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "Engine works only")) << engine.output;
    EXPECT_FALSE(Contains(engine.output, "feature"));
    // Any other first word is the xboard side's business, as before.
    auto other = zelmor_test::RunSession(dir, "ucinewgame\nquit\n");
    EXPECT_EQ(other.output.rfind("Engine works only with xboard protocol ver. 2\n", 0), 0u);
}

// Every "info depth" line of a search, in order: depth, and whether it is complete.
std::vector<int> InfoDepths(const std::string& output) {
    static const std::regex pattern(R"(info depth (\d+) seldepth (\d+) multipv 1 score )");
    std::vector<int> depths;
    for (std::sregex_iterator it(output.begin(), output.end(), pattern), end; it != end; ++it) {
        depths.push_back(std::stoi((*it)[1]));
        EXPECT_GE(std::stoi((*it)[2]), depths.back());
    }
    return depths;
}

TEST(Uci, InfoAsInterfacesExpectAndARepeatedPositionStillSearched) {
    Uci uci;
    uci.Send("uci\nposition startpos moves e2e4 e7e5 g1f3 b8c6\ngo infinite\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    uci.Send("stop\n");
    const std::string best = uci.BestMove();
    EXPECT_TRUE(IsLegal(best, "startpos", {"e2e4", "e7e5", "g1f3", "b8c6"})) << best;
    const std::string& out = uci.lastSearch;
    // Progress after the first second: the move under search and the plain counts line.
    EXPECT_TRUE(std::regex_search(
        out,
        std::regex(R"(\ninfo depth \d+ currmove [a-h][1-8][a-h][1-8] currmovenumber [1-9]\d*\n)")))
        << out;
    EXPECT_TRUE(
        std::regex_search(out, std::regex(R"(\ninfo nodes \d+ nps \d+ hashfull \d+ time \d+\n)")))
        << out;
    // The last line before bestmove closes the search at the depth completed, never less.
    const std::vector<int> depths = InfoDepths(out);
    ASSERT_GE(depths.size(), 2u);
    EXPECT_TRUE(std::is_sorted(depths.begin(), depths.end())) << out;
    const std::size_t last = out.rfind("\ninfo ");
    EXPECT_EQ(out.compare(last, 12, "\ninfo depth "), 0) << out;
    EXPECT_EQ(depths.back(), depths[depths.size() - 2]);

    // The start position a third time: searched like any other, not answered with a stock move.
    uci.Send("position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8\ngo depth 5\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(), "startpos"));
    EXPECT_EQ(LastInfo(uci.lastSearch).depth, 5) << uci.lastSearch;
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, GoMateStopsOnceTheMateIsProven) {
    Uci uci;
    // A back-rank mate in one: the first iteration that proves it ends the search, where a plain
    // search confirms a mate over four iterations.
    const std::string fen = "6k1/5ppp/8/8/8/8/5PPP/1R4K1 w - - 0 1";
    uci.Send("uci\nposition fen " + fen + "\ngo mate 1\n");
    EXPECT_TRUE(IsLegal(uci.BestMove(20000), fen));
    EXPECT_EQ(LastInfo(uci.lastSearch).score, "mate 1") << uci.lastSearch;
    EXPECT_EQ(InfoDepths(uci.lastSearch).size(), 2u) << uci.lastSearch;  // the proof, the close
    uci.Send("position fen " + fen + "\ngo depth 8\n");
    uci.BestMove(20000);
    EXPECT_GT(InfoDepths(uci.lastSearch).size(), 3u) << uci.lastSearch;
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

TEST(Uci, AnalyseModeLeavesTheBookAndTheOverheadIsAnOption) {
    Uci uci;
    const std::string games =
        "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 1-0\n\n[Result \"1-0\"]\n\n1. e4 c5 1-0\n";
    uci.dir().Write("games.pgn", games);
    const std::string book = uci.dir().path() + "/book";
    const std::string make = std::string("ZELMOR='") + ZELMOR_BINARY + "' '" + ZELMOR_TEST_DATA +
                             "/../../scripts/make-book' '" + book + "' '" + uci.dir().path() +
                             "/games.pgn' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    uci.Send("uci\n");
    ASSERT_TRUE(uci.Wait("option name Move Overhead type spin default 50 min 0 max 5000\n"));
    ASSERT_TRUE(uci.Wait("option name UCI_AnalyseMode type check default false\n"));
    uci.Send("setoption name BookPath value " + book +
             "\nsetoption name Move Overhead value 100\n"
             "position startpos\ngo depth 3\n");
    EXPECT_EQ(uci.BestMove(), "e2e4");
    EXPECT_TRUE(Contains(uci.lastSearch, "info string book move e2e4")) << uci.lastSearch;
    uci.Send("setoption name UCI_AnalyseMode value true\nposition startpos\ngo depth 3\n");
    uci.BestMove();
    EXPECT_FALSE(Contains(uci.lastSearch, "book move")) << uci.lastSearch;
    EXPECT_EQ(LastInfo(uci.lastSearch).depth, 3);
    uci.Send("setoption name Move Overhead value 6000\nisready\n");
    EXPECT_TRUE(uci.Wait("Move Overhead takes 0 to 5000"));
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

}  // namespace

namespace {

TEST(Uci, MultiPvLinesAndSearchMovesRestrictTheRoot) {
    Uci uci;
    const Moves opening{"e2e4"};
    uci.Send("uci\nsetoption name MultiPV value 3\nposition startpos moves e2e4\ngo depth 5\n");
    const std::string best = uci.BestMove();
    EXPECT_TRUE(IsLegal(best, "startpos", opening));
    // Each depth: lines 1, 2 and 3, with three different first moves, line 1's move played.
    static const std::regex line(
        R"(info depth (\d+) seldepth \d+ multipv (\d) score \S+ -?\d+ .* pv (\S+))");
    std::map<int, std::vector<std::string>> byDepth;
    const std::string& out = uci.lastSearch;
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
        auto& lines = byDepth[std::stoi((*it)[1])];
        if (std::stoi((*it)[2]) == static_cast<int>(lines.size()) + 1) lines.push_back((*it)[3]);
    }
    for (int depth = 2; depth <= 5; ++depth) {
        const auto& lines = byDepth[depth];
        ASSERT_EQ(lines.size(), 3u) << depth << out;
        EXPECT_TRUE(lines[0] != lines[1] && lines[1] != lines[2] && lines[0] != lines[2]) << out;
        for (const std::string& move : lines) EXPECT_TRUE(IsLegal(move, "startpos", opening));
    }
    EXPECT_EQ(best, byDepth[5][0]);

    // Only the listed moves; an illegal word is told and left out. Next time every move again,
    // not the restricted search's answer from the table.
    const std::string fen = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
    uci.Send("setoption name MultiPV value 1\nposition fen " + fen +
             "\ngo depth 4 searchmoves a1b1 a1c1 e2e4\n");
    const std::string restricted = uci.BestMove();
    EXPECT_TRUE(restricted == "a1b1" || restricted == "a1c1") << uci.lastSearch;
    EXPECT_TRUE(Contains(uci.lastSearch, "searchmoves: e2e4 is not a legal move here"));
    EXPECT_FALSE(Contains(uci.lastSearch, "pv a1a8"));
    uci.Send("position fen " + fen + "\ngo depth 4\n");
    EXPECT_EQ(uci.BestMove(), "a1a8");
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
}

}  // namespace

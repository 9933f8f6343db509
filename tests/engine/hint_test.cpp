// "hint" in every state of the engine: after its move (playing and in force mode), while it
// ponders and while it analyses, the answer is a legal move of the side to move in the game
// position, the one the engine expects; before any search there may be none, but the engine
// goes on answering.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"
#include "engine_process.h"
#include "movegen/movegen.h"

namespace {

using zelmor_test::EngineProcess;
using zelmor_test::Handshake;
using zelmor_test::ScratchDir;

// The legal moves after `moves` from the initial position, from this process's own board.
std::vector<std::string> LegalAfter(const std::vector<std::string>& moves) {
    static const bool ready = (InitTables(), true);
    (void)ready;
    SetBoard(StartFen);
    for (const std::string& m : moves) EXPECT_TRUE(PlayGameMove(ParseMove(m.c_str()), false)) << m;
    ScoredMove list[MaxGeneratedMoves];
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove* end = checkInfo.checkers ? EvasionGenerators[pos.sideToMove](list, checkInfo)
                                         : MoveGenerators[pos.sideToMove](list);
    std::vector<std::string> legal;
    char text[8];
    for (ScoredMove* m = list; m != end; ++m)
        if (KeepsKingSafe(m->move)) legal.push_back((MoveToText(m->move, text), text));
    return legal;
}

// Sends "hint" and returns the move of the "Hint:" line that follows.
std::string Hint(EngineProcess& engine) {
    const std::size_t from = engine.output.size();
    engine.Send("hint\n");
    if (!engine.WaitFor("Hint: ", 10000, from)) return "";
    const std::size_t at = engine.output.find("Hint: ", from) + 6;
    if (!engine.WaitFor("\n", 5000, at)) return "";
    return engine.output.substr(at, engine.output.find('\n', at) - at);
}

// The engine's move after "go".
std::string EngineMove(EngineProcess& engine, std::size_t from) {
    if (!engine.WaitFor("move ", 30000, from)) return "";
    const std::size_t at = engine.output.find("move ", from) + 5;
    if (!engine.WaitFor("\n", 5000, at)) return "";
    return engine.output.substr(at, engine.output.find('\n', at) - at);
}

// Waits for a thinking line whose principal variation starts with a Black move (from rank 7 or
// 8): after 1.e4 in analysis that can only come from the search of the new position, whatever
// depth it starts at and whatever the old search printed meanwhile.
bool WaitForBlackLine(EngineProcess& engine, std::size_t from, int timeoutMs) {
    static const std::regex line("\n +[0-9]+ +-?[0-9]+ +[0-9]+ +[0-9]+  [a-h][1-8][a-h][1-8]");
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        for (std::sregex_iterator
                 it(engine.output.begin() + static_cast<long>(from), engine.output.end(), line),
             end;
             it != end; ++it) {
            const char rank = it->str()[it->str().size() - 3];
            if (rank == '7' || rank == '8') return true;
        }
        engine.WaitFor(" \n", 100, engine.output.size());
    }
    return false;
}

bool IsIn(const std::string& move, const std::vector<std::string>& moves) {
    return std::find(moves.begin(), moves.end(), move) != moves.end();
}

TEST(Hint, AfterTheEnginesMoveInPlayAndInForceMode) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    // Nothing searched yet: no hint, but the engine stays responsive.
    engine.Send(Handshake + "new\neasy\nsd 4\nhint\nping 1\n");
    ASSERT_TRUE(engine.WaitFor("pong 1", 10000)) << engine.output;
    EXPECT_EQ(engine.output.find("Hint: "), std::string::npos) << engine.output;

    engine.Send("go\n");
    const std::string reply = EngineMove(engine, 0);
    ASSERT_FALSE(reply.empty()) << engine.output;
    const std::vector<std::string> legal = LegalAfter({reply});
    const std::string playing = Hint(engine);
    EXPECT_TRUE(IsIn(playing, legal)) << "[" << playing << "] " << engine.output;
    engine.Send("force\n");
    const std::string forced = Hint(engine);
    EXPECT_EQ(forced, playing);
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Hint, WhilePonderingItIsTheGuess) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nhard\nlevel 40 0:05 0\ntime 500\notim 500\ngo\n");
    const std::string reply = EngineMove(engine, 0);
    ASSERT_FALSE(reply.empty()) << engine.output;
    std::string guess;
    for (int waited = 0; waited < 10000 && guess.empty(); waited += 20) {
        const std::string log = dir.Read("Zelmor.log");
        const std::size_t at = log.find("-ponder move: ");
        if (at != std::string::npos && log.find('\n', at) != std::string::npos)
            guess = log.substr(at + 14, log.find('\n', at) - at - 14);
        else
            usleep(20000);
    }
    ASSERT_FALSE(guess.empty()) << dir.Read("Zelmor.log");
    const std::string hint = Hint(engine);
    EXPECT_EQ(hint, guess);
    EXPECT_TRUE(IsIn(hint, LegalAfter({reply})));
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Hint, WhileAnalysingItFollowsTheAnalysedPosition) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\npost\nanalyze\n");
    ASSERT_TRUE(engine.WaitFor("\n    3 ", 30000)) << engine.output;
    const std::string first = Hint(engine);
    EXPECT_TRUE(IsIn(first, LegalAfter({}))) << "[" << first << "] " << engine.output;

    // A move in analysis: the hint is then a move for the other side.
    std::size_t from = engine.output.size();
    engine.Send("e2e4\n");
    ASSERT_TRUE(WaitForBlackLine(engine, from, 30000)) << engine.output;
    const std::string second = Hint(engine);
    EXPECT_TRUE(IsIn(second, LegalAfter({"e2e4"}))) << "[" << second << "] " << engine.output;
    engine.Send("exit\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
}

}  // namespace

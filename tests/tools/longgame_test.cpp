// A game longer than 1100 plies sent move by move in "force" mode, then "go": the engine takes
// every move, keeps its game history intact, and answers with a legal move of the final position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_process.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "movegen/test_helpers.h"
#include "records/records.h"

using namespace testing_support;

namespace {

// Knights shuffle g1-h3 and g8-h6 in blocks of 80 plies; a pawn move of each side after every
// block keeps the fifty-move rule from ever applying (and neither rule stops force mode).
std::vector<std::string> LongGame() {
    static const char* const PawnMoves[][2] = {
        {"a2a3", "a7a6"}, {"b2b3", "b7b6"}, {"c2c3", "c7c6"}, {"d2d3", "d7d6"}, {"e2e3", "e7e6"},
        {"f2f3", "f7f6"}, {"a3a4", "a6a5"}, {"b3b4", "b6b5"}, {"c3c4", "c6c5"}, {"d3d4", "d6d5"},
        {"e3e4", "e6e5"}, {"f3f4", "f6f5"}, {"g2g3", "g7g6"}, {"g3g4", "g6g5"}};
    std::vector<std::string> moves;
    for (const auto& pawns : PawnMoves) {
        for (int cycle = 0; cycle < 20; ++cycle)
            for (const char* move : {"g1h3", "g8h6", "h3g1", "h6g8"}) moves.push_back(move);
        moves.push_back(pawns[0]);
        moves.push_back(pawns[1]);
    }
    return moves;
}

TEST(LongGame, ForceModeGameOfOver1100PliesThenGoAnswersWithALegalMove) {
    const std::vector<std::string> moves = LongGame();
    ASSERT_GT(moves.size(), 1100u);

    // The same game replayed here: every move must be legal, and the final position is the one
    // the engine's answer must fit.
    InitOnce();
    ASSERT_TRUE(SetBoard(StartFen));
    for (const std::string& text : moves) {
        const Move move = ParseMove(text.c_str());
        ASSERT_NE(move, 0) << text;
        ASSERT_TRUE(PlayGameMove(move, false)) << text;
    }

    zelmor_test::ScratchDir dir;
    zelmor_test::EngineProcess engine(dir.path());
    engine.Send("xboard\nprotover 2\naccepted done\naccepted setboard\naccepted done\n");
    engine.Send("new\nforce\n");
    std::string input;
    for (const std::string& move : moves) input += move + "\n";
    engine.Send(input);
    engine.Send("level 40 5 0\ntime 3000\notim 3000\ngo\n");
    ASSERT_TRUE(engine.WaitFor("move ", 60000)) << engine.output;
    engine.Send("quit\n");
    ASSERT_EQ(engine.Finish(30000), 0);

    EXPECT_EQ(engine.output.find("Illegal Move"), std::string::npos) << engine.output;
    EXPECT_EQ(engine.output.find("Error"), std::string::npos) << engine.output;
    const std::size_t at = engine.output.find("\nmove ");
    ASSERT_NE(at, std::string::npos) << engine.output;
    const std::size_t end = engine.output.find('\n', at + 1);
    const std::string answer = engine.output.substr(at + 6, end - at - 6);
    const Move reply = ParseMove(answer.c_str());
    ASSERT_NE(reply, 0) << answer;
    EXPECT_TRUE(isLegalGameMove(reply)) << answer;
    // The game is not over: no result claim follows the move.
    EXPECT_EQ(engine.output.find("1/2-1/2"), std::string::npos) << engine.output;
}

}  // namespace

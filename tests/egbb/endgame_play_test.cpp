// Zelmor with its bitbases loaded plays simple endings out against itself through the real
// protocol: "go" makes it move for whichever side is to move, so both sides play their best.
// Wins must end in Zelmor's own mate claim within a blitz game's moves; draws must never turn
// into a win.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "egbb/egbb.h"
#include "egbb_test_support.h"
#include "engine/engine.h"
#include "engine/engine_process.h"
#include "movegen/movegen.h"

namespace {

using zelmor_test::EngineProcess;
using zelmor_test::ScratchDir;

constexpr int SearchDepth = 9;

struct Outcome {
    std::string claim;  // the result line, or "" when none came within the plies
    int plies = 0;
};

// Plays up to maxPlies moves, each searched to a fixed depth on a clock that never runs short,
// and returns the first result claim Zelmor makes. A fixed depth keeps the game the same however
// busy the machine is: on a short clock a loaded machine searched so shallowly that the winning
// side shuffled into a repetition.
Outcome PlayOut(const std::string& fen, int maxPlies) {
    ScratchDir dir;
    dir.Write("Zelmor.ini", "EGBB_PATH=" + ModuleDirectory() + "\n");
    EngineProcess engine(dir.path());
    engine.Send("xboard\nprotover 2\naccepted done\naccepted setboard\neasy\nlevel 0 1 0\nsd " +
                std::to_string(SearchDepth) + "\n");
    engine.Send("setboard " + fen + "\n");
    Outcome outcome;
    // The start-up report ends with the bitbase lines; only then is every reply a move's.
    if (!engine.WaitFor("EGBB_CACHE=", 20000) ||
        !engine.WaitFor("\n", 1000, engine.output.find("EGBB_CACHE="))) {
        outcome.claim = "bitbases not loaded";
        return outcome;
    }
    for (; outcome.plies < maxPlies; ++outcome.plies) {
        std::size_t from = engine.output.size();
        engine.Send("time 1000000\notim 1000000\ngo\n");
        // Either a move line (perhaps followed by a claim) or a claim alone.
        auto answered = [&] {
            std::size_t move = engine.output.find("move ", from);
            return (move != std::string::npos &&
                    engine.output.find('\n', move) != std::string::npos) ||
                   engine.output.find("}\n", from) != std::string::npos;
        };
        while (!answered() && engine.WaitFor("\n", 20000, engine.output.size())) {
        }
        if (!answered()) break;
        // A move line may be followed by a claim; give the claim a moment to arrive.
        engine.WaitFor("}", 300, from);
        std::size_t claim = engine.output.find(" {", from);
        if (claim != std::string::npos) {
            std::size_t lineStart = engine.output.rfind('\n', claim) + 1;
            outcome.claim =
                engine.output.substr(lineStart, engine.output.find('\n', claim) - lineStart);
            break;
        }
        if (engine.output.find("move ", from) == std::string::npos) break;
    }
    engine.Send("quit\n");
    engine.Finish();
    return outcome;
}

class EndgamePlay : public ::testing::Test {
protected:
    void SetUp() override {
        if (ModuleDirectory().empty()) GTEST_SKIP() << "bitbase plug-in not built (no Gaviota)";
    }
};

TEST_F(EndgamePlay, QueenAndRookMateTheBareKing) {
    Outcome queen = PlayOut("8/8/8/4k3/8/8/8/1K1Q4 w - -", 60);
    EXPECT_NE(queen.claim.find("1-0 {Zelmor mates 1"), std::string::npos)
        << queen.claim << " after " << queen.plies << " plies";
    Outcome rook = PlayOut("4k3/8/8/8/8/8/8/R3K3 b - -", 90);
    EXPECT_NE(rook.claim.find("1-0 {Zelmor mates 1"), std::string::npos)
        << rook.claim << " after " << rook.plies << " plies";
    Outcome blackQueen = PlayOut("3q4/8/8/8/3K4/8/8/7k w - -", 60);
    EXPECT_NE(blackQueen.claim.find("0-1 {Zelmor mates 1"), std::string::npos)
        << blackQueen.claim << " after " << blackQueen.plies << " plies";
}

// Finds, among king and pawn placements, a White-to-move position that wins by exactly one
// move, using the bitbases in this process.
std::string PawnEndingWithOneWinningMove() {
    InitEngineTables();
    LoadBitbases(ModuleDirectory().c_str(), 4, 1);
    if (!bitbasesLoaded) return "";
    const char* fens[] = {
        "8/8/4k3/8/8/2P1K3/8/8 w - -",  // the king must lead the pawn, by one route only
        "8/8/4k3/8/5K2/2P5/8/8 w - -",
    };
    for (const char* fen : fens) {
        if (!SetBoard(fen) || ProbeBitbase() <= 0) continue;
        ScoredMove moves[MaxGeneratedMoves];
        ScoredMove* end = MoveGenerators[White](moves);
        int winning = 0;
        for (ScoredMove* m = moves; m < end; ++m) {
            UndoRecord undo;
            SaveSnapshot(undo);
            MakeMove(m->move, undo);
            if (!LeavesKingAttacked(m->move, White)) {
                int reply = ProbeBitbase();  // for Black, now to move
                if (reply != BitbaseNoAnswer && reply < 0) ++winning;
            }
            UnmakeMove(m->move, undo);
        }
        if (winning == 1) return fen;
    }
    return "";
}

TEST_F(EndgamePlay, PawnEndingWonOnlyByOneMoveIsConverted) {
    std::string fen = PawnEndingWithOneWinningMove();
    ASSERT_FALSE(fen.empty()) << "no candidate pawn ending has exactly one winning move";
    Outcome win = PlayOut(fen, 120);
    EXPECT_NE(win.claim.find("1-0 {Zelmor mates 1"), std::string::npos)
        << fen << ": " << win.claim << " after " << win.plies << " plies";
}

TEST_F(EndgamePlay, DrawnPawnEndingIsHeld) {
    // Black's king stands in front of the pawn with the opposition: a draw whoever plays well.
    Outcome draw = PlayOut("4k3/8/8/8/8/8/4P3/4K3 b - -", 120);
    EXPECT_TRUE(draw.claim.empty() || draw.claim.rfind("1/2-1/2", 0) == 0)
        << "only a draw may be claimed: " << draw.claim << " after " << draw.plies << " plies";
}

}  // namespace

// Draw rules on the history stack (repetition, fifty moves, bare material), the repetition test
// for a move not yet made, and the null move.
#include <gtest/gtest.h>

#include "search/bench_positions.h"

namespace {

// Coordinate text to a move word: a capture when the target is occupied, else a quiet move.
Move Word(const char* text) {
    const int from = SquareOf(text[0], text[1]);
    const int to = SquareOf(text[2], text[3]);
    return MakeMoveWord(from, to, pos.board[to] ? Capture : Quiet);
}

class DrawRules : public ::testing::Test {
protected:
    UndoRecord undo[256];
    int played = 0;

    void SetUp() override { SetUpSearchTablesOnce(); }

    void Set(const char* fen) {
        ASSERT_TRUE(SetBoard(fen)) << fen;
        played = 0;
    }
    void Play(const char* text) {
        ASSERT_LT(played, 256);
        SaveSnapshot(undo[played]);
        MakeMove(Word(text), undo[played]);
        ++played;
    }
    // Plays space-separated moves `times` times over.
    void PlayAll(const char* line, int times = 1) {
        for (int t = 0; t < times; ++t) {
            for (const char* p = line; *p;) {
                Play(p);
                p += 4;
                while (*p == ' ') ++p;
            }
        }
    }
};

constexpr const char* KnightCycle = "g1f3 g8f6 f3g1 f6g8";
// Four plies of rook moves that change nothing else; the clock keeps counting.
constexpr const char* RookEnding = "4k3/r7/8/8/8/8/R7/4K3 w - -";
constexpr const char* RookCycle = "a2b2 a7b7 b2a2 b7a7";

TEST_F(DrawRules, RepetitionNeedsTheRequestedNumberOfEarlierOccurrences) {
    Set(StartFen);
    PlayAll(KnightCycle);
    EXPECT_EQ(DrawByRule(1), EndRepetition);  // the search: one earlier occurrence
    EXPECT_EQ(DrawByRule(2), 0);              // the root: a third occurrence is needed
    PlayAll(KnightCycle);
    EXPECT_EQ(DrawByRule(2), EndRepetition);
    EXPECT_EQ(DrawByRule(3), 0);
    // One ply on, the position differs from every earlier one with the same side to move.
    Play("g1f3");
    EXPECT_EQ(DrawByRule(1), EndRepetition);  // the position after the first g1f3 twice over
    Play("b8c6");
    EXPECT_EQ(DrawByRule(1), 0);
}

TEST_F(DrawRules, OnlyPositionsWithTheSameSideToMoveRepeat) {
    // The king walks a triangle in three moves, Black's in two: after five plies the placement
    // is the start's with the other side to move, and keys do not encode the side.
    Set("4k3/4p3/8/8/8/8/4P3/3K4 w - -");
    const u64 startKey = pos.key;
    PlayAll("d1c1 e8d8 c1c2 d8e8 c2d1");
    ASSERT_EQ(pos.key, startKey);
    EXPECT_EQ(DrawByRule(1), 0);
    // Seven plies later the start placement returns with White to move: a repetition.
    PlayAll("e8d8 d1c1 d8e8 c1c2 e8d8 c2d1 d8e8");
    EXPECT_EQ(pos.sideToMove, White);
    ASSERT_EQ(pos.key, startKey);
    EXPECT_EQ(DrawByRule(1), EndRepetition);
}

TEST_F(DrawRules, FiftyMovesAtAHalfMoveClockOfOneHundred) {
    Set(RookEnding);
    PlayAll(RookCycle, 24);
    PlayAll("a2b2 a7b7 b2a2");  // 99 plies
    ASSERT_EQ(historyTop->halfmoveClock, 99);
    // With repetitions out of reach the clock alone decides.
    EXPECT_EQ(DrawByRule(1000), 0);
    Play("b7a7");
    EXPECT_EQ(DrawByRule(1000), EndFiftyMoves);
    EXPECT_EQ(DrawByRule(1), EndFiftyMoves);  // before any repetition
}

TEST_F(DrawRules, CapturesAndPawnMovesRestartTheCount) {
    Set("4k3/r3p3/8/8/8/8/R3P3/4K3 w - -");
    PlayAll(RookCycle, 3);
    Play("e2e4");
    EXPECT_EQ(historyTop->halfmoveClock, 0);
    EXPECT_EQ(DrawByRule(1), 0);
    // The position right after e2e4 carries its en-passant square: it does not come back.
    PlayAll("a7b7 a2b2 b7a7 b2a2");
    EXPECT_EQ(historyTop->halfmoveClock, 4);
    EXPECT_EQ(DrawByRule(1), 0);
    PlayAll("a7b7 a2b2 b7a7 b2a2");
    EXPECT_EQ(DrawByRule(1), EndRepetition);
    EXPECT_EQ(DrawByRule(2), 0);  // the cycles before e2e4 had another pawn structure
}

TEST_F(DrawRules, BareMaterialIsADrawWhateverTheClock) {
    for (const char* fen : {"8/8/4k3/8/8/8/3NK3/8 w - -", "8/8/4k3/8/8/8/3BK3/8 b - -",
                            "8/8/4k3/8/8/8/4K3/8 w - -"}) {
        Set(fen);
        EXPECT_EQ(DrawByRule(1), EndNoMaterial) << fen;
        EXPECT_EQ(DrawByRule(2), EndNoMaterial) << fen;
    }
    // Two minor pieces, or any pawn, can still mate (or promote).
    for (const char* fen : {"8/8/4k3/8/8/8/2NNK3/8 w - -", "8/8/4k3/8/8/2n5/3BK3/8 w - -",
                            "8/8/4k3/8/8/8/3PK3/8 w - -"}) {
        Set(fen);
        EXPECT_EQ(DrawByRule(1), 0) << fen;
    }
}

TEST_F(DrawRules, RepetitionAfterMoveLooksAheadOneQuietPieceMove) {
    Set(StartFen);
    EXPECT_EQ(RepetitionAfterMove(Word("g1f3")), 0);  // clock too young
    PlayAll("g1f3 g8f6 f3g1");
    const u64 key = pos.key;
    HistoryEntry* const top = historyTop;
    EXPECT_EQ(RepetitionAfterMove(Word("f6g8")), 1);
    EXPECT_EQ(RepetitionAfterMove(Word("f6h5")), 0);
    EXPECT_EQ(RepetitionAfterMove(Word("e7e5")), 0);  // pawn moves never repeat
    EXPECT_EQ(RepetitionAfterMove(0), 0);
    EXPECT_EQ(pos.key, key);
    EXPECT_EQ(historyTop, top);
    PlayAll("f6g8 g1f3 g8f6 f3g1");
    EXPECT_EQ(RepetitionAfterMove(Word("f6g8")), 2);

    // Captures are never counted.
    Set("4k3/8/8/8/8/8/r7/R3K3 w - -");
    PlayAll("e1d1 e8d8 d1e1 d8e8 e1d1 e8d8 d1e1");
    EXPECT_EQ(RepetitionAfterMove(Word("d8e8")), 2);
    EXPECT_EQ(RepetitionAfterMove(Word("a2a1")), 0);
}

TEST_F(DrawRules, RepetitionAfterMoveNearTheFiftyMoveLimit) {
    Set(RookEnding);
    PlayAll(RookCycle, 18);
    PlayAll("a2b2 a7b7");  // clock 74: a new square still counts real repetitions
    ASSERT_EQ(historyTop->halfmoveClock, 74);
    EXPECT_EQ(RepetitionAfterMove(Word("b2h2")), 0);
    EXPECT_EQ(RepetitionAfterMove(Word("b2a2")), 2);
    Play("b2a2");  // clock 75: any quiet piece move now counts as one repetition
    EXPECT_EQ(RepetitionAfterMove(Word("b7h7")), 1);
    PlayAll("b7a7", 1);
    PlayAll(RookCycle, 5);
    PlayAll("a2b2 a7b7 b2a2");  // clock 99: the move would reach the fifty-move limit
    ASSERT_EQ(historyTop->halfmoveClock, 99);
    EXPECT_EQ(RepetitionAfterMove(Word("b7h7")), 2);
}

TEST_F(DrawRules, NullMovePassesTheTurnAndRestoresEverything) {
    Set("4k3/8/8/8/3pP3/8/8/4K3 b - e3");
    worker.currentPly = &worker.plyRecords[3];
    const Position before = pos;
    HistoryEntry* const top = historyTop;
    const u16 clock = top->halfmoveClock;

    MakeNullMove();
    EXPECT_EQ(pos.sideToMove, White);
    EXPECT_EQ(pos.enPassant, 0);
    EXPECT_EQ(pos.key, before.key ^ ZobristKeys[0][SquareOf('e', '3')]);
    EXPECT_EQ(pos.pawnKey, before.pawnKey ^ static_cast<u32>(ZobristKeys[0][SquareOf('e', '3')]));
    EXPECT_EQ(historyTop, top + 1);
    EXPECT_EQ(top->move, NullMoveMarker);
    EXPECT_EQ(historyTop->halfmoveClock, clock + 1);
    EXPECT_EQ(HistoryKey(*historyTop), pos.key);

    UnmakeNullMove();
    EXPECT_EQ(historyTop, top);
    EXPECT_EQ(pos.sideToMove, Black);
    EXPECT_EQ(pos.enPassant, before.enPassant);
    EXPECT_EQ(pos.key, before.key);
    EXPECT_EQ(pos.pawnKey, before.pawnKey);
    EXPECT_EQ(pos.castleRights, before.castleRights);

    // Without an en-passant square the key stays: a null move keeps the placement.
    Set("4k3/8/8/8/3pP3/8/8/4K3 b - -");
    const u64 key = pos.key;
    MakeNullMove();
    EXPECT_EQ(pos.key, key);
    UnmakeNullMove();
    worker.currentPly = &worker.plyRecords[0];
}

}  // namespace

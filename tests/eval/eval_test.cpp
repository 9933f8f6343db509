// Evaluation: phase tables, whole-position properties (start position, trivial draws, mirror
// images, the zero rule), and single terms measured as differences between positions that
// differ only in that term.
#include "eval/eval.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "engine/engine.h"

namespace {

class EvalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
};

int Eval(const std::string& fen) {
    EXPECT_TRUE(SetBoard(fen.c_str())) << fen;
    return Evaluate();
}

// The colour mirror: ranks turned over, colours and the side to move exchanged.
std::string Mirror(const std::string& fen) {
    const std::size_t boardEnd = fen.find(' ');
    std::string board = fen.substr(0, boardEnd);
    std::string rest = fen.substr(boardEnd);
    std::string ranks[8];
    int r = 0;
    for (char c : board) {
        if (c == '/') {
            ++r;
            continue;
        }
        ranks[r] += std::isupper(static_cast<unsigned char>(c))
                        ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                        : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string out;
    for (int i = 7; i >= 0; --i) out += ranks[i] + (i > 0 ? "/" : "");
    // Only "w"/"b" and "-" castling/en passant appear in the positions mirrored here.
    out += rest[1] == 'w' ? " b" : " w";
    out += rest.substr(2);
    return out;
}

// The half-turn mirror: the board turned through 180 degrees, colours and side exchanged.
// Black pieces read the grids this way, so it holds even for the lopsided grid entries.
std::string HalfTurn(const std::string& fen) {
    const std::size_t boardEnd = fen.find(' ');
    std::string squares;
    for (char c : fen.substr(0, boardEnd)) {
        if (c == '/') continue;
        if (std::isdigit(static_cast<unsigned char>(c)))
            squares.append(static_cast<std::size_t>(c - '0'), '1');
        else
            squares += std::isupper(static_cast<unsigned char>(c))
                           ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                           : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string out;
    for (int i = 63; i >= 0; --i) {
        out += squares[static_cast<std::size_t>(i)];
        if (i % 8 == 0 && i > 0) out += '/';
    }
    const std::string rest = fen.substr(boardEnd);
    return out + (rest[1] == 'w' ? " b" : " w") + rest.substr(2);
}

// --- Phase tables ----------------------------------------------------------------------------

TEST_F(EvalTest, PhaseBoundariesPickTheRightGrids) {
    // Kings: opening above 70, middle game 47-70, late middle game 15-46, endgame 0-14.
    EXPECT_EQ(PhaseTables[0][71][C1], -2);
    EXPECT_EQ(PhaseTables[0][71][C8], -4);  // the opening king grid is not top-bottom symmetric
    EXPECT_EQ(PhaseTables[0][70][B1], 6);
    EXPECT_EQ(PhaseTables[0][47][B1], 6);
    EXPECT_EQ(PhaseTables[0][46][B1], -6);
    EXPECT_EQ(PhaseTables[0][15][D4], 4);
    EXPECT_EQ(PhaseTables[0][14][D4], 9);
    EXPECT_EQ(PhaseTables[0][0][A1], -26);
    // Pawns: middle game only 63-70, late middle game 15-62.
    EXPECT_EQ(PhaseTables[1][191][E7], 40);
    EXPECT_EQ(PhaseTables[1][70][E7], 53);
    EXPECT_EQ(PhaseTables[1][63][E7], 53);
    EXPECT_EQ(PhaseTables[1][62][E7], 75);
    EXPECT_EQ(PhaseTables[1][15][E7], 75);
    EXPECT_EQ(PhaseTables[1][14][E7], 104);
    EXPECT_EQ(PhaseTables[1][0][G5], 30);  // the endgame pawn grid's rank 5 is lopsided
    EXPECT_EQ(PhaseTables[1][0][B5], 24);
    // Pieces: opening above 70, later below.
    EXPECT_EQ(PhaseTables[2][71][A8], -25);
    EXPECT_EQ(PhaseTables[2][70][A8], -19);
    EXPECT_EQ(PhaseTables[3][71][H8], -31);
    EXPECT_EQ(PhaseTables[3][71][A8], -19);
    EXPECT_EQ(PhaseTables[3][71][H1], 0);
    EXPECT_EQ(PhaseTables[3][70][F6], 7);
    EXPECT_EQ(PhaseTables[3][70][C6], 8);
    EXPECT_EQ(PhaseTables[4][71][A1], -13);
    EXPECT_EQ(PhaseTables[4][70][A1], -8);
    EXPECT_EQ(PhaseTables[5][71][D1], 9);
    EXPECT_EQ(PhaseTables[5][70][D1], 1);
    for (int kind = 0; kind < 6; ++kind)
        for (int phase = 0; phase < 192; ++phase) ASSERT_NE(PhaseTables[kind][phase], nullptr);
}

TEST_F(EvalTest, PieceSquareValueMirrorsBlackButNotKings) {
    pos.materialTotal = 78;
    EXPECT_EQ(PieceSquareValue(WBishop, H8), -31);
    EXPECT_EQ(PieceSquareValue(BBishop, A1), -31);  // turned through 180 degrees
    EXPECT_EQ(PieceSquareValue(BBishop, H1), -19);
    EXPECT_EQ(PieceSquareValue(WPawn, E2), -9);
    EXPECT_EQ(PieceSquareValue(BPawn, D7), -9);
    EXPECT_EQ(PieceSquareValue(WKing, C1), -2);
    EXPECT_EQ(PieceSquareValue(BKing, C8), -4);  // kings read their own square
    EXPECT_EQ(PieceSquareValue(BKing, C1), -2);
    EXPECT_EQ(PieceSquareValue(Empty, E4), 0);
    EXPECT_EQ(PieceSquareValue(WQueen, 100), 0);
    EXPECT_EQ(PieceSquareValue(13, E4), 0);

    pos.materialTotal = 40;
    EXPECT_EQ(PieceSquareValue(WPawn, E7), 75);
    EXPECT_EQ(PieceSquareValue(BPawn, E2), 75);
    // Past the end of the tables (many promotions) the opening row is read.
    pos.materialTotal = 250;
    EXPECT_EQ(PieceSquareValue(WBishop, H8), -31);
    EXPECT_EQ(PieceSquareValue(WKing, C1), -2);
}

// --- Whole positions -------------------------------------------------------------------------

TEST_F(EvalTest, InitialPositionIsLevelForEitherSide) {
    EXPECT_EQ(Eval("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"), 0);
    EXPECT_EQ(Eval("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"), 0);
}

TEST_F(EvalTest, TrivialDrawsAreZeroUntilAPawnAppears) {
    for (const char* fen : {
             "8/8/8/4k3/8/8/3NK3/8 w - -",  // lone knight
             "8/8/8/4k3/8/8/3NK3/8 b - -",
             "8/8/2b5/4k3/8/8/4K3/8 w - -",   // lone bishop
             "8/8/8/4k3/8/8/4K3/8 b - -",     // bare kings
             "3rk3/8/8/8/8/8/8/R2NK3 w - -",  // rook and knight against rook
             "3rk3/8/8/8/8/8/8/R2NK3 b - -",
             "3rk3/8/8/8/8/8/8/R2BK3 w - -",  // rook and bishop against rook
             "r2bk3/8/8/8/8/8/8/3RK3 b - -",
         })
        EXPECT_EQ(Eval(fen), 0) << fen;

    // One pawn makes them ordinary positions again.
    EXPECT_NE(Eval("3rk3/8/8/8/8/8/4P3/R2NK3 w - -"), 0);
    EXPECT_NE(Eval("3rk3/8/8/8/8/8/4P3/R2NK3 b - -"), 0);
    EXPECT_GT(Eval("8/8/8/4k3/8/8/3NKP2/8 w - -"), 100);
    // Rook and queen against rook has 17 units, no draw.
    EXPECT_GT(Eval("3rk3/8/8/8/8/8/8/R2QK3 w - -"), 500);
}

TEST_F(EvalTest, ZeroRuleForTheSideAheadWithoutPawnsAndWithLittleMaterial) {
    // White to move with a bishop against a pawn: ahead, but cannot win.
    const std::string whiteAhead = "8/8/p7/4k3/8/8/8/4KB2 w - -";
    EXPECT_EQ(Eval(whiteAhead), 0);
    const int blackView = Eval("8/8/p7/4k3/8/8/8/4KB2 b - -");
    EXPECT_LT(blackView, 0);  // the side behind still sees its deficit
    // The mirror image with Black to move is zeroed too.
    EXPECT_EQ(Eval(Mirror(whiteAhead)), 0);
    EXPECT_EQ(Eval(Mirror("8/8/p7/4k3/8/8/8/4KB2 b - -")), blackView);
    // With a pawn of its own the side ahead keeps its score.
    EXPECT_GT(Eval("8/8/p7/4k3/8/8/6P1/4KB2 w - -"), 0);
    EXPECT_GT(Eval(Mirror("8/8/p7/4k3/8/8/6P1/4KB2 w - -")), 0);
    // A rook is enough material: no zeroing.
    EXPECT_GT(Eval("8/8/p7/4k3/8/8/8/4KR2 w - -"), 0);
    EXPECT_GT(Eval("4kr2/8/8/8/4K3/P7/8/8 b - -"), 0);
}

TEST_F(EvalTest, ColourMirrorEvaluatesTheSameForTheSideToMove) {
    // Chosen to avoid the few grid entries that are not left-right symmetric and the opening
    // king grids, which both kings read unturned.
    for (const char* fen : {
             "r3k2r/pp3ppp/2n5/3p4/3P4/2N5/PP3PPP/R3K2R w - -",
             "r4rk1/pp3ppp/2n5/3p4/8/2N2N2/PP3PPP/3RR1K1 w - -",
             "6k1/5ppp/8/3N4/8/8/5PPP/3R2K1 w - -",
             "6k1/5ppp/8/3N4/8/8/5PPP/3R2K1 b - -",
             "2r3k1/1q3ppp/8/8/8/8/5PPP/1Q1R2K1 w - -",
             "6k1/R7/8/8/8/8/5ppp/6K1 b - -",
             "1r4k1/5ppp/8/8/8/1P6/P4PPP/6K1 w - -",
             "4k3/8/8/8/8/8/8/4K2R w - -",
             "4k3/pp6/8/8/8/8/8/4K2R b - -",
         }) {
        EXPECT_EQ(Eval(fen), Eval(Mirror(fen))) << fen;
    }
}

TEST_F(EvalTest, HalfTurnMirrorHoldsOnLopsidedGridEntries) {
    // Late phase (kings' grids symmetric, no shelter): a black bishop on c3 reads the later
    // bishop grid at f6 (7, where c6 has 8); pawns on the lopsided endgame fifth rank.
    for (const char* fen : {
             "6k1/5ppp/8/8/8/2b5/PPP5/1K1B4 w - -",
             "6k1/5ppp/8/8/8/2b5/PPP5/1K1B4 b - -",
             "8/5k2/8/1P4p1/3p4/8/8/2K5 w - -",
             "8/1p3k2/8/3P4/6P1/8/8/2K5 b - -",
             "r5k1/5ppp/2n5/8/2B5/8/PPP5/1K1R4 w - -",
         })
        EXPECT_EQ(Eval(fen), Eval(HalfTurn(fen))) << fen;
}

TEST_F(EvalTest, SmallPositionsAddUpByHand) {
    // King and pawn: kings e1/e8 cancel; pawn e2 = 100 - 9 (grid) + 16 (passed) - 22 (isolated).
    EXPECT_EQ(Eval("4k3/8/8/8/8/8/4P3/4K3 w - -"), 85);
    EXPECT_EQ(Eval("4k3/8/8/8/8/8/4P3/4K3 b - -"), -85);
    // Knight f1: 314 + 1 pawn - 8 (grid).
    EXPECT_EQ(Eval("4k3/8/8/8/8/8/4P3/4KN2 w - -"), 85 + 307);
    // Bishop c1: 301 - 1 pawn - 9 (grid) + 5 * 7 squares.
    EXPECT_EQ(Eval("4k3/8/8/8/8/8/4P3/2B1K3 w - -"), 85 + 326);
    // Rook a1: 500 - 8 (grid) + 20 (open file) + 2 * 10 squares - 14, and +100 for the
    // extra major piece (White has 5 units, so the balance counts).
    EXPECT_EQ(Eval("4k3/8/8/8/8/8/4P3/R3K3 w - -"), 85 + 518 + 100);
}

TEST_F(EvalTest, PawnStructureByHand) {
    // Endgame grids. d4: 100 + 18, attacked by c5 and e5 (a = 3), defended by c3 (b = 1): -16.
    // c3: 100 + 1, not passed (c5 ahead), not isolated, not attacked. Black c5: 100 + 14,
    // isolated with a white pawn ahead on its file: -16. Black e5: 100 + 18, isolated: -22.
    EXPECT_EQ(Eval("4k3/8/8/2p1p3/3P4/2P5/8/4K3 w - -"), 102 + 101 - 98 - 96);
    EXPECT_EQ(Eval("4k3/8/8/2p1p3/3P4/2P5/8/4K3 b - -"), -(102 + 101 - 98 - 96));
    // Doubled: e3 = 104 - 8 + 32 (passed) - 22; e2 = 91 - 8 - 22, not passed behind e3.
    EXPECT_EQ(Eval("4k3/8/8/8/8/4P3/4P3/4K3 w - -"), 106 + 61);
}

TEST_F(EvalTest, PawnShieldCountsDoubleAgainstAQueen) {
    // Moving g2 to g4 takes one pawn out of the castled king's shield: 12 with the black queen
    // on the board, 6 without. Extra knights keep both positions in the opening phase, and
    // every slider stays shut in, so nothing else depends on both changes together.
    auto shieldPawn = [](const char* rank8) {
        const std::string r8 = rank8;
        return Eval(r8 + "/pppppppp/8/8/8/N6N/PPPPPPPP/RNBQNRK1 w - -") -
               Eval(r8 + "/pppppppp/8/8/6P1/N6N/PPPPPP1P/RNBQNRK1 w - -");
    };
    EXPECT_EQ(shieldPawn("rnbqkbnr") - shieldPawn("rnb1kbnr"), 12 - 6);
    // The same for Black's castled king against the white queen.
    auto shieldPawnBlack = [](const char* rank1) {
        const std::string r1 = rank1;
        return Eval("rnbqnrk1/pppppppp/n6n/8/8/8/PPPPPPPP/" + r1 + " b - -") -
               Eval("rnbqnrk1/pppppp1p/n6n/6p1/8/8/PPPPPPPP/" + r1 + " b - -");
    };
    EXPECT_EQ(shieldPawnBlack("RNBQKBNR") - shieldPawnBlack("RNB1KBNR"), 12 - 6);
}

TEST_F(EvalTest, QueenSideShieldCountsThreeLess) {
    // The a-pawn's step from a2 measured with the king on b1 (shielded) and on d1 (no shield):
    // on a2 it counts 9 against a queen and 3 without; on a3 the lesser 4 and 1.
    auto shieldPawn = [](const char* rank8, const char* rank1, const char* rank4,
                         const char* rank3) {
        const std::string r8 = rank8, r1 = rank1;
        return Eval(r8 + "/pppppppp/8/8/8/8/PPPPPPPP/" + r1 + " w - -") -
               Eval(r8 + "/pppppppp/8/8/" + rank4 + "/" + rank3 + "/1PPPPPPP/" + r1 + " w - -");
    };
    for (const auto& [rank8, w] : {std::pair{"rnbqkbnr", 12}, std::pair{"rnb1kbnr", 6}}) {
        EXPECT_EQ(shieldPawn(rank8, "1K3BNR", "P7", "8") - shieldPawn(rank8, "3K1BNR", "P7", "8"),
                  w - 3)
            << rank8;
        EXPECT_EQ(shieldPawn(rank8, "1K3BNR", "8", "P7") - shieldPawn(rank8, "3K1BNR", "8", "P7"),
                  (w - 3) - (w - 3) / 2)
            << rank8;
    }
}

TEST_F(EvalTest, RookBehindItsPassedPawn) {
    // The a-file rook behind the a5 pawn earns 20 when the pawn is passed (no b7 pawn); the
    // same rook on the open d-file earns its open-file 20 either way.
    auto behind = [](const char* rank7) {
        const std::string r7 = rank7;
        return Eval("4k3/" + r7 + "/8/P7/8/8/8/R5K1 w - -") -
               Eval("4k3/" + r7 + "/8/P7/8/8/8/3R2K1 w - -");
    };
    EXPECT_EQ(behind("7p") - behind("1p6"), 20);
}

TEST_F(EvalTest, BishopPairAndTheQueensTerms) {
    // Bishops d2 and e2 stand on both colours, d2 and f2 on one; both e2 and f2 see 9 squares.
    SetBoard("k7/8/8/8/8/8/3BB3/7K w - -");
    const int squareShift = PieceSquareValue(WBishop, E2) - PieceSquareValue(WBishop, F2);
    EXPECT_EQ(Eval("k7/8/8/8/8/8/3BB3/7K w - -") - Eval("k7/8/8/8/8/8/3B1B2/7K w - -"),
              squareShift + 50);
    EXPECT_EQ(Eval("k7/8/8/8/8/8/3bb3/7K b - -") - Eval("k7/8/8/8/8/8/3b1b2/7K b - -"),
              PieceSquareValue(BBishop, E2) - PieceSquareValue(BBishop, F2) + 50);
    // A queen on d4 sees 27 squares: 950 + its square + 27 - 13, and 15 more while the other
    // side has no queen. The kings on e1 and e8 cancel.
    SetBoard("4k3/8/8/8/3Q4/8/8/4K3 w - -");
    const int queen = 950 + PieceSquareValue(WQueen, D4) + 27 - 13 + 15;
    EXPECT_EQ(Eval("4k3/8/8/8/3Q4/8/8/4K3 w - -"), queen);
    SetBoard("4k3/8/8/3q4/8/8/8/4K3 b - -");
    EXPECT_EQ(Eval("4k3/8/8/3q4/8/8/8/4K3 b - -"),
              950 + PieceSquareValue(BQueen, D5) + 27 - 13 + 15);
}

TEST_F(EvalTest, KingAttackGrowsWithAnOpenKing) {
    // A black knight on f3 puts 5 (distance 2) + 1 (hits the zone) = 6 on the white king:
    // weight 20. With h2 the king's weakness is 3 (factor 1); without it 7 (factor 2). The
    // black queen and rooks are shut in far away and add nothing. The knight itself is worth
    // one less with the h2 pawn gone (knights gain with pawns on the board).
    auto openKing = [](const char* rank3) {
        const std::string r3 = rank3;
        return Eval("qrr1k3/ppppp3/8/8/8/" + r3 + "/PPPPPPPP/R6K w - -") -
               Eval("qrr1k3/ppppp3/8/8/8/" + r3 + "/PPPPPPP1/R6K w - -");
    };
    EXPECT_EQ(openKing("5n2") - openKing("8"), -20 * 1 + 20 * 2 - 1);
}

TEST_F(EvalTest, PawnHashHitGivesTheSameValue) {
    const char* fen = "r4rk1/pp3ppp/2n1p3/3p4/3P4/2N1PN2/PP3PPP/3RR1K1 w - -";
    const int fresh = Eval(fen);  // SetBoard cleared the cache: computed and stored
    const u32 slot = PawnHash[pos.pawnKey & (PawnHashSize - 1)];
    ASSERT_NE(slot & 0xFFFFu, 0u);
    EXPECT_EQ(slot & 0xFFF00000u, pos.pawnKey & 0xFFF00000u);
    EXPECT_EQ(slot & 0x000F0000u, 0u);
    EXPECT_EQ(Evaluate(), fresh);  // served from the cache

    // The cached figure really is used: a doctored slot moves the score by the same amount.
    PawnHash[pos.pawnKey & (PawnHashSize - 1)] = slot + 7;
    EXPECT_EQ(Evaluate(), fresh + 7);
    // A slot holding another pawn structure (different tag) is not used, and is replaced.
    PawnHash[pos.pawnKey & (PawnHashSize - 1)] = (slot ^ 0x00100000u) + 7;
    EXPECT_EQ(Evaluate(), fresh);
    EXPECT_EQ(PawnHash[pos.pawnKey & (PawnHashSize - 1)], slot);
    ClearPawnHash();
    EXPECT_EQ(Evaluate(), fresh);
}

// --- Single terms, by differences ------------------------------------------------------------

TEST_F(EvalTest, TrappedBishopCosts210) {
    // Bishop on a7 against one on h2: same mobility (one empty square, one black pawn), and
    // nothing else changes. The pawn on b6 shuts the a7 bishop in; a knight there does not.
    const int tableShift = [] {
        SetBoard("7k/B7/1p6/8/4P3/6p1/8/4K3 w - -");
        return PieceSquareValue(WBishop, A7) - PieceSquareValue(WBishop, H2);
    }();
    EXPECT_EQ(Eval("7k/B7/1p6/8/4P3/6p1/8/4K3 w - -") - Eval("7k/8/1p6/8/4P3/6p1/7B/4K3 w - -"),
              tableShift - 210);
    EXPECT_EQ(Eval("7k/B7/1n6/8/4P3/6p1/8/4K3 w - -") - Eval("7k/8/1n6/8/4P3/6p1/7B/4K3 w - -"),
              tableShift);
    // The other three traps, each against a bishop on h2 that also sees two squares.
    for (const auto& [trapped, free] :
         {std::pair{"kB6/2p5/8/8/4P3/6p1/8/4K3 w - -", "k7/2p5/8/8/4P3/6p1/7B/4K3 w - -"},
          std::pair{"k5B1/5p2/8/8/4P3/6p1/8/4K3 w - -", "k7/5p2/8/8/4P3/6p1/7B/4K3 w - -"},
          std::pair{"k7/7B/6p1/8/4P3/6p1/8/4K3 w - -", "k7/8/6p1/8/4P3/6p1/7B/4K3 w - -"}}) {
        SetBoard(trapped);
        const u64 bishop = pos.pieces[WBishop];
        const int square = 63 - __builtin_ctzll(bishop);
        EXPECT_EQ(Eval(trapped) - Eval(free),
                  PieceSquareValue(WBishop, square) - PieceSquareValue(WBishop, H2) - 210)
            << trapped;
    }
    // Black's bishop on a2 behind a white pawn on b3, seen from Black.
    EXPECT_EQ(Eval("4k3/8/6P1/4p3/8/1P6/b7/7K b - -") - Eval("4k3/7b/6P1/4p3/8/1P6/8/7K b - -"),
              tableShift - 210);
}

TEST_F(EvalTest, RooksOnTheSeventhRank) {
    // Rooks on a7+b7 against a6+b6: the c7 and c6 pawns stop both pairs along their ranks, so
    // mobility is equal and the black king on the g-file never meets them.
    auto seventh = [](const char* king7, const char* king6) { return Eval(king7) - Eval(king6); };
    SetBoard("6k1/RRP5/2P5/8/8/8/8/7K w - -");
    const int tableShift = PieceSquareValue(WRook, A7) + PieceSquareValue(WRook, B7) -
                           PieceSquareValue(WRook, A6) - PieceSquareValue(WRook, B6);
    EXPECT_EQ(seventh("6k1/RRP5/2P5/8/8/8/8/7K w - -", "6k1/2P5/RRP5/8/8/8/8/7K w - -"),
              tableShift + 18 + 18 + 48);
    EXPECT_EQ(seventh("8/RRP3k1/2P5/8/8/8/8/7K w - -", "8/2P3k1/RRP5/8/8/8/8/7K w - -"),
              tableShift + 18 + 18 + 18);
    EXPECT_EQ(seventh("8/RRP5/2P3k1/8/8/8/8/7K w - -", "8/2P5/RRP3k1/8/8/8/8/7K w - -"),
              tableShift + 36);
    // One rook on the seventh: 18, whatever the king does.
    EXPECT_EQ(seventh("6k1/R1P5/2P5/8/8/8/8/7K w - -", "6k1/2P5/R1P5/8/8/8/8/7K w - -"),
              PieceSquareValue(WRook, A7) - PieceSquareValue(WRook, A6) + 18);
    // Black's rooks on the second rank against the white king on g1.
    EXPECT_EQ(seventh("7k/8/8/8/8/2p5/rrp5/6K1 b - -", "7k/8/8/8/8/rrp5/2p5/6K1 b - -"),
              tableShift + 18 + 18 + 48);
}

// Score change from adding a white knight on h1 (no mobility term, outside every line) to a
// context; the knight's own value is removed by the same addition to a context whose material
// balance stays switched off, so what remains is the change of the material-balance term.
TEST_F(EvalTest, MaterialBalanceCorrections) {
    const std::string pawns = "/pp6/8/8/8/8/PPP3P1/";
    auto fen = [&](const char* rank8, const char* rank1) {
        return std::string(rank8) + pawns + rank1 + " w - -";
    };
    auto added = [&](const char* rank8, const char* rank1without, const char* rank1with) {
        return Eval(fen(rank8, rank1with)) - Eval(fen(rank8, rank1without));
    };
    const int knightAlone = added("6k1", "6K1", "6KN");
    struct Case {
        const char* rank8;
        const char* without;
        const char* with;
        int change;
    } cases[] = {
        {"3r2k1", "3R2K1", "3R2KN", 100},     // rooks level, a minor piece up
        {"3q2k1", "3Q2K1", "3Q2KN", 100},     // queens on both sides: the same
        {"1nb3k1", "3R2K1", "3R2KN", 160},    // rook against two minors: -100, then +60
        {"2rr2k1", "1BN3K1", "1BN3KN", 130},  // three minors against two rooks
        {"3r2k1", "3Q2K1", "3Q2KN", -60},     // queen against rook loses its +60
        {"1n4k1", "6K1", "6KN", 0},           // both sides below 5 units before
        {"1nr2rk1", "3R2K1", "3R2KN", -100},  // the knight levels the minors: m = -1 remains
    };
    for (const Case& c : cases)
        EXPECT_EQ(added(c.rank8, c.without, c.with) - knightAlone, c.change)
            << c.rank8 << " " << c.with;
    // Black's side of the corrections, each against its half-turn image: a lone black queen
    // (with a rook) against an extra white major piece, without and with a minor piece; little
    // enough material that no king shelter (which the half turn does not keep) is counted.
    for (const char* position :
         {"1q1r2k1/p7/8/8/8/8/6P1/1R1R1RK1 w - -", "1qnr2k1/p7/8/8/8/8/6P1/1R1R1RK1 w - -",
          "1q1r2k1/p7/8/8/8/8/6P1/1R1R1RK1 b - -"})
        EXPECT_EQ(Eval(position), Eval(HalfTurn(position))) << position;
}

// --- Damaged positions -----------------------------------------------------------------------

TEST_F(EvalTest, PositionsWithoutKingsEvaluateSafely) {
    EXPECT_EQ(Eval("rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w - -"), 0);
    EXPECT_EQ(Eval("rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR b - -"), 0);
    // A missing king contributes nothing: no table entry, no shelter, no attack against it.
    const int oneKing = Eval("r5k1/5ppp/8/8/8/8/5PPP/Q7 w - -");
    EXPECT_GT(oneKing, 0);
    EXPECT_LT(std::abs(oneKing), 2000);
    EXPECT_EQ(Eval("8/8/8/8/8/8/8/8 w - -"), 0);
    const int noKings = Eval("q7/8/8/8/3Q4/8/PPP5/8 b - -");
    EXPECT_LT(noKings, 0);
}

TEST_F(EvalTest, HugeMaterialStaysInRangeAndReadsNoFurtherThanTheLastPhase) {
    // 24 queens: materialTotal 216, past the 192 phase rows; the attack counts pass 127.
    const std::string queens = "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/8/8/8/8/K6k w - -";
    ASSERT_TRUE(SetBoard(queens.c_str()));
    ASSERT_GT(pos.materialTotal, 191);
    const int white = Evaluate();
    EXPECT_GT(white, 5000);
    EXPECT_LE(white, 7800);  // clear of the search's mate and abort scores
    EXPECT_EQ(Eval(Mirror(queens)), white);
    // Pawns on the back ranks are accepted by setboard and evaluated without harm.
    const std::string backRanks = "PPPPPPPP/PPPPPPPP/8/4k3/8/8/pppppppp/4K3 w - -";
    const int pawns = Eval(backRanks);
    EXPECT_EQ(Evaluate(), pawns);
    EXPECT_EQ(Eval(Mirror(backRanks)), pawns);
    EXPECT_LE(std::abs(pawns), 7800);
}

}  // namespace

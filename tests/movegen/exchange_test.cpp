#include "eval/eval.h"
#include "movegen/test_helpers.h"

using namespace testing_support;

namespace {

u64 Straight() {
    return pos.pieces[WRook] | pos.pieces[BRook] | pos.pieces[WQueen] | pos.pieces[BQueen];
}
u64 Diagonal() {
    return pos.pieces[WBishop] | pos.pieces[BBishop] | pos.pieces[WQueen] | pos.pieces[BQueen];
}

int See(int from, int to) {
    return StaticExchange(from, pos.board[from], to, Straight(), Diagonal());
}

// The square-value change of a piece moving from -> to, as the exchange folds it in.
int Shift(int code, int from, int to) {
    return PieceSquareValue(code, to) - PieceSquareValue(code, from);
}

}  // namespace

TEST(StaticExchange, FreeCapturesWinTheVictimAndItsSquareValue) {
    Load("4k3/8/8/3p4/8/4N3/8/4K3 w - -");
    EXPECT_EQ(See(E3, D5), 100 - 9500 + Shift(WKnight, E3, D5) + PieceSquareValue(BPawn, D5));
    // Black's side of the same.
    Load("4k3/8/4n3/8/3P4/8/8/4K3 b - -");
    EXPECT_EQ(See(E6, D4), 100 - 9500 + Shift(BKnight, E6, D4) + PieceSquareValue(WPawn, D4));
}

TEST(StaticExchange, BlackReadsTheSquareValuesTurnedOver) {
    // Opening tables (all the material on the board), where the bishop grid is lopsided: a
    // black bishop on g7 reads the b2 entry (2), on e5 the d4 entry (12); the white knight it
    // takes on e5 is worth 320 and its own e5 entry (17).
    Load("rnbqk1nr/ppppppbp/6p1/4N3/8/8/PPPPPPPP/R1BQKBNR b KQkq -");
    EXPECT_EQ(See(G7, E5), 320 - 9500 + (12 - 2) + 17);
}

TEST(StaticExchange, PushPromotionOnAFreeSquare) {
    Load("4k3/P7/8/8/8/8/8/4K3 w - -");
    const int expected = 800 - 9500 + PieceSquareValue(WQueen, A8) - PieceSquareValue(WPawn, A7);
    EXPECT_EQ(StaticExchange(A7, WPawn, A8, Straight(), Diagonal()), expected);
    // A defended promotion square: the queen is lost for the pawn's 800 gain, which still
    // leaves the exchange even or better only when nothing recaptures.
    Load("1r2k3/P7/8/8/8/8/8/4K3 w - -");
    EXPECT_LT(StaticExchange(A7, WPawn, A8, Straight(), Diagonal()), -10000);
}

TEST(StaticExchange, LosingCapturesScoreBelowQuietMoves) {
    // The rook takes a pawn that a pawn defends: it loses the rook.
    Load("4k3/8/3p4/4p3/8/8/8/4RK2 w - -");
    const int score = See(E1, E5);
    EXPECT_LT(score, -30000);
    EXPECT_EQ(score, 100 / 2 - 400 - 30000 + Shift(WRook, E1, E5));
}

TEST(StaticExchange, XrayRecaptureBehindTheMover) {
    // Rd2xd6 Rxd6 Rxd6: the d1 rook behind the mover wins the knight.
    Load("3r3k/8/3n4/8/8/8/3R4/3R2K1 w - -");
    EXPECT_EQ(See(D2, D6), 320 - 9500 + Shift(WRook, D2, D6) + PieceSquareValue(BKnight, D6));
    // Without it the rook is lost for the knight.
    Load("3r3k/8/3n4/8/8/8/3R4/6K1 w - -");
    EXPECT_EQ(See(D2, D6), -180 - 30000 + Shift(WRook, D2, D6));
    // A queen behind a bishop on the diagonal backs the capture the same way: Bxe5 Bxe5 Qxe5.
    Load("7k/6b1/8/4p3/8/2B5/1Q6/6K1 w - -");
    EXPECT_EQ(See(C3, E5), 100 - 9500 + Shift(WBishop, C3, E5) + PieceSquareValue(BPawn, E5));
    Load("7k/6b1/8/4p3/8/2B5/8/6K1 w - -");
    EXPECT_EQ(See(C3, E5), -225 - 30000 + Shift(WBishop, C3, E5));
}

TEST(StaticExchange, StopsEarlyWhenTheRecapturerWinsOutright) {
    // Nxd4 Qxd4 exd4: the pawn's recapture of the queen ends the sequence in White's favour.
    Load("4k3/8/8/2q5/3p4/4PN2/8/4K3 w - -");
    EXPECT_EQ(See(F3, D4), 100 - 9500 + Shift(WKnight, F3, D4) + PieceSquareValue(BPawn, D4));
}

TEST(StaticExchange, KingMayNotCaptureADefendedMan) {
    Load("4k3/8/8/7b/8/8/4p3/4K3 w - -");
    EXPECT_EQ(See(E1, E2), -32767);
    Load("4k3/8/8/8/8/8/4p3/4K3 w - -");
    EXPECT_EQ(See(E1, E2), 100 - 9500 + Shift(WKing, E1, E2) + PieceSquareValue(BPawn, E2));
    Load("4k3/8/8/8/8/2n5/4p3/4K3 w - -");
    EXPECT_EQ(See(E1, E2), -32767);
    // A king recaptures last, and only when the other side has nothing left on the square.
    Load("8/8/4k3/3p4/8/2N5/8/4K3 w - -");
    EXPECT_EQ(See(C3, D5), -220 - 30000 + Shift(WKnight, C3, D5));
    Load("8/8/4k3/3p4/8/2N5/8/3RK3 w - -");
    EXPECT_EQ(See(C3, D5), 100 - 9500 + Shift(WKnight, C3, D5) + PieceSquareValue(BPawn, D5));
}

TEST(StaticExchange, EvenAndNearlyEvenExchanges) {
    // Nxe5 Nxe5: nothing gained, scored just above a quiet move with the square-value change.
    Load("4k3/8/2n5/4n3/8/5N2/8/4K3 w - -");
    EXPECT_EQ(See(F3, E5), Shift(WKnight, F3, E5) - 29985);
    // Bxd5 cxd5 gives up 5 for the knight: a small loss still counts as a fair capture.
    Load("4k3/8/2p5/3n4/8/1B6/8/4K3 w - -");
    EXPECT_EQ(See(B3, D5), -5 - 9500 + Shift(WBishop, B3, D5) + PieceSquareValue(BKnight, D5));
}

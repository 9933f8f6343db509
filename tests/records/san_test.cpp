// SAN and coordinate move text read against set-up positions.
#include <random>

#include "records_support.h"

namespace {

using records_test::RecordsTest;

class SanTest : public RecordsTest {
protected:
    static Move Parse(const char* fen, const char* text) {
        EXPECT_TRUE(SetBoard(fen)) << fen;
        return parseSanMove(text);
    }
};

TEST_F(SanTest, CastlingInEveryNotationNeedsTheMatchingRight) {
    const char* both = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";
    for (const char* text : {"O-O", "OO", "0-0", "00", "O-O+", "e1g1"})
        EXPECT_EQ(Parse(both, text), 0xDF3E) << text;
    for (const char* text : {"O-O-O", "OOO", "0-0-0", "000", "e1c1"})
        EXPECT_EQ(Parse(both, text), 0xFF3A) << text;
    const char* black = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -";
    EXPECT_EQ(Parse(black, "O-O"), 0xC106);
    EXPECT_EQ(Parse(black, "0-0-0"), 0xE102);
    EXPECT_EQ(Parse(black, "e8c8"), 0xE102);

    EXPECT_EQ(Parse("r3k2r/8/8/8/8/8/8/R3K2R w Qkq -", "O-O"), 0);
    EXPECT_EQ(Parse("r3k2r/8/8/8/8/8/8/R3K2R w Kkq -", "O-O-O"), 0);
    EXPECT_EQ(Parse("r3k2r/8/8/8/8/8/8/R3K2R b KQq -", "00"), 0);
    // Without the right the king's two squares are an ordinary (here impossible) king move.
    EXPECT_EQ(Parse("r3k2r/8/8/8/8/8/8/R3K2R w kq -", "e1g1"), MakeMoveWord(E1, G1, Quiet));
}

TEST_F(SanTest, PawnPushesFindThePawnOneOrTwoRanksBack) {
    EXPECT_EQ(Parse(StartFen, "e4"), MakeMoveWord(E2, E4, Quiet));
    EXPECT_EQ(Parse(StartFen, "e3"), MakeMoveWord(E2, E3, Quiet));
    EXPECT_EQ(Parse("4k3/8/8/8/8/4P3/4P3/4K3 w - -", "e4"), MakeMoveWord(E3, E4, Quiet));
    EXPECT_EQ(Parse("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", "e5"),
              MakeMoveWord(E7, E5, Quiet));
    EXPECT_EQ(Parse("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", "d6"),
              MakeMoveWord(D7, D6, Quiet));
    // Pushes whose pawn would stand off the board give no move (and read nothing outside it).
    EXPECT_EQ(Parse(StartFen, "e1"), 0);
    EXPECT_EQ(Parse(StartFen, "h2"), 0);  // behind h2: a rook on h1, then off the board
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/4K3 b - -", "a8"), 0);
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/4K3 b - -", "b7"), 0);
    EXPECT_EQ(Parse(StartFen, "i4"), 0);
    EXPECT_EQ(Parse(StartFen, "e9"), 0);
}

TEST_F(SanTest, PawnCapturesEnPassantAndPromotions) {
    EXPECT_EQ(Parse("4k3/8/8/3pP3/8/8/8/4K3 w - d6", "exd6"), MakeMoveWord(E5, D6, EnPassant));
    EXPECT_EQ(Parse("4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6"), MakeMoveWord(E5, D6, EnPassant));
    EXPECT_EQ(Parse("4k3/8/3p4/4P3/8/8/8/4K3 w - -", "exd6"), MakeMoveWord(E5, D6, Capture));
    EXPECT_EQ(Parse("4k3/8/8/8/2p5/1P6/8/4K3 w - -", "bxc4"), MakeMoveWord(B3, C4, Capture));
    EXPECT_EQ(Parse("4k3/8/8/8/2p5/1P6/8/4K3 b - -", "cxb3"), MakeMoveWord(C4, B3, Capture));

    EXPECT_EQ(Parse("8/4P3/8/8/8/8/k7/K7 w - -", "e8=Q"), MakeMoveWord(E7, E8, PromoQueen));
    EXPECT_EQ(Parse("8/4P3/8/8/8/8/k7/K7 w - -", "e8R+"), MakeMoveWord(E7, E8, PromoRook));
    EXPECT_EQ(Parse("3r4/4P3/8/8/8/8/k7/K7 w - -", "exd8=N"), MakeMoveWord(E7, D8, CapPromoKnight));
    EXPECT_EQ(Parse("8/4P3/8/8/8/8/k7/K7 w - -", "exd8=N"), MakeMoveWord(E7, D8, PromoKnight));
    EXPECT_EQ(Parse("3r4/2P5/8/8/8/8/k7/K7 w - -", "cxd8=B"), MakeMoveWord(C7, D8, CapPromoBishop));
    EXPECT_EQ(Parse("k7/8/K7/8/8/8/3p4/2R5 b - -", "dxc1=Q#"), MakeMoveWord(D2, C1, CapPromoQueen));
    EXPECT_EQ(Parse("k7/8/K7/8/8/8/3p4/4R3 b - -", "dxe1=Q"), MakeMoveWord(D2, E1, CapPromoQueen));
    EXPECT_EQ(Parse("k7/8/K7/8/8/8/3p4/8 b - -", "d1=Q"), MakeMoveWord(D2, D1, PromoQueen));
    EXPECT_EQ(Parse("8/4P3/8/8/8/8/k7/K7 w - -", "e7e8q"), MakeMoveWord(E7, E8, PromoQueen));
    EXPECT_EQ(Parse("3r4/4P3/8/8/8/8/k7/K7 w - -", "e7d8n"), MakeMoveWord(E7, D8, CapPromoKnight));
}

TEST_F(SanTest, PieceMovesAreResolvedByAttackDisambiguationAndPins) {
    const char* knights = "4k3/8/8/8/8/5N2/8/1N2K3 w - -";
    EXPECT_EQ(Parse(knights, "Nd2"), 0);  // both knights can go
    EXPECT_EQ(Parse(knights, "Nbd2"), MakeMoveWord(B1, D2, Quiet));
    EXPECT_EQ(Parse(knights, "Nfd2"), MakeMoveWord(F3, D2, Quiet));
    EXPECT_EQ(Parse(knights, "Nbxd2!?"), MakeMoveWord(B1, D2, Quiet));
    EXPECT_EQ(Parse(knights, "Nc3"), MakeMoveWord(B1, C3, Quiet));
    EXPECT_EQ(Parse(knights, "Nc4"), 0);  // no knight reaches c4
    // The f3 knight is pinned against the king on h1: only the b1 knight may go.
    EXPECT_EQ(Parse("4k3/8/8/3b4/8/5N2/8/1N5K w - -", "Nd2"), MakeMoveWord(B1, D2, Quiet));

    const char* rooks = "4k3/8/8/8/8/4R3/8/K3R3 w - -";
    EXPECT_EQ(Parse(rooks, "Re2"), 0);
    EXPECT_EQ(Parse(rooks, "R1e2"), MakeMoveWord(E1, E2, Quiet));
    EXPECT_EQ(Parse(rooks, "R3e2"), MakeMoveWord(E3, E2, Quiet));
    EXPECT_EQ(Parse(rooks, "Ree2"), 0);  // both stand on the e-file
    EXPECT_EQ(Parse(rooks, "Rxe8+"), MakeMoveWord(E3, E8, Capture));
    EXPECT_EQ(Parse(rooks, "R9e2"), 0);

    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/2B1K3 w - -", "Bg5"), MakeMoveWord(C1, G5, Quiet));
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/2B1K3 w - -", "Bg6"), 0);
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/3QK3 w - -", "Qxd8+"), MakeMoveWord(D1, D8, Quiet));
    EXPECT_EQ(Parse("3rk3/8/8/8/8/8/8/3QK3 w - -", "Qxd8+"), MakeMoveWord(D1, D8, Capture));
    // The king is taken from its square whatever the destination.
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/4K3 w - -", "Kg1"), MakeMoveWord(E1, G1, Quiet));
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/4K3 w - -", "Ka8"), MakeMoveWord(E1, A8, Quiet));
    EXPECT_EQ(Parse("4k3/8/8/8/8/8/8/8 w - -", "Ke2"), 0);  // no white king on the board
}

TEST_F(SanTest, CoordinateFormsAndRejectedShapes) {
    EXPECT_EQ(Parse(StartFen, "e2e4"), MakeMoveWord(E2, E4, Quiet));
    EXPECT_EQ(Parse(StartFen, "g1f3"), MakeMoveWord(G1, F3, Quiet));
    EXPECT_EQ(Parse(StartFen, "Ng1f3"), MakeMoveWord(G1, F3, Quiet));
    EXPECT_EQ(Parse(StartFen, "Ng1-f3"), MakeMoveWord(G1, F3, Quiet));
    EXPECT_EQ(Parse("4k3/8/8/8/7Q/8/8/K3r3 w - -", "Qh4xe1"), MakeMoveWord(H4, E1, Capture));
    // An unknown fifth character makes a pawn move quiet, whatever stands on the target.
    EXPECT_EQ(Parse("4k3/8/3p4/4P3/8/8/8/4K3 w - -", "e5d6z"), MakeMoveWord(E5, D6, Quiet));

    for (const char* text : {"", "e", "Nbd2e4", "abcdef", "Nf3e4g5", "Zf3", "Pe4", "N", "--", "1-0",
                             "1/2-1/2", "*", "e4e", "j1j2", "e0e1", "Nxe", "{", "(e4)"}) {
        EXPECT_EQ(Parse(StartFen, text), 0) << '"' << text << '"';
    }
}

TEST_F(SanTest, AnyTextLeavesTheLivePositionAsItWas) {
    // Ambiguity tests make and take back moves; arbitrary text must never disturb the board.
    const char* fens[] = {StartFen, "4k3/8/8/3b4/8/5N2/8/1N5K w - -",
                          "r3k2r/pPp1pppp/8/3pP3/8/8/PpPP1PPP/R3K2R w KQkq d6"};
    std::mt19937 random(7);
    const std::string alphabet = "abcdefghNBRQKOo012345678x+#!?=-/ \t*(){}$.";
    for (const char* fen : fens) {
        ASSERT_TRUE(SetBoard(fen));
        const std::string before = records_test::LivePositionFen();
        const u64 key = pos.key;
        for (int i = 0; i < 20000; ++i) {
            std::string text;
            const int length = static_cast<int>(random() % 12);
            for (int c = 0; c < length; ++c) text += alphabet[random() % alphabet.size()];
            const Move move = parseSanMove(text.c_str());
            if (move != 0) {
                EXPECT_NE(MoveKindOf(move), MarkerKind) << text;
            }
        }
        EXPECT_EQ(records_test::LivePositionFen(), before);
        EXPECT_EQ(pos.key, key);
    }
}

}  // namespace

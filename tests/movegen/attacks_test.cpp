#include "movegen/test_helpers.h"

using namespace testing_support;

namespace {

// Makes the move, asks the after-the-move test, takes the move back.
bool Rejected(Move move) { return !IsLegalAfterMaking(move); }

u64 Bit(int s) { return u64{1} << (63 - s); }

}  // namespace

TEST(CastlePath, AttackedHomeOrCrossedSquareRejectsCastling) {
    // The b4 bishop attacks e1 through c3 and d2: neither castling survives being made.
    Load("r3k2r/8/8/8/1b6/8/8/R3K2R w KQkq -");
    EXPECT_TRUE(Rejected(0xDF3E));
    EXPECT_TRUE(Rejected(0xFF3A));
    // A rook on the open f-file attacks f1: O-O is rejected, O-O-O is not.
    Load("5r1k/8/8/8/8/8/8/R3K2R w KQ -");
    EXPECT_TRUE(Rejected(0xDF3E));
    EXPECT_FALSE(Rejected(0xFF3A));
    // A rook on the open b-file only attacks b1, which the king does not cross.
    Load("1r5k/8/8/8/8/8/8/R3K2R w KQ -");
    EXPECT_FALSE(Rejected(0xDF3E));
    EXPECT_FALSE(Rejected(0xFF3A));
    // d1 attacked stops O-O-O; g1 attacked is found by the king test itself.
    Load("3r3k/8/8/8/8/8/8/R3K2R w KQ -");
    EXPECT_FALSE(Rejected(0xDF3E));
    EXPECT_TRUE(Rejected(0xFF3A));
    Load("6rk/8/8/8/8/8/8/R3K2R w KQ -");
    EXPECT_TRUE(Rejected(0xDF3E));
    // Black's mirror image: a white rook on f1 attacks f8.
    Load("r3k2r/8/8/8/8/8/8/4KR2 b kq -");
    EXPECT_TRUE(Rejected(0xC106));
    EXPECT_FALSE(Rejected(0xE102));
    Load("r3k2r/8/8/8/8/8/8/3RK3 b kq -");
    EXPECT_FALSE(Rejected(0xC106));
    EXPECT_TRUE(Rejected(0xE102));
}

TEST(CastlePath, EnemyKingNextToThePathRejectsCastling) {
    Load("8/8/8/8/8/8/7k/4K2R w K -");
    EXPECT_TRUE(Rejected(0xDF3E));
    Load("8/8/8/8/8/8/k7/R3K3 w Q -");  // a2 is not next to c1 or d1
    EXPECT_FALSE(Rejected(0xFF3A));
    Load("8/8/8/8/8/8/1k6/R3K3 w Q -");  // b2 is
    EXPECT_TRUE(Rejected(0xFF3A));
    Load("r3k3/1K6/8/8/8/8/8/8 b q -");
    EXPECT_TRUE(Rejected(0xE102));
    // The routine itself, called on the position after castling.
    Load("r3k2r/8/8/8/8/8/8/R4RK1 b kq -");
    EXPECT_FALSE(CastlePathAttacked[White](0xDF3E));
    Load("r3k2r/8/8/8/8/8/6k1/R4RK1 b kq -");
    EXPECT_TRUE(CastlePathAttacked[White](0xDF3E));
}

TEST(FindCheckers, DiscoveredAndDoubleChecks) {
    // Bd3 uncovers the e1 rook: one checker, found along the king's file.
    Load("4k3/8/8/8/8/8/4B3/4R1K1 w - -");
    UndoRecord undo{};
    SaveSnapshot(undo);
    MakeMove(MakeMoveWord(E2, D3, Quiet), undo);
    CheckInfo info{};
    FindCheckers(info);
    EXPECT_EQ(info.checkers, Bit(E1));
    EXPECT_NE(info.rookLines, 0u);
    EXPECT_TRUE(info.rookLines & Bit(E2));
    // Nf6 gives check together with the rook: two checkers, only king moves answer it.
    Load("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    SaveSnapshot(undo);
    MakeMove(MakeMoveWord(E4, F6, Quiet), undo);
    FindCheckers(info);
    EXPECT_EQ(info.checkers, Bit(E1) | Bit(F6));
    for (const ScoredMove& m : Generate()) EXPECT_EQ(MoveFrom(m.move), E8) << Text(m.move);
    // A bishop check leaves rookLines empty even with a rook on the king's rank.
    Load("r3k3/8/8/1B6/8/8/8/4K3 b - -");
    FindCheckers(info);
    EXPECT_EQ(info.checkers, Bit(B5));
    EXPECT_EQ(info.rookLines, 0u);
    EXPECT_TRUE(info.bishopLines & Bit(D7));
    // Pawn and knight checks, and the enemy king never counts.
    Load("4k3/3P4/8/8/8/8/8/4K3 b - -");
    FindCheckers(info);
    EXPECT_EQ(info.checkers, Bit(D7));
    Load("4k3/8/3N4/8/8/8/8/4K3 b - -");
    FindCheckers(info);
    EXPECT_EQ(info.checkers, Bit(D6));
    Load("8/8/8/8/8/8/3k4/4K3 w - -");
    FindCheckers(info);
    EXPECT_EQ(info.checkers, 0u);
}

TEST(LeavesKingAttacked, PinsAndEnPassantAlongTheRank) {
    // After d7d5, c5xd6 e.p. would open the fifth rank between the a5 king and the h5 rook.
    Load("3k4/3p4/8/K1P4r/8/8/8/8 b - -");
    UndoRecord undo{};
    SaveSnapshot(undo);
    MakeMove(MakeMoveWord(D7, D5, Quiet), undo);
    EXPECT_EQ(pos.enPassant, D6);
    const Move ep = MakeMoveWord(C5, D6, EnPassant);
    bool generated = false;
    for (const ScoredMove& m : Generate()) generated |= m.move == ep;
    EXPECT_TRUE(generated);
    EXPECT_TRUE(Rejected(ep));
    // A pinned knight may not move; the king may not step along the checking line.
    Load("4r2k/8/8/8/8/8/4N3/4K3 w - -");
    EXPECT_TRUE(Rejected(MakeMoveWord(E2, C3, Quiet)));
    EXPECT_FALSE(Rejected(MakeMoveWord(E1, D1, Quiet)));
    Load("4r2k/8/8/8/8/8/8/4K3 w - -");
    EXPECT_TRUE(Rejected(MakeMoveWord(E1, E2, Quiet)));
    // A side without a king is never left in check.
    Load("4r3/8/8/8/8/8/4N3/8 w - -");
    EXPECT_FALSE(Rejected(MakeMoveWord(E2, C3, Quiet)));
}

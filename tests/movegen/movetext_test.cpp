#include "movegen/test_helpers.h"

using namespace testing_support;

TEST(MoveText, WritesSquaresSuffixesAndCastling) {
    InitOnce();
    EXPECT_EQ(Text(MakeMoveWord(E2, E4, Quiet)), "e2e4");
    EXPECT_EQ(Text(MakeMoveWord(A8, H1, Capture)), "a8h1");
    EXPECT_EQ(Text(MakeMoveWord(E7, E8, PromoQueen)), "e7e8q");
    EXPECT_EQ(Text(MakeMoveWord(E7, E8, PromoKnight)), "e7e8n");
    EXPECT_EQ(Text(MakeMoveWord(D2, C1, CapPromoRook)), "d2c1r");
    EXPECT_EQ(Text(MakeMoveWord(D2, C1, CapPromoBishop)), "d2c1b");
    // Castling text comes from the kind alone, whatever squares the word carries.
    EXPECT_EQ(Text(0xD000), "e1g1");
    EXPECT_EQ(Text(0xDF3E), "e1g1");
    EXPECT_EQ(Text(0xC106), "e8g8");
    EXPECT_EQ(Text(0xE102), "e8c8");
    EXPECT_EQ(Text(0xFF3A), "e1c1");
    char buffer[8];
    char* end = MoveToText(MakeMoveWord(E7, E8, PromoQueen), buffer);
    EXPECT_EQ(end - buffer, 5);
    EXPECT_EQ(*end, '\0');
    end = MoveToText(0xDF3E, buffer);
    EXPECT_EQ(end - buffer, 4);
}

TEST(ParseMove, KindsJudgedAgainstTheGamePosition) {
    Load("r1b1k2r/3P4/8/3pP3/8/8/8/R3K2R w KQkq d6");
    EXPECT_EQ(ParseMove("e1g1"), 0xDF3E);
    EXPECT_EQ(ParseMove("e1c1"), 0xFF3A);
    EXPECT_EQ(ParseMove("e8g8"), 0xC106);
    EXPECT_EQ(ParseMove("e8c8"), 0xE102);
    EXPECT_EQ(ParseMove("e5d6"), MakeMoveWord(E5, D6, EnPassant));
    EXPECT_EQ(ParseMove("d7d8n"), MakeMoveWord(D7, D8, PromoKnight));
    EXPECT_EQ(ParseMove("d7c8q"), MakeMoveWord(D7, C8, CapPromoQueen));
    EXPECT_EQ(ParseMove("d7c8b"), MakeMoveWord(D7, C8, CapPromoBishop));
    EXPECT_EQ(ParseMove("e5e6"), MakeMoveWord(E5, E6, Quiet));
    EXPECT_EQ(ParseMove("a1a8"), MakeMoveWord(A1, A8, Capture));
    EXPECT_EQ(ParseMove("a1a5"), MakeMoveWord(A1, A5, Quiet));
    // Capital promotion letters are understood; anything else leaves kind 0.
    EXPECT_EQ(ParseMove("d7d8Q"), MakeMoveWord(D7, D8, PromoQueen));
    EXPECT_EQ(ParseMove("d7d8x"), MakeMoveWord(D7, D8, Quiet));
    // Only the first five characters count.
    EXPECT_EQ(ParseMove("d7d8qq"), MakeMoveWord(D7, D8, PromoQueen));
    EXPECT_EQ(ParseMove("a1a5extra"), MakeMoveWord(A1, A5, Quiet));
}

TEST(ParseMove, RefusesNonMoves) {
    Load(StartFen);
    for (const char* text :
         {"i2i4", "e9e7", "e2", "", "e", "e2e", "e0e4", "E2E4", "2e4e", "quit", "time", "a1h9"})
        EXPECT_EQ(ParseMove(text), 0) << text;
}

TEST(ParseMove, CastlingNeedsTheRight) {
    Load("4k3/8/8/8/8/8/8/4K2R w - -");
    EXPECT_EQ(ParseMove("e1g1"), MakeMoveWord(E1, G1, Quiet));
    EXPECT_FALSE(IsMoveValid(ParseMove("e1g1")));
    Load("4k3/8/8/8/8/8/8/R3K2R w Q -");
    EXPECT_EQ(ParseMove("e1g1"), MakeMoveWord(E1, G1, Quiet));
    EXPECT_EQ(ParseMove("e1c1"), 0xFF3A);
}

TEST(ParseMove, ReadsTheGamePositionNotTheLiveBoard) {
    Load(StartFen);
    UndoRecord undo{};
    SaveSnapshot(undo);
    MakeMove(MakeMoveWord(G1, F3, Quiet), undo);  // the live board moves on, the game does not
    EXPECT_EQ(ParseMove("e2f3"), MakeMoveWord(E2, F3, Quiet));
    EXPECT_EQ(ParseMove("g1f3"), MakeMoveWord(G1, F3, Quiet));
    EXPECT_EQ(ParseMove("d1d7"), MakeMoveWord(D1, D7, Capture));
    UnmakeMove(MakeMoveWord(G1, F3, Quiet), undo);
}

TEST(ParseMove, ReadsBackEveryGeneratedMove) {
    for (const char* fen :
         {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
          "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - -",
          "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -",
          "8/8/8/3pP3/4K3/8/8/k7 w - d6"}) {
        Load(fen);
        const std::vector<ScoredMove> list = Generate();
        ASSERT_FALSE(list.empty());
        for (const ScoredMove& m : list)
            EXPECT_EQ(ParseMove(Text(m.move).c_str()), m.move) << fen << " " << Text(m.move);
    }
}

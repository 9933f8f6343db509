#include "board/board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "search/search.h"

namespace {

u64 Bb(std::initializer_list<int> squares) {
    u64 bb = 0;
    for (int s : squares) bb |= u64{1} << (63 - s);
    return bb;
}

std::string Fen() {
    char buffer[128];
    WriteFen(buffer);
    return buffer;
}

class BoardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTables(); }
};

TEST_F(BoardTest, FirstSquareFindsTheSquareNearestH1) {
    EXPECT_EQ(FirstSquare(Bb({H1})), H1);
    EXPECT_EQ(FirstSquare(Bb({A8})), A8);
    EXPECT_EQ(FirstSquare(~u64{0}), H1);
    for (int s = 0; s < 64; ++s) {
        EXPECT_EQ(FirstSquare(Bb({s})), s);
        EXPECT_EQ(FirstSquare(Bb({s, A8})), s);
    }
}

TEST_F(BoardTest, BitScanTableAgreesWithTheProcessorScan) {
    // The folded-multiply scan through BitScanTable and FirstSquare must name the same square.
    auto tableScan = [](u64 bb) {
        const u64 x = (bb & (0 - bb)) - 1;
        const u32 folded = static_cast<u32>(x) ^ static_cast<u32>(x >> 32);
        return BitScanTable[(folded * 0x78291ACFu) >> 26];
    };
    u64 state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4096; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const u64 bb = (state >> (i % 61)) | (u64{1} << (i % 64));
        ASSERT_EQ(tableScan(bb), FirstSquare(bb)) << std::hex << bb;
    }
}

TEST_F(BoardTest, PopCountAgreesWithClearingBitByBit) {
    // Builds for a processor with POPCNT and portable builds must count alike.
    auto slowCount = [](u64 bb) {
        int n = 0;
        for (; bb != 0; bb &= bb - 1) ++n;
        return n;
    };
    EXPECT_EQ(PopCount(0), 0);
    EXPECT_EQ(PopCount(~u64{0}), 64);
    u64 state = 0x2545F4914F6CDD1Dull;
    for (int i = 0; i < 4096; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const u64 bb = state & (state >> (i % 29)) & (state << (i % 17));
        ASSERT_EQ(PopCount(bb), slowCount(bb)) << std::hex << bb;
        ASSERT_EQ(PopCount(state), slowCount(state)) << std::hex << state;
    }
}

TEST_F(BoardTest, RotationsPutEachLineInConsecutiveBits) {
    // Every rotation is a permutation, and the documented anchor squares land where expected.
    u64 all90 = 0, all45 = 0, all315 = 0;
    for (int s = 0; s < 64; ++s) {
        all90 |= SetMaskR90[s];
        all45 |= SetMaskR45[s];
        all315 |= SetMaskR315[s];
        EXPECT_EQ(PopCount(SetMaskR90[s]), 1);
    }
    EXPECT_EQ(all90, ~u64{0});
    EXPECT_EQ(all45, ~u64{0});
    EXPECT_EQ(all315, ~u64{0});
    EXPECT_EQ(SetMaskR45[A8], Bb({0}));
    EXPECT_EQ(SetMaskR45[A7], Bb({1}));
    EXPECT_EQ(SetMaskR45[B8], Bb({2}));
    EXPECT_EQ(SetMaskR45[A1], Bb({28}));
    EXPECT_EQ(SetMaskR45[H8], Bb({35}));
    EXPECT_EQ(SetMaskR45[H1], Bb({63}));
    EXPECT_EQ(SetMaskR315[H8], Bb({0}));
    EXPECT_EQ(SetMaskR315[G8], Bb({1}));
    EXPECT_EQ(SetMaskR315[A8], Bb({28}));
    EXPECT_EQ(SetMaskR315[H1], Bb({35}));
    EXPECT_EQ(SetMaskR315[A1], Bb({63}));
    // File e in R90 is one byte: bits 8*4 .. 8*4+7, rank 8 on top.
    EXPECT_EQ(RotateR90(FileMask[E4] | SetMask[E4]), u64{0xFF} << 32);
}

TEST_F(BoardTest, LineAttacksStopAtTheFirstBlocker) {
    EXPECT_EQ(RankAttacks[A1][0], Bb({B1, C1, D1, E1, F1, G1, H1}));
    EXPECT_EQ(RankAttacks[A1][1 << (7 - 3)], Bb({B1, C1, D1})) << "piece on d1";
    EXPECT_EQ(DiagA1H8Attacks[A8][0], 0u);
    EXPECT_EQ(DiagA1H8Attacks[A8][1], 0u);
    EXPECT_EQ(DiagA1H8Attacks[A8][2], 0u) << "entries above the mask stay empty";
    // Compare every slider look-up through the live occupancy with a ray walk.
    ASSERT_TRUE(SetBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"));
    const int dirs[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (int s = 0; s < 64; ++s) {
        u64 expected[2] = {0, 0};  // straight, diagonal
        for (int d = 0; d < 8; ++d) {
            int r = Row(s) + dirs[d][0], f = File(s) + dirs[d][1];
            while (r >= 0 && r < 8 && f >= 0 && f < 8) {
                expected[d / 4] |= SetMask[r * 8 + f];
                if (pos.occupied & SetMask[r * 8 + f]) break;
                r += dirs[d][0];
                f += dirs[d][1];
            }
        }
        EXPECT_EQ(RookAttacksFrom(s), expected[0]) << "square " << s;
        EXPECT_EQ(BishopAttacksFrom(s), expected[1]) << "square " << s;
    }
}

TEST_F(BoardTest, MasksAndLeaperTables) {
    for (int s = A8; s <= H8; ++s) EXPECT_EQ(PassedMask[White][s], 0u);
    for (int s = A1; s <= H1; ++s) EXPECT_EQ(PassedMask[Black][s], 0u);
    EXPECT_EQ(AdjacentFilesMask[A5], FileMask[B5] | SetMask[B5]);
    EXPECT_EQ(PassedMask[White][E2],
              Bb({D8, E8, F8, D7, E7, F7, D6, E6, F6, D5, E5, F5, D4, E4, F4, D3, E3, F3}));
    EXPECT_EQ(FrontSpan[Black][E7], Bb({E6, E5, E4, E3, E2, E1}));
    EXPECT_EQ(PawnAttacks[White][E4], Bb({D5, F5}));
    EXPECT_EQ(PawnAttacks[Black][A5], Bb({B4}));
    EXPECT_EQ(KnightAttacks[A8], Bb({B6, C7}));
    EXPECT_EQ(KingAttacks[H1], Bb({G1, G2, H2}));
    EXPECT_EQ(EpMaskR90[E6], SetMaskR90[E6] | SetMaskR90[E5]);
    EXPECT_EQ(EpMaskR45[C3], SetMaskR45[C3] | SetMaskR45[C4]);
    EXPECT_EQ(EpMaskR315[E4], 0u);
    EXPECT_EQ(QueenRays[D4], RookRays[D4] | BishopRays[D4]);
    EXPECT_EQ(PopCount(QueenRays[D4]), 27);
}

TEST_F(BoardTest, FenRoundTrips) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
        "8/8/8/8/8/8/8/8 b - -",
        "7k/8/8/8/8/8/8/K7 b - e3",
    };
    for (const char* fen : fens) {
        ASSERT_TRUE(SetBoard(fen)) << fen;
        EXPECT_EQ(Fen(), fen);
    }
    // Move counters and extra blanks are read past.
    ASSERT_TRUE(SetBoard("  rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR   b  KQkq  e3 0 1"));
    EXPECT_EQ(Fen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
}

TEST_F(BoardTest, SetBoardFillsCountersKeysAndGamePosition) {
    ASSERT_TRUE(SetBoard(StartFen));
    EXPECT_EQ(pos.materialTotal, 78);
    EXPECT_EQ(pos.pieceMaterial[White], 31);
    EXPECT_EQ(pos.pieceMaterial[Black], 31);
    EXPECT_EQ(pos.pawnCount[White], 8);
    EXPECT_EQ(pos.kingSquare[White], E1);
    EXPECT_EQ(pos.kingSquare[Black], E8);
    EXPECT_EQ(pos.castleRights, 1 + 2 + 8 + 16);
    EXPECT_EQ(PopCount(pos.occupied), 32);
    EXPECT_EQ(pos.occupiedR90, RotateR90(pos.occupied));
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(HistoryKey(history[0]), pos.key);
    EXPECT_EQ(std::memcmp(GamePosition.board, pos.board, 64), 0);
    // The key holds piece entries only: castling rights and side do not change it.
    u64 startKey = pos.key;
    ASSERT_TRUE(SetBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b - -"));
    EXPECT_EQ(pos.key, startKey);
    EXPECT_EQ(GamePosition.sideToMove, Black);
}

TEST_F(BoardTest, SetBoardRejectsBadTextButLeavesAConsistentBoard) {
    EXPECT_FALSE(SetBoard("rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"));
    EXPECT_EQ(pos.occupied, pos.occupiedBy[White] | pos.occupiedBy[Black]);
    EXPECT_EQ(pos.occupiedR45, RotateR45(pos.occupied));
    EXPECT_FALSE(SetBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq -"));
    EXPECT_FALSE(SetBoard("rnbqkbnr/pppppppp/8/8/8"));
    EXPECT_FALSE(SetBoard(""));
    EXPECT_EQ(pos.kingSquare[White], 100);
    // Empty ranks only: no kings, still a valid (if empty) position.
    EXPECT_TRUE(SetBoard("8/8/8/8/8/8/8/8 w - -"));
    EXPECT_EQ(pos.kingSquare[White], 100);
    EXPECT_EQ(pos.occupiedBy[White], 0u);
}

TEST_F(BoardTest, SetBoardKeepsOnlyPlausibleCastlingAndEnPassant) {
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/4K2R w qkQK -"));
    EXPECT_EQ(pos.castleRights, WhiteShort) << "no rook on a1, a8 or h8";
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/4K3 w - z9"));
    EXPECT_EQ(pos.enPassant, 0);
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/4K3 w - e4"));
    EXPECT_EQ(pos.enPassant, 0) << "only ranks 3 and 6 hold en-passant squares";
}

TEST_F(BoardTest, PrintBoardDiagram) {
    ASSERT_TRUE(SetBoard("7k/8/8/8/8/8/8/K6R w - -"));
    testing::internal::CaptureStdout();
    PrintBoard(pos.board);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "\n8 . . . . . . . k \n7 . . . . . . . . \n6 . . . . . . . . \n5 . . . . . . . . "
              "\n4 . . . . . . . . \n3 . . . . . . . . \n2 . . . . . . . . \n1 K . . . . . . R "
              "\n\n  A B C D E F G H\n");
}

// Recomputes every derived field from the mailbox and compares with the incremental ones.
void ExpectConsistent() {
    u64 key = 0, by[2] = {0, 0};
    u32 pawnKey = 0;
    int total = 0;
    for (int s = 0; s < 64; ++s) {
        int code = pos.board[s];
        if (!code) continue;
        key ^= ZobristKeys[code][s];
        by[code & 1] |= SetMask[s];
        if (code <= BPawn) pawnKey ^= static_cast<u32>(ZobristKeys[code][s]);
        if (code < WKing) {
            total += PieceUnits[code];
            EXPECT_TRUE(pos.pieces[code] & SetMask[s]);
        }
    }
    if (pos.enPassant) {
        key ^= ZobristKeys[0][pos.enPassant];
        pawnKey ^= static_cast<u32>(ZobristKeys[0][pos.enPassant]);
    }
    EXPECT_EQ(pos.occupiedBy[0], by[0]);
    EXPECT_EQ(pos.occupiedBy[1], by[1]);
    EXPECT_EQ(pos.occupiedR90, RotateR90(pos.occupied));
    EXPECT_EQ(pos.occupiedR45, RotateR45(pos.occupied));
    EXPECT_EQ(pos.occupiedR315, RotateR315(pos.occupied));
    EXPECT_EQ(pos.pawnKey, pawnKey);
    EXPECT_EQ(pos.materialTotal, total);
    (void)key;
}

TEST_F(BoardTest, MakeAndUnmakeKeepEveryFieldConsistent) {
    ASSERT_TRUE(SetBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"));
    const Position before = pos;
    const u64 startKey = pos.key;
    UndoRecord undo[6];
    const Move line[] = {
        MakeMoveWord(A2, A4, Quiet),             // double push sets e.p. on a3
        MakeMoveWord(B4, A3, EnPassant),         // taken en passant
        MakeMoveWord(E1, G1, WhiteCastleShort),  // O-O
        MakeMoveWord(H3, G2, Capture),           // pawn takes
        MakeMoveWord(F3, F6, Capture),           // queen takes knight
        MakeMoveWord(G2, F1, CapPromoKnight),    // capture-promotion on the rook's square
    };
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(IsMoveValid(line[i])) << i;
        SaveSnapshot(undo[i]);
        MakeMove(line[i], undo[i]);
        ExpectConsistent();
        EXPECT_EQ(HistoryKey(*historyTop), pos.key);
    }
    EXPECT_EQ(pos.castleRights, BlackShort | BlackLong);
    EXPECT_EQ(historyTop - history, 6);
    EXPECT_EQ(history[0].move, line[0]);
    for (int i = 5; i >= 0; --i) UnmakeMove(line[i], undo[i]);
    EXPECT_EQ(std::memcmp(&pos, &before, sizeof pos), 0);
    EXPECT_EQ(pos.key, startKey);
    EXPECT_EQ(historyTop, history);
}

TEST_F(BoardTest, CastlingRightsFollowKingAndRookMoves) {
    struct Case {
        const char* fen;
        Move move;
        u16 rights;
    } cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", MakeMoveWord(H1, H2, Quiet),
         WhiteLong | BlackShort | BlackLong},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", MakeMoveWord(A1, A2, Quiet),
         WhiteShort | BlackShort | BlackLong},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", MakeMoveWord(E1, E2, Quiet), BlackShort | BlackLong},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", MakeMoveWord(H8, H7, Quiet),
         WhiteShort | WhiteLong | BlackLong},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", MakeMoveWord(A8, A7, Quiet),
         WhiteShort | WhiteLong | BlackShort},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", MakeMoveWord(E8, D8, Quiet), WhiteShort | WhiteLong},
        // A rook taken in its corner takes its side's right with it.
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", MakeMoveWord(A1, A8, Capture),
         WhiteShort | BlackShort},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", MakeMoveWord(H8, H1, Capture), WhiteLong | BlackLong},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetBoard(c.fen));
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(c.move, undo);
        EXPECT_EQ(pos.castleRights, c.rights) << c.fen << " " << c.move;
    }
}

// Stored books and position databases are keyed by these values: the key table may never change.
TEST_F(BoardTest, KeyOfTheStartPositionAfterE4E5) {
    ASSERT_TRUE(SetBoard(StartFen));
    UndoRecord u1, u2;
    SaveSnapshot(u1);
    MakeMove(MakeMoveWord(E2, E4, Quiet), u1);
    SaveSnapshot(u2);
    MakeMove(MakeMoveWord(E7, E5, Quiet), u2);
    EXPECT_EQ(pos.key, 0xa038acedea569c8bull) << std::hex << pos.key;
    EXPECT_EQ(pos.pawnKey, 0xb5cac074u) << std::hex << pos.pawnKey;
}

TEST_F(BoardTest, EpdAvoidAndBestMoves) {
    const std::string italian = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
    ASSERT_TRUE(SetBoard((italian + " bm Bb5; id \"x\";").c_str()));
    EXPECT_EQ(pos.epdBestMove, MakeMoveWord(F1, B5, Quiet));
    EXPECT_EQ(pos.epdAvoidMove, 0);
    ASSERT_TRUE(SetBoard((italian + " am d4 ").c_str()));
    EXPECT_EQ(pos.epdAvoidMove, MakeMoveWord(D2, D4, Quiet));
    EXPECT_EQ(pos.epdBestMove, 0);
    // At the very end of the line, with nothing after it, the move is not taken.
    ASSERT_TRUE(SetBoard((italian + " bm Bb5").c_str()));
    EXPECT_EQ(pos.epdBestMove, 0);
    EXPECT_EQ(pos.epdAvoidMove, 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(SetBoard((italian + " bm Zz9;").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning cannot recognize move: Zz9\r\n");
}

TEST_F(BoardTest, HalfmoveClockAndEnPassantKeys) {
    ASSERT_TRUE(SetBoard(StartFen));
    UndoRecord u1, u2, u3;
    u64 k0 = pos.key;
    SaveSnapshot(u1);
    MakeMove(MakeMoveWord(G1, F3, Quiet), u1);
    EXPECT_EQ(historyTop->halfmoveClock, 1);
    SaveSnapshot(u2);
    MakeMove(MakeMoveWord(E7, E5, Quiet), u2);
    EXPECT_EQ(historyTop->halfmoveClock, 0);
    EXPECT_EQ(pos.enPassant, E6);
    SaveSnapshot(u3);
    MakeMove(MakeMoveWord(F3, G1, Quiet), u3);
    EXPECT_EQ(pos.enPassant, 0);
    EXPECT_EQ(historyTop->halfmoveClock, 1);
    // Knight back home, e-pawn advanced: only the pawn's two entries differ from the start.
    EXPECT_EQ(pos.key ^ k0, ZobristKeys[BPawn][E7] ^ ZobristKeys[BPawn][E5]);
}

TEST_F(BoardTest, IsMoveValidChecksPlayability) {
    ASSERT_TRUE(SetBoard(StartFen));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(E2, E4, Quiet)));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(G1, F3, Quiet)));
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(E7, E5, Quiet))) << "not White's piece";
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(E2, E5, Quiet)));
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(F1, C4, Quiet))) << "blocked bishop";
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(E1, G1, WhiteCastleShort))) << "f1, g1 occupied";
    EXPECT_FALSE(IsMoveValid(0x3000)) << "markers are never playable";
    ASSERT_TRUE(SetBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -"));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(E1, G1, WhiteCastleShort)));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(E1, C1, WhiteCastleLong)));
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(E8, G8, BlackCastleShort))) << "Black is not to move";
    ASSERT_TRUE(SetBoard("8/8/8/3k4/8/3K4/8/8 w - -"));
    EXPECT_FALSE(IsMoveValid(MakeMoveWord(D3, D4, Quiet))) << "next to the other king";
    ASSERT_TRUE(SetBoard("8/P7/8/8/8/8/8/k6K w - -"));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(A7, A8, PromoQueen)));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(A7, A8, Quiet))) << "a push onto the last rank";
    // Without kings nothing indexes past the tables.
    ASSERT_TRUE(SetBoard("8/8/8/8/8/8/8/R7 w - -"));
    EXPECT_TRUE(IsMoveValid(MakeMoveWord(A1, A8, Quiet)));
}

TEST_F(BoardTest, MarkerMoveStopsTheEngineWithAnErrorFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(SetBoard(StartFen));
    UndoRecord undo;
    SaveSnapshot(undo);
    std::remove("!error.err");
    EXPECT_EXIT(MakeMove(0x3041, undo), testing::ExitedWithCode(1), "");
    std::FILE* f = std::fopen("!error.err", "r");
    ASSERT_NE(f, nullptr);
    char text[256] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    std::remove("!error.err");
    EXPECT_NE(std::string(text, n).find(" MV_NOT_VALID: 12353; from=1; to=1; type=3"),
              std::string::npos);
}

}  // namespace

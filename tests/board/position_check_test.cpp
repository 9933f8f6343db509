// The position check: it holds after set-up of any text, hostile or not, and after every make
// and unmake of a move-tree walk, where the keys are also followed move by move; and it notices
// each kind of corruption it claims to look at.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "board/board.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "movegen/movegen.h"

namespace {

class PositionCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
    void TearDown() override { SetBoard(StartFen); }
};

u64 EpKey(int square) { return square ? ZobristKeys[0][square] : 0; }

u64 LostRightKeys(u16 before, u16 after) {
    u64 keys = 0;
    for (u16 right : {WhiteShort, WhiteLong, BlackShort, BlackLong})
        if ((before & right) && !(after & right)) keys ^= CastleRightKey(right);
    return keys;
}

// The keys a move must leave, worked out from the two positions alone: the men that changed, the
// en-passant squares, the castling rights lost, and a castling move's own key (castling moves
// key the king and rook through that one key).
void ExpectKeysFollow(const Position& before, Move move) {
    const int kind = MoveKindOf(move);
    u64 key = before.key ^ EpKey(before.enPassant) ^ EpKey(pos.enPassant) ^
              LostRightKeys(before.castleRights, pos.castleRights);
    u32 pawnKey = before.pawnKey ^ static_cast<u32>(EpKey(before.enPassant)) ^
                  static_cast<u32>(EpKey(pos.enPassant));
    if (kind >= BlackCastleShort) {
        key ^= CastleMoveKeys[kind - BlackCastleShort];
    } else {
        key ^= PieceKeysOf(before) ^ PieceKeysOf(pos);
        pawnKey ^= PawnKeysOf(before) ^ PawnKeysOf(pos);
    }
    EXPECT_EQ(pos.key, key) << "move " << move;
    EXPECT_EQ(pos.pawnKey, pawnKey) << "move " << move;
}

int Walk(int depth) {
    if (depth == 0) return 0;
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove list[MaxGeneratedMoves];
    ScoredMove* const end = GenerateMoves(list, checkInfo);
    int failures = 0;
    for (ScoredMove* m = list; m != end; ++m) {
        const Position before = pos;
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(m->move, undo);
        failures += PositionIsOk() ? 0 : 1;
        ExpectKeysFollow(before, m->move);
        if (!LeavesKingAttacked(m->move, before.sideToMove)) failures += Walk(depth - 1);
        UnmakeMove(m->move, undo);
        failures += PositionIsOk() ? 0 : 1;
        EXPECT_EQ(pos.key, before.key);
        EXPECT_EQ(std::memcmp(pos.board, before.board, sizeof pos.board), 0);
        if (failures > 0 || ::testing::Test::HasFailure()) return failures + 1;
    }
    return failures;
}

TEST_F(PositionCheck, HoldsAfterEveryMakeAndUnmakeOfATreeWalk) {
    // Castling both ways with rights lost by king, rook and capture, en passant, promotions
    // with and without capture, checks and evasions.
    for (const char* fen :
         {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
          "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -"}) {
        ASSERT_TRUE(SetBoard(fen)) << fen;
        ASSERT_TRUE(PositionIsOk(true)) << fen;
        EXPECT_EQ(Walk(3), 0) << fen;
    }
}

TEST_F(PositionCheck, AcceptsWhatSetUpAcceptsHostileTextIncluded) {
    for (const char* text : {"8/8/8/8/8/8/8/8 w - -", "KK6/8/8/8/8/8/8/kk6 b KQkq e3",
                             "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/"
                             "QQQQQQQQ/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqkqqqq w - -",
                             "PPPPPPPP/8/8/8/8/8/8/pppppppp w - a3", "rnbqkbnr/pppp", "x", ""}) {
        SetBoard(text);
        EXPECT_TRUE(PositionIsOk(true)) << text;
    }
}

// Random set-up text built from FEN's own characters: whatever set-up makes of it is
// consistent, and where the engine would play on it, so is every position a short walk reaches.
TEST_F(PositionCheck, HoldsForRandomSetUpText) {
    std::mt19937 random(20261208);
    const std::string alphabet = "pnbrqkPNBRQK12345678//// wb-KQkqabcdefgh36";
    for (int i = 0; i < 400; ++i) {  // each set-up clears the whole table
        std::string text;
        const int length = static_cast<int>(random() % 90);
        for (int c = 0; c < length; ++c) text += alphabet[random() % alphabet.size()];
        SetBoard(text.c_str());
        ASSERT_TRUE(PositionIsOk(true)) << text;
        SanitizeSetup();
        ASSERT_TRUE(PositionIsOk()) << text;
        if (PositionIsPlayable()) {
            ASSERT_EQ(Walk(2), 0) << text;
        }
    }
}

TEST_F(PositionCheck, NoticesEachKindOfCorruption) {
    const auto corrupted = [](auto spoil) {
        SetBoard("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
        spoil();
        const bool ok = PositionIsOk(true);
        SetBoard(StartFen);
        return !ok;
    };
    EXPECT_TRUE(corrupted([] { pos.pieces[WKnight] ^= SetMask[A1]; }));
    EXPECT_TRUE(corrupted([] { pos.board[A1] = WBishop; }));
    EXPECT_TRUE(corrupted([] { pos.board[A3] = BPawn; }));
    EXPECT_TRUE(corrupted([] { pos.occupied ^= SetMask[E4]; }));
    EXPECT_TRUE(corrupted([] { pos.occupiedBy[White] ^= SetMask[E1]; }));
    EXPECT_TRUE(corrupted([] { pos.occupiedR90 ^= 1; }));
    EXPECT_TRUE(corrupted([] { pos.occupiedR45 ^= 1; }));
    EXPECT_TRUE(corrupted([] { pos.occupiedR315 ^= 1; }));
    EXPECT_TRUE(corrupted([] { pos.kingSquare[Black] = D8; }));
    EXPECT_TRUE(corrupted([] { ++pos.materialTotal; }));
    EXPECT_TRUE(corrupted([] { ++pos.pawnCount[White]; }));
    EXPECT_TRUE(corrupted([] { pos.pieceMaterial[Black] = 0; }));
    EXPECT_TRUE(corrupted([] { pos.key ^= 1; }));
    EXPECT_TRUE(corrupted([] { pos.pawnKey ^= 1; }));
    EXPECT_TRUE(corrupted([] { pos.enPassant = E4; }));
    EXPECT_TRUE(corrupted([] { pos.castleRights |= 4; }));
    EXPECT_FALSE(corrupted([] {}));
}

}  // namespace

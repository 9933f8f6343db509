// Make and unmake over whole perft trees: every made move is taken back bit for bit, and the
// incremental keys along every line agree with keys built from scratch.
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "movegen/test_helpers.h"

using namespace testing_support;

namespace {

#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr int TreeDepth = 2;
#else
constexpr int TreeDepth = 3;
#endif

u64 RightKeys(u16 rights) {
    u64 key = 0;
    for (u16 right : {WhiteShort, WhiteLong, BlackShort, BlackLong})
        if (rights & right) key ^= CastleRightKey(right);
    return key;
}

// The pieces' part of the key, as SetBoard builds it: every man, kings included.
u64 PieceKey(bool pawnsOnly) {
    u64 key = 0;
    for (int s = 0; s < 64; ++s) {
        const int code = pos.board[s];
        if (code == Empty || (pawnsOnly && code != WPawn && code != BPawn)) continue;
        key ^= ZobristKeys[code][s];
    }
    return key;
}

// A castling move XORs its own key instead of the king's and rook's square keys.
u64 CastleCorrection(Move move) {
    static constexpr int Squares[4][4] = {
        {E8, G8, H8, F8}, {E1, G1, H1, F1}, {E8, C8, A8, D8}, {E1, C1, A1, D1}};
    const int k = MoveKindOf(move) - BlackCastleShort;
    const int king = k & 1 ? WKing : BKing, rook = k & 1 ? WRook : BRook;
    return CastleMoveKeys[k] ^ ZobristKeys[king][Squares[k][0]] ^ ZobristKeys[king][Squares[k][1]] ^
           ZobristKeys[rook][Squares[k][2]] ^ ZobristKeys[rook][Squares[k][3]];
}

struct TreeCheck {
    u16 rootRights = 0;
    u64 rootEpKey = 0;
    long nodes = 0;
    long moves = 0;
    int freshChecks = 0;
    std::string fen;

    // Sets a fresh position from this one's FEN text and compares its keys with the pieces'
    // part of the live keys; then puts every piece of board state back.
    void CompareWithFreshSetUp() {
        static Position savedPos;
        static HistoryEntry savedHistory[HistorySize];
        static GamePositionRecord savedGame;
        char text[128];
        WriteFen(text);
        std::memcpy(&savedPos, &pos, sizeof pos);
        std::memcpy(savedHistory, history, sizeof history);
        HistoryEntry* const savedTop = historyTop;
        savedGame = GamePosition;
        const u64 expectedKey = PieceKey(false);
        const u32 expectedPawnKey = static_cast<u32>(PieceKey(true));
        ASSERT_TRUE(SetBoard(text)) << text;
        EXPECT_EQ(pos.key, expectedKey) << text;
        EXPECT_EQ(pos.pawnKey, expectedPawnKey) << text;
        std::memcpy(&pos, &savedPos, sizeof pos);
        std::memcpy(history, savedHistory, sizeof history);
        historyTop = savedTop;
        GamePosition = savedGame;
        ++freshChecks;
    }

    void Visit(int depth, int ply, u64 castleKeys) {
        ++nodes;
        // Keys: pieces, the en-passant square, every right lost since the root, castlings made.
        // A set-up position's own en-passant square is not in its key, but the first move
        // XORs it out all the same: from then on every key of the line carries it.
        const u64 epKey =
            ply == 0 ? 0 : (pos.enPassant ? ZobristKeys[0][pos.enPassant] : 0) ^ rootEpKey;
        const u64 expected =
            PieceKey(false) ^ epKey ^ RightKeys(rootRights & ~pos.castleRights) ^ castleKeys;
        ASSERT_EQ(pos.key, expected) << fen << " node " << nodes;
        ASSERT_EQ(pos.pawnKey, static_cast<u32>(PieceKey(true) ^ epKey)) << fen;
        ASSERT_EQ(HistoryKey(*historyTop), pos.key);
        if (nodes % 997 == 1 && freshChecks < 4) CompareWithFreshSetUp();
        if (depth == 0) return;

        for (const ScoredMove& entry : Generate()) {
            const Move move = entry.move;
            ++moves;
            Position before;
            std::memcpy(&before, &pos, sizeof pos);
            HistoryEntry* const top = historyTop;
            const std::vector<HistoryEntry> line(history, top + 1);

            UndoRecord undo{};
            SaveSnapshot(undo);
            const int side = pos.sideToMove;
            MakeMove(move, undo);
            ASSERT_EQ(historyTop, top + 1);
            EXPECT_EQ(top->move, move);
            if (!LeavesKingAttacked(move, side)) {
                Visit(depth - 1, ply + 1,
                      IsCastling(move) ? castleKeys ^ CastleCorrection(move) : castleKeys);
            }
            UnmakeMove(move, undo);

            ASSERT_EQ(std::memcmp(&before, &pos, sizeof pos), 0) << fen << " " << Text(move);
            ASSERT_EQ(historyTop, top);
            for (size_t i = 0; i < line.size(); ++i) {
                const HistoryEntry& now = history[i];
                EXPECT_EQ(now.keyLow, line[i].keyLow);
                EXPECT_EQ(now.keyHigh, line[i].keyHigh);
                EXPECT_EQ(now.halfmoveClock, line[i].halfmoveClock);
                // The entry of the position the move left records that move; those below keep
                // the moves of the line.
                if (i + 1 < line.size()) {
                    EXPECT_EQ(now.move, line[i].move);
                }
            }
        }
    }
};

std::vector<std::string> SuitePositions() {
    std::ifstream in(std::string(ZELMOR_TEST_DATA) + "/perft.tsv");
    std::vector<std::string> fens;
    std::set<std::string> seen;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const std::string fen = line.substr(0, line.find('\t'));
        if (seen.insert(fen).second) fens.push_back(fen);
    }
    return fens;
}

}  // namespace

TEST(MakeUnmake, RestoresEveryFieldAndKeepsKeysOverWholeTrees) {
    const std::vector<std::string> fens = SuitePositions();
    ASSERT_GE(fens.size(), 30u);
    long moves = 0;
    int fresh = 0;
    for (const std::string& fen : fens) {
        Load(fen.c_str());
        TreeCheck check;
        check.fen = fen;
        check.rootRights = pos.castleRights;
        check.rootEpKey = pos.enPassant ? ZobristKeys[0][pos.enPassant] : 0;
        check.Visit(TreeDepth, 0, 0);
        moves += check.moves;
        fresh += check.freshChecks;
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(moves, 10000);
    EXPECT_GT(fresh, 30);
}

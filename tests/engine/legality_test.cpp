// Which moves a game accepts: every castling with each square of its path occupied or attacked in
// turn, and promotions with and without their letter, for both colours. Each case is judged three
// ways: the game-move check a GUI's move goes through, the board's validity check a table move
// goes through, and the generators' legal moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "movegen/movegen.h"

namespace {

void Place(const std::string& fen) {
    static const bool ready = (InitTables(), true);
    (void)ready;
    ASSERT_TRUE(SetBoard(fen.c_str())) << fen;
}

std::vector<std::string> GeneratedLegal() {
    ScoredMove list[MaxGeneratedMoves];
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove* end = checkInfo.checkers ? EvasionGenerators[pos.sideToMove](list, checkInfo)
                                         : MoveGenerators[pos.sideToMove](list);
    std::vector<std::string> legal;
    char text[8];
    for (ScoredMove* m = list; m != end; ++m)
        if (KeepsKingSafe(m->move)) legal.push_back((MoveToText(m->move, text), text));
    return legal;
}

// Whether the game takes `text` in position `fen`; the generators must agree.
bool GameAccepts(const std::string& fen, const std::string& text) {
    Place(fen);
    const std::vector<std::string> legal = GeneratedLegal();
    const bool generated = std::find(legal.begin(), legal.end(), text) != legal.end();
    const bool accepted = PlayGameMove(ParseMove(text.c_str()), false);
    EXPECT_EQ(accepted, generated) << fen << " " << text;
    return accepted;
}

// A man put on an empty square of a board text (ranks 8 to 1, files a to h).
std::string With(std::string board, char piece, int square) {
    std::string expanded;
    for (char c : board)
        expanded += c >= '1' && c <= '8' ? std::string(c - '0', '1') : std::string(1, c);
    expanded.erase(std::remove(expanded.begin(), expanded.end(), '/'), expanded.end());
    expanded[static_cast<std::size_t>(square)] = piece;
    std::string out;
    for (int rank = 0; rank < 8; ++rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = expanded[static_cast<std::size_t>(8 * rank + file)];
            if (c == '1') {
                ++empty;
                continue;
            }
            if (empty) out += static_cast<char>('0' + empty);
            empty = 0;
            out += c;
        }
        if (empty) out += static_cast<char>('0' + empty);
        if (rank < 7) out += '/';
    }
    return out;
}

struct Castling {
    const char* text;
    Move word;
    int side;
    std::vector<int> mustBeEmpty;  // the squares between king and rook
    std::vector<int> mustBeSafe;   // the king's start, the square it crosses and its target
};

TEST(Legality, EveryCastlingWithEachSquareOfItsPathOccupiedOrAttacked) {
    const std::string board = "r3k2r/8/8/8/8/8/8/R3K2R";
    const Castling castlings[] = {
        {"e1g1", MakeMoveWord(E1, G1, WhiteCastleShort), White, {F1, G1}, {E1, F1, G1}},
        {"e1c1", MakeMoveWord(E1, C1, WhiteCastleLong), White, {B1, C1, D1}, {E1, D1, C1}},
        {"e8g8", MakeMoveWord(E8, G8, BlackCastleShort), Black, {F8, G8}, {E8, F8, G8}},
        {"e8c8", MakeMoveWord(E8, C8, BlackCastleLong), Black, {B8, C8, D8}, {E8, D8, C8}},
    };
    for (const Castling& c : castlings) {
        const std::string side = c.side == White ? " w KQkq -" : " b KQkq -";
        EXPECT_TRUE(GameAccepts(board + side, c.text)) << c.text;

        // A man of either colour on any square between king and rook forbids it; the board's
        // own check (which a table move passes) must see it too.
        for (int square : c.mustBeEmpty) {
            for (char man : {'N', 'n', 'B', 'b'}) {
                const std::string fen = With(board, man, square) + side;
                EXPECT_FALSE(GameAccepts(fen, c.text)) << fen << " " << c.text;
                Place(fen);
                EXPECT_FALSE(IsMoveValid(c.word)) << fen << " " << c.text;
            }
        }
        // An enemy rook bearing down a file: only the king's own squares matter (b1 and b8 may
        // be attacked).
        const int homeRow = c.side == White ? 7 : 0;
        const int attackRow = c.side == White ? 4 : 3;
        for (int file = 1; file <= 6; ++file) {
            const std::string fen =
                With(board, c.side == White ? 'r' : 'R', 8 * attackRow + file) + side;
            const bool safe = std::find(c.mustBeSafe.begin(), c.mustBeSafe.end(),
                                        8 * homeRow + file) == c.mustBeSafe.end();
            EXPECT_EQ(GameAccepts(fen, c.text), safe) << fen << " " << c.text;
        }
        // Without the right, nothing else matters.
        const std::string noRight = c.side == White
                                        ? (c.word == castlings[0].word ? " w Qkq -" : " w Kkq -")
                                        : (c.word == castlings[2].word ? " b KQq -" : " b KQk -");
        EXPECT_FALSE(GameAccepts(board + noRight, c.text)) << c.text;
    }
}

TEST(Legality, PromotionsNeedTheirLetterForBothColours) {
    // White's pawn on b7 can push to b8 or take on a8; Black's on g2 can push to g1 or take on h1.
    const std::string board = "r3k3/1P6/8/8/8/8/6p1/4K2R";
    struct Side {
        const char* fen;
        const char* push;
        const char* take;
        int pushTo;
        int lastRow;
    } sides[] = {{" w - -", "b7b8", "b7a8", B8, 0}, {" b - -", "g2g1", "g2h1", G1, 7}};
    for (const Side& s : sides) {
        const std::string fen = board + s.fen;
        // Without a letter the pawn would stand on its last rank for good.
        EXPECT_FALSE(GameAccepts(fen, s.push)) << s.push;
        EXPECT_FALSE(GameAccepts(fen, s.take)) << s.take;
        for (const char* letter : {"q", "r", "b", "n"}) {
            EXPECT_TRUE(GameAccepts(fen, std::string(s.push) + letter)) << s.push << letter;
            EXPECT_TRUE(GameAccepts(fen, std::string(s.take) + letter)) << s.take << letter;
        }
        // The piece asked for is the piece on the board; capitals are read as well.
        ASSERT_TRUE(GameAccepts(fen, std::string(s.push) + "n"));
        EXPECT_EQ(pos.board[s.pushTo], s.lastRow == 0 ? WKnight : BKnight);
        Place(fen);
        EXPECT_TRUE(PlayGameMove(ParseMove((std::string(s.push) + "R").c_str()), false));
        EXPECT_EQ(pos.board[s.pushTo], s.lastRow == 0 ? WRook : BRook);
        // No pawn is left on a back rank after any accepted move.
        for (int square = 0; square < 64; ++square) {
            if (square / 8 == 0 || square / 8 == 7) {
                EXPECT_NE(pos.board[square], WPawn) << square;
                EXPECT_NE(pos.board[square], BPawn) << square;
            }
        }
    }
    // A letter on a pawn move that does not promote is no move.
    EXPECT_FALSE(GameAccepts("4k3/8/8/8/8/8/4P3/4K3 w - -", "e2e4q"));
    EXPECT_FALSE(GameAccepts("4k3/4p3/8/8/8/8/8/4K3 b - -", "e7e5q"));
}

TEST(Legality, EnPassantOutOfCheckOnBothEdgeFiles) {
    // A double step gave check beside the king; taking it en passant is one of the answers.
    const char* cases[][2] = {{"4k3/8/8/pP6/1K6/8/8/8 w - a6", "b5a6"},
                              {"4k3/8/8/6Pp/6K1/8/8/8 w - h6", "g5h6"},
                              {"8/8/8/1k6/Pp6/8/8/4K3 b - a3", "b4a3"},
                              {"8/8/8/6k1/6pP/8/8/4K3 b - h3", "g4h3"}};
    for (const auto& c : cases) {
        Place(c[0]);
        EXPECT_EQ(GeneratedLegal().size(), 8u) << c[0];
        EXPECT_TRUE(GameAccepts(c[0], c[1])) << c[0];
        // The checking pawn is gone from the square beside the capturing one.
        const int taken = MoveTo(ParseMove(c[1])) + (c[1][3] == '6' ? 8 : -8);
        EXPECT_EQ(pos.board[taken], Empty) << c[0];
    }
}

}  // namespace

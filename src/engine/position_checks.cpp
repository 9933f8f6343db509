// Guards between the interface's set-up text and the search: a position that the generators and
// make/unmake cannot handle soundly (no king, kings side by side, a king that can be taken, pawns
// on a back rank, more men than promotions explain) is refused for play, and set-up details that
// no game can produce (castling without king or rook at home, a stray en-passant square) are
// dropped.
#include "engine/engine.h"
#include "engine/internal.h"
#include "movegen/movegen.h"

namespace {

bool MaterialIsPossible(const int count[13], int side) {
    auto code = [side](int kind) { return 2 * kind - side; };
    int pawns = count[code(1)];
    int knights = count[code(2)], bishops = count[code(3)];
    int rooks = count[code(4)], queens = count[code(5)];
    if (pawns > 8) return false;
    auto extra = [](int n, int start) { return n > start ? n - start : 0; };
    int promoted = extra(knights, 2) + extra(bishops, 2) + extra(rooks, 2) + extra(queens, 1);
    return promoted <= 8 - pawns;
}

}  // namespace

bool PositionIsPlayable() {
    int count[13] = {};
    for (int s = 0; s < 64; ++s) {
        int code = pos.board[s];
        if (code > BKing) return false;
        ++count[code];
        if ((code == WPawn || code == BPawn) && (Row(s) == 0 || Row(s) == 7)) return false;
    }
    if (count[WKing] != 1 || count[BKing] != 1) return false;
    int whiteKing = pos.kingSquare[White], blackKing = pos.kingSquare[Black];
    if (whiteKing > 63 || blackKing > 63) return false;
    if (pos.board[whiteKing] != WKing || pos.board[blackKing] != BKing) return false;
    if (KingAttacks[whiteKing] & SetMask[blackKing]) return false;
    if (!MaterialIsPossible(count, White) || !MaterialIsPossible(count, Black)) return false;
    if (pos.sideToMove != White && pos.sideToMove != Black) return false;
    // The side that is not to move must not be in check: the search would take its king.
    pos.sideToMove ^= 1;
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    pos.sideToMove ^= 1;
    return checkInfo.checkers == 0;
}

void SanitizeSetup() {
    struct Right {
        u16 right;
        int kingSquare;
        u8 king;
        int rookSquare;
        u8 rook;
    };
    static constexpr Right Rights[4] = {
        {WhiteShort, E1, WKing, H1, WRook},
        {WhiteLong, E1, WKing, A1, WRook},
        {BlackShort, E8, BKing, H8, BRook},
        {BlackLong, E8, BKing, A8, BRook},
    };
    for (const Right& r : Rights) {
        if ((pos.castleRights & r.right) &&
            (pos.board[r.kingSquare] != r.king || pos.board[r.rookSquare] != r.rook)) {
            pos.castleRights &= static_cast<u16>(~r.right);
            debugLog.Line("-M: castling right without king or rook at home dropped");
        }
    }
    // An en-passant square is kept only behind a pawn that has just made its double step.
    int ep = pos.enPassant;
    if (ep != 0) {
        bool possible;
        if (pos.sideToMove == White)
            possible = ep >= A6 && ep <= H6 && pos.board[ep] == Empty &&
                       pos.board[ep - 8] == Empty && pos.board[ep + 8] == BPawn;
        else
            possible = ep >= A3 && ep <= H3 && pos.board[ep] == Empty &&
                       pos.board[ep + 8] == Empty && pos.board[ep - 8] == WPawn;
        if (!possible) {
            pos.enPassant = 0;
            debugLog.Line("-M: impossible en-passant square dropped");
        }
    }
    GamePosition.castleRights = pos.castleRights;
    GamePosition.enPassant = pos.enPassant;
}

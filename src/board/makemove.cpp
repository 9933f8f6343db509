// Making and taking back the rare move kinds (en passant, promotions, castling, and the marker
// words that must never be played), and the validity test for moves from outside the generators.
// Quiet moves and captures are made inline (makemove.h). Every board, key and counter is updated
// incrementally; UnmakeMove restores the occupancy, rotated boards and keys from the caller's
// snapshot instead of recomputing them.
#include <cstdio>
#include <cstdlib>

#include "base/log.h"
#include "board/board.h"

MoveErrorContext moveErrorContext;

namespace board_moves {

namespace {

inline void SetRotated(int square) {
    pos.occupiedR90 |= SetMaskR90[square];
    pos.occupiedR45 |= SetMaskR45[square];
    pos.occupiedR315 |= SetMaskR315[square];
}

// Promotion piece codes by (kind - 4) mod 4, for White; Black's is one higher.
constexpr int PromotionBase[4] = {10, 4, 8, 6};
inline int PromotionCode(int kind, int side) { return PromotionBase[(kind - 4) & 3] - side; }

struct CastleSquares {
    int kingFrom, kingTo, rookFrom, rookTo;
};
constexpr CastleSquares Castles[4] = {
    {E8, G8, H8, F8},  // 12 Black O-O
    {E1, G1, H1, F1},  // 13 White O-O
    {E8, C8, A8, D8},  // 14 Black O-O-O
    {E1, C1, A1, D1},  // 15 White O-O-O
};

[[noreturn]] void MarkerMoveStop(Move move, bool making) {
    // Beside the debug log: the working directory, or the state directory when that takes no files.
    char path[sizeof "!error.err" + 4096];
    std::snprintf(path, sizeof path, "%s!error.err", debugLog.Directory());
    std::FILE* f = std::fopen(path, "a");
    if (f) {
        std::fprintf(f, "\n MV_NOT_VALID%s: %u; from=%d; to=%d; type=3\n", making ? "" : " 2",
                     static_cast<unsigned>(move), MoveFrom(move), MoveTo(move));
        std::fflush(f);
        if (making) {
            const u32 depth = moveErrorContext.depth ? *moveErrorContext.depth : 0;
            const Move ponder = moveErrorContext.ponderMove ? *moveErrorContext.ponderMove : 0;
            std::fprintf(f, "current depth:%u\n", depth);
            std::fflush(f);
            std::fprintf(f, "islegal? : %s\n", IsMoveValid(move) ? "legal" : "illegal");
            std::fflush(f);
            std::fprintf(f, "ponder move:%u; from=%d; to=%d; type=%d\n",
                         static_cast<unsigned>(ponder), MoveFrom(ponder), MoveTo(ponder),
                         MoveKindOf(ponder));
            std::fflush(f);
        }
    }
    if (making) PrintBoard(pos.board);
    if (f) std::fclose(f);
    std::exit(1);
}

}  // namespace

template <int S>
void MakeRareMove(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnPawn = 2 - S;
    constexpr int OwnRook = 8 - S;
    constexpr int Behind = S == White ? 8 : -8;
    constexpr u16 ShortRight = S == White ? WhiteShort : BlackShort;
    constexpr u16 LongRight = S == White ? WhiteLong : BlackLong;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);

    historyTop->halfmoveClock = 0;
    if (kind == EnPassant) {
        const int c = to + Behind;
        const int captured = pos.board[c];
        undo.oldPieceBoard = pos.pieces[OwnPawn];
        undo.captured = static_cast<u8>(captured);
        pos.board[to] = pos.board[from];
        pos.board[from] = Empty;
        pos.board[c] = Empty;
        --pos.pawnCount[O];
        --pos.materialTotal;
        const u64 keys =
            ZobristKeys[OwnPawn][from] ^ ZobristKeys[OwnPawn][to] ^ ZobristKeys[captured][c];
        pos.key ^= keys;
        pos.pawnKey ^= LowKey(keys);
        pos.pieces[captured] &= ~SetMask[c];
        pos.occupiedBy[O] &= ~SetMask[c];
        pos.pieces[OwnPawn] ^= SetMask[from] | SetMask[to];
        pos.occupiedBy[S] ^= SetMask[from] | SetMask[to];
        pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
        pos.occupiedR90 ^= SetMaskR90[from] ^ EpMaskR90[to];
        pos.occupiedR45 ^= SetMaskR45[from] ^ EpMaskR45[to];
        pos.occupiedR315 ^= SetMaskR315[from] ^ EpMaskR315[to];
    } else if (kind == MarkerKind) {
        MarkerMoveStop(move, true);
    } else if (kind <= CapPromoBishop) {
        const int promo = PromotionCode(kind, S);
        const int delta = PieceUnits[promo] - 1;
        if (kind <= PromoBishop) {
            undo.materialDelta = static_cast<i8>(delta);
            SetRotated(to);
        } else {
            const int captured = pos.board[to];
            undo.captured = static_cast<u8>(captured);
            if (pos.castleRights) DropCornerRight(to);
            pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] - PieceUnits[captured]);
            undo.materialDelta = static_cast<i8>(delta - PieceUnits[captured]);
            pos.pieces[captured] &= ~SetMask[to];
            pos.occupiedBy[O] &= ~SetMask[to];
            pos.key ^= ZobristKeys[captured][to];
        }
        pos.materialTotal = static_cast<u8>(pos.materialTotal + undo.materialDelta);
        pos.pieceMaterial[S] = static_cast<u8>(pos.pieceMaterial[S] + delta + 1);
        // The promotion itself.
        ToggleRotated(from);
        undo.oldPieceBoard = pos.pieces[OwnPawn];
        pos.board[from] = Empty;
        pos.board[to] = static_cast<u8>(promo);
        pos.pawnKey ^= LowKey(ZobristKeys[OwnPawn][from]);
        pos.key ^= ZobristKeys[promo][to] ^ ZobristKeys[OwnPawn][from];
        pos.pieces[promo] |= SetMask[to];
        --pos.pawnCount[S];
        pos.pieces[OwnPawn] &= ~SetMask[from];
        pos.occupiedBy[S] ^= SetMask[from] | SetMask[to];
        pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
    } else {  // castling, kinds 12-15
        const CastleSquares& c = Castles[kind - BlackCastleShort];
        // The right of the castling direction goes unconditionally; the other one if held.
        const u16 thisWay = (kind >= BlackCastleLong) ? LongRight : ShortRight;
        const u16 otherWay = thisWay == ShortRight ? LongRight : ShortRight;
        pos.castleRights = static_cast<u16>(pos.castleRights & ~thisWay);
        pos.key ^= CastleRightKey(thisWay);
        DropRight(otherWay);
        pos.kingSquare[S] = static_cast<u8>(c.kingTo);
        pos.pieces[OwnRook] ^= SetMask[c.rookFrom] | SetMask[c.rookTo];
        const u64 four =
            SetMask[c.kingFrom] | SetMask[c.kingTo] | SetMask[c.rookFrom] | SetMask[c.rookTo];
        pos.occupiedBy[S] ^= four;
        pos.occupied ^= four;
        ToggleRotated(c.kingFrom);
        ToggleRotated(c.kingTo);
        ToggleRotated(c.rookFrom);
        ToggleRotated(c.rookTo);
        pos.key ^= CastleMoveKeys[kind - BlackCastleShort];
        pos.board[c.kingTo] = pos.board[c.kingFrom];
        pos.board[c.kingFrom] = Empty;
        pos.board[c.rookTo] = static_cast<u8>(OwnRook);
        pos.board[c.rookFrom] = Empty;
    }
}

template <int S>
void UnmakeRareMove(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnPawn = 2 - S;
    constexpr int OwnRook = 8 - S;
    constexpr int Behind = S == White ? 8 : -8;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);

    if (kind == EnPassant) {
        const int c = to + Behind;
        ++pos.materialTotal;
        pos.board[from] = pos.board[to];
        pos.board[to] = Empty;
        ++pos.pawnCount[O];
        pos.board[c] = undo.captured;
        pos.occupiedBy[O] |= SetMask[c];
        pos.pieces[undo.captured] |= SetMask[c];
        pos.pieces[OwnPawn] = undo.oldPieceBoard;
    } else if (kind == MarkerKind) {
        MarkerMoveStop(move, false);
    } else if (kind <= PromoBishop) {
        const int promo = PromotionCode(kind, S);
        pos.pieceMaterial[S] = static_cast<u8>(pos.pieceMaterial[S] - PieceUnits[promo]);
        pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
        pos.board[from] = static_cast<u8>(OwnPawn);
        pos.pieces[OwnPawn] = undo.oldPieceBoard;
        pos.pieces[promo] &= ~SetMask[to];
        ++pos.pawnCount[S];
        pos.board[to] = Empty;
    } else if (kind <= CapPromoBishop) {
        const int promo = PromotionCode(kind, S);
        const int captured = undo.captured;
        pos.castleRights = undo.savedCastleRights;
        pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
        ++pos.pawnCount[S];
        pos.board[from] = static_cast<u8>(OwnPawn);
        pos.pieces[OwnPawn] = undo.oldPieceBoard;
        pos.pieces[captured] |= SetMask[to];
        pos.occupiedBy[O] |= SetMask[to];
        pos.pieces[promo] &= ~SetMask[to];
        pos.pieceMaterial[S] = static_cast<u8>(pos.pieceMaterial[S] - PieceUnits[promo]);
        pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] + PieceUnits[captured]);
        pos.board[to] = static_cast<u8>(captured);
    } else {  // castling
        const CastleSquares& c = Castles[kind - BlackCastleShort];
        pos.castleRights = undo.savedCastleRights;
        pos.kingSquare[S] = static_cast<u8>(c.kingFrom);
        pos.pieces[OwnRook] ^= SetMask[c.rookFrom] | SetMask[c.rookTo];
        pos.board[c.kingFrom] = pos.board[c.kingTo];
        pos.board[c.kingTo] = Empty;
        pos.board[c.rookFrom] = static_cast<u8>(OwnRook);
        pos.board[c.rookTo] = Empty;
    }
}

template void MakeRareMove<White>(Move, UndoRecord&);
template void MakeRareMove<Black>(Move, UndoRecord&);
template void UnmakeRareMove<White>(Move, UndoRecord&);
template void UnmakeRareMove<Black>(Move, UndoRecord&);

}  // namespace board_moves

bool IsMoveValid(Move move) {
    const int s = pos.sideToMove, o = s ^ 1;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);
    const int code = pos.board[from];

    // 1. A piece of the side to move stands on from.
    if (code == Empty || (code & 1) != s) return false;
    // 2. Kings are never captured.
    if (to == pos.kingSquare[0] || to == pos.kingSquare[1]) return false;
    const u64 toBit = SetMask[to];
    const bool toEmpty = (pos.occupied & toBit) == 0;
    const bool toEnemy = (pos.occupiedBy[o] & toBit) != 0;

    // 3. By piece and kind.
    if (code == WPawn || code == BPawn) {
        const int forward = s == White ? -8 : 8;
        const int lastRow = s == White ? 0 : 7;
        const int doubleRow = s == White ? 4 : 3;  // rank 4 for White, rank 5 for Black
        switch (kind) {
            case Quiet:
                if (!toEmpty) return false;
                if (from + forward == to) return true;
                return from + 2 * forward == to && Row(to) == doubleRow &&
                       (pos.occupied & SetMask[to - forward]) == 0;
            case EnPassant: return pos.enPassant != 0 && to == pos.enPassant && toEmpty;
            case PromoQueen:
            case PromoKnight:
            case PromoRook:
            case PromoBishop: return Row(to) == lastRow && from + forward == to && toEmpty;
            case Capture:
            case CapPromoQueen:
            case CapPromoKnight:
            case CapPromoRook:
            case CapPromoBishop:
                if (!(PawnAttacks[s][from] & toBit) || !toEnemy) return false;
                return kind == Capture || Row(to) == lastRow;
            default: return false;
        }
    }
    if (code == WKing || code == BKing) {
        const int enemyKing = pos.kingSquare[o];
        if (enemyKing < 64 && (KingAttacks[enemyKing] & toBit)) return false;
        switch (kind) {
            case Quiet:
            case Capture:
                return from == pos.kingSquare[s] && (KingAttacks[from] & toBit) &&
                       (kind == Quiet ? toEmpty : toEnemy);
            case BlackCastleShort:
                return s == Black && from == E8 && pos.kingSquare[Black] == E8 && to == G8 &&
                       !(pos.occupied & (SetMask[F8] | SetMask[G8]));
            case WhiteCastleShort:
                return s == White && from == E1 && pos.kingSquare[White] == E1 && to == G1 &&
                       !(pos.occupied & (SetMask[F1] | SetMask[G1]));
            case BlackCastleLong:
                return s == Black && from == E8 && pos.kingSquare[Black] == E8 && to == C8 &&
                       !(pos.occupied & (SetMask[B8] | SetMask[C8] | SetMask[D8]));
            case WhiteCastleLong:
                return s == White && from == E1 && pos.kingSquare[White] == E1 && to == C1 &&
                       !(pos.occupied & (SetMask[B1] | SetMask[C1] | SetMask[D1]));
            default: return false;
        }
    }
    if (kind != Quiet && kind != Capture) return false;
    u64 attacks;
    switch (code) {
        case WKnight:
        case BKnight: attacks = KnightAttacks[from]; break;
        case WBishop:
        case BBishop: attacks = BishopAttacksFrom(from); break;
        case WRook:
        case BRook: attacks = RookAttacksFrom(from); break;
        default: attacks = QueenAttacksFrom(from); break;
    }
    if (!(attacks & toBit)) return false;
    return kind == Quiet ? toEmpty : toEnemy;
}

// Making and taking back moves on the live position. Every board, key and counter is updated
// incrementally; UnmakeMove restores the occupancy, rotated boards and keys from the caller's
// snapshot instead of recomputing them.
#include <cstdio>
#include <cstdlib>

#include "board/board.h"
#include "engine/engine.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

inline u32 Low(u64 key) { return static_cast<u32>(key); }

inline void DropRight(u16 right) {
    if (pos.castleRights & right) {
        pos.castleRights = static_cast<u16>(pos.castleRights & ~right);
        pos.key ^= CastleRightKey(right);
    }
}

// A rook corner that is left or captured on takes its wing's right with it.
inline void DropCornerRight(int square) {
    switch (square) {
        case A8: DropRight(BlackLong); break;
        case H8: DropRight(BlackShort); break;
        case A1: DropRight(WhiteLong); break;
        case H1: DropRight(WhiteShort); break;
        default: break;
    }
}

inline void ToggleRotated(int square) {
    pos.occupiedR90 ^= SetMaskR90[square];
    pos.occupiedR45 ^= SetMaskR45[square];
    pos.occupiedR315 ^= SetMaskR315[square];
}

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
    std::FILE* f = std::fopen("!error.err", "a");
    if (f) {
        std::fprintf(f, "\n MV_NOT_VALID%s: %u; from=%d; to=%d; type=3\n", making ? "" : " 2",
                     static_cast<unsigned>(move), MoveFrom(move), MoveTo(move));
        std::fflush(f);
        if (making) {
            std::fprintf(f, "current depth:%u\n", iterationDepth);
            std::fflush(f);
            std::fprintf(f, "islegal? : %s\n", IsMoveValid(move) ? "legal" : "illegal");
            std::fflush(f);
            std::fprintf(f, "ponder move:%u; from=%d; to=%d; type=%d\n",
                         static_cast<unsigned>(ponderMove), MoveFrom(ponderMove),
                         MoveTo(ponderMove), MoveKindOf(ponderMove));
            std::fflush(f);
        }
    }
    if (making) PrintBoard(pos.board);
    if (f) std::fclose(f);
    std::exit(1);
}

// Written once per side: the side's pawn, rook and king codes and the direction of its pawns
// are constants inside each instance.
template <int S>
inline void MakeMoveSide(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnPawn = 2 - S;
    constexpr int OwnRook = 8 - S;
    constexpr int OwnKing = 12 - S;
    constexpr int Behind = S == White ? 8 : -8;  // from a target square back toward the mover
    constexpr u16 ShortRight = S == White ? WhiteShort : BlackShort;
    constexpr u16 LongRight = S == White ? WhiteLong : BlackLong;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);

    // 1. The move leaves this history entry; the new position gets a fresh one.
    historyTop->move = move;
    const u16 clock = historyTop->halfmoveClock;
    ++historyTop;

    // 2. Any en-passant chance ends with this move.
    if (pos.enPassant) {
        pos.key ^= ZobristKeys[0][pos.enPassant];
        pos.pawnKey ^= Low(ZobristKeys[0][pos.enPassant]);
        pos.enPassant = 0;
    }

    // 3. By kind. Quiet moves and captures, by far the most common, share the mover's steps.
    if (kind <= Capture) {
        const u64 fromTo = SetMask[from] | SetMask[to];
        u16 newClock = static_cast<u16>(clock + 1);
        if (kind == Quiet) {
            pos.occupiedR90 ^= SetMaskR90[from] | SetMaskR90[to];
            pos.occupiedR45 ^= SetMaskR45[from] | SetMaskR45[to];
            pos.occupiedR315 ^= SetMaskR315[from] | SetMaskR315[to];
        } else {
            const int captured = pos.board[to];
            undo.captured = static_cast<u8>(captured);
            undo.materialDelta = static_cast<i8>(-PieceUnits[captured]);
            pos.materialTotal = static_cast<u8>(pos.materialTotal + undo.materialDelta);
            pos.pieces[captured] &= ~SetMask[to];
            pos.occupiedBy[O] &= ~SetMask[to];
            if (captured == WPawn || captured == BPawn) {
                --pos.pawnCount[O];
                pos.pawnKey ^= Low(ZobristKeys[captured][to]);
            } else {
                pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] + undo.materialDelta);
            }
            pos.key ^= ZobristKeys[captured][to];
            if (pos.castleRights) DropCornerRight(to);
            newClock = 0;
            ToggleRotated(from);  // the captured piece's square stays occupied
        }

        // 4. The moving piece.
        const int code = pos.board[from];
        const u64 keys = ZobristKeys[code][from] ^ ZobristKeys[code][to];
        pos.key ^= keys;
        if (code == OwnPawn) {
            newClock = 0;
            undo.oldPieceBoard = pos.pieces[OwnPawn];
            pos.pieces[OwnPawn] ^= fromTo;
            pos.pawnKey ^= Low(keys);
            if (from - to == 2 * Behind) {
                pos.enPassant = static_cast<u8>(to + Behind);
                pos.key ^= ZobristKeys[0][to + Behind];
                pos.pawnKey ^= Low(ZobristKeys[0][to + Behind]);
            }
        } else if (code == OwnKing) {
            pos.kingSquare[S] = static_cast<u8>(to);
            if (pos.castleRights & (ShortRight | LongRight)) {
                DropRight(ShortRight);
                DropRight(LongRight);
            }
        } else {
            // Also reached by a piece of the wrong side or an empty square, which only a
            // corrupted move word can name; the updates stay within the tables.
            undo.oldPieceBoard = pos.pieces[code];
            pos.pieces[code] ^= fromTo;
            if (code == OwnRook && pos.castleRights) DropCornerRight(from);
        }

        // 5. Mailbox and occupancy.
        pos.board[to] = static_cast<u8>(code);
        pos.board[from] = Empty;
        pos.occupiedBy[S] ^= fromTo;
        pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
        historyTop->halfmoveClock = newClock;
    } else {
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
            pos.pawnKey ^= Low(keys);
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
            pos.pawnKey ^= Low(ZobristKeys[OwnPawn][from]);
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

    // 6. The new position's key and side.
    historyTop->keyLow = Low(pos.key);
    historyTop->keyHigh = static_cast<u32>(pos.key >> 32);
    pos.sideToMove = O;
}

template <int S>
inline void UnmakeMoveSide(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnPawn = 2 - S;
    constexpr int OwnRook = 8 - S;
    constexpr int Behind = S == White ? 8 : -8;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);

    // 1. Snapshot fields.
    pos.occupied = undo.savedOccupied;
    pos.occupiedR90 = undo.savedR90;
    pos.occupiedR45 = undo.savedR45;
    pos.occupiedR315 = undo.savedR315;
    pos.occupiedBy[S] = undo.savedOccupiedByMover;
    pos.key = undo.savedKey;
    pos.pawnKey = undo.savedPawnKey;
    pos.enPassant = undo.savedEnPassant;
    pos.sideToMove = S;

    // 2. By kind.
    if (kind <= Capture) {
        pos.castleRights = undo.savedCastleRights;
        const int code = pos.board[to];
        if (to == pos.kingSquare[S])
            pos.kingSquare[S] = static_cast<u8>(from);
        else
            pos.pieces[code] = undo.oldPieceBoard;
        pos.board[from] = static_cast<u8>(code);
        pos.board[to] = Empty;
        if (kind == Capture) {
            const int captured = undo.captured;
            pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
            if (captured == WPawn || captured == BPawn)
                ++pos.pawnCount[O];
            else
                pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] - undo.materialDelta);
            pos.pieces[captured] |= SetMask[to];
            pos.occupiedBy[O] |= SetMask[to];
            pos.board[to] = static_cast<u8>(captured);
        }
    } else if (kind == EnPassant) {
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

    // 3. Back to the previous history entry.
    --historyTop;
}

}  // namespace

void MakeMove(Move move, UndoRecord& undo) {
    if (pos.sideToMove == White)
        MakeMoveSide<White>(move, undo);
    else
        MakeMoveSide<Black>(move, undo);
}

void UnmakeMove(Move move, UndoRecord& undo) {
    if (pos.sideToMove == White)  // White to move again means Black made the move
        UnmakeMoveSide<Black>(move, undo);
    else
        UnmakeMoveSide<White>(move, undo);
}

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
            case EnPassant:
                return pos.enPassant != 0 && to == pos.enPassant && toEmpty;
            case PromoQueen:
            case PromoKnight:
            case PromoRook:
            case PromoBishop:
                return Row(to) == lastRow && from + forward == to && toEmpty;
            case Capture:
            case CapPromoQueen:
            case CapPromoKnight:
            case CapPromoRook:
            case CapPromoBishop:
                if (!(PawnAttacks[s][from] & toBit) || !toEnemy) return false;
                return kind == Capture || Row(to) == lastRow;
            default:
                return false;
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
            default:
                return false;
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

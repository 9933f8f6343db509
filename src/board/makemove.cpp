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

}  // namespace

void MakeMove(Move move, UndoRecord& undo) {
    const int s = pos.sideToMove, o = s ^ 1;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);
    const int ownPawn = 2 - s;

    // 1. The move leaves this history entry; the new position gets a fresh one.
    historyTop->move = move;
    const u16 clock = historyTop->halfmoveClock;
    ++historyTop;
    historyTop->halfmoveClock = 0;

    // 2. Any en-passant chance ends with this move.
    if (pos.enPassant) {
        pos.key ^= ZobristKeys[0][pos.enPassant];
        pos.pawnKey ^= Low(ZobristKeys[0][pos.enPassant]);
        pos.enPassant = 0;
    }

    // 3. By kind.
    switch (kind) {
        case Quiet:
            SetRotated(to);
            historyTop->halfmoveClock = static_cast<u16>(clock + 1);
            break;
        case Capture: {
            const int captured = pos.board[to];
            undo.captured = static_cast<u8>(captured);
            undo.materialDelta = static_cast<i8>(-PieceUnits[captured]);
            pos.materialTotal = static_cast<u8>(pos.materialTotal + undo.materialDelta);
            pos.pieces[captured] &= ~SetMask[to];
            pos.occupiedBy[o] &= ~SetMask[to];
            if (captured == WPawn || captured == BPawn) {
                --pos.pawnCount[o];
                pos.pawnKey ^= Low(ZobristKeys[captured][to]);
            } else {
                pos.pieceMaterial[o] = static_cast<u8>(pos.pieceMaterial[o] + undo.materialDelta);
            }
            pos.key ^= ZobristKeys[captured][to];
            if (pos.castleRights) DropCornerRight(to);
            break;
        }
        case EnPassant: {
            const int c = s == White ? to + 8 : to - 8;
            const int captured = pos.board[c];
            undo.oldPieceBoard = pos.pieces[ownPawn];
            undo.captured = static_cast<u8>(captured);
            pos.board[to] = pos.board[from];
            pos.board[from] = Empty;
            pos.board[c] = Empty;
            --pos.pawnCount[o];
            --pos.materialTotal;
            const u64 keys =
                ZobristKeys[ownPawn][from] ^ ZobristKeys[ownPawn][to] ^ ZobristKeys[captured][c];
            pos.key ^= keys;
            pos.pawnKey ^= Low(keys);
            pos.pieces[captured] &= ~SetMask[c];
            pos.occupiedBy[o] &= ~SetMask[c];
            pos.pieces[ownPawn] ^= SetMask[from] | SetMask[to];
            pos.occupiedBy[s] ^= SetMask[from] | SetMask[to];
            pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
            pos.occupiedR90 ^= SetMaskR90[from] ^ EpMaskR90[to];
            pos.occupiedR45 ^= SetMaskR45[from] ^ EpMaskR45[to];
            pos.occupiedR315 ^= SetMaskR315[from] ^ EpMaskR315[to];
            goto finish;
        }
        case MarkerKind:
            MarkerMoveStop(move, true);
        case PromoQueen:
        case PromoKnight:
        case PromoRook:
        case PromoBishop:
        case CapPromoQueen:
        case CapPromoKnight:
        case CapPromoRook:
        case CapPromoBishop: {
            const int promo = PromotionCode(kind, s);
            const int delta = PieceUnits[promo] - 1;
            if (kind <= PromoBishop) {
                undo.materialDelta = static_cast<i8>(delta);
                SetRotated(to);
            } else {
                const int captured = pos.board[to];
                undo.captured = static_cast<u8>(captured);
                if (pos.castleRights) DropCornerRight(to);
                pos.pieceMaterial[o] = static_cast<u8>(pos.pieceMaterial[o] - PieceUnits[captured]);
                undo.materialDelta = static_cast<i8>(delta - PieceUnits[captured]);
                pos.pieces[captured] &= ~SetMask[to];
                pos.occupiedBy[o] &= ~SetMask[to];
                pos.key ^= ZobristKeys[captured][to];
            }
            pos.materialTotal = static_cast<u8>(pos.materialTotal + undo.materialDelta);
            pos.pieceMaterial[s] = static_cast<u8>(pos.pieceMaterial[s] + delta + 1);
            // The promotion itself.
            ToggleRotated(from);
            undo.oldPieceBoard = pos.pieces[ownPawn];
            pos.board[from] = Empty;
            pos.board[to] = static_cast<u8>(promo);
            pos.pawnKey ^= Low(ZobristKeys[ownPawn][from]);
            pos.key ^= ZobristKeys[promo][to] ^ ZobristKeys[ownPawn][from];
            pos.pieces[promo] |= SetMask[to];
            --pos.pawnCount[s];
            pos.pieces[ownPawn] &= ~SetMask[from];
            pos.occupiedBy[s] ^= SetMask[from] | SetMask[to];
            pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
            goto finish;
        }
        default: {  // castling, kinds 12-15
            const CastleSquares& c = Castles[kind - BlackCastleShort];
            const u16 own = s == White ? WhiteShort : BlackShort;
            const u16 longRight = s == White ? WhiteLong : BlackLong;
            const u16 thisWay = (kind >= BlackCastleLong) ? longRight : own;
            const u16 otherWay = thisWay == own ? longRight : own;
            pos.castleRights = static_cast<u16>(pos.castleRights & ~thisWay);
            pos.key ^= CastleRightKey(thisWay);
            DropRight(otherWay);
            pos.kingSquare[s] = static_cast<u8>(c.kingTo);
            const int rook = 8 - s;
            pos.pieces[rook] ^= SetMask[c.rookFrom] | SetMask[c.rookTo];
            const u64 four =
                SetMask[c.kingFrom] | SetMask[c.kingTo] | SetMask[c.rookFrom] | SetMask[c.rookTo];
            pos.occupiedBy[s] ^= four;
            pos.occupied ^= four;
            ToggleRotated(c.kingFrom);
            ToggleRotated(c.kingTo);
            ToggleRotated(c.rookFrom);
            ToggleRotated(c.rookTo);
            pos.key ^= CastleMoveKeys[kind - BlackCastleShort];
            pos.board[c.kingTo] = pos.board[c.kingFrom];
            pos.board[c.kingFrom] = Empty;
            pos.board[c.rookTo] = static_cast<u8>(rook);
            pos.board[c.rookFrom] = Empty;
            goto finish;
        }
    }

    // 4. The moving piece of a quiet move or capture.
    {
        ToggleRotated(from);
        const int code = pos.board[from];
        switch (code) {
            case WPawn:
            case BPawn: {
                historyTop->halfmoveClock = 0;
                undo.oldPieceBoard = pos.pieces[code];
                pos.pieces[code] ^= SetMask[from] | SetMask[to];
                const int skipped = code == WPawn ? to + 8 : to - 8;
                if (from - to == 16 || to - from == 16) {
                    pos.enPassant = static_cast<u8>(skipped);
                    pos.key ^= ZobristKeys[0][skipped];
                    pos.pawnKey ^= Low(ZobristKeys[0][skipped]);
                }
                const u64 keys = ZobristKeys[code][from] ^ ZobristKeys[code][to];
                pos.key ^= keys;
                pos.pawnKey ^= Low(keys);
                break;
            }
            case WKing:
            case BKing:
                pos.kingSquare[s] = static_cast<u8>(to);
                pos.key ^= ZobristKeys[code][from] ^ ZobristKeys[code][to];
                if (s == White) {
                    DropRight(WhiteShort);
                    DropRight(WhiteLong);
                } else {
                    DropRight(BlackShort);
                    DropRight(BlackLong);
                }
                break;
            case Empty:
                break;
            default:
                undo.oldPieceBoard = pos.pieces[code];
                pos.pieces[code] ^= SetMask[from] | SetMask[to];
                pos.key ^= ZobristKeys[code][from] ^ ZobristKeys[code][to];
                if ((code == WRook || code == BRook) && pos.castleRights) DropCornerRight(from);
                break;
        }
        // 5. Mailbox and occupancy.
        pos.board[to] = static_cast<u8>(code);
        pos.board[from] = Empty;
        pos.occupiedBy[s] ^= SetMask[from] | SetMask[to];
        pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
    }

finish:
    // 6. The new position's key and side.
    historyTop->keyLow = Low(pos.key);
    historyTop->keyHigh = static_cast<u32>(pos.key >> 32);
    pos.sideToMove = o;
}

void UnmakeMove(Move move, UndoRecord& undo) {
    const int s = pos.sideToMove ^ 1, o = s ^ 1;
    const int from = MoveFrom(move), to = MoveTo(move), kind = MoveKindOf(move);
    const int ownPawn = 2 - s;

    // 1. Snapshot fields.
    pos.occupied = undo.savedOccupied;
    pos.occupiedR90 = undo.savedR90;
    pos.occupiedR45 = undo.savedR45;
    pos.occupiedR315 = undo.savedR315;
    pos.occupiedBy[s] = undo.savedOccupiedByMover;
    pos.key = undo.savedKey;
    pos.pawnKey = undo.savedPawnKey;
    pos.enPassant = undo.savedEnPassant;
    pos.sideToMove = s;

    // 2. By kind.
    auto unmoveMover = [&] {
        if (to == pos.kingSquare[s])
            pos.kingSquare[s] = static_cast<u8>(from);
        else
            pos.pieces[pos.board[to]] = undo.oldPieceBoard;
        pos.board[from] = pos.board[to];
        pos.board[to] = Empty;
    };
    switch (kind) {
        case Quiet:
            pos.castleRights = undo.savedCastleRights;
            unmoveMover();
            break;
        case Capture: {
            const int captured = undo.captured;
            pos.castleRights = undo.savedCastleRights;
            pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
            if (captured == WPawn || captured == BPawn)
                ++pos.pawnCount[o];
            else
                pos.pieceMaterial[o] = static_cast<u8>(pos.pieceMaterial[o] - undo.materialDelta);
            pos.pieces[captured] |= SetMask[to];
            pos.occupiedBy[o] |= SetMask[to];
            unmoveMover();
            pos.board[to] = static_cast<u8>(captured);
            break;
        }
        case EnPassant: {
            const int c = s == White ? to + 8 : to - 8;
            ++pos.materialTotal;
            pos.board[from] = pos.board[to];
            pos.board[to] = Empty;
            ++pos.pawnCount[o];
            pos.board[c] = undo.captured;
            pos.occupiedBy[o] |= SetMask[c];
            pos.pieces[undo.captured] |= SetMask[c];
            pos.pieces[ownPawn] = undo.oldPieceBoard;
            break;
        }
        case MarkerKind:
            MarkerMoveStop(move, false);
        case PromoQueen:
        case PromoKnight:
        case PromoRook:
        case PromoBishop: {
            const int promo = PromotionCode(kind, s);
            pos.pieceMaterial[s] = static_cast<u8>(pos.pieceMaterial[s] - PieceUnits[promo]);
            pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
            pos.board[from] = static_cast<u8>(ownPawn);
            pos.pieces[ownPawn] = undo.oldPieceBoard;
            pos.pieces[promo] &= ~SetMask[to];
            ++pos.pawnCount[s];
            pos.board[to] = Empty;
            break;
        }
        case CapPromoQueen:
        case CapPromoKnight:
        case CapPromoRook:
        case CapPromoBishop: {
            const int promo = PromotionCode(kind, s);
            const int captured = undo.captured;
            pos.castleRights = undo.savedCastleRights;
            pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
            ++pos.pawnCount[s];
            pos.board[from] = static_cast<u8>(ownPawn);
            pos.pieces[ownPawn] = undo.oldPieceBoard;
            pos.pieces[captured] |= SetMask[to];
            pos.occupiedBy[o] |= SetMask[to];
            pos.pieces[promo] &= ~SetMask[to];
            pos.pieceMaterial[s] = static_cast<u8>(pos.pieceMaterial[s] - PieceUnits[promo]);
            pos.pieceMaterial[o] = static_cast<u8>(pos.pieceMaterial[o] + PieceUnits[captured]);
            pos.board[to] = static_cast<u8>(captured);
            break;
        }
        default: {  // castling
            const CastleSquares& c = Castles[kind - BlackCastleShort];
            const int rook = 8 - s;
            pos.castleRights = undo.savedCastleRights;
            pos.kingSquare[s] = static_cast<u8>(c.kingFrom);
            pos.pieces[rook] ^= SetMask[c.rookFrom] | SetMask[c.rookTo];
            pos.board[c.kingFrom] = pos.board[c.kingTo];
            pos.board[c.kingTo] = Empty;
            pos.board[c.rookFrom] = static_cast<u8>(rook);
            pos.board[c.rookTo] = Empty;
            break;
        }
    }

    // 3. Back to the previous history entry.
    --historyTop;
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

// Check and attack detection on the live position. Legality is decided after MakeMove: the
// generators are pseudo-legal, and a made move that leaves the mover's king attacked (or that
// castled out of or through an attacked square) is taken back by the caller.
#include "movegen/movegen.h"
#include "movegen/sides.h"

namespace {

using namespace movegen;

constexpr u64 Bit(int s) { return 1ull << (63 - s); }

// Is square sq attacked by the opponents of side S? Knights and pawns first; the slider attack
// sets are only computed when a slider stands on the square's empty-board rays.
template <int S>
inline bool Attacked(int sq) {
    using C = Us<S>;
    if (KnightAttacks[sq] & pos.pieces[C::TheirKnight]) return true;
    if (PawnAttacks[S][sq] & pos.pieces[C::TheirPawn]) return true;
    const u64 queens = pos.pieces[C::TheirQueen];
    const u64 straight = pos.pieces[C::TheirRook] | queens;
    const u64 diagonal = pos.pieces[C::TheirBishop] | queens;
    if ((straight | diagonal) & QueenRays[sq]) {
        if ((straight & RookRays[sq]) && (RookAttacksFrom(sq) & straight)) return true;
        if ((diagonal & BishopRays[sq]) && (BishopAttacksFrom(sq) & diagonal)) return true;
    }
    return false;
}

template <int S>
void FindCheckersFor(CheckInfo& checkInfo) {
    using C = Us<S>;
    checkInfo.checkers = 0;
    checkInfo.rookLines = 0;
    checkInfo.bishopLines = 0;
    const int k = pos.kingSquare[S];
    if (k >= 64) return;  // no king on the board: nothing can give it check
    const u64 queens = pos.pieces[C::TheirQueen];
    const u64 straight = pos.pieces[C::TheirRook] | queens;
    const u64 diagonal = pos.pieces[C::TheirBishop] | queens;
    // 2. Sliders, only when one is aligned with the king on an empty board.
    if ((straight | diagonal) & QueenRays[k]) {
        if (straight & RookRays[k]) {
            checkInfo.rookLines = RookAttacksFrom(k);
            checkInfo.checkers = straight & checkInfo.rookLines;
        }
        if (diagonal & BishopRays[k]) {
            // The evasion generator takes a non-empty rookLines to mean a straight checker.
            if (checkInfo.checkers == 0) checkInfo.rookLines = 0;
            checkInfo.bishopLines = BishopAttacksFrom(k);
            checkInfo.checkers |= diagonal & checkInfo.bishopLines;
        }
    }
    // 3. and 4. Knights and pawns: a pawn of ours on k attacks exactly the squares from which
    // an enemy pawn attacks k.
    checkInfo.checkers |= KnightAttacks[k] & pos.pieces[C::TheirKnight];
    checkInfo.checkers |= PawnAttacks[S][k] & pos.pieces[C::TheirPawn];
}

// The king's home square and the square it crosses must not be attacked, and the enemy king must
// not stand next to the crossed or the target square (the king-adjacency test is otherwise left
// to the generators, which never castle into it knowingly).
template <int S>
bool CastlePathAttackedFor(Move move) {
    constexpr int Home = S == White ? E1 : E8;
    constexpr int ShortCross = S == White ? F1 : F8;
    constexpr int LongCross = S == White ? D1 : D8;
    constexpr int ShortKind = S == White ? WhiteCastleShort : BlackCastleShort;
    constexpr int LongKind = S == White ? WhiteCastleLong : BlackCastleLong;
    constexpr u64 ShortKingZone =
        S == White ? Bit(E1) | Bit(F1) | Bit(G1) | Bit(H1) | Bit(E2) | Bit(F2) | Bit(G2) | Bit(H2)
                   : Bit(E8) | Bit(F8) | Bit(G8) | Bit(H8) | Bit(E7) | Bit(F7) | Bit(G7) | Bit(H7);
    constexpr u64 LongKingZone = S == White
                                     ? Bit(B1) | Bit(C1) | Bit(D1) | Bit(B2) | Bit(C2) | Bit(D2)
                                     : Bit(B8) | Bit(C8) | Bit(D8) | Bit(B7) | Bit(C7) | Bit(D7);

    if (Attacked<S>(Home)) return true;
    const int kind = MoveKindOf(move);
    if (kind == ShortKind) {
        if (Attacked<S>(ShortCross)) return true;
        return (KingBit(S ^ 1) & ShortKingZone) != 0;
    }
    if (kind == LongKind) {
        if (Attacked<S>(LongCross)) return true;
        return (KingBit(S ^ 1) & LongKingZone) != 0;
    }
    return false;
}

template <int S>
inline bool LeavesKingAttackedFor(Move move) {
    const int k = pos.kingSquare[S];
    if (k >= 64) return false;  // a side without a king is never in check
    if (Attacked<S>(k)) return true;
    if (IsCastling(move)) return CastlePathAttackedFor<S>(move);
    return false;
}

}  // namespace

const CastlePathTest CastlePathAttacked[2] = {CastlePathAttackedFor<Black>,
                                              CastlePathAttackedFor<White>};

void FindCheckers(CheckInfo& checkInfo) {
    if (pos.sideToMove == White)
        FindCheckersFor<White>(checkInfo);
    else
        FindCheckersFor<Black>(checkInfo);
}

bool LeavesKingAttacked(Move move, int side) {
    return side == White ? LeavesKingAttackedFor<White>(move) : LeavesKingAttackedFor<Black>(move);
}

bool KeepsKingSafe(Move move) {
    const int mover = pos.sideToMove;
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(move, undo);
    const bool exposed = LeavesKingAttacked(move, mover);
    UnmakeMove(move, undo);
    return !exposed;
}

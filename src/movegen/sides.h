// Side constants and pawn-shift helpers shared by the generators, the attack tests and the
// exchange evaluation. Internal to movegen: each routine is written once as a template over the
// side, and these keep the White and Black instances free of run-time colour tests.
#pragma once

#include "board/board.h"

namespace movegen {

inline constexpr u64 FileABits = 0x8080808080808080ull;  // a8 is bit 63, so file a is each top bit
inline constexpr u64 FileHBits = 0x0101010101010101ull;
constexpr u64 RowBits(int row) { return 0xFFull << (56 - 8 * row); }

template <int S>
struct Us {
    static constexpr int Them = S ^ 1;
    // Piece code of kind k for side s is 2k - s.
    static constexpr int Pawn = 2 - S, Knight = 4 - S, Bishop = 6 - S, Rook = 8 - S;
    static constexpr int Queen = 10 - S, King = 12 - S;
    static constexpr int TheirPawn = 2 - Them, TheirKnight = 4 - Them, TheirBishop = 6 - Them;
    static constexpr int TheirRook = 8 - Them, TheirQueen = 10 - Them;
    static constexpr int Forward = S == White ? -8 : 8;  // toward the far rank
    static constexpr int TakeA = Forward - 1;            // capture toward the a-file: -9 / +7
    static constexpr int TakeH = Forward + 1;            // capture toward the h-file: -7 / +9
    static constexpr u64 LastRank = RowBits(S == White ? 0 : 7);
    static constexpr u64 SeventhRank = RowBits(S == White ? 1 : 6);
    static constexpr u64 ThirdRank = RowBits(S == White ? 5 : 2);  // after a first single step
    static constexpr int EpRow = S == White ? 2 : 5;  // row of an en-passant square we may take
};

// Pawns stepped one square forward / diagonally, as bitboards of their target squares.
template <int S>
inline u64 PushForward(u64 b) {
    return S == White ? b << 8 : b >> 8;
}
template <int S>
inline u64 ShiftTakeA(u64 b) {
    return S == White ? (b & ~FileABits) << 9 : (b & ~FileABits) >> 7;
}
template <int S>
inline u64 ShiftTakeH(u64 b) {
    return S == White ? (b & ~FileHBits) << 7 : (b & ~FileHBits) >> 9;
}

// A missing king is recorded as square 100: it has no bit and attacks nothing.
inline u64 KingBit(int side) {
    int k = pos.kingSquare[side];
    return k < 64 ? SetMask[k] : 0;
}
inline u64 KingZone(int side) {
    int k = pos.kingSquare[side];
    return k < 64 ? KingAttacks[k] : 0;
}

inline u64 StraightSliders() {
    return pos.pieces[WRook] | pos.pieces[BRook] | pos.pieces[WQueen] | pos.pieces[BQueen];
}
inline u64 DiagonalSliders() {
    return pos.pieces[WBishop] | pos.pieces[BBishop] | pos.pieces[WQueen] | pos.pieces[BQueen];
}

}  // namespace movegen

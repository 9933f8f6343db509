// Static evaluation of the live position from the side to move's point of view, its pawn-structure
// cache, and the phase-indexed piece-square tables (built once at start-up by InitPhaseTables).
#pragma once

#include "board/board.h"

i16 Evaluate();

// Piece-square tables by material phase: [kind 0 king ... 5 queen][materialTotal 0..191].
extern const i16* PhaseTables[6][192];
void InitPhaseTables();

// The phase row for the live position. materialTotal only passes 191 after many promotions;
// such positions read the richest (opening) row rather than beyond the end of the tables.
inline int PhaseIndex() { return pos.materialTotal < 192 ? pos.materialTotal : 191; }

// Piece-square value of a piece code on a square for the current materialTotal, the way the
// evaluation reads it (Black mirrored; kings on their actual square).
i16 PieceSquareValue(int code, int square);

inline constexpr int PawnHashSize = 1 << 20;
extern u32 PawnHash[PawnHashSize];
void ClearPawnHash();

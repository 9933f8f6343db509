// Move generation: the three pseudo-legal generators with ordering scores (one template per
// side, reached through the side-indexed tables), check and attack detection, coordinate move
// text and the static exchange evaluation. Stateless; needs the board tables.
#pragma once

#include "board/board.h"

// Generators write at `list` and return the end; no capacity check (callers size the stack).
using Generator = ScoredMove* (*)(ScoredMove* list);
using EvasionGenerator = ScoredMove* (*)(ScoredMove* list, const CheckInfo& checkInfo);

extern const Generator MoveGenerators[2];            // [Black], [White]
extern const Generator CaptureGenerators[2];         // [Black], [White]
extern const EvasionGenerator EvasionGenerators[2];  // [Black], [White]

// Most moves any position can generate, promotions counting four.
inline constexpr int MaxGeneratedMoves = 256;

void FindCheckers(CheckInfo& checkInfo);
bool LeavesKingAttacked(Move move, int side);
// Whether a pseudo-legal move of the side to move keeps its own king safe: made, tested, taken back.
bool KeepsKingSafe(Move move);
using CastlePathTest = bool (*)(Move move);
extern const CastlePathTest CastlePathAttacked[2];

// Coordinate text: 4 or 5 characters plus NUL; returns a pointer to the NUL.
char* MoveToText(Move move, char* buffer);
// Reads the opponent's move text against GamePosition; 0 when it is not a coordinate move.
Move ParseMove(const char* text);

i16 StaticExchange(int from, int moverCode, int to, u64 straightSliders, u64 diagonalSliders);

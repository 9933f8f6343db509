// Move generation: the three pseudo-legal generators with ordering scores (one template per
// side, reached through the side-indexed tables), check and attack detection, coordinate and
// SAN move text and the static exchange evaluation. Stateless; needs the board tables.
#pragma once

#include "board/board.h"

// Generators write at `list` and return the end; no capacity check (callers size the stack).
using Generator = ScoredMove* (*)(ScoredMove* list);
using EvasionGenerator = ScoredMove* (*)(ScoredMove* list, const CheckInfo& checkInfo);

extern const Generator MoveGenerators[2];  // [Black], [White]
// The moves of MoveGenerators in the same order, every score 0: for perft, which tries every move
// in list order and needs no exchange evaluation of captures.
extern const Generator PerftMoveGenerators[2];       // [Black], [White]
extern const Generator CaptureGenerators[2];         // [Black], [White]
extern const EvasionGenerator EvasionGenerators[2];  // [Black], [White]

// Most moves any position can generate, promotions counting four.
inline constexpr int MaxGeneratedMoves = 256;

void FindCheckers(CheckInfo& checkInfo);
// The pseudo-legal moves of the live position: the evasion generator when checkInfo (filled by
// FindCheckers) shows a check, else the normal one. The book and the search work on these.
inline ScoredMove* GenerateMoves(ScoredMove* list, const CheckInfo& checkInfo) {
    const int side = pos.sideToMove;
    return checkInfo.checkers ? EvasionGenerators[side](list, checkInfo)
                              : MoveGenerators[side](list);
}
// The legal moves of the live position, in generation order; returns their end (legal.cpp).
ScoredMove* GenerateLegalMoves(ScoredMove* list);
bool LeavesKingAttacked(Move move, int side);
// Squares from which a man of `side` may open a line to its king: those on the king's rays along
// which an enemy slider stands, and the king's own square. 0 for a side without a king.
inline u64 KingLines(int side) {
    const int k = pos.kingSquare[side];
    if (k >= 64) return 0;
    const int them = side ^ 1;
    const u64 queens = pos.pieces[10 - them];
    u64 lines = SetMask[k];
    if ((pos.pieces[8 - them] | queens) & RookRays[k]) lines |= RookRays[k];
    if ((pos.pieces[6 - them] | queens) & BishopRays[k]) lines |= BishopRays[k];
    return lines;
}
// Whether a pseudo-legal move of a side that is not in check can leave its king attacked: one
// that starts on the side's KingLines, castling, en passant or a promotion. Any other move keeps
// the king as safe as it was, so the search and perft skip the after-the-move test for it.
inline bool MayExposeKing(Move move, u64 kingLines) {
    const u64 from = (static_cast<u64>(move) >> 6) & 63;  // MoveFrom, as a 64-bit index
    return MoveKindOf(move) > Capture || (kingLines & SetMask[from]) != 0;
}
// Whether a pseudo-legal move of the side to move keeps its own king safe: made, tested, taken
// back.
bool KeepsKingSafe(Move move);
using CastlePathTest = bool (*)(Move move);
extern const CastlePathTest CastlePathAttacked[2];

// Coordinate text: 4 or 5 characters plus NUL; returns a pointer to the NUL.
char* MoveToText(Move move, char* buffer);
// Reads the opponent's move text against GamePosition; 0 when it is not a coordinate move.
Move ParseMove(const char* text);
// SAN (or coordinate) text to a move of the live position; 0 when not recognised (san.cpp).
Move parseSanMove(const char* text);

i16 StaticExchange(int from, int moverCode, int to, u64 straightSliders, u64 diagonalSliders);

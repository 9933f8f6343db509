// Pawn-structure cache: one 32-bit slot per index, tag in the high bits, score + 8190 below.
#include <cstring>

#include "eval/eval.h"

u32 PawnHash[PawnHashSize];

void ClearPawnHash() { std::memset(PawnHash, 0, sizeof PawnHash); }

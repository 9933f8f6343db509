// Transposition table: one static block, two halves by side to move, buckets of three slots.
#include <cstring>

#include "search/search.h"

u32 TranspositionTable[2 * HashBuckets * HashSlots * 3];

void ClearHash() { std::memset(TranspositionTable, 0, sizeof TranspositionTable); }

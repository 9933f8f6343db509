// Transposition table: one static block, two halves by side to move, buckets of three slots of
// three u32 words. Word 0 holds the move and key bits 16-31 (20-31 take part in the match, bits
// 0-19 are the bucket number), word 1 the key's high half, word 2 depth | bound << 7 |
// age << 9 | (score + 8190) << 18. Entries are aged by the game counter hashAge, not by search.
#include <cstring>

#include "search/search.h"
#include "search/tt.h"

// Aligned to the large-page size so that the whole table can be mapped with large pages.
alignas(1 << 21) u32 TranspositionTable[2 * HashBuckets * HashSlots * 3];

static_assert(sizeof TranspositionTable == 75'497'472, "72 MiB: two halves of 2^20 buckets");

void ClearHash() {
    // Advised before the first write touches the pages.
    static const bool advised =
        (AdviseLargePages(TranspositionTable, sizeof TranspositionTable), true);
    (void)advised;
    std::memset(TranspositionTable, 0, sizeof TranspositionTable);
}

bool ProbeHash(HashEntry& entry) { return ProbeBucket(entry); }

void StoreHash(Move move, int score, int depth, int bound) {
    StoreBucket<false>(move, score, depth, bound);
}

void StoreRootHash(Move move, int score, int depth, int bound) {
    StoreBucket<true>(move, score, depth, bound);
}

void RenormalizeHashAge() {
    if (hashAge <= 384) return;
    const u32 shift = hashAge - 64u;
    for (u32* word = TranspositionTable + 2; word < std::end(TranspositionTable); word += 3) {
        u32 age = (*word >> 9) & 511u;
        age = age > shift ? age - shift : 0;
        *word = (*word & ~(511u << 9)) | (age << 9);
    }
    hashAge = 64;
}

void AgeHashEntries(int depth) {
    if (depth < 5) return;
    const u32 ageShift = hashAge < 16 ? hashAge / 2u : (3u * hashAge) / 4u;
    const u32 depthShift = static_cast<u32>(depth - 4);
    for (u32* word = TranspositionTable + 2; word < std::end(TranspositionTable); word += 3) {
        u32 age = (*word >> 9) & 511u;
        u32 slotDepth = *word & 127u;
        age = age > ageShift ? age - ageShift : 0;
        slotDepth = slotDepth > depthShift ? slotDepth - depthShift : 0;
        *word = (*word & ~((511u << 9) | 127u)) | (age << 9) | slotDepth;
    }
}

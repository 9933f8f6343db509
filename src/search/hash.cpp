// Transposition table: two halves by side to move, buckets of three slots of three u32 words.
// Word 0 holds the move and key bits 16-31 (those above the bucket number take part in the
// match), word 1 the key's high half folded with words 0 and 2, word 2 depth | bound << 7 | age <<
// 9 | (score + 8190) << 18. Entries are aged by the game counter hashAge, not by search.
#include <cstdlib>
#include <cstring>

#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr u64 LargePage = u64{1} << 21;

// The default table, aligned to the large-page size so that it can be mapped with large pages.
alignas(LargePage) u32 DefaultTable[(u64{2} << DefaultHashBits) * HashBucketWords];
static_assert(HashBucketWords != 9 || sizeof DefaultTable == 75'497'472,
              "72 MiB: two halves of 2^20 buckets");

constexpr HashTableShape ShapeOf(u32* words, int bits) {
    const u64 buckets = u64{1} << bits;
    return {words, bits, buckets - 1, 0xFFFF0000u & ~static_cast<u32>(buckets - 1), 2 * buckets};
}

u32* allocatedTable = nullptr;  // a table of another size than the default, or nullptr

void AdviseOnce() {
    // Advised before the first write touches the pages.
    static const bool advised = (AdviseLargePages(DefaultTable, sizeof DefaultTable), true);
    (void)advised;
}

// Rewrites word 2 of every slot, bucket by bucket, and word 1 with it so that the key check
// still holds (word 1 is folded with word 2).
template <typename Rewrite>
void ForEachDataWord(Rewrite rewrite) {
    u32* bucket = hashTable.words;
    for (u64 b = 0; b < hashTable.bucketCount; ++b, bucket += HashBucketWords)
        for (u32* slot = bucket; slot < bucket + 3 * HashSlots; slot += 3) {
            const u32 old = LoadWord(slot + 2);
            u32 word = old;
            rewrite(word);
            if (word == old) continue;
            StoreWord(slot + 1, LoadWord(slot + 1) ^ old ^ word);
            StoreWord(slot + 2, word);
        }
}

}  // namespace

HashTableShape hashTable = ShapeOf(DefaultTable, DefaultHashBits);

bool SetHashSize(int bits) {
    if (bits < MinHashBits || bits > MaxHashBits) return false;
    if (bits == DefaultHashBits) {
        std::free(allocatedTable);
        allocatedTable = nullptr;
        hashTable = ShapeOf(DefaultTable, bits);
    } else {
        const HashTableShape shape = ShapeOf(nullptr, bits);
        const u64 bytes = shape.bucketCount * HashBucketWords * sizeof(u32);
        const u64 rounded = (bytes + LargePage - 1) / LargePage * LargePage;
        void* memory = std::aligned_alloc(LargePage, rounded);
        if (memory == nullptr) return false;
        AdviseLargePages(memory, static_cast<unsigned long>(rounded));
        std::free(allocatedTable);
        allocatedTable = static_cast<u32*>(memory);
        hashTable = ShapeOf(allocatedTable, bits);
    }
    ClearHash();
    return true;
}

void ClearHash() {
    if (hashTable.words == DefaultTable) AdviseOnce();
    std::memset(hashTable.words, 0, HashTableBytes());
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
    ForEachDataWord([shift](u32& word) {
        u32 age = (word >> 9) & 511u;
        age = age > shift ? age - shift : 0;
        word = (word & ~(511u << 9)) | (age << 9);
    });
    hashAge = 64;
}

void AgeHashEntries(int depth) {
    if (depth < 5) return;
    const u32 ageShift = hashAge < 16 ? hashAge / 2u : (3u * hashAge) / 4u;
    const u32 depthShift = static_cast<u32>(depth - 4);
    ForEachDataWord([ageShift, depthShift](u32& word) {
        u32 age = (word >> 9) & 511u;
        u32 slotDepth = word & 127u;
        age = age > ageShift ? age - ageShift : 0;
        slotDepth = slotDepth > depthShift ? slotDepth - depthShift : 0;
        word = (word & ~((511u << 9) | 127u)) | (age << 9) | slotDepth;
    });
}

// Inline probe and store of the transposition table, shared by the searches' hot paths and by
// hash.cpp's out-of-line ProbeHash/StoreHash/StoreRootHash. Internal to the search.
#pragma once

#include <algorithm>

#include "search/search.h"

// The bucket of the live position: half by side to move, then the key's low bits.
inline u32* HashBucket() {
    const u64 index =
        (static_cast<u64>(pos.sideToMove) << hashTable.bits) | (pos.key & hashTable.bucketMask);
    return hashTable.words + index * HashBucketWords;
}

// Every search thread reads and writes the table at once, without locks: each word is read
// and written whole (relaxed atomics, plain moves on x86-64), and word 1 holds the key's high
// half folded with words 0 and 2. A slot torn by two writers then fails the key check instead of
// handing one position another's move or score; a whole slot checks exactly as an unfolded one.
inline u32 LoadWord(const u32* word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }
inline void StoreWord(u32* word, u32 value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }

inline void StoreSlot(u32* slot, u32 word0, u32 keyHigh, u32 word2) {
    StoreWord(slot, word0);
    StoreWord(slot + 1, keyHigh ^ word0 ^ word2);
    StoreWord(slot + 2, word2);
}

// The stored low-half bits above the bucket number and the whole high half: with the bucket
// number, all 64 bits when the table has at least 2^16 buckets a side. Words 1 and 2 are read
// only when word 0's bits agree, which most slots of a bucket do not.
inline bool SlotMatches(const u32* slot, u32 keyLow, u32 keyHigh, u32& word0, u32& word2) {
    word0 = LoadWord(slot);
    if (((word0 ^ keyLow) & hashTable.keyCheckMask) != 0) return false;
    word2 = LoadWord(slot + 2);
    return (LoadWord(slot + 1) ^ word0 ^ word2) == keyHigh;
}

inline bool ProbeBucket(HashEntry& entry) {
    const u32 keyLow = static_cast<u32>(pos.key);
    const u32 keyHigh = static_cast<u32>(pos.key >> 32);
    const u32* slot = HashBucket();
    for (int i = 0; i < HashSlots; ++i, slot += 3) {
        u32 word0, word2;
        if (!SlotMatches(slot, keyLow, keyHigh, word0, word2)) continue;
        entry.move = static_cast<Move>(word0);
        entry.depth = static_cast<u8>(word2 & 127u);
        entry.bound = static_cast<u8>((word2 >> 7) & 3u);
        entry.age = static_cast<u16>((word2 >> 9) & 511u);
        entry.score = static_cast<i16>(static_cast<int>(word2 >> 18) - 8190);
        return true;
    }
    return false;
}

// The 9-bit age field: hashAge stays at or below 385 through the game flow's renormalisation,
// but a long game fed in force mode never renormalises, so the field saturates instead of
// spilling into the score bits.
inline u32 StoredAge() {
    const u32 age = hashAge.load(std::memory_order_relaxed);
    return age > 511 ? 511u : age;
}

// Old slot content (its data word) loses to the new entry when it is older or shallower; at
// equal merit the more valuable bound (the smaller code) wins.
inline bool NewEntryWins(u32 slotData, int depth, int bound, u32 age) {
    const int slotDepth = static_cast<int>(slotData & 127u);
    const int slotBound = static_cast<int>((slotData >> 7) & 3u);
    const int slotAge = static_cast<int>((slotData >> 9) & 511u);
    const int merit = (static_cast<int>(age) - slotAge) + (depth - slotDepth);
    return merit > 0 || (merit == 0 && bound < slotBound);
}

template <bool Root>
inline void StoreBucket(Move move, int score, int depth, int bound) {
    const u32 keyLow = static_cast<u32>(pos.key);
    const u32 keyHigh = static_cast<u32>(pos.key >> 32);
    u32* slot = HashBucket();
    // Extended lines can pass depth 127 and a bad score would corrupt its neighbours' bits:
    // both are kept inside their fields.
    depth = std::clamp(depth, 0, 127);
    score = std::clamp(score, -8190, 8190);
    const u32 age = StoredAge();
    const u32 word0 = (keyLow & 0xFFFF0000u) | move;
    const u32 word2 = static_cast<u32>(depth) | (static_cast<u32>(bound) << 7) | (age << 9) |
                      (static_cast<u32>(score + 8190) << 18);

    u32 first0, first2;
    if (SlotMatches(slot, keyLow, keyHigh, first0, first2)) {
        const int slotDepth = static_cast<int>(first2 & 127u);
        const int slotBound = static_cast<int>((first2 >> 7) & 3u);
        if (slotDepth > depth || (slotDepth == depth && slotBound <= bound)) return;
        StoreSlot(slot, word0, keyHigh, word2);
        return;
    }
    first2 = LoadWord(slot + 2);
    if (Root || NewEntryWins(first2, depth, bound, age)) {
        StoreWord(slot + 3, first0);
        StoreWord(slot + 4, LoadWord(slot + 1));
        StoreWord(slot + 5, first2);
        StoreSlot(slot, word0, keyHigh, word2);
        return;
    }
    u32* target = NewEntryWins(LoadWord(slot + 5), depth, bound, age) ? slot + 3 : slot + 6;
    StoreSlot(target, word0, keyHigh, word2);
}

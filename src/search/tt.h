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

// The stored low-half bits above the bucket number and the whole high half: with the bucket
// number, all 64 bits when the table has at least 2^16 buckets a side.
inline bool SlotMatches(const u32* slot, u32 keyLow, u32 keyHigh) {
    return ((slot[0] ^ keyLow) & hashTable.keyCheckMask) == 0 && slot[1] == keyHigh;
}

inline bool ProbeBucket(HashEntry& entry) {
    const u32 keyLow = static_cast<u32>(pos.key);
    const u32 keyHigh = static_cast<u32>(pos.key >> 32);
    const u32* slot = HashBucket();
    for (int i = 0; i < HashSlots; ++i, slot += 3) {
        if (!SlotMatches(slot, keyLow, keyHigh)) continue;
        const u32 data = slot[2];
        entry.move = static_cast<Move>(slot[0]);
        entry.depth = static_cast<u8>(data & 127u);
        entry.bound = static_cast<u8>((data >> 7) & 3u);
        entry.age = static_cast<u16>((data >> 9) & 511u);
        entry.score = static_cast<i16>(static_cast<int>(data >> 18) - 8190);
        return true;
    }
    return false;
}

// The 9-bit age field: hashAge stays at or below 385 through the game flow's renormalisation,
// but a long game fed in force mode never renormalises, so the field saturates instead of
// spilling into the score bits.
inline u32 StoredAge() { return hashAge > 511 ? 511u : hashAge; }

// Old slot content loses to the new entry when it is older or shallower; at equal merit the
// more valuable bound (the smaller code) wins.
inline bool NewEntryWins(const u32* slot, int depth, int bound, u32 age) {
    const int slotDepth = static_cast<int>(slot[2] & 127u);
    const int slotBound = static_cast<int>((slot[2] >> 7) & 3u);
    const int slotAge = static_cast<int>((slot[2] >> 9) & 511u);
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

    if (SlotMatches(slot, keyLow, keyHigh)) {
        const int slotDepth = static_cast<int>(slot[2] & 127u);
        const int slotBound = static_cast<int>((slot[2] >> 7) & 3u);
        if (slotDepth > depth || (slotDepth == depth && slotBound <= bound)) return;
        slot[0] = word0;
        slot[2] = word2;
        return;
    }
    if (Root || NewEntryWins(slot, depth, bound, age)) {
        slot[3] = slot[0];
        slot[4] = slot[1];
        slot[5] = slot[2];
        slot[0] = word0;
        slot[1] = keyHigh;
        slot[2] = word2;
        return;
    }
    u32* target = NewEntryWins(slot + 3, depth, bound, age) ? slot + 3 : slot + 6;
    target[0] = word0;
    target[1] = keyHigh;
    target[2] = word2;
}

// Transposition table: slot layout, replacement rule, root stores, aging and renormalisation.
// The table reads only the live key and side to move, so the cases set those directly.
#include <gtest/gtest.h>

#include "search/bench_positions.h"

namespace {

// Keys that share one bucket (equal bits 0-19) but are different positions.
constexpr u64 KeyA = 0x1234'5678'9ABC'DEF0ull;
constexpr u64 KeyB = 0x0FED'CBA9'876C'DEF0ull;
constexpr u64 KeyC = 0x5555'AAAA'555C'DEF0ull;
constexpr u64 KeyD = 0x7777'1111'222C'DEF0ull;
static_assert((KeyA & 0xFFFFF) == (KeyB & 0xFFFFF));
static_assert((KeyA & 0xFFFFF) == (KeyC & 0xFFFFF));
static_assert((KeyA & 0xFFFFF) == (KeyD & 0xFFFFF));

class HashTable : public ::testing::Test {
protected:
    void SetUp() override {
        SetUpSearchTablesOnce();
        SetBoard(StartFen);
        hashAge = 1;
        pos.sideToMove = White;
    }
    void TearDown() override { SetBoard(StartFen); }

    static const u32* Bucket(u64 key, int side) {
        return hashTable.words +
               ((static_cast<u64>(side) << 20) | (key & 0xFFFFF)) * HashBucketWords;
    }
    static HashEntry Probe(u64 key) {
        pos.key = key;
        HashEntry entry{};
        EXPECT_TRUE(ProbeHash(entry)) << std::hex << key;
        return entry;
    }
    static bool Found(u64 key) {
        pos.key = key;
        HashEntry entry{};
        return ProbeHash(entry);
    }
    static void Store(u64 key, Move move, int score, int depth, int bound) {
        pos.key = key;
        StoreHash(move, score, depth, bound);
    }
    // Which slot of the bucket holds `key`'s entry, -1 if none.
    static int SlotOf(u64 key) {
        const u32* bucket = Bucket(key, pos.sideToMove);
        for (int i = 0; i < 3; ++i) {
            const u32* slot = bucket + 3 * i;
            if (((slot[0] ^ static_cast<u32>(key)) & 0xFFF00000u) == 0 &&
                (slot[1] ^ slot[0] ^ slot[2]) == static_cast<u32>(key >> 32))
                return i;
        }
        return -1;
    }
};

TEST_F(HashTable, SlotWordsFollowTheStoredLayout) {
    Store(KeyA, 0x1ABC, -1234, 17, 2);
    const u32* slot = Bucket(KeyA, White);
    EXPECT_EQ(slot[0], (static_cast<u32>(KeyA) & 0xFFFF0000u) | 0x1ABCu);
    // Word 1: the key's high half folded with words 0 and 2.
    EXPECT_EQ(slot[1] ^ slot[0] ^ slot[2], static_cast<u32>(KeyA >> 32));
    EXPECT_EQ(slot[2], 17u | (2u << 7) | (1u << 9) | (static_cast<u32>(-1234 + 8190) << 18));
    // White's half is the upper one.
    EXPECT_EQ(Bucket(KeyA, White) - hashTable.words,
              ((1ll << 20) + (KeyA & 0xFFFFF)) * HashBucketWords);
}

TEST_F(HashTable, ProbeReturnsEveryFieldIncludingExtremeScores) {
    for (int score : {-8190, -8100, -1, 0, 1, 4999, 8099, 8190}) {
        Store(KeyA, 0x0F3E, score, 127, 1);
        const HashEntry entry = Probe(KeyA);
        EXPECT_EQ(entry.score, score);
        EXPECT_EQ(entry.move, 0x0F3E);
        EXPECT_EQ(entry.depth, 127);
        EXPECT_EQ(entry.bound, 1);
        EXPECT_EQ(entry.age, 1);
        ClearHash();
    }
}

TEST_F(HashTable, MatchUsesAllKeyBitsAndTheSideToMove) {
    Store(KeyA, 0x0001, 10, 3, 0);
    EXPECT_TRUE(Found(KeyA));
    // Same key, other side to move: the other half of the table.
    pos.sideToMove = Black;
    EXPECT_FALSE(Found(KeyA));
    pos.sideToMove = White;
    // Bits 20-31 and the high half take part in the match; bits 16-19 are the bucket's own.
    EXPECT_FALSE(Found(KeyA ^ (1ull << 20)));
    EXPECT_FALSE(Found(KeyA ^ (1ull << 40)));
    EXPECT_FALSE(Found(KeyB));
}

TEST_F(HashTable, SamePositionKeepsTheDeeperOrMoreValuableEntry) {
    // A lower bound over an exact entry of equal depth leaves the exact entry.
    Store(KeyA, 0x0001, 50, 6, 0);
    Store(KeyA, 0x0002, 70, 6, 1);
    EXPECT_EQ(Probe(KeyA).move, 0x0001);
    EXPECT_EQ(Probe(KeyA).bound, 0);
    // Equal depth and equal bound: the entry already there stays, for every bound.
    for (int bound = 0; bound <= 2; ++bound) {
        ClearHash();
        Store(KeyA, 0x0001, 50, 6, bound);
        Store(KeyA, 0x0002, 70, 6, bound);
        EXPECT_EQ(Probe(KeyA).move, 0x0001) << bound;
        EXPECT_EQ(Probe(KeyA).score, 50) << bound;
    }
    // An exact entry over an upper bound of equal depth replaces it.
    ClearHash();
    Store(KeyA, 0x0001, 50, 6, 2);
    Store(KeyA, 0x0002, 70, 6, 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0002);
    EXPECT_EQ(Probe(KeyA).score, 70);
    // Anything over a deeper entry stores nothing, for the root's store too.
    ClearHash();
    Store(KeyA, 0x0001, 50, 9, 2);
    Store(KeyA, 0x0002, 70, 8, 0);
    pos.key = KeyA;
    StoreRootHash(0x0003, 80, 8, 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0001);
    EXPECT_EQ(Probe(KeyA).depth, 9);
    // A deeper store overwrites in place with the current age and keeps the slot.
    hashAge = 7;
    Store(KeyA, 0x0004, -20, 10, 1);
    EXPECT_EQ(SlotOf(KeyA), 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0004);
    EXPECT_EQ(Probe(KeyA).age, 7);
}

TEST_F(HashTable, OtherPositionsMoveDownByMerit) {
    // Merit = (hashAge - slot age) + (new depth - slot depth).
    Store(KeyA, 0x0001, 1, 5, 0);
    Store(KeyB, 0x0002, 2, 6, 0);  // merit +1: A moves to slot 1, B takes slot 0
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyA), 1);
    Store(KeyC, 0x0003, 3, 2, 0);  // merit -4 against B, -3 against A: slot 2
    EXPECT_EQ(SlotOf(KeyC), 2);
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyA), 1);
    Store(KeyD, 0x0004, 4, 5, 0);  // -1 against B, 0 at equal bound against A: slot 2 again
    EXPECT_EQ(SlotOf(KeyD), 2);
    EXPECT_FALSE(Found(KeyC));
    EXPECT_EQ(SlotOf(KeyA), 1);
    Store(KeyC, 0x0005, 5, 5, 1);  // merit 0 against A, but A's exact bound is worth more
    EXPECT_EQ(SlotOf(KeyC), 2);
    EXPECT_EQ(SlotOf(KeyA), 1);
}

TEST_F(HashTable, EqualMeritGoesToTheSmallerBoundCode) {
    Store(KeyA, 0x0001, 1, 5, 2);
    Store(KeyB, 0x0002, 2, 5, 0);  // merit 0, exact beats upper: A pushed to slot 1
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyA), 1);
    Store(KeyC, 0x0003, 3, 5, 1);  // merit 0, lower does not beat exact; beats A's upper
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyC), 1);
    EXPECT_FALSE(Found(KeyA));
}

TEST_F(HashTable, AgeMakesOldEntriesGiveWay) {
    Store(KeyA, 0x0001, 1, 12, 0);
    hashAge = 20;  // 19 game plies later a shallow entry wins: merit 19 + (3 - 12) > 0
    Store(KeyB, 0x0002, 2, 3, 2);
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyA), 1);
}

TEST_F(HashTable, RootStoreAlwaysTakesSlotZeroFromOtherPositions) {
    Store(KeyA, 0x0001, 1, 30, 0);
    pos.key = KeyB;
    StoreRootHash(0x0002, 2, 2, 2);
    EXPECT_EQ(SlotOf(KeyB), 0);
    EXPECT_EQ(SlotOf(KeyA), 1);
}

TEST_F(HashTable, ProbeFindsTheLowestSlotCopy) {
    // Only slot 0 is checked for the same position, so a position can be held twice.
    Store(KeyB, 0x0002, 2, 6, 0);
    Store(KeyC, 0x0003, 3, 7, 0);  // B to slot 1
    Store(KeyA, 0x0001, 1, 2, 0);  // merit -5 and -4: slot 2
    EXPECT_EQ(SlotOf(KeyA), 2);
    hashAge = 10;
    Store(KeyA, 0x0004, 4, 2, 0);  // slot 0 holds C: merit 9 - 5 > 0, a second copy of A
    EXPECT_EQ(SlotOf(KeyA), 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0004);
    const u32* bucket = Bucket(KeyA, White);
    EXPECT_EQ(bucket[6], (static_cast<u32>(KeyA) & 0xFFFF0000u) | 0x0001u);  // old copy stays
    EXPECT_EQ(SlotOf(KeyC), 1);
    EXPECT_FALSE(Found(KeyB));

    // A copy in slot 1 that loses both merit tests gets a second copy in slot 2.
    ClearHash();
    hashAge = 1;
    Store(KeyA, 0x0001, 1, 5, 0);
    Store(KeyB, 0x0002, 2, 6, 0);  // A to slot 1
    Store(KeyA, 0x0003, 3, 4, 0);  // -2 against B, -1 against A's older copy: slot 2
    EXPECT_EQ(Probe(KeyA).move, 0x0001);
    EXPECT_EQ(bucket[6], (static_cast<u32>(KeyA) & 0xFFFF0000u) | 0x0003u);
}

TEST_F(HashTable, OutOfRangeFieldsAreKeptInsideTheirBits) {
    // An extended line deeper than 127 plies, and an age counter never renormalised.
    hashAge = 700;
    Store(KeyA, 0x0001, -8190, 200, 2);
    const HashEntry entry = Probe(KeyA);
    EXPECT_EQ(entry.depth, 127);
    EXPECT_EQ(entry.bound, 2);
    EXPECT_EQ(entry.age, 511);
    EXPECT_EQ(entry.score, -8190);
}

TEST_F(HashTable, RenormalizeLowersAgesWhenTheCounterPasses384) {
    hashAge = 350;
    Store(KeyA, 0x0001, 1, 5, 0);
    hashAge = 384;
    RenormalizeHashAge();
    EXPECT_EQ(hashAge, 384);
    EXPECT_EQ(Probe(KeyA).age, 350);

    hashAge = 400;
    pos.sideToMove = Black;
    Store(KeyB, 0x0002, 2, 5, 0);
    RenormalizeHashAge();
    EXPECT_EQ(hashAge, 64);
    EXPECT_EQ(Probe(KeyB).age, 400 - 336);
    pos.sideToMove = White;
    EXPECT_EQ(Probe(KeyA).age, 350 - 336);
    EXPECT_EQ(Probe(KeyA).depth, 5);
    EXPECT_EQ(Probe(KeyA).score, 1);
    hashAge = 390;
    RenormalizeHashAge();
    EXPECT_EQ(Probe(KeyA).age, 0);  // 14 - 326, floored
}

TEST_F(HashTable, AgeHashEntriesLowersAgeAndDepthOfEverySlot) {
    hashAge = 20;
    Store(KeyA, 0x0001, 33, 10, 1);
    hashAge = 9;
    Store(KeyB, 0x0002, -44, 3, 2);  // merit -18 against A: the empty slot 1
    hashAge = 20;
    AgeHashEntries(4);
    EXPECT_EQ(Probe(KeyA).age, 20);
    EXPECT_EQ(Probe(KeyA).depth, 10);

    AgeHashEntries(10);  // r = 3 * 20 / 4 = 15, depths lower by 6
    const HashEntry a = Probe(KeyA);
    EXPECT_EQ(a.age, 5);
    EXPECT_EQ(a.depth, 4);
    EXPECT_EQ(a.move, 0x0001);
    EXPECT_EQ(a.bound, 1);
    EXPECT_EQ(a.score, 33);
    const HashEntry b = Probe(KeyB);
    EXPECT_EQ(b.age, 0);
    EXPECT_EQ(b.depth, 0);
    EXPECT_EQ(b.score, -44);
    EXPECT_EQ(hashAge, 20);

    hashAge = 12;  // below 16 the age falls by half the counter
    Store(KeyC, 0x0003, 0, 9, 0);
    pos.key = KeyC;
    AgeHashEntries(5);
    EXPECT_EQ(Probe(KeyC).age, 6);
    EXPECT_EQ(Probe(KeyC).depth, 8);
}

TEST_F(HashTable, SetBoardClearsTheTable) {
    SetBoard(StartFen);
    StoreHash(0x0001, 5, 5, 0);
    const u64 key = pos.key;
    SetBoard(StartFen);
    EXPECT_EQ(pos.key, key);
    HashEntry entry{};
    EXPECT_FALSE(ProbeHash(entry));
}

// The table's size is chosen at run time; bucket number, key check and the table walks follow it,
// and the default is the table every search signature was taken with.
TEST_F(HashTable, SizeChosenAtRunTimeDrivesBucketsAndKeyCheck) {
    EXPECT_EQ(hashTable.bits, DefaultHashBits);
    EXPECT_EQ(HashTableBytes(), (u64{2} << 20) * HashBucketWords * 4);
    EXPECT_EQ(hashTable.keyCheckMask, 0xFFF00000u);
    EXPECT_FALSE(SetHashSize(MinHashBits - 1));
    EXPECT_FALSE(SetHashSize(MaxHashBits + 1));
    EXPECT_EQ(hashTable.bits, DefaultHashBits);

    ASSERT_TRUE(SetHashSize(16));
    EXPECT_EQ(hashTable.bucketMask, 0xFFFFu);
    EXPECT_EQ(hashTable.keyCheckMask, 0xFFFF0000u);
    EXPECT_EQ(HashTableBytes(), (u64{2} << 16) * HashBucketWords * 4);
    // Keys equal in bits 0-15 share a bucket of the small table; bits 16-19, which the default
    // table's bucket number implied, now tell them apart.
    constexpr u64 Near = KeyA ^ (u64{1} << 17);
    Store(KeyA, 0x0111, 10, 5, 0);
    Store(Near, 0x0222, 20, 6, 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0111);
    EXPECT_EQ(Probe(Near).move, 0x0222);
    EXPECT_FALSE(Found(KeyA ^ (u64{1} << 40)));
    // Walks cover every slot of the small table and no word beyond it.
    constexpr u64 Elsewhere = KeyA ^ 1;  // another bucket
    hashAge = 400;
    Store(Elsewhere, 0x0333, 30, 9, 0);
    RenormalizeHashAge();
    EXPECT_EQ(Probe(Elsewhere).age, 64);
    EXPECT_EQ(Probe(KeyA).age, 0);
    AgeHashEntries(8);
    EXPECT_EQ(Probe(Elsewhere).depth, 5);

    ASSERT_TRUE(SetHashSize(DefaultHashBits));
    EXPECT_EQ(hashTable.bits, DefaultHashBits);
    EXPECT_FALSE(Found(KeyA));
    // A bigger table than the default: the bucket number covers bits 16-20 too.
    ASSERT_TRUE(SetHashSize(21));
    EXPECT_EQ(hashTable.keyCheckMask, 0xFFE00000u);
    Store(KeyA, 0x0444, 40, 7, 0);
    EXPECT_EQ(Probe(KeyA).move, 0x0444);
    EXPECT_FALSE(Found(KeyA ^ (u64{1} << 20)));
    ASSERT_TRUE(SetHashSize(DefaultHashBits));
}

}  // namespace

namespace {

// A slot whose words come from two different stores (as when two search threads write it at
// once) must not be found for either position.
TEST_F(HashTable, TornSlotIsNeverTakenForAPosition) {
    Store(KeyA, 0x0001, 10, 5, 0);
    Store(KeyB, 0x0002, 20, 6, 0);  // A moves to slot 1
    u32* bucket = const_cast<u32*>(Bucket(KeyA, White));
    ASSERT_EQ(SlotOf(KeyB), 0);
    ASSERT_EQ(SlotOf(KeyA), 1);
    // B's key words with A's data word, and A's data with a word of B's key.
    const u32 dataA = bucket[5];
    bucket[5] = bucket[2];
    EXPECT_FALSE(Found(KeyA));
    bucket[5] = dataA;
    bucket[3] = bucket[0];
    EXPECT_FALSE(Found(KeyA));
    EXPECT_TRUE(Found(KeyB));
}

}  // namespace

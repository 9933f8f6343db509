// The table size a request in MB gets: nearest power of two in bytes, ties up, clamped.
#include <gtest/gtest.h>

#include "search/search.h"

namespace {

TEST(HashSize, RequestsGetTheNearestTableAndTiesGoUp) {
    if (HashBucketWords != 9) GTEST_SKIP() << "sizes below are those of 36-byte buckets";
    // XBoard's default memory (64 + 4) and a UCI Hash of 64 or 72 keep the default table.
    EXPECT_EQ(HashBitsForMegabytes(64), DefaultHashBits);
    EXPECT_EQ(HashBitsForMegabytes(68), DefaultHashBits);
    EXPECT_EQ(HashBitsForMegabytes(72), DefaultHashBits);
    // 54 is halfway between 36 and 72 MiB, 108 between 72 and 144: ties go to the larger.
    EXPECT_EQ(HashBitsForMegabytes(53), 19);
    EXPECT_EQ(HashBitsForMegabytes(54), 20);
    EXPECT_EQ(HashBitsForMegabytes(107), 20);
    EXPECT_EQ(HashBitsForMegabytes(108), 21);
    EXPECT_EQ(HashBitsForMegabytes(256), 22);  // 288 MiB is nearer than 144
    EXPECT_EQ(HashBitsForMegabytes(1), 14);    // 1.125 MiB
    EXPECT_EQ(HashMegabytesForBits(DefaultHashBits), 72u);
    EXPECT_EQ(HashMegabytesForBits(MaxHashBits), 4608u);
}

TEST(HashSize, AbsurdRequestsAreClampedNeverZeroOrOverflowing) {
    EXPECT_EQ(HashBitsForMegabytes(0), MinHashBits);
    EXPECT_EQ(HashBitsForMegabytes(999'999'999), MaxHashBits);
    EXPECT_EQ(HashBitsForMegabytes(~u64{0}), MaxHashBits);
    EXPECT_GE(LargestHashBits(), DefaultHashBits);
    EXPECT_LE(LargestHashBits(), MaxHashBits);
}

}  // namespace

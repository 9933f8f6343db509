// The table size a user asks for in MB, turned into the power-of-two table the search can use.
#include <unistd.h>

#include "search/search.h"

namespace {

constexpr u64 MiB = u64{1} << 20;

constexpr u64 TableBytes(int bits) { return (u64{2} << bits) * HashBucketWords * sizeof(u32); }

}  // namespace

int HashBitsForMegabytes(u64 megabytes) {
    // Beyond twice the largest table every request is nearest to the largest; the cut keeps the
    // byte count below 2^64.
    const u64 cap = 2 * TableBytes(MaxHashBits) / MiB;
    const u64 bytes = (megabytes > cap ? cap : megabytes) * MiB;
    int bits = MinHashBits;
    // The next size up is nearer, or as near: distance to the larger <= distance to the smaller.
    while (bits < MaxHashBits && 2 * bytes >= TableBytes(bits) + TableBytes(bits + 1)) ++bits;
    return bits;
}

u64 HashMegabytesForBits(int bits) { return TableBytes(bits) / MiB; }

int hashBitsLimit = MaxHashBits;

int LargestHashBits() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    int bits = hashBitsLimit < MaxHashBits ? hashBitsLimit : MaxHashBits;
    if (pages > 0 && pageSize > 0) {
        const u64 half = static_cast<u64>(pages) * static_cast<u64>(pageSize) / 2;
        while (bits > DefaultHashBits && TableBytes(bits) > half) --bits;
    }
    return bits;
}

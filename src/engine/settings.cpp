// Search threads and table size: the one place the front ends and Zelmor.ini change them, so
// that each follows the same rules whoever asks.
#include "engine/internal.h"
#include "search/search.h"

int requestedSearchThreads = 0;

int ClampSearchThreads(i64 threads) {
    if (threads < 1) return 1;
    return threads > MaxSearchThreads ? MaxSearchThreads : static_cast<int>(threads);
}

bool SetHashMegabytes(u64 megabytes) {
    int bits = HashBitsForMegabytes(megabytes);
    const int largest = LargestHashBits();
    if (bits > largest) bits = largest;
    // The same size again (XBoard repeats "memory" before every game) keeps what the table knows.
    if (bits == hashTable.bits) return true;
    return SetHashSize(bits);
}

u64 CurrentHashMegabytes() { return HashTableBytes() >> 20; }

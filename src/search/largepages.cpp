// Asks the kernel to back the transposition table with large pages: every probe lands on a random
// bucket, and with 4 KiB pages nearly each one would also miss the address translation cache.
#include <sys/mman.h>

#include "search/search.h"

void AdviseLargePages(void* start, unsigned long bytes) {
#ifdef MADV_HUGEPAGE
    madvise(start, bytes, MADV_HUGEPAGE);
#else
    (void)start;
    (void)bytes;
#endif
}

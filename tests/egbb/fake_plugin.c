/* A stand-in bitbase plug-in for the loader's tests: records how it was loaded (read back by
 * the tests through dlsym) and answers 99999 to every probe, as a plug-in without tables does.
 * Built with FAKE_WITHOUT_PROBE it lacks the probe entry point. */
#include <string.h>

char fake_load_directory[512];
int fake_load_cache_bytes = -1;
int fake_load_mode = -1;
int fake_load_calls = 0;

void load_egbb_5men(const char* directory, int cacheBytes, int loadMode) {
    strncpy(fake_load_directory, directory ? directory : "(null)", sizeof fake_load_directory - 1);
    fake_load_cache_bytes = cacheBytes;
    fake_load_mode = loadMode;
    ++fake_load_calls;
}

#ifndef FAKE_WITHOUT_PROBE
int probe_egbb_5men(int side, int whiteKing, int blackKing, int man1, int square1, int man2,
                    int square2, int man3, int square3) {
    (void)side, (void)whiteKing, (void)blackKing, (void)man1, (void)square1, (void)man2;
    (void)square2, (void)man3, (void)square3;
    return 99999;
}
#endif

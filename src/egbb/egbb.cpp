// Loading the bitbase plug-in and describing the live position to it.
#include "egbb/egbb.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "board/board.h"
#include "egbb/library.h"

bool bitbasesLoaded = false;
i32 bitbaseLoadMode = 1;
BitbaseProbe bitbaseProbe = nullptr;

namespace {

using BitbaseLoad = void (*)(const char* directory, int cacheBytes, int loadMode);

constexpr const char* LibraryName = "egbbso64.so";
void* library = nullptr;

// Plug-in man codes by Zelmor piece code; 0 marks codes that are never passed as men.
constexpr int ManCode[13] = {0, 6, 12, 5, 11, 4, 10, 3, 9, 2, 8, 0, 0};

void LogFailure(const char* what, const char* detail) {
    char line[600];
    std::snprintf(line, sizeof line, "-M: bitbases not loaded: %s%s", what, detail);
    debugLog.Line(line);
}

}  // namespace

void LoadBitbases(const char* directory, int cacheMegabytes, int loadMode) {
    // A new attempt forgets the previous library, so a failure leaves nothing half loaded.
    bitbasesLoaded = false;
    bitbaseProbe = nullptr;
    CloseLibrary(library);
    library = nullptr;

    // 1. Directory, completed with '/', and the library path within it.
    std::size_t length = directory ? std::strlen(directory) : 0;
    if (length == 0) return LogFailure("no directory given", "");
    bool ended = directory[length - 1] == '/' || directory[length - 1] == '\\';
    if (length + (ended ? 0 : 1) > MaxBitbaseDirectory)
        return LogFailure("directory longer than 244 characters", "");
    char completed[MaxBitbaseDirectory + 1];
    std::snprintf(completed, sizeof completed, "%s%s", directory, ended ? "" : "/");
    // A path without '/' would make the loader search the system's library directories.
    char path[MaxBitbaseDirectory + 16];
    std::snprintf(path, sizeof path, "%s%s%s", std::strchr(completed, '/') ? "" : "./", completed,
                  LibraryName);

    // 2. Library and both entry points.
    const char* error = "";
    void* opened = OpenLibrary(path, &error);
    if (!opened) return LogFailure("", error);
    auto load = reinterpret_cast<BitbaseLoad>(FindSymbol(opened, "load_egbb_5men"));
    auto probe = reinterpret_cast<BitbaseProbe>(FindSymbol(opened, "probe_egbb_5men"));
    if (!load || !probe) {
        CloseLibrary(opened);
        return LogFailure(path, " lacks load_egbb_5men or probe_egbb_5men");
    }
    library = opened;

    // 3. Megabytes to bytes in 64 bits: a cache of 2048 MB or more is held to the largest
    // byte count the plug-in's int accepts instead of wrapping negative.
    i64 bytes = static_cast<i64>(cacheMegabytes) * 1048576;
    if (bytes < 0) bytes = 0;
    if (bytes > INT_MAX) bytes = INT_MAX;
    load(completed, static_cast<int>(bytes), loadMode);

    bitbaseProbe = probe;
    bitbaseLoadMode = loadMode;
    bitbasesLoaded = true;
}

int ProbeBitbase() {
    if (!bitbaseProbe) return BitbaseNoAnswer;
    int whiteKing = pos.kingSquare[White];
    int blackKing = pos.kingSquare[Black];
    if (whiteKing > 63 || blackKing > 63) return BitbaseNoAnswer;

    // 1. Every man but the kings, 2. visited from h1 toward a8 into the three slots.
    u64 men = pos.occupied & ~((u64{1} << (63 - whiteKing)) | (u64{1} << (63 - blackKing)));
    int man[3] = {0, 0, 0};
    int square[3] = {0, 0, 0};
    for (int k = 0; men; ++k, men &= men - 1) {
        if (k == 3) return BitbaseNoAnswer;  // more men than the plug-in can be told of
        int s = FirstSquare(men);
        man[k] = pos.board[s] < 13 ? ManCode[pos.board[s]] : 0;
        if (man[k] == 0) return BitbaseNoAnswer;  // board and bitboards disagree
        square[k] = s ^ 56;
    }

    // 3. The plug-in numbers squares from a1 and gives White to move as 0.
    int r = bitbaseProbe(pos.sideToMove ^ 1, whiteKing ^ 56, blackKing ^ 56, man[0], square[0],
                         man[1], square[1], man[2], square[2]);

    // 4. Ten plug-in units per engine unit beyond 7000, so bitbase wins stay below mate scores.
    if (r == BitbaseNoAnswer) return r;
    if (r < -7000) {
        int t = (r + 7000) / 10 - 7000;
        return t < -8000 ? -8001 : t;
    }
    if (r > 7000) {
        int t = (r - 7000) / 10 + 7000;
        return t > 8000 ? 8001 : t;
    }
    return r;
}

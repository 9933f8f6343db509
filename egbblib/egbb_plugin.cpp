// The bitbase plug-in's two entry points on top of the Gaviota probing library: loading picks
// and checks a table directory, probing translates Zelmor's bitbase encoding and maps the
// distance to mate onto the plug-in's score scale (see egbb_plugin.h).

#include "egbb_plugin.h"

#include <gtb-probe.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "table_files.h"

#ifndef GAVIOTA_DATA_DIR
#define GAVIOTA_DATA_DIR "/usr/share/gaviotatb"
#endif

namespace {

constexpr int NoAnswer = 99999;
constexpr int WinBase = 17000;
constexpr unsigned LongestMate = 999;

void Unload();

// What a load holds in the probing library; let go when the module is unloaded or at exit.
struct Tables {
    ~Tables() { Unload(); }
    bool ready = false;
    const char** paths = nullptr;
    // When some files of the chosen directory were damaged, the sound ones are linked into a
    // private directory so the probing library never opens the others; removed on unload.
    std::string linkDirectory;
    std::vector<std::string> links;
};
Tables tables;

// The probing library's table cache is not safe for probes from several threads at once: with
// two search threads in an endgame, answers of other positions came back. One probe at a time.
std::mutex probeMutex;

void RemoveLinkDirectory() {
    for (const std::string& link : tables.links) unlink(link.c_str());
    tables.links.clear();
    if (!tables.linkDirectory.empty()) rmdir(tables.linkDirectory.c_str());
    tables.linkDirectory.clear();
}

void Unload() {
    if (tables.ready) {
        tbcache_done();
        tb_done();
        tables.ready = false;
    }
    if (tables.paths) tables.paths = tbpaths_done(tables.paths);
    RemoveLinkDirectory();
}

std::string WithoutTrailingSeparator(const char* directory) {
    std::string path = directory ? directory : "";
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

// The directory the probing library should read, or "" when dir holds no sound table.
std::string SoundTableDirectory(const TableDirectory& dir) {
    std::vector<std::string> sound;
    for (const std::string& name : dir.names) {
        std::string reason = CheckTableFile(dir.path + "/" + name);
        if (reason.empty()) {
            sound.push_back(name);
        } else {
            std::fprintf(stderr, "egbbso64: table %s/%s left out: %s\n", dir.path.c_str(),
                         name.c_str(), reason.c_str());
        }
    }
    if (sound.empty()) return {};
    if (sound.size() == dir.names.size()) return dir.path;

    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelmor-egbb-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        std::fprintf(stderr, "egbbso64: cannot set aside the sound tables of %s\n",
                     dir.path.c_str());
        return {};
    }
    tables.linkDirectory = buffer.data();
    for (const std::string& name : sound) {
        char* target = realpath((dir.path + "/" + name).c_str(), nullptr);
        std::string link = tables.linkDirectory + "/" + name;
        if (target && symlink(target, link.c_str()) == 0) tables.links.push_back(link);
        free(target);
    }
    return tables.linkDirectory;
}

// Squares 0..63 on the a1 = 0 board; true when the two squares touch.
bool Adjacent(int a, int b) {
    return std::abs((a >> 3) - (b >> 3)) <= 1 && std::abs((a & 7) - (b & 7)) <= 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void load_egbb_5men(const char* directory,
                                                                      int cacheBytes,
                                                                      int /*loadMode*/) {
    try {
        Unload();

        // 1. The configured directory, else Debian's installed data, best scheme first.
        TableDirectory chosen = ScanTableDirectory(WithoutTrailingSeparator(directory));
        std::string readFrom = chosen.scheme ? SoundTableDirectory(chosen) : std::string();
        for (int scheme = 4; readFrom.empty() && scheme >= 1; --scheme) {
            chosen = ScanTableDirectory(GAVIOTA_DATA_DIR "/gtb" + std::to_string(scheme));
            if (chosen.scheme) readFrom = SoundTableDirectory(chosen);
        }
        if (readFrom.empty()) {
            std::fprintf(stderr, "egbbso64: no endgame tables found\n");
            return;
        }

        // 2. Paths, tables, then the cache: the probing library needs all three before a probe.
        tables.paths = tbpaths_add(tbpaths_init(), readFrom.c_str());
        if (!tables.paths) return;
        tb_init(0, chosen.scheme, tables.paths);
        if (!tb_is_initialized()) return;
        size_t cache = cacheBytes > 0 ? static_cast<size_t>(cacheBytes) : 0;
        // Zelmor asks for distances only, so the whole cache goes to them, none to win/draw/loss.
        if (!tbcache_init(cache, 0)) {
            tb_done();
            std::fprintf(stderr, "egbbso64: table cache could not be set up\n");
            return;
        }
        tables.ready = true;
    } catch (...) {
        // Out of memory while scanning: stay unloaded, every probe answers 99999.
        Unload();
    }
}

extern "C" __attribute__((visibility("default"))) int probe_egbb_5men(int side, int whiteKing,
                                                                      int blackKing, int man1,
                                                                      int square1, int man2,
                                                                      int square2, int man3,
                                                                      int square3) {
    if (!tables.ready) return NoAnswer;
    if (side != 0 && side != 1) return NoAnswer;
    if (whiteKing < 0 || whiteKing > 63 || blackKing < 0 || blackKing > 63) return NoAnswer;
    if (whiteKing == blackKing || Adjacent(whiteKing, blackKing)) return NoAnswer;

    // Gaviota lists each side's men behind its king, closed by tb_NOSQUARE / tb_NOPIECE.
    // Its squares and side to move already number like Zelmor's bitbase encoding.
    unsigned squares[2][5] = {{static_cast<unsigned>(whiteKing)},
                              {static_cast<unsigned>(blackKing)}};
    unsigned char kinds[2][5] = {{tb_KING}, {tb_KING}};
    int counts[2] = {1, 1};
    bool taken[64] = {};
    taken[whiteKing] = taken[blackKing] = true;

    // Man codes 2..6 and 8..12: queen, rook, bishop, knight, pawn of White, then of Black.
    static constexpr unsigned char Kind[6] = {tb_QUEEN, tb_ROOK, tb_BISHOP, tb_KNIGHT, tb_PAWN};
    const int men[3][2] = {{man1, square1}, {man2, square2}, {man3, square3}};
    for (const auto& man : men) {
        int code = man[0], square = man[1];
        if (code == 0) continue;
        if (code < 2 || code > 12 || code == 7) return NoAnswer;
        int colour = code >= 8 ? 1 : 0;
        int kind = code - 2 - 6 * colour;
        if (square < 0 || square > 63 || taken[square]) return NoAnswer;
        if (Kind[kind] == tb_PAWN && (square < 8 || square > 55)) return NoAnswer;
        taken[square] = true;
        squares[colour][counts[colour]] = static_cast<unsigned>(square);
        kinds[colour][counts[colour]] = Kind[kind];
        ++counts[colour];
    }
    for (int colour = 0; colour < 2; ++colour) {
        squares[colour][counts[colour]] = tb_NOSQUARE;
        kinds[colour][counts[colour]] = tb_NOPIECE;
    }

    unsigned info = tb_UNKNOWN, plies = 0;
    const std::lock_guard<std::mutex> probing(probeMutex);
    if (!tb_probe_hard(static_cast<unsigned>(side), tb_NOSQUARE, tb_NOCASTLE, squares[0],
                       squares[1], kinds[0], kinds[1], &info, &plies))
        return NoAnswer;
    if (info == tb_DRAW) return 0;
    if (info != tb_WMATE && info != tb_BMATE) return NoAnswer;  // forbidden or unknown
    int winner = info == tb_WMATE ? 0 : 1;
    int score = WinBase - 10 * static_cast<int>(std::min(plies, LongestMate));
    return winner == side ? score : -score;
}

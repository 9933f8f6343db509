// The UCI front end's options: the identity and option lines, "setoption", and the bitbase and
// book settings they change, applied before the next search or "isready" answer.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "book/book.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "uci/internal.h"

namespace uci {

bool ownBook = true;
bool ponderOption = false;
bool analyseMode = false;
i32 moveOverheadMs = DefaultMoveOverheadMs;
i32 multiPv = 1;

namespace {

bool bitbasesStale;         // a bitbase option changed: reloaded before the next search or readyok
bool reportPending = true;  // what is missing is told once options have settled

constexpr int CacheLimitMb = 2047;  // the plug-in takes the cache in bytes, as an int

const char* OptionText(const char* value) { return value[0] ? value : "<empty>"; }

}  // namespace

void ResetOptions() {
    bitbasesStale = false;
    reportPending = ownBook = true;
    ponderOption = false;
    analyseMode = false;
    moveOverheadMs = DefaultMoveOverheadMs;
    multiPv = 1;
    // A new session starts from Zelmor.ini's threads and table, as a fresh process would.
    searchThreadCount = engineConfig.threads > 0 ? engineConfig.threads : 1;
    if (engineConfig.hashMb > 0)
        SetHashMegabytes(static_cast<u64>(engineConfig.hashMb));
    else if (hashTable.bits != DefaultHashBits)
        SetHashSize(DefaultHashBits);
}

void PrintIdentity() {
    std::printf("id name Zelmor\n");
    std::printf("id author the Zelmor developers\n");
    std::printf("option name Ponder type check default %s\n", ponderOption ? "true" : "false");
    std::printf("option name OwnBook type check default %s\n", ownBook ? "true" : "false");
    std::printf("option name BookPath type string default %s\n",
                OptionText(engineConfig.bookDirectory));
    std::printf("option name EgbbPath type string default %s\n",
                OptionText(engineConfig.bitbaseDirectory));
    std::printf(
        "option name EgbbCache type spin default %d min 0 max %d\n",
        engineConfig.bitbaseCacheMb > CacheLimitMb ? CacheLimitMb : engineConfig.bitbaseCacheMb,
        CacheLimitMb);
    std::printf("option name EgbbLoad type spin default %d min 0 max 5\n",
                engineConfig.bitbaseLoadMode);
    std::printf("option name Move Overhead type spin default %d min 0 max %d\n", moveOverheadMs,
                OverheadLimitMs);
    std::printf("option name UCI_AnalyseMode type check default %s\n",
                analyseMode ? "true" : "false");
    std::printf("option name MultiPV type spin default %d min 1 max %d\n", multiPv, MaxSearchLines);
    std::printf(
        "option name Hash type spin default %llu min 1 max %llu\n",
        static_cast<unsigned long long>(HashMegabytesForBits(
            engineConfig.hashMb > 0 ? HashBitsForMegabytes(engineConfig.hashMb) : DefaultHashBits)),
        static_cast<unsigned long long>(HashMegabytesForBits(LargestHashBits())));
    std::printf("option name Threads type spin default %d min 1 max %d\n",
                engineConfig.threads > 0 ? engineConfig.threads : 1, MaxSearchThreads);
    std::printf("option name Clear Hash type button\n");
    std::printf("uciok\n");
}

// Reloads changed bitbase settings and tells the user what is missing.
void SettleOptions() {
    if (bitbasesStale) {
        bitbasesStale = false;
        LoadBitbases(engineConfig.bitbaseDirectory, engineConfig.bitbaseCacheMb,
                     engineConfig.bitbaseLoadMode);
        reportPending = true;
    }
    if (!reportPending) return;
    reportPending = false;
    if (ownBook && (!engineConfig.bookPathSeen || !engineConfig.mainBookOpened)) {
        std::size_t length = std::strlen(mainBook.errorText);
        while (length > 0 && IsBlank(mainBook.errorText[length - 1])) --length;
        mainBook.errorText[length] = '\0';
        InfoString("no opening book: %s",
                   length ? mainBook.errorText : "set BookPath (BOOK_PATH in Zelmor.ini)");
    }
    if (!bitbasesLoaded)
        InfoString("endgame bitbases not loaded: set EgbbPath (EGBB_PATH in Zelmor.ini)");
    if (debugLog.Failure()[0] != '\0') InfoString("no debug log: %s", debugLog.Failure());
}

bool ReadCheck(const char* name, const char* value, bool& target) {
    if (strcasecmp(value, "true") == 0 || strcasecmp(value, "false") == 0) {
        target = strcasecmp(value, "true") == 0;
        return true;
    }
    InfoString("setoption: %s takes true or false, not '%s'", name, value);
    return false;
}

bool ReadSpin(const char* name, const char* value, int low, int high, i32& target) {
    i64 number;
    if (WholeNumber(value, number) && number >= low && number <= high) {
        target = static_cast<i32>(number);
        return true;
    }
    char range[48];
    std::snprintf(range, sizeof range, "%s takes %d to %d", name, low, high);
    InfoString("setoption: %s, not '%s'", range, value);
    return false;
}

bool ReadDirectory(const char* name, const char* value, char* target) {
    if (std::strcmp(value, "<empty>") == 0) value = "";
    if (std::strlen(value) > ConfigLineLimit - 2) {
        InfoString("setoption: %s is longer than 4093 characters", name);
        return false;
    }
    std::snprintf(target, ConfigLineLimit + 1, "%s", value);
    CompleteDirectory(target);
    return true;
}

namespace {

// A whole number for a spin that takes the nearest sane value: true with `number` held to
// low..high (an info string tells of the change), false for no number at all.
bool ReadNearestSpin(const char* name, const char* value, i64 low, i64 high, i64& number) {
    if (!WholeNumber(value, number)) {
        char range[48];
        std::snprintf(range, sizeof range, "%s takes %lld to %lld", name,
                      static_cast<long long>(low), static_cast<long long>(high));
        InfoString("setoption: %s, not '%s'", range, value);
        return false;
    }
    if (number >= low && number <= high) return true;
    number = number < low ? low : high;
    char text[96];
    std::snprintf(text, sizeof text, "%s takes %lld to %lld: %lld used", name,
                  static_cast<long long>(low), static_cast<long long>(high),
                  static_cast<long long>(number));
    InfoString("setoption: %s, not '%s'", text, value);
    return true;
}

// Options are set only while no search runs (a "setoption" stops one first), so the table is
// resized here at once.
void SetHashOption(const char* value) {
    i64 megabytes;
    const i64 most = static_cast<i64>(HashMegabytesForBits(LargestHashBits()));
    if (!ReadNearestSpin("Hash", value, 1, most, megabytes)) return;
    const u64 before = CurrentHashMegabytes();
    if (!SetHashMegabytes(static_cast<u64>(megabytes))) {
        char text[64];
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(before));
        InfoString("setoption: not enough memory for Hash %s, the table stays at %s MB", value,
                   text);
        return;
    }
    debugLog << "-M: table of " << HashTableBytes() << " bytes";
    debugLog.Line("");
}

void SetThreadsOption(const char* value) {
    i64 threads;
    if (!ReadNearestSpin("Threads", value, 1, MaxSearchThreads, threads)) return;
    searchThreadCount = ClampSearchThreads(threads);
    debugLog << "-M: " << searchThreadCount << " search threads";
    debugLog.Line("");
}

}  // namespace

void SetOptionCommand(char** w, int n) {
    // "setoption name <words> [value <words>]"; names and values may hold blanks.
    if (n < 2 || std::strcmp(w[0], "name") != 0) {
        InfoString("setoption needs: setoption name <option> [value <value>]");
        return;
    }
    static char name[256], value[ConfigLineLimit + 1];
    int valueAt = 1;
    while (valueAt < n && std::strcmp(w[valueAt], "value") != 0) ++valueAt;
    Join(w, 1, valueAt, name, sizeof name);
    Join(w, valueAt + 1, n, value, sizeof value);
    debugLog << "-M: option " << name << " = ";
    debugLog.Line(value);

    if (strcasecmp(name, "Ponder") == 0) {
        ReadCheck("Ponder", value, ponderOption);
    } else if (strcasecmp(name, "OwnBook") == 0) {
        if (ReadCheck("OwnBook", value, ownBook)) reportPending = true;
    } else if (strcasecmp(name, "BookPath") == 0) {
        if (!ReadDirectory("BookPath", value, engineConfig.bookDirectory)) return;
        mainBook.close();
        secondBook.close();
        mainBook.directory[0] = secondBook.directory[0] = '\0';
        engineConfig.bookPathSeen = engineConfig.bookDirectory[0] != '\0';
        engineConfig.mainBookOpened = false;
        mainBook.errorText[0] = '\0';
        if (engineConfig.bookPathSeen) OpenBooks(engineConfig);
        reportPending = true;
    } else if (strcasecmp(name, "EgbbPath") == 0) {
        if (ReadDirectory("EgbbPath", value, engineConfig.bitbaseDirectory)) bitbasesStale = true;
    } else if (strcasecmp(name, "EgbbCache") == 0) {
        if (ReadSpin("EgbbCache", value, 0, CacheLimitMb, engineConfig.bitbaseCacheMb))
            bitbasesStale = bitbasesLoaded || engineConfig.bitbaseDirectory[0];
    } else if (strcasecmp(name, "EgbbLoad") == 0) {
        if (ReadSpin("EgbbLoad", value, 0, 5, engineConfig.bitbaseLoadMode))
            bitbasesStale = bitbasesLoaded || engineConfig.bitbaseDirectory[0];
    } else if (strcasecmp(name, "Move Overhead") == 0) {
        ReadSpin("Move Overhead", value, 0, OverheadLimitMs, moveOverheadMs);
    } else if (strcasecmp(name, "MultiPV") == 0) {
        ReadSpin("MultiPV", value, 1, MaxSearchLines, multiPv);
    } else if (strcasecmp(name, "UCI_AnalyseMode") == 0) {
        ReadCheck("UCI_AnalyseMode", value, analyseMode);
    } else if (strcasecmp(name, "Hash") == 0) {
        SetHashOption(value);
    } else if (strcasecmp(name, "Threads") == 0) {
        SetThreadsOption(value);
    } else if (strcasecmp(name, "Clear Hash") == 0) {
        ClearHash();
        debugLog.Line("-M: table cleared");
    } else {
        InfoString("setoption: Zelmor has no option '%s'", name);
    }
}

}  // namespace uci

// What Zelmor tells an xboard interface about itself, and the options the interface may set.
// Every feature line comes from the one table below, so that a new ability adds a row.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "xboard/xboard.h"

namespace {

bool mateScoresInMoves;  // the option "Mate scores in moves"

constexpr const char* MateOption = "Mate scores in moves";

// A directory shown inside a quoted feature value: a '"' would end the value early.
void PathOption(const char* name, const char* directory) {
    char shown[ConfigLineLimit + 16];
    std::size_t n = 0;
    for (const char* p = directory; *p && n + 1 < sizeof shown; ++p)
        if (*p != '"') shown[n++] = *p;
    shown[n] = '\0';
    std::printf("feature option=\"%s -path %s\"\n", name, shown);
}

void BookPathOption() { PathOption("BookPath", engineConfig.bookDirectory); }
void EgbbPathOption() { PathOption("EgbbPath", engineConfig.bitbaseDirectory); }
void MultiPvOptionLine() {
    std::printf("feature option=\"MultiPV -spin %d 1 %d\"\n", analysisLines, MaxSearchLines);
}
void MateOptionLine() {
    std::printf("feature option=\"%s -check %d\"\n", MateOption, mateScoresInMoves ? 1 : 0);
}

struct Feature {
    const char* name;   // printed as "feature name=value"
    const char* value;  // nullptr: the row prints its own line
    void (*print)();
};

// "ping" lets the interface wait for the engine instead of interrupting it; colors, sigint and
// sigterm off because Zelmor takes the side to move from the position and reads its input while
// it searches.
constexpr Feature Features[] = {
    {"ping", "1", nullptr},
    {"myname", "\"Zelmor " ZELMOR_VERSION "\"", nullptr},
    {"name", "1", nullptr},
    {"colors", "0", nullptr},
    {"sigint", "0", nullptr},
    {"sigterm", "0", nullptr},
    {"analyze", "1", nullptr},
    {"nps", "0", nullptr},
    {"variants", "\"normal\"", nullptr},
    {"exclude", "1", nullptr},
    {"option", nullptr, BookPathOption},
    {"option", nullptr, EgbbPathOption},
    {"option", nullptr, MultiPvOptionLine},
    {"option", nullptr, MateOptionLine},
    // "cores" and "memory" set the search threads and the table size.
    {"smp", "1", nullptr},
    {"memory", "1", nullptr},
};

bool IsOption(const char* text, const char* name, const char*& value) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(text, name, length) != 0 || text[length] != '=') return false;
    value = text + length + 1;
    return true;
}

void OptionError(const char* text, const char* why) {
    std::printf("Error (%s): option %s\n", why, text);
    debugLog << "-M: option refused (" << why << "): ";
    debugLog.Line(text);
}

// A new directory value, completed as Zelmor.ini's are; false when it does not fit.
bool TakeDirectory(const char* value, char* target) {
    if (std::strlen(value) > ConfigLineLimit - 2) return false;
    std::snprintf(target, ConfigLineLimit + 1, "%s", value);
    CompleteDirectory(target);
    return true;
}

}  // namespace

int analysisLines = 1;

void PrintFeatureLines() {
    for (const Feature& feature : Features) {
        if (feature.print)
            feature.print();
        else
            std::printf("feature %s=%s\n", feature.name, feature.value);
    }
}

void SetXboardOption(const char* text) {
    debugLog << "-M: option ";
    debugLog.Line(text);
    const char* value = nullptr;
    if (IsOption(text, "BookPath", value)) {
        if (!TakeDirectory(value, engineConfig.bookDirectory))
            return OptionError(text, "directory too long");
        mainBook.close();
        secondBook.close();
        mainBook.directory[0] = secondBook.directory[0] = '\0';
        mainBook.errorText[0] = '\0';
        engineConfig.bookPathSeen = engineConfig.bookDirectory[0] != '\0';
        engineConfig.mainBookOpened = false;
        if (engineConfig.bookPathSeen) OpenBooks(engineConfig);
        if (engineConfig.bookPathSeen && !engineConfig.mainBookOpened)
            std::printf("BOOK ERROR: %s\n", mainBook.errorText);
    } else if (IsOption(text, "EgbbPath", value)) {
        if (!TakeDirectory(value, engineConfig.bitbaseDirectory))
            return OptionError(text, "directory too long");
        LoadBitbases(engineConfig.bitbaseDirectory, engineConfig.bitbaseCacheMb,
                     engineConfig.bitbaseLoadMode);
        if (engineConfig.bitbaseDirectory[0] != '\0' && !bitbasesLoaded)
            std::printf("EGBB ERROR: endgame bitbases not loaded from %s\n",
                        engineConfig.bitbaseDirectory);
    } else if (IsOption(text, "MultiPV", value)) {
        char* end = nullptr;
        const long lines = std::strtol(value, &end, 10);
        if (end == value || *end != '\0' || lines < 1 || lines > MaxSearchLines)
            return OptionError(text, "takes 1 to 32");
        analysisLines = static_cast<int>(lines);
    } else if (IsOption(text, MateOption, value)) {
        if (std::strcmp(value, "0") != 0 && std::strcmp(value, "1") != 0)
            return OptionError(text, "takes 0 or 1");
        mateScoresInMoves = value[0] == '1';
    } else {
        OptionError(text, "unknown option");
    }
}

void PrintGameThinking(ThinkingKind kind, int depth, int score, int centiseconds, u64 nodes,
                       const char* line) {
    // Evaluations stay below 7800 and bitbase wins at 8001: anything beyond is a mate in plies.
    constexpr int HighestPlainScore = 8001, MateBase = 8100;
    if (mateScoresInMoves && kind != ThinkingKind::Restart) {
        if (score > HighestPlainScore && score <= MateBase)
            score = 100000 + (MateBase - score + 1) / 2;
        else if (score < -HighestPlainScore && score >= -MateBase)
            score = -100000 - (MateBase + score + 1) / 2;
    }
    PrintXboardThinking(kind, depth, score, centiseconds, nodes, line);
}

// Start-up: the xboard handshake with Zelmor's feature lines, the fixed tables, Zelmor.ini, the
// opening books and the endgame bitbases, and the report of what failed to load.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "book/book.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "search/search.h"

namespace {

constexpr const char* IniMissing = "ERROR: Zelmor.ini file cannot be opened.";
constexpr const char* BitbasesMissing =
    "EGBB ERROR: endgame bitbases not loaded. Check EGBB_PATH in 'Zelmor.ini' file.\n";

constexpr bool IsBlank(int c) { return c == ' ' || c == '\t'; }
constexpr bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The decimal integer at the start of a value: leading blanks skipped, optional sign, reading
// stops at the first non-digit, no digits = 0; saturated instead of overflowing.
i32 LeadingInt(const char* text) {
    while (IsSpace(static_cast<unsigned char>(*text))) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    i64 value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value <= (i64{1} << 31)) value = value * 10 + (*text - '0');
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<i32>(value);
}

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

EngineConfig engineConfig;

void OpenBooks(EngineConfig& config) {
    config.mainBookOpened = mainBook.open(config.bookDirectory);
    char second[sizeof config.bookDirectory + 4];
    std::snprintf(second, sizeof second, "%s2/", config.bookDirectory);
    secondBook.open(second);
}

namespace {

// The start-up report: standard output for an xboard interface. A UCI interface has no place for
// these lines: they go to the debug log alone, and the UCI front end tells the user what matters.
bool reportToLog;

void Report(const char* format, ...) {
    char line[ConfigLineLimit + 600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (reportToLog) {
        debugLog << line;
        debugLog.Flush();
    } else {
        std::fputs(line, stdout);
    }
}

// The interface's replies to the feature lines are read and dropped unchecked.
void DiscardTokens(int count) {
    char token[TokenCapacity];
    for (int i = 0; i < count; ++i)
        if (!ReadToken(token, sizeof token)) return;
}

}  // namespace

void CompleteDirectory(char* directory) {
    char* start = directory;
    while (IsBlank(static_cast<unsigned char>(*start))) ++start;
    std::size_t length = std::strlen(start);
    while (length > 0 && IsBlank(static_cast<unsigned char>(start[length - 1]))) --length;
    std::memmove(directory, start, length);
    directory[length] = '\0';
    // Windows-style directories already ended by '\' stay as they are.
    if (length > 0 && directory[length - 1] != '/' && directory[length - 1] != '\\') {
        directory[length] = '/';
        directory[length + 1] = '\0';
    }
}

ConfigKey ApplyConfigLine(const char* line, EngineConfig& config) {
    while (IsSpace(static_cast<unsigned char>(*line))) ++line;
    if (*line == '#') return ConfigKey::Comment;
    auto copyValue = [](char* target, const char* value) {
        std::strncpy(target, value, ConfigLineLimit);
        target[ConfigLineLimit] = '\0';
        CompleteDirectory(target);
    };
    if (StartsWith(line, "BOOK_PATH=")) {
        copyValue(config.bookDirectory, line + std::strlen("BOOK_PATH="));
        config.bookPathSeen = true;
        return ConfigKey::BookPath;
    }
    if (StartsWith(line, "EGBB_PATH=")) {
        copyValue(config.bitbaseDirectory, line + std::strlen("EGBB_PATH="));
        return ConfigKey::BitbasePath;
    }
    if (StartsWith(line, "EGBB_CACHE=")) {
        i32 megabytes = LeadingInt(line + std::strlen("EGBB_CACHE="));
        config.bitbaseCacheMb = megabytes < 0 ? 4 : megabytes;  // zero is kept (and warned about)
        return ConfigKey::BitbaseCache;
    }
    if (StartsWith(line, "EGBB_LOAD=")) {
        i32 mode = LeadingInt(line + std::strlen("EGBB_LOAD="));
        config.bitbaseLoadMode = mode < 0 || mode > 5 ? 1 : mode;
        return ConfigKey::BitbaseLoad;
    }
    return ConfigKey::None;
}

void ReadConfig(std::FILE* file, EngineConfig& config, bool openBooks) {
    char line[ConfigLineLimit + 1];
    for (;;) {
        // Whitespace first, so that blank lines are passed over and keys may be indented.
        int c;
        do c = std::fgetc(file);
        while (c != EOF && IsSpace(c));
        if (c == EOF) return;
        std::size_t length = 0;
        bool tooLong = false;
        for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
            if (length < ConfigLineLimit)
                line[length++] = static_cast<char>(c);
            else
                tooLong = true;
        }
        // A file written on Windows ends its lines with "\r\n".
        while (length > 0 && line[length - 1] == '\r') --length;
        line[length] = '\0';
        if (tooLong) {
            // A cut line could name the wrong directory: the whole line is ignored.
            debugLog.Line("Zelmor.ini: line longer than 4095 characters ignored");
            continue;
        }
        if (ApplyConfigLine(line, config) == ConfigKey::BookPath && openBooks) OpenBooks(config);
    }
}

bool EngineStartup(bool forUci) {
    reportToLog = forUci;
    // 1.-2. Replies reach the interface at once. Input needs no stdio mode: Zelmor reads fd 0
    // through its own buffer.
    EngineState = Playing;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::fflush(nullptr);

    // 3.-4. Handshake and the first feature lines (none for a UCI interface, which speaks first).
    bool xboard = false;
    if (!forUci) {
        char token[TokenCapacity] = "";
        ReadToken(token, sizeof token);
        xboard = std::strncmp(token, "xboard", 6) == 0;
        if (!xboard) std::printf("Engine works only with xboard protocol ver. 2\n");
        std::printf("\n");
        std::printf("feature %s=%s\n", "done", "0");
        if (xboard) DiscardTokens(2);
        std::printf("feature %s=%s\n", "setboard", "1");
        if (xboard) DiscardTokens(2);
    }

    // 5.-6. State and tables. Moves or "go" before the first "new" meet the initial position
    // rather than an empty board.
    EngineState = Playing;
    currentPly = &plyRecords[0];
    InitTables();
    SetBoard(StartFen);

    // 7. Configuration, books as BOOK_PATH lines are met, bitbases once the file is read.
    EngineConfig& config = engineConfig;
    config = EngineConfig{};
    std::FILE* file = std::fopen("Zelmor.ini", "r");
    if (!file) {
        Report("%s\n", IniMissing);
        if (!forUci) debugLog.Line(IniMissing);
    } else {
        ReadConfig(file, config, true);
    }
    if (config.bitbaseDirectory[0] != '\0')
        LoadBitbases(config.bitbaseDirectory, config.bitbaseCacheMb, config.bitbaseLoadMode);

    // 8.
    if (!forUci) std::printf("feature done=1\n");
    if (xboard) DiscardTokens(2);

    // 9.-10. Report what did not load.
    if (!config.bookPathSeen || !config.mainBookOpened) {
        Report("BOOK ERROR: %s\n", mainBook.errorText);
        if (!forUci) {
            debugLog << "BOOK ERROR: ";
            debugLog.Line(mainBook.errorText);
        }
    }
    if (!bitbasesLoaded) {
        Report("%s", BitbasesMissing);
        if (!forUci) debugLog << BitbasesMissing;
    } else {
        Report("EGBB_LOAD=%d\n", config.bitbaseLoadMode);
        if (config.bitbaseLoadMode < 1)
            Report("EGBB WARNING: EGBB_LOAD < 1 in 'Zelmor.ini' file.\n");
        Report("EGBB_CACHE=%d\n", config.bitbaseCacheMb);
        if (config.bitbaseCacheMb < 4)
            Report("EGBB WARNING: EGBB_CACHE < 4 in 'Zelmor.ini' file.\n");
    }

    // 11.
    if (file) std::fclose(file);
    return true;
}

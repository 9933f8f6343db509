// Start-up: the xboard handshake with Zelmor's feature lines, the fixed tables, Zelmor.ini, the
// opening books and the endgame bitbases, and the report of what failed to load.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

// A value that is a whole number of 1 or more and nothing else (blanks around it allowed),
// saturated to the 32-bit range; 0 for anything else.
i32 PositiveValue(const char* text) {
    while (IsSpace(static_cast<unsigned char>(*text))) ++text;
    if (*text == '+') ++text;
    if (*text < '0' || *text > '9') return 0;
    i64 value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value <= INT32_MAX) value = value * 10 + (*text - '0');
    while (IsSpace(static_cast<unsigned char>(*text))) ++text;
    if (*text != '\0') return 0;
    return value > INT32_MAX ? INT32_MAX : static_cast<i32>(value);
}

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

EngineConfig engineConfig;
void (*moreFeatureLines)();

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

enum class ConfigOpen { Opened, Absent, Failed };

// Opens one candidate Zelmor.ini. Only a missing file (or a missing directory on its way) counts
// as absent; anything else that keeps it from being read is reported with its path and reason.
// Special files are refused: a FIFO named Zelmor.ini would block start-up forever.
ConfigOpen OpenConfig(const char* path, std::FILE*& file) {
    file = nullptr;
    const char* reason = nullptr;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ConfigOpen::Absent;
        reason = std::strerror(errno);
    } else {
        struct stat status;
        if (fstat(fd, &status) != 0)
            reason = std::strerror(errno);
        else if (S_ISDIR(status.st_mode))
            reason = std::strerror(EISDIR);
        else if (!S_ISREG(status.st_mode))
            reason = "not a regular file";
        else if (fcntl(fd, F_SETFL, 0) != 0 || !(file = fdopen(fd, "r")))
            reason = std::strerror(errno);
        if (!file) close(fd);
    }
    if (file) return ConfigOpen::Opened;
    Report("ERROR: Zelmor.ini file cannot be opened: %s (%s)\n", path, reason);
    if (!reportToLog) {
        debugLog << "ERROR: Zelmor.ini file cannot be opened: " << path << " (" << reason << ")";
        debugLog.Line("");
    }
    return ConfigOpen::Failed;
}

// The directory of the installed default Zelmor.ini: the data directory found from the running
// binary, so that an installation works under any prefix (and under a staging DESTDIR).
bool InstalledDirectory(char* out, std::size_t size) {
#ifdef ZELMOR_DATA_FROM_BINARY
    char binary[PathLimit];
    ssize_t length = readlink("/proc/self/exe", binary, sizeof binary - 1);
    if (length <= 0) return false;
    binary[length] = '\0';
    char* slash = std::strrchr(binary, '/');
    if (!slash) return false;
    char joined[2 * PathLimit];
    std::snprintf(joined, sizeof joined, "%.*s/%s", static_cast<int>(slash - binary), binary,
                  ZELMOR_DATA_FROM_BINARY);
    char resolved[PATH_MAX];
    if (!realpath(joined, resolved)) return false;
    int written = std::snprintf(out, size, "%s/", resolved);
    return written > 0 && static_cast<std::size_t>(written) < size;
#else
    (void)out;
    (void)size;
    return false;
#endif
}

// Finds the Zelmor.ini to read: the working directory's; when there is none, the user's
// ($XDG_CONFIG_HOME/zelmor/, by default ~/.config/zelmor/), then the installed default. A file
// that exists but cannot be read is reported and the next place is tried. Sets the directory
// that relative directories in the file are taken from.
std::FILE* FindConfig(EngineConfig& config) {
    std::FILE* file = nullptr;
    if (OpenConfig("Zelmor.ini", file) == ConfigOpen::Opened) return file;
    char directory[PathLimit];
    char path[PathLimit + 16];
    for (int place = 0; place < 2; ++place) {
        bool known = place == 0
                         ? UserDirectory("XDG_CONFIG_HOME", ".config", directory, sizeof directory)
                         : InstalledDirectory(directory, sizeof directory);
        if (!known) continue;
        std::snprintf(path, sizeof path, "%sZelmor.ini", directory);
        if (OpenConfig(path, file) != ConfigOpen::Opened) continue;
        std::memcpy(config.baseDirectory, directory, sizeof config.baseDirectory);
        debugLog << "-M: Zelmor.ini read from " << path;
        debugLog.Line("");
        return file;
    }
    return nullptr;
}

// After "xboard" the interface names its protocol version. Anything else is a command of an
// interface that does not, and is handed to the loop rather than lost. The replies to the
// feature lines ("accepted", "rejected") are not waited for: the loop takes them whenever they
// come.
void ReadProtocolVersion() {
    char token[TokenCapacity];
    if (!ReadToken(token, sizeof token)) return;
    if (std::strcmp(token, "protover") == 0) {
        i32 version = 0;
        ReadInt(version, true);
        debugLog << "-M: protover " << version;
        debugLog.Line("");
        return;
    }
    std::memcpy(commandBuffer, token, sizeof commandBuffer);
    commandPending = true;
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
    auto copyValue = [&config](char* target, const char* value) {
        std::size_t base = 0;
        // A relative directory in a file outside the working directory means one beside it.
        while (IsBlank(static_cast<unsigned char>(*value))) ++value;
        if (config.baseDirectory[0] != '\0' && *value != '\0' && *value != '/') {
            base = std::strlen(config.baseDirectory);
            std::memcpy(target, config.baseDirectory, base);
        }
        std::strncpy(target + base, value, ConfigLineLimit);
        target[base + ConfigLineLimit] = '\0';
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
    if (StartsWith(line, "HASH_MB=")) {
        const i32 megabytes = PositiveValue(line + std::strlen("HASH_MB="));
        if (megabytes > 0) config.hashMb = megabytes;
        config.hashValueBad = megabytes == 0;
        return ConfigKey::HashSize;
    }
    if (StartsWith(line, "THREADS=")) {
        const i32 threads = PositiveValue(line + std::strlen("THREADS="));
        if (threads > 0) config.threads = ClampSearchThreads(threads);
        config.threadsValueBad = threads == 0;
        return ConfigKey::Threads;
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
        if (xboard) ReadProtocolVersion();
        std::printf("feature %s=%s\n", "setboard", "1");
    }

    // 5.-6. State and tables. Moves or "go" before the first "new" meet the initial position
    // rather than an empty board.
    EngineState = Playing;
    InitEngineTables();
    SetBoard(StartFen);

    // 7. Configuration, books as BOOK_PATH lines are met, bitbases once the file is read.
    EngineConfig& config = engineConfig;
    config = EngineConfig{};
    std::FILE* file = FindConfig(config);
    if (!file) {
        Report("%s\n", IniMissing);
        if (!forUci) debugLog.Line(IniMissing);
    } else {
        ReadConfig(file, config, true);
        if (std::ferror(file)) {
            Report("ERROR: Zelmor.ini file could not be read to its end.\n");
            if (!forUci) debugLog.Line("ERROR: Zelmor.ini file could not be read to its end.");
        }
    }
    if (config.bitbaseDirectory[0] != '\0')
        LoadBitbases(config.bitbaseDirectory, config.bitbaseCacheMb, config.bitbaseLoadMode);
    // Threads and table: with neither key, one thread and the default table, as ever.
    searchThreadCount = config.threads > 0 ? config.threads : 1;
    requestedSearchThreads = 0;
    const bool tableSized = config.hashMb > 0
                                ? SetHashMegabytes(static_cast<u64>(config.hashMb))
                                : hashTable.bits == DefaultHashBits || SetHashSize(DefaultHashBits);
    if (config.hashMb > 0 || config.threads > 0) {
        debugLog << "-M: table of " << HashTableBytes() << " bytes, " << searchThreadCount
                 << " search threads";
        debugLog.Line("");
    }

    // 8. The front end's further feature lines come last before "done=1".
    if (!forUci && moreFeatureLines) moreFeatureLines();
    if (!forUci) std::printf("feature done=1\n");

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

    if (config.hashValueBad)
        Report(
            "HASH WARNING: HASH_MB in 'Zelmor.ini' file is not a number of 1 or more, "
            "ignored.\n");
    if (!tableSized)
        Report("HASH ERROR: not enough memory for HASH_MB=%d, the table stays at %llu MB.\n",
               config.hashMb, static_cast<unsigned long long>(CurrentHashMegabytes()));
    if (config.threadsValueBad)
        Report(
            "THREADS WARNING: THREADS in 'Zelmor.ini' file is not a number of 1 or more, "
            "ignored.\n");

    // A log that could be written nowhere is the last thing reported (by the UCI front end as an
    // info string).
    if (debugLog.Failure()[0] != '\0' && !forUci)
        std::printf("LOG ERROR: %s\n", debugLog.Failure());

    // 11.
    if (file) std::fclose(file);
    return true;
}

// The UCI front end fed an arbitrary stream of lines on file descriptor 0, the way an interface
// sends them: position set-ups, "go" with any parameters, options with odd names and values, and
// commands that arrive while a search runs (the search polls after a few dozen nodes). Every "go"
// is held to three iterations, so each search ends after a few hundred nodes whatever its clock
// says; directories stay inside the scratch directory. The end of the input acts as "quit".
//
// The engine is started once. Each input then begins from the initial position with the UCI
// state of a fresh start; the game is taken back rather than set up again, so the table is not
// cleared for every input (a "position fen" in the input still clears it, as it does in play).
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "eval/eval.h"
#include "fuzz_support.h"
#include "search/search.h"
#include "uci/uci.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

constexpr u32 FirstPollNodes = 48;  // input during a search is read this early
u64 startKey;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string TameWord(std::string word) {
    for (std::size_t at; (at = word.find("..")) != std::string::npos;) word.replace(at, 2, "__");
    if (!word.empty() && word[0] == '/') word[0] = '_';
    return word;
}

// One line: directories made relative and harmless; a "go" (the first command word of the line,
// as the front end finds it) gets a depth of three appended, which overrides any earlier depth.
std::string TameLine(const std::string& line) {
    static const char* const Verbs[] = {"uci",        "debug",     "isready", "setoption",
                                        "register",   "position",  "go",      "stop",
                                        "ucinewgame", "ponderhit", "quit"};
    std::string out;
    bool verbSeen = false;
    bool isGo = false;
    std::size_t at = 0;
    while (at < line.size()) {
        if (IsBlank(line[at])) {
            out += line[at++];
            continue;
        }
        std::size_t end = at;
        while (end < line.size() && !IsBlank(line[end])) ++end;
        const std::string word = line.substr(at, end - at);
        if (!verbSeen) {
            for (const char* verb : Verbs) {
                if (word == verb) {
                    verbSeen = true;
                    isGo = word == "go";
                }
            }
        }
        out += TameWord(word);
        at = end;
    }
    if (isGo) out += " depth 3";
    return out;
}

std::string TameStream(const std::string& input) {
    std::string out;
    std::size_t at = 0;
    while (at <= input.size()) {
        std::size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        out += TameLine(input.substr(at, end - at));
        if (end < input.size()) out += '\n';
        at = end + 1;
    }
    return out;
}

// Back to the initial position of a fresh start without clearing the table when the last input
// only played moves from there.
void BackToStart() {
    TakeBackPonderMove();
    while (TakeBackGameMove(1)) {
    }
    if (pos.key != startKey || gamePly != 1) SetBoard(StartFen);
    ResetSearchTables();
    ClearPawnHash();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
    // No Zelmor.ini of the user's or the installed one is read: the scratch directory is home.
    setenv("HOME", zelmor_fuzz::ScratchDir().c_str(), 1);
    setenv("XDG_CONFIG_HOME", zelmor_fuzz::ScratchDir().c_str(), 1);
    int fd = memfd_create("zelmor-fuzz-empty", 0);
    if (fd < 0) __builtin_trap();
    dup2(fd, 0);
    close(fd);
    ResetInput();
    EngineStartup(true);
    startKey = pos.key;
    firstPoll = FirstPollNodes;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string input = TameStream(std::string(reinterpret_cast<const char*>(data), size));

    // 1. The input as standard input.
    int fd = memfd_create("zelmor-fuzz-input", 0);
    if (fd < 0) __builtin_trap();
    if (!input.empty() &&
        write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        __builtin_trap();
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    ResetInput();

    // 2. What a freshly started engine would hold.
    BackToStart();
    EngineState = Playing;
    ponderMove = 0;
    ponderEnabled = false;
    commandPending = false;
    pendingStopsSearch = false;
    stopSearch = false;
    shallowRestartAllowed = true;
    timeForMove = 0;
    movesPerSession = 35;
    incrementMs = 0;
    movesToGo = 35;
    hashAge = 1;
    searchLimits = SearchLimits{};
    engineConfig = EngineConfig{};
    mainBook.close();
    secondBook.close();
    mainBook.directory[0] = secondBook.directory[0] = '\0';
    mainBook.errorText[0] = secondBook.errorText[0] = '\0';

    UciCommands();
    return 0;
}

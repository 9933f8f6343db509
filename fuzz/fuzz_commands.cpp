// The command loop fed an arbitrary token stream on file descriptor 0, the way an interface or
// an operator types it. The stream is first made finite in time, without losing its shape:
// clock reports and "level" become a tiny fixed clock, "perft" a shallow count and "test" (a
// practically unlimited clock) a "new"; file names stay inside the scratch directory. The end of
// the input acts as "quit", so every input ends the loop.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "book/book.h"
#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "fuzz_support.h"
#include "xboard/xboard.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Tame(const std::string& token) {
    if (token == "test") return "new";
    if (token == "perft") return "perft 2";
    if (token.rfind("time", 0) == 0) return "time 30";
    if (token.rfind("level", 0) == 0) return "level 0 0 0";
    std::string safe = token;
    for (std::size_t at; (at = safe.find("..")) != std::string::npos;) safe.replace(at, 2, "__");
    if (!safe.empty() && safe[0] == '/') safe[0] = '_';
    return safe;
}

std::string TameStream(const std::string& input) {
    std::string out;
    std::size_t at = 0;
    while (at < input.size()) {
        if (IsSpace(input[at])) {
            out += input[at++];
            continue;
        }
        std::size_t end = at;
        while (end < input.size() && !IsSpace(input[end])) ++end;
        out += Tame(input.substr(at, end - at));
        at = end;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
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

    // 2. What one process run would start with.
    zelmor_fuzz::ClearScratch();
    ponderMove = 0;
    commandPending = false;
    pendingStopsSearch = false;
    stopSearch = false;
    timeForMove = 0;
    movesPerSession = 35;
    incrementMs = 0;
    movesToGo = 35;
    gamePly = 1;
    hashAge = 1;
    analysing = false;
    analysisDue = false;
    searchLimits = SearchLimits{};
    SetPostThinking(true);

    CommandLoop();

    mainBook.close();
    secondBook.close();
    return 0;
}

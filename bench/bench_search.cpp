// Search benchmark and signature: every position of the signature list searched to a fixed
// iteration depth (fresh table per position, no clock, no input), then the "test" position
// under a clock until the mate in seven starting 1.f6 is found.
//
//   bench_search [depth] [--verbose] [--signature-only]
//
// depth defaults to the signature depth; --signature-only leaves out the "test" position (a short,
// fully repeatable run, for instruction counts and for training the profile-guided build).
//
// Prints the summed nodeCount (the signature kept in tests/bench.sig), the node rates with and
// without quiescence moves, and the allocations made while searching (there must be none).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "../tests/search/bench_positions.h"

namespace {

bool searching = false;
u64 allocationsWhileSearching = 0;

// The engine's own thinking lines would drown the figures: they go to a scratch file, read back
// for the "test" position.
struct QuietStdout {
    int saved = -1;
    std::FILE* scratch = nullptr;
    QuietStdout() {
        std::fflush(stdout);
        scratch = std::tmpfile();
        saved = dup(1);
        if (scratch && saved >= 0) dup2(fileno(scratch), 1);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, 1);
            close(saved);
        }
        if (scratch) std::fclose(scratch);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;
};

// Processor time of this process: the rates stay meaningful on a machine shared with other jobs.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

constexpr u32 SignatureDepth = 8;

// Compares the total with the one recorded for this depth in tests/bench.sig.
const char* RecordedSignatureCheck(u32 depth, u64 nodes) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s", __FILE__);
    char* slash = std::strrchr(path, '/');
    if (!slash) return "not found";
    std::snprintf(slash, sizeof path - (slash - path), "/../tests/bench.sig");
    std::FILE* file = std::fopen(path, "r");
    if (!file) return "not found";
    const char* verdict = "no entry for this depth";
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        unsigned recordedDepth = 0;
        unsigned long long recorded = 0;
        if (std::sscanf(line, "depth %u nodes %llu", &recordedDepth, &recorded) == 2 &&
            recordedDepth == depth)
            verdict = recorded == nodes ? "matches" : "DIFFERS";
    }
    std::fclose(file);
    return verdict;
}

}  // namespace

void* operator new(std::size_t size) {
    if (searching) ++allocationsWhileSearching;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    u32 depth = SignatureDepth;
    bool verbose = false;
    bool signatureOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
        else if (std::strcmp(argv[i], "--signature-only") == 0)
            signatureOnly = true;
        else if (std::atoi(argv[i]) > 0)
            depth = static_cast<u32>(std::atoi(argv[i]));
    }
    SetUpSearchTablesOnce();

    // 1. Signature: fixed depth over the whole list
    u64 nodes = 0, allNodes = 0;
    double seconds = 0;
    for (const char* fen : BenchPositions) {
        FixedDepthResult result;
        double took = 0;
        {
            QuietStdout quiet;
            PrepareFixedDepth(fen, depth);  // clearing the 72 MiB table is not search time
            const double start = CpuSeconds();
            searching = true;
            result = RunFixedDepth();
            searching = false;
            took = CpuSeconds() - start;
        }
        seconds += took;
        nodes += result.nodes;
        allNodes += result.allNodes;
        if (verbose) {
            char text[8] = "-";
            if (!IsMarker(result.move) && result.move) MoveToText(result.move, text);
            std::printf("%-70s %-6s %6d %10u %11llu %7.2fs\n", fen, text, result.score,
                        result.nodes, static_cast<unsigned long long>(result.allNodes), took);
        }
    }
    std::printf("positions: %zu, depth: %u\n", std::size(BenchPositions), depth);
    std::printf("signature (nodeCount total): %llu\n", static_cast<unsigned long long>(nodes));
    std::printf("all nodes (with quiescence): %llu\n", static_cast<unsigned long long>(allNodes));
    std::printf("tests/bench.sig: %s\n", RecordedSignatureCheck(depth, nodes));
    std::printf("processor time: %.2f s\n", seconds);
    std::printf("nodeCount/s: %.0f\n", nodes / seconds);
    std::printf("all nodes/s: %.0f\n", allNodes / seconds);
    if (signatureOnly) {
        std::printf("allocations while searching: %llu\n",
                    static_cast<unsigned long long>(allocationsWhileSearching));
        return 0;
    }

    // 2. The "test" position under a one-minute clock: how long until 1.f6 mates.
    SetBoard(TestPosition);
    EngineState = Thinking;
    stopSearch = false;
    commandPending = false;
    movesPerSession = 1;
    movesToGo = 1;
    timeForMove = 60000;
    maxDepth = 127;
    firstPoll = UINT32_MAX;
    char lines[1 << 16] = {};
    const double start = CpuSeconds();
    SearchResult result;
    {
        QuietStdout quiet;
        searchStart = Now();
        searching = true;
        result = SearchIterative();
        searching = false;
        std::fflush(stdout);
        if (quiet.scratch) {
            std::rewind(quiet.scratch);
            std::fread(lines, 1, sizeof lines - 1, quiet.scratch);
        }
    }
    const double took = CpuSeconds() - start;
    firstPoll = 16384;
    std::printf(
        "test position: %llu nodeCount, %llu all nodes in %.2f s: %.0f nodeCount/s, "
        "%.0f all nodes/s\n",
        static_cast<unsigned long long>(worker.nodeCount),
        static_cast<unsigned long long>(worker.nodeCount + worker.quiesceNodeCount), took,
        worker.nodeCount / took, (worker.nodeCount + worker.quiesceNodeCount) / took);
    bool found = false;
    for (char* line = std::strtok(lines, "\n"); line; line = std::strtok(nullptr, "\n")) {
        int ply = 0, score = 0, centiseconds = 0;
        unsigned lineNodes = 0;
        char first[16] = {};
        if (verbose) std::printf("%s\n", line);
        if (std::sscanf(line, "%d %d %d %u %15s", &ply, &score, &centiseconds, &lineNodes, first) !=
            5)
            continue;
        if (!found && score > 8050 && std::strcmp(first, "f5f6") == 0) {
            // The engine's clock is wall time; at an even node rate the processor time is
            // proportional to the nodes.
            std::printf(
                "1.f6 mate found: depth %d, score %d, %u nodeCount, %.2f s on the "
                "clock, about %.2f s of processor time\n",
                ply, score, lineNodes, centiseconds / 100.0,
                took * lineNodes / (worker.nodeCount ? worker.nodeCount : 1));
            found = true;
        }
    }
    if (!found) {
        char text[8] = "-";
        if (!IsMarker(result.move) && result.move) MoveToText(result.move, text);
        std::printf("1.f6 mate not found within the clock (played %s, score %d)\n", text,
                    result.score);
    }
    std::printf("allocations while searching: %llu\n",
                static_cast<unsigned long long>(allocationsWhileSearching));
    return 0;
}

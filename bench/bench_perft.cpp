// Perft throughput: moves made per second (every move is made and taken back, no bulk counting),
// for the start position at depth 6 and Kiwipete at depth 5, one Perft call per iteration.
// The rate is taken over this thread's CPU time, so that other work on a shared machine does not
// distort it; the wall-clock rate is printed beside it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "board/board.h"
#include "engine/engine.h"
#include "search/search.h"
#include "tools/tools.h"

namespace {

constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";

void Prepare(const char* fen) {
    static const bool tables = [] {
        InitEngineTables();
        return true;
    }();
    (void)tables;
    SetBoard(fen);
    worker.plyRecords[0].moveListEnd = worker.moveStack;
    worker.currentPly = &worker.plyRecords[1];
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void PerftThroughput(benchmark::State& state, const char* fen, int depth) {
    Prepare(fen);
    u64 made = 0, counted = 0;
    double seconds = 0, wall = 0;
    for (auto _ : state) {
        worker.nodeCount = 0;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        const u64 count = Perft(depth);
        seconds += ThreadSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(count);
        made += worker.nodeCount;  // one Perft call stays well below 2^32 moves
        counted += count;
    }
    worker.currentPly = &worker.plyRecords[0];
    state.counters["moves_per_s"] = benchmark::Counter(static_cast<double>(made) / seconds);
    state.counters["moves"] = static_cast<double>(made / state.iterations());
    state.counters["nodes"] = static_cast<double>(counted / state.iterations());
    std::printf("%s depth %d: %" PRIu64 " moves made, %" PRIu64
                " counted, %.1f million moves/s (CPU time), %.1f million moves/s (wall clock)\n",
                fen, depth, made / state.iterations(), counted / state.iterations(),
                static_cast<double>(made) / seconds / 1e6, static_cast<double>(made) / wall / 1e6);
}

}  // namespace

BENCHMARK_CAPTURE(PerftThroughput, StartDepth6, StartFen, 6)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(PerftThroughput, KiwipeteDepth5, Kiwipete, 5)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

BENCHMARK_MAIN();

// Bitbase probes per second with every 3-man table already in the plug-in's cache: straight
// through the plug-in's entry point over many scattered positions, and through ProbeBitbase
// (encoding and score compression included) on positions the search would meet.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "egbb/egbb.h"
#include "engine/engine.h"

#ifndef ZELMOR_EGBB_MODULE_DIR
#define ZELMOR_EGBB_MODULE_DIR ""
#endif

namespace {

struct Probe {
    int side, whiteKing, blackKing, man, square;
};

std::vector<Probe> probes;

// Loads the plug-in once and collects every answered position with one man, in a fixed
// shuffled order so that consecutive probes rarely share a table block.
bool Prepare() {
    static bool ready = false;
    if (ready) return true;
    if (std::string(ZELMOR_EGBB_MODULE_DIR).empty()) return false;
    InitEngineTables();
    LoadBitbases(ZELMOR_EGBB_MODULE_DIR "/", 4, 1);
    if (!bitbasesLoaded) return false;
    for (int man : {2, 3, 4, 5, 6, 8, 9, 12}) {
        for (int side = 0; side < 2; ++side)
            for (int wk = 0; wk < 64; wk += 3)
                for (int bk = 1; bk < 64; bk += 3)
                    for (int s = 0; s < 64; s += 2)
                        if (bitbaseProbe(side, wk, bk, man, s, 0, 0, 0, 0) != BitbaseNoAnswer)
                            probes.push_back({side, wk, bk, man, s});
    }
    std::shuffle(probes.begin(), probes.end(), std::mt19937(20240601));
    ready = !probes.empty();
    return ready;
}

void BM_PluginProbeCached(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("bitbase plug-in not built or not loadable");
        return;
    }
    std::size_t i = 0;
    long long sum = 0;
    for (auto _ : state) {
        const Probe& p = probes[i];
        sum += bitbaseProbe(p.side, p.whiteKing, p.blackKing, p.man, p.square, 0, 0, 0, 0);
        if (++i == probes.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
    state.counters["positions"] = static_cast<double>(probes.size());
}
BENCHMARK(BM_PluginProbeCached);

void BM_ProbeBitbaseLivePosition(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("bitbase plug-in not built or not loadable");
        return;
    }
    static const char* const Fens[] = {
        "4k3/8/8/8/8/8/8/3QK3 w - -", "8/8/3k4/8/8/2R5/8/4K3 b - -", "4k3/8/4K3/4P3/8/8/8/8 w - -",
        "8/8/8/8/2k5/8/p7/4K3 b - -", "k7/8/2K5/P7/8/8/8/8 w - -",   "8/5k2/8/8/3N4/8/8/1K6 w - -",
    };
    Position snapshots[std::size(Fens)];
    for (std::size_t f = 0; f < std::size(Fens); ++f) {
        SetBoard(Fens[f]);
        snapshots[f] = pos;
    }
    // A new position every 1024 probes: restoring it costs next to nothing per probe.
    std::size_t n = 0;
    long long sum = 0;
    for (auto _ : state) {
        if ((n & 1023) == 0) pos = snapshots[(n >> 10) % std::size(Fens)];
        ++n;
        sum += ProbeBitbase();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProbeBitbaseLivePosition);

}  // namespace

BENCHMARK_MAIN();

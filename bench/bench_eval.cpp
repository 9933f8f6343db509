// Evaluations per second over a fixed set of positions, with the pawn hash warm (as in a
// search, where most pawn structures repeat) and cold (every call computes its pawns).
#include <benchmark/benchmark.h>

#include <iterator>

#include "board/board.h"
#include "engine/engine.h"
#include "eval/eval.h"

namespace {

const char* const Positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "2r3k1/1q3ppp/8/3p4/3P4/8/5PPP/1Q1R2K1 b - -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "6k1/5ppp/8/3N4/8/8/5PPP/3R2K1 w - -",
    "8/8/4k3/8/2p5/8/B2K4/8 b - -",
};

// The live position of each test position, set up once and copied back before each call.
Position snapshots[std::size(Positions)];

void Prepare() {
    static bool ready = false;
    if (ready) return;
    InitEngineTables();
    for (std::size_t i = 0; i < std::size(Positions); ++i) {
        SetBoard(Positions[i]);
        snapshots[i] = pos;
    }
    ready = true;
}

void BM_EvaluateWarmPawnHash(benchmark::State& state) {
    Prepare();
    std::size_t i = 0;
    for (auto _ : state) {
        pos = snapshots[i];
        benchmark::DoNotOptimize(Evaluate());
        if (++i == std::size(Positions)) i = 0;
    }
    state.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateWarmPawnHash);

void BM_EvaluateColdPawnHash(benchmark::State& state) {
    Prepare();
    std::size_t i = 0;
    for (auto _ : state) {
        pos = snapshots[i];
        PawnHash[pos.pawnKey & (PawnHashSize - 1)] = 0;  // force the pawn computation
        benchmark::DoNotOptimize(Evaluate());
        if (++i == std::size(Positions)) i = 0;
    }
    state.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateColdPawnHash);

}  // namespace

BENCHMARK_MAIN();

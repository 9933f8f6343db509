// Search threads against one: every position of the signature list searched to a fixed iteration
// depth with one thread and then with N (fresh table each time, no clock, no input), in wall time.
//
//   bench_threads [depth] [threads]        (defaults: depth 12, 2 threads)
//
// Prints per position the wall seconds to finish the depth with 1 and N threads and the node
// counts (thread 0's and the helpers'), then the rate over all positions (nodes per wall second,
// N threads against 1) and the median of the per-position time ratios. On a shared machine the
// figures only mean something with the processors otherwise idle.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "../tests/search/bench_positions.h"

namespace {

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

struct Run {
    double seconds;
    u64 nodes;
};

Run Search(const char* fen, u32 depth, int threads) {
    searchThreadCount = threads;
    std::FILE* saved = stdout;
    stdout = std::fopen("/dev/null", "w");  // the engine's thinking lines are not wanted here
    PrepareFixedDepth(fen, depth);
    const double start = WallSeconds();
    RunFixedDepth();
    const double took = WallSeconds() - start;
    std::fclose(stdout);
    stdout = saved;
    return {took, SearchNodes()};
}

}  // namespace

int main(int argc, char** argv) {
    const u32 depth =
        argc > 1 && std::atoi(argv[1]) > 0 ? static_cast<u32>(std::atoi(argv[1])) : 12;
    const int threads = argc > 2 ? std::clamp(std::atoi(argv[2]), 2, MaxSearchThreads) : 2;
    SetUpSearchTablesOnce();
    double seconds1 = 0, secondsN = 0;
    u64 nodes1 = 0, nodesN = 0;
    std::vector<double> ratios;
    for (const char* fen : BenchPositions) {
        const Run one = Search(fen, depth, 1);
        const Run many = Search(fen, depth, threads);
        seconds1 += one.seconds;
        secondsN += many.seconds;
        nodes1 += one.nodes;
        nodesN += many.nodes;
        ratios.push_back(many.seconds / one.seconds);
        std::printf("%-72.72s %7.2fs %7.2fs %11llu %11llu\n", fen, one.seconds, many.seconds,
                    static_cast<unsigned long long>(one.nodes),
                    static_cast<unsigned long long>(many.nodes));
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios.size() % 2
                              ? ratios[ratios.size() / 2]
                              : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    searchThreadCount = 1;
    std::printf("positions: %zu, depth: %u, threads: %d\n", std::size(BenchPositions), depth,
                threads);
    std::printf("1 thread: %.1f s, %.0f nodes/s\n", seconds1, nodes1 / seconds1);
    std::printf("%d threads: %.1f s, %.0f nodes/s\n", threads, secondsN, nodesN / secondsN);
    std::printf("nodes/s ratio, %d threads to 1: %.2f\n", threads,
                (nodesN / secondsN) / (nodes1 / seconds1));
    std::printf("time to depth %u, median ratio %d threads to 1: %.2f\n", depth, threads, median);
    return 0;
}

// Several search threads probe the bitbases at once: every thread must get the answers one thread
// gets alone, for the same positions probed together and for different ones. Skipped when the
// plug-in was not built.
#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "egbb/egbb.h"
#include "egbb_test_support.h"

namespace {

struct Probe {
    int side, whiteKing, blackKing, man, square;
};

// Three-man positions of every kind the tables hold, spread over the board: queen, rook and
// pawn of either colour, both sides to move. Illegal ones (touching kings, a man on a king)
// are kept: their "no answer" must not change either.
std::vector<Probe> Positions() {
    constexpr std::array<int, 5> Men = {2, 3, 6, 8, 12};  // Q, R, P white; Q, P black
    std::vector<Probe> probes;
    for (int whiteKing = 0; whiteKing < 64; whiteKing += 9)
        for (int blackKing = 63; blackKing >= 0; blackKing -= 11)
            for (int man : Men)
                for (int square = 8; square < 56; square += 7)
                    for (int side = 0; side < 2; ++side)
                        probes.push_back({side, whiteKing, blackKing, man, square});
    return probes;
}

int Ask(const Probe& p) {
    return bitbaseProbe(p.side, p.whiteKing, p.blackKing, p.man, p.square, 0, 0, 0, 0);
}

TEST(ConcurrentProbes, ThreadsGetTheAnswersOneThreadGets) {
    if (ModuleDirectory().empty()) GTEST_SKIP() << "bitbase plug-in not built (no Gaviota)";
    // A small cache, so that the threads also evict and reload blocks under each other.
    LoadBitbases(ModuleDirectory().c_str(), 1, 1);
    ASSERT_TRUE(bitbasesLoaded);
    const std::vector<Probe> probes = Positions();
    std::vector<int> expected;
    int wins = 0, draws = 0;
    for (const Probe& p : probes) {
        expected.push_back(Ask(p));
        wins += expected.back() > 7000 && expected.back() != BitbaseNoAnswer;
        draws += expected.back() == 0;
    }
    // The positions must exercise the tables, not only the plug-in's refusals.
    ASSERT_GT(wins, 100);
    ASSERT_GT(draws, 100);

    // Threads 0 and 1 walk the list in step (the same positions at once), the others from
    // their own starting points.
    constexpr int Threads = 4, Rounds = 20;
    std::array<int, Threads> wrong{};
    std::vector<std::thread> threads;
    const std::size_t n = probes.size();
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            const std::size_t start = t < 2 ? 0 : n * t / Threads;
            for (int round = 0; round < Rounds; ++round)
                for (std::size_t i = 0; i < n; ++i) {
                    const std::size_t k = (start + i) % n;
                    if (Ask(probes[k]) != expected[k]) ++wrong[t];
                }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < Threads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace

// Helper search threads: they share the table, search beside thread 0 and stop with it, leave
// the root's table entry to thread 0 and honour the front end's root restriction. Run under
// ThreadSanitizer too.
#include "search/threads.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "search/bench_positions.h"

namespace {

std::string Text(Move move) {
    char buffer[8];
    MoveToText(move, buffer);
    return buffer;
}

class Threads : public ::testing::Test {
protected:
    void TearDown() override {
        searchThreadCount = 1;
        rootMoveBarred = nullptr;
    }
    static FixedDepthResult Quiet(const char* fen, u32 depth) {
        testing::internal::CaptureStdout();
        const FixedDepthResult result = SearchFixedDepth(fen, depth);
        testing::internal::GetCapturedStdout();
        return result;
    }
};

TEST_F(Threads, HelpersSearchBesideThreadZeroAndStopWithIt) {
    searchThreadCount = 3;
    const FixedDepthResult result = Quiet(BenchPositions[0], 7);
    EXPECT_GT(HelperNodes(), 0u);
    EXPECT_EQ(SearchNodes(), worker.nodeCount + HelperNodes());
    // Stopped and idle once the search has returned: their count no longer moves.
    const u64 after = HelperNodes();
    usleep(20000);
    EXPECT_EQ(HelperNodes(), after);
    // The move played is the root entry thread 0 wrote, and a legal one.
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(entry.move, result.move);
    EXPECT_TRUE(IsMoveValid(result.move));

    // Back to one thread: the same counts as a search that never had helpers.
    searchThreadCount = 1;
    const FixedDepthResult one = Quiet(BenchPositions[1], 6);
    EXPECT_EQ(HelperNodes(), 0u);
    EXPECT_EQ(SearchNodes(), worker.nodeCount);
    searchThreadCount = 3;
    Quiet(BenchPositions[0], 6);
    searchThreadCount = 1;
    EXPECT_EQ(Quiet(BenchPositions[1], 6).nodes, one.nodes);
}

// Helpers are stopped in the middle of their search when thread 0 is done: the values their
// aborted nodes return must never reach the table as scores (the store clamps to +-8190, the
// abort value; no real score comes near it).
TEST_F(Threads, StoppedHelpersStoreNoAbortedValue) {
    searchThreadCount = 2;
    for (const char* fen : BenchPositions) {
        Quiet(fen, 6);
        const u32* word = hashTable.words;
        for (u64 b = 0; b < hashTable.bucketCount; ++b, word += HashBucketWords)
            for (int i = 0; i < HashSlots; ++i) {
                if (word[3 * i + 2] == 0) continue;  // an empty slot
                const int score = static_cast<int>(word[3 * i + 2] >> 18) - 8190;
                ASSERT_LT(std::abs(score), 8190) << fen;
            }
    }
}

// Every move but one ruled out: the helpers, which rank the others higher, must not bring them
// back through the root's table entry.
Move allowed = 0;
bool AllButOne(Move move) { return move != allowed; }

TEST_F(Threads, HelpersHonourTheRootRestriction) {
    const char* fen = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -";  // a1a8 mates
    SetBoard(fen);
    allowed = 0;
    ScoredMove list[MaxGeneratedMoves];
    const ScoredMove* end = GenerateLegalMoves(list);
    for (const ScoredMove* p = list; p < end; ++p)
        if (Text(p->move) == "h2h3") allowed = p->move;
    ASSERT_NE(allowed, 0);
    searchThreadCount = 2;
    rootMoveBarred = AllButOne;
    const FixedDepthResult result = Quiet(fen, 10);
    EXPECT_EQ(Text(result.move), "h2h3");
    // What the helpers were handed: the restriction as thread 0's hook answered it.
    EXPECT_TRUE(HelperRootRestricted());
    EXPECT_FALSE(HelperRootBarred(allowed));
    for (const ScoredMove* p = list; p < end; ++p)
        EXPECT_EQ(HelperRootBarred(p->move), p->move != allowed) << Text(p->move);
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(Text(entry.move), "h2h3");
}

}  // namespace

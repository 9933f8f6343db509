#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "movegen/test_helpers.h"
#include "search/search.h"
#include "tools/tools.h"

using namespace testing_support;

namespace {

// Checked builds (asserts or sanitizers) are several times slower: they count smaller trees.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr u64 QuickLimit = 300'000;
#else
constexpr u64 QuickLimit = 6'000'000;  // start position to depth 5 included
#endif

struct SuiteRow {
    int depth;
    u64 cumulative;
};

void ReadSuiteFile(const char* name,
                   std::vector<std::pair<std::string, std::vector<SuiteRow>>>& suite) {
    std::ifstream in(std::string(ZELMOR_TEST_DATA) + name);
    EXPECT_TRUE(in.good()) << "cannot read " << name;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string fen, depth, leaf, cumulative;
        std::getline(fields, fen, '\t');
        std::getline(fields, depth, '\t');
        std::getline(fields, leaf, '\t');
        std::getline(fields, cumulative, '\t');
        if (suite.empty() || suite.back().first != fen) suite.push_back({fen, {}});
        suite.back().second.push_back({std::stoi(depth), std::stoull(cumulative)});
    }
}

// perft.tsv: fen, depth, leaf count, cumulative count; every depth 1..D of a position in order.
// perft_edges.tsv, in the same form: checks by a pawn's double step next to the king on the a-
// and h-files, answered by taking it en passant (counted by an independent move generator).
std::vector<std::pair<std::string, std::vector<SuiteRow>>> ReadSuite() {
    std::vector<std::pair<std::string, std::vector<SuiteRow>>> suite;
    for (const char* name : {"/perft.tsv", "/perft_edges.tsv"}) ReadSuiteFile(name, suite);
    return suite;
}

struct PerftOutput {
    std::string head;
    std::vector<std::pair<int, u64>> rows;  // depth, count
    std::vector<double> seconds;
    std::string totalLine, movesLine;
    std::string text;
};

PerftOutput RunCaptured(i32 depth) {
    testing::internal::CaptureStdout();
    RunPerft(depth);
    PerftOutput out;
    out.text = testing::internal::GetCapturedStdout();
    std::istringstream lines(out.text);
    std::getline(lines, out.head);
    std::string line;
    while (std::getline(lines, line)) {
        int d;
        double seconds;
        unsigned long long count;
        if (std::sscanf(line.c_str(), "%d\t%lf\t%llu", &d, &seconds, &count) == 3 &&
            line.find("total") == std::string::npos) {
            out.rows.push_back({d, count});
            out.seconds.push_back(seconds);
        } else if (out.totalLine.empty()) {
            out.totalLine = line;
        } else {
            out.movesLine = line;
        }
    }
    return out;
}

// Runs "perft" once per position to the deepest row within the limit and checks every row,
// the total line and the moves-made line.
void CheckSuite(u64 limit) {
    int checked = 0;
    for (const auto& [fen, rows] : ReadSuite()) {
        int depth = 0;
        for (const SuiteRow& row : rows)
            if (row.cumulative <= limit) depth = row.depth;
        if (depth == 0) continue;
        Load(fen.c_str());
        const PerftOutput out = RunCaptured(depth);
        EXPECT_EQ(out.head, "ply\tduration\tnodes") << fen;
        ASSERT_EQ(out.rows.size(), static_cast<size_t>(depth)) << fen << "\n" << out.text;
        u64 total = 0;
        for (int d = 1; d <= depth; ++d) {
            EXPECT_EQ(out.rows[d - 1].first, d) << fen;
            EXPECT_EQ(out.rows[d - 1].second, rows[d - 1].cumulative) << fen << " depth " << d;
            total += out.rows[d - 1].second;
            ++checked;
        }
        EXPECT_EQ(out.totalLine, "total nodes: " + std::to_string(total)) << fen;
        EXPECT_EQ(out.movesLine, "(total moves[32]: " + std::to_string(worker.nodeCount) + ")")
            << fen;
        EXPECT_GE(u64{worker.nodeCount}, total) << fen;  // illegal moves are made too
        char written[128];
        WriteFen(written);
        EXPECT_EQ(fen, written) << "perft left the position changed";
    }
    EXPECT_GT(checked, 100);
}

}  // namespace

TEST(Perft, SuiteRowsWithinAQuickLimit) { CheckSuite(QuickLimit); }

// Every row of the suite, up to about 4.4e9 positions (minutes): run with ctest -R Slow.
TEST(PerftSlow, EveryRowOfTheSuite) { CheckSuite(~u64{0}); }

TEST(Perft, StartPositionRowsAndTotal) {
    Load(StartFen);
    const PerftOutput out = RunCaptured(3);
    ASSERT_EQ(out.rows.size(), 3u);
    EXPECT_EQ(out.rows[0].second, 20u);
    EXPECT_EQ(out.rows[1].second, 420u);
    EXPECT_EQ(out.rows[2].second, 9322u);
    EXPECT_EQ(out.totalLine, "total nodes: 9762");
    // Each row is "%d\t%2.1f\t%llu".
    EXPECT_NE(out.text.find("\n1\t"), std::string::npos);
    for (double s : out.seconds) EXPECT_GE(s, 0.0);
    EXPECT_EQ(Perft(1), 20u);  // Perft may also be called directly, at the current record
}

TEST(Perft, NothingToCountPrintsZeroTotals) {
    Load(StartFen);
    for (i32 depth : {0, -1, -5, INT_MIN}) {
        const PerftOutput out = RunCaptured(depth);
        EXPECT_EQ(out.text, "ply\tduration\tnodes\ntotal nodes: 0\n(total moves[32]: 0)\n")
            << depth;
    }
}

TEST(Perft, DepthsAbove127AreCut) {
    EXPECT_EQ(ClampPerftDepth(128), 127);
    EXPECT_EQ(ClampPerftDepth(1000000), 127);
    EXPECT_EQ(ClampPerftDepth(INT_MAX), 127);
    EXPECT_EQ(ClampPerftDepth(127), 127);
    EXPECT_EQ(ClampPerftDepth(3), 3);
    EXPECT_EQ(ClampPerftDepth(0), 0);
    EXPECT_EQ(ClampPerftDepth(-7), -7);
}

TEST(Perft, MovesLeavingTheKingAttackedAreMadeButNotCounted) {
    // Four pinned or blocked white men: many pseudo-legal moves, few legal ones.
    Load("4r2k/8/8/b7/7q/8/3NRP2/4K3 w - -");
    PlyRecord* const saved = worker.currentPly;
    const PerftOutput out = RunCaptured(1);
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(worker.currentPly, saved);
    const std::vector<ScoredMove> generated = Generate();
    EXPECT_EQ(out.rows[0].second, LegalMoves(generated).size());
    EXPECT_EQ(worker.nodeCount, generated.size());
    EXPECT_LT(out.rows[0].second, generated.size());
    // In check: the evasion generator's moves are the ones made.
    Load("4k3/8/8/8/8/8/4r3/R3K2r w Q -");
    RunCaptured(1);
    EXPECT_EQ(worker.nodeCount, Generate().size());
}

namespace {

// Moves made when counting to `depth`: every generated move of every position reached by legal
// moves above the last level. Counted with the ordinary generators and one make, test and
// take-back per move, apart from perft's own loops.
u64 MovesMadeTo(int depth) {
    const std::vector<ScoredMove> generated = Generate();
    u64 made = generated.size();
    if (depth > 1) {
        for (Move move : LegalMoves(generated)) {
            UndoRecord undo{};
            SaveSnapshot(undo);
            MakeMove(move, undo);
            made += MovesMadeTo(depth - 1);
            UnmakeMove(move, undo);
        }
    }
    return made;
}

}  // namespace

// The moves-made line adds up every move made at every level of every row, illegal ones
// included, on positions with checks, pins, castling, en passant and promotions.
TEST(Perft, MovesMadeLineCountsEveryLevel) {
    const std::pair<const char*, int> cases[] = {
        {StartFen, 4},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 3},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 4},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 3},
    };
    for (const auto& [fen, depth] : cases) {
        Load(fen);
        u64 expected = 0;
        for (int d = 1; d <= depth; ++d) expected += MovesMadeTo(d);
        const PerftOutput out = RunCaptured(depth);
        EXPECT_EQ(out.movesLine, "(total moves[32]: " + std::to_string(expected) + ")") << fen;
    }
}

TEST(Perft, TreesDeeperThanTheRecordsAreCutOffSafely) {
    Load(StartFen);
    PlyRecord* const saved = worker.currentPly;
    // Near the last ply record: the third level has no record left.
    worker.plyRecords[PlyRecordCount - 3].moveListEnd = worker.moveStack;
    worker.currentPly = &worker.plyRecords[PlyRecordCount - 2];
    perftOutOfRoom = false;
    Perft(4);
    EXPECT_TRUE(perftOutOfRoom);
    // Near the end of the move list: no room for even one level.
    worker.plyRecords[0].moveListEnd = worker.moveStack + MoveStackSize - 10;
    worker.currentPly = &worker.plyRecords[1];
    perftOutOfRoom = false;
    EXPECT_EQ(Perft(1), 0u);
    EXPECT_TRUE(perftOutOfRoom);
    worker.currentPly = saved;
    char fen[128];
    WriteFen(fen);
    EXPECT_STREQ(fen, StartFen);
}

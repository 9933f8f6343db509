// Searches end to end: mates found, game-end markers at the root, the thinking lines, the
// principal-variation text, the quiescence search's own rules and the search signature.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "eval/eval.h"
#include "search/bench_positions.h"

namespace {

std::string Text(Move move) {
    char buffer[8];
    MoveToText(move, buffer);
    return buffer;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// Runs a fixed-depth search and returns its thinking lines.
std::vector<std::string> ThinkingLines(const char* fen, u32 depth, FixedDepthResult& result) {
    testing::internal::CaptureStdout();
    result = SearchFixedDepth(fen, depth);
    return Lines(testing::internal::GetCapturedStdout());
}

constexpr const char* BackRankMate = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -";

TEST(Search, FindsMateInOneForEitherSide) {
    FixedDepthResult white = SearchFixedDepth(BackRankMate, 3);
    EXPECT_EQ(Text(white.move), "a1a8");
    EXPECT_EQ(white.score, 8099);
    FixedDepthResult black = SearchFixedDepth("r5k1/5ppp/8/8/8/8/5PPP/6K1 b - -", 3);
    EXPECT_EQ(Text(black.move), "a8a1");
    EXPECT_EQ(black.score, 8099);
    // The game flow reads the root's table entry for its move.
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(Text(entry.move), "a8a1");
    EXPECT_EQ(entry.score, 8099);
}

TEST(Search, FindsMateInTwo) {
    FixedDepthResult result =
        SearchFixedDepth("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -", 6);
    EXPECT_EQ(Text(result.move), "g3g6");
    EXPECT_EQ(result.score, 8097);
}

TEST(Search, LeavesThePositionAsItFoundIt) {
    for (const char* fen : {BenchPositions[0], BenchPositions[6], BenchPositions[26]}) {
        PrepareFixedDepth(fen, 5);
        const Position before = pos;
        HistoryEntry* const top = historyTop;
        testing::internal::CaptureStdout();
        RunFixedDepth();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0) << fen;
        EXPECT_EQ(historyTop, top) << fen;
        EXPECT_EQ(checkCount[Black], 0);
        EXPECT_EQ(checkCount[White], 0);
        EXPECT_EQ(currentPly, &plyRecords[0]);
    }
}

TEST(Search, CheckmatedRootReturnsTheMarkerAfterFourMateIterations) {
    FixedDepthResult result;
    const auto lines =
        ThinkingLines("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", 20, result);
    EXPECT_EQ(result.move, EndMated);
    EXPECT_EQ(result.score, -8100);
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(entry.move, EndMated);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "    2     -8100     0     0  # ");
    EXPECT_EQ(lines[3].substr(0, 14), "    5     -810");
}

TEST(Search, StalematedRootEndsAfterItsFirstIteration) {
    FixedDepthResult result;
    const auto lines = ThinkingLines("7k/5Q2/6K1/8/8/8/8/8 b - -", 20, result);
    EXPECT_EQ(result.move, EndStalemate);
    EXPECT_EQ(result.score, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "    1     0     0     0  1/2 - 1/2 (stalemate)");
}

TEST(Search, PositionDrawnByRuleIsNotSearched) {
    FixedDepthResult result;
    const auto lines = ThinkingLines("8/8/4k3/8/8/8/3NK3/8 w - -", 20, result);
    EXPECT_EQ(result.move, EndNoMaterial);
    EXPECT_EQ(result.score, 0);
    EXPECT_TRUE(lines.empty());
}

TEST(Search, SingleLegalMoveIsSearchedLikeAnyOther) {
    FixedDepthResult result;
    // Black is in check from the pawn and can only go to g8.
    const auto lines = ThinkingLines("7k/6P1/6K1/8/8/8/8/8 b - -", 4, result);
    EXPECT_EQ(Text(result.move), "h8g8");
    EXPECT_EQ(lines.size(), 4u);  // depths 2, 3 and 4, then the closing line
}

TEST(Search, ThinkingLinesHaveTheXboardLayout) {
    FixedDepthResult result;
    const auto lines = ThinkingLines(StartFen, 5, result);
    const std::regex layout(R"(^    (\d+)     (-?\d+)     (\d+)     (\d+)  (.*)$)");
    ASSERT_EQ(lines.size(), 5u);
    unsigned long previousNodes = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, layout)) << "[" << lines[i] << "]";
        // Depths 2 to 5, then the closing line repeats the last completed depth.
        EXPECT_EQ(std::stoi(match[1]), i < 4 ? static_cast<int>(i) + 2 : 5);
        const unsigned long nodes = std::stoul(match[4]);
        EXPECT_GE(nodes, previousNodes);
        previousNodes = nodes;
        if (i == lines.size() - 1) {
            // The closing line's variation starts with the move played.
            EXPECT_EQ(match[5].str().substr(0, 5), Text(result.move) + " ");
        }
    }
    EXPECT_EQ(previousNodes, result.nodes);
}

TEST(Search, StoppedEarlyOnItsOwnMoveRestartsOnceWithAFreshBudget) {
    SetUpSearchTablesOnce();
    SetBoard(StartFen);
    EngineState = Thinking;
    stopSearch = false;
    commandPending = false;
    maxDepth = 127;
    timeForMove = 0;  // every time test past the first iteration says stop
    firstPoll = UINT32_MAX;
    testing::internal::CaptureStdout();
    searchStart = Now();
    const SearchResult result = SearchIterative();
    const auto lines = Lines(testing::internal::GetCapturedStdout());
    firstPoll = 16384;
    EXPECT_NE(result.move, 0);
    EXPECT_FALSE(IsMarker(result.move));
    int fixing = 0;
    for (const auto& line : lines) fixing += line.find("fixing move...") != std::string::npos;
    EXPECT_EQ(fixing, 1);
    EXPECT_EQ(lines.front().substr(0, 5), "    2");
    EXPECT_TRUE(stopSearch);
    stopSearch = false;
}

TEST(Search, PrincipalVariationText) {
    FixedDepthResult result = SearchFixedDepth(BackRankMate, 3);
    ASSERT_EQ(Text(result.move), "a1a8");
    char buffer[PvTextSize];
    EXPECT_EQ(BuildPv(buffer, 12), 8099);
    EXPECT_STREQ(buffer, "a1a8 # ");
    EXPECT_EQ(BuildPv(buffer, 1), 8099);
    EXPECT_STREQ(buffer, "a1a8 ");
    EXPECT_EQ(BuildPv(buffer, 0), 8190);
    EXPECT_STREQ(buffer, "");

    SetBoard(StartFen);
    EXPECT_EQ(BuildPv(buffer, 12), 8190);
    EXPECT_STREQ(buffer, "NOE ");
    hashAge = 1;
    const struct {
        Move move;
        int score;
        const char* text;
    } markers[] = {
        {EndStalemate, 0, "1/2 - 1/2 (stalemate)"},
        {EndRepetition, 0, "1/2 - 1/2 (repetition)"},
        {NullMoveMarker, 12, "NULL"},
        {StandPatMarker, -37, "QS(-37)"},
        {BitbaseMarker, 400, "EGBB"},
        {EndMated, -8099, "# "},
    };
    for (const auto& marker : markers) {
        ClearHash();
        StoreHash(marker.move, marker.score, 4, 0);
        EXPECT_EQ(BuildPv(buffer, 12), marker.score);
        EXPECT_STREQ(buffer, marker.text);
    }
    ClearHash();
    StoreHash(0, -5, 3, 2);
    EXPECT_EQ(BuildPv(buffer, 12), -5);
    EXPECT_STREQ(buffer, "ERROR: 0, d:3, sc:-5, st:256 ts:1");
    // A stored move that is not playable here ends the line instead of corrupting the board.
    ClearHash();
    const Move rookOntoRook = MakeMoveWord(SquareOf('a', '1'), SquareOf('a', '8'), Quiet);
    StoreHash(rookOntoRook, 7, 2, 1);
    const Position before = pos;
    EXPECT_EQ(BuildPv(buffer, 12), 7);
    EXPECT_EQ(std::string(buffer), "ERROR: " + std::to_string(rookOntoRook) +
                                       ", d:2, sc:7, st:128 ts:1");
    EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0);
}

class Quiescence : public ::testing::Test {
protected:
    void SetUp() override { SetUpSearchTablesOnce(); }
    // Quiesce called as from a root at depth 1: its own list starts at the stack's base.
    static void AtPlyOne(const char* fen) {
        ASSERT_TRUE(SetBoard(fen));
        plyRecords[0].moveListEnd = moveStack;
        currentPly = &plyRecords[1];
        checkCount[Black] = checkCount[White] = 0;
        aspirationState = 0;
    }
    void TearDown() override {
        currentPly = &plyRecords[0];
        checkCount[Black] = checkCount[White] = 0;
    }
};

TEST_F(Quiescence, StandsPatAtOrAboveBetaAndStoresALowerBound) {
    AtPlyOne(StartFen);
    const int standPat = Evaluate();
    EXPECT_EQ(Quiesce(0, 1, standPat - 50, standPat - 10), standPat);
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(entry.move, StandPatMarker);
    EXPECT_EQ(entry.bound, 1);
    EXPECT_EQ(entry.depth, 0);
    EXPECT_EQ(entry.score, standPat);
    EXPECT_EQ(currentPly, &plyRecords[1]);
}

TEST_F(Quiescence, SeesCheckOnlyOnceTheSideWasInCheckBeforeOnThePath) {
    constexpr const char* mated = "6k1/8/8/8/8/8/5PPP/r5K1 w - -";
    AtPlyOne(mated);
    const Position before = pos;
    const int firstCheck = Quiesce(0, 1, -8100, 8100);
    EXPECT_GT(firstCheck, -5000);  // stands pat as if not in check

    AtPlyOne(mated);
    checkCount[White] = 1;
    EXPECT_EQ(Quiesce(0, 1, -8100, 8100), 1 - 8100);
    HashEntry entry{};
    ASSERT_TRUE(ProbeHash(entry));
    EXPECT_EQ(entry.move, EndMated);
    EXPECT_EQ(entry.score, 1 - 8100);
    EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0);
}

TEST_F(Quiescence, ACaptureThatLeavesTheKingAttackedIsWorthNothing) {
    // The knight is pinned: taking the queen would let the rook take the king.
    AtPlyOne("4r1k1/8/8/8/3q4/8/4N3/4K3 w - -");
    const int standPat = Evaluate();
    EXPECT_EQ(Quiesce(0, 1, -8100, 8100), standPat);
    EXPECT_EQ(Text(moveStack[0].move), "e2d4");
    EXPECT_EQ(moveStack[0].score, -8190);
}

TEST_F(Quiescence, BareMinorPieceAfterACaptureIsADraw) {
    // Bxg7 leaves king and bishop against king: the capture is worth 0 and beats standing pat
    // a rook for a bishop down.
    AtPlyOne("k7/6r1/8/8/8/8/1B6/K7 w - -");
    ASSERT_LT(Evaluate(), 0);
    EXPECT_EQ(Quiesce(0, 1, -8100, 8100), 0);
    EXPECT_EQ(Text(moveStack[0].move), "b2g7");
    EXPECT_EQ(moveStack[0].score, 0);
}

// SearchNode called directly at ply 1 below a root, with no clock and no input.
class AlphaBeta : public ::testing::Test {
protected:
    void SetUp() override { SetUpSearchTablesOnce(); }
    void TearDown() override {
        currentPly = &plyRecords[0];
        checkCount[Black] = checkCount[White] = 0;
        nextPoll = 16384;
    }
    static void AtPlyOne(const char* fen) {
        ASSERT_TRUE(SetBoard(fen));
        plyRecords[0].moveListEnd = moveStack;
        plyRecords[1].moveListEnd = moveStack;  // empty: its list starts there
        currentPly = &plyRecords[1];
        checkCount[Black] = checkCount[White] = 0;
        aspirationState = 0;
        iterationDepth = 2;
        EngineState = Thinking;
        stopSearch = false;
        commandPending = false;
        nodeCount = 0;
        nextPoll = UINT32_MAX;
    }
    // The null move's child is the same placement with the other side to move: its table entry
    // (depth, or -1 when there is none) shows whether and how deep the null move was searched.
    static int NullMoveDepth() {
        pos.sideToMove ^= 1;
        HashEntry entry{};
        const bool found = ProbeHash(entry);
        pos.sideToMove ^= 1;
        return found ? entry.depth : -1;
    }
};

// White, a rook against a queen, is to move: the null move's child stands pat for Black.
constexpr const char* RookAgainstQueen = "6k1/5ppp/8/3q4/8/8/5PPP/3R2K1 w - -";

TEST_F(AlphaBeta, NullMoveConditions) {
    AtPlyOne(RookAgainstQueen);
    SearchNode(4, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 1) << "R 2: child depth 4 - 2 - 1";
    AtPlyOne(RookAgainstQueen);
    SearchNode(4, 1, -100, 100, false);
    EXPECT_EQ(NullMoveDepth(), -1) << "not directly after a null move";
    AtPlyOne("6k1/5ppp/8/8/8/8/5PPP/6K1 w - -");
    SearchNode(4, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), -1) << "pawns only";
    AtPlyOne("6k1/5ppp/8/8/8/8/5PPP/3q2KR w - -");
    SearchNode(4, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), -1) << "in check";
    // R 3 from depth 7 with at least a queen's worth of pieces, else R 2.
    AtPlyOne("6k1/5ppp/8/8/8/8/5PPP/3Q2K1 w - -");
    SearchNode(7, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 3);
    AtPlyOne("6k1/5ppp/8/8/8/8/5PPP/3Q2K1 w - -");
    SearchNode(6, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 3);
    AtPlyOne("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -");
    SearchNode(7, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 4);
}

TEST_F(AlphaBeta, TableEntryMakesTheNullMovePointless) {
    // A table entry deep enough, below beta, exact or upper bound, with a real move: no null.
    AtPlyOne(RookAgainstQueen);
    const Move rookMove = MakeMoveWord(SquareOf('d', '1'), SquareOf('d', '2'), Quiet);
    StoreHash(rookMove, -500, 1, 2);
    SearchNode(4, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), -1);
    AtPlyOne(RookAgainstQueen);
    StoreHash(rookMove, -500, 1, 1);  // a lower bound says nothing of the kind
    SearchNode(4, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 1);
    // A miss records no move and no depth, and leaves the score and bound the ply record held:
    // an earlier upper bound below beta still makes a shallow null move pointless.
    AtPlyOne(RookAgainstQueen);
    plyRecords[1].hashScore = -300;
    plyRecords[1].hashBound = 0x100;
    plyRecords[1].hashMove = rookMove;
    plyRecords[1].hashDepth = 9;
    SearchNode(3, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), -1);
    EXPECT_EQ(plyRecords[1].hashScore, -300);
    EXPECT_EQ(plyRecords[1].hashBound, 0x100);
    AtPlyOne(RookAgainstQueen);
    plyRecords[1].hashScore = 300;  // not below beta: the null move is searched
    SearchNode(3, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 0);
}

// The search signature: the summed nodeCount over the benchmark positions at a fixed depth,
// as recorded in tests/bench.sig. Any change of search behaviour changes it.
TEST(SearchSignature, MatchesTheRecordedNodeCount) {
    std::ifstream file(ZELMOR_TEST_DATA "/../bench.sig");
    ASSERT_TRUE(file) << "tests/bench.sig";
    u32 depth = 0;
    unsigned long long expected = 0;
    for (std::string line; std::getline(file, line);) {
        unsigned d = 0;
        unsigned long long nodes = 0;
        if (std::sscanf(line.c_str(), "depth %u nodes %llu", &d, &nodes) == 2 &&
            (depth == 0 || d < depth)) {
            depth = d;  // the cheapest recorded depth
            expected = nodes;
        }
    }
    ASSERT_GT(depth, 0u);
    unsigned long long total = 0;
    testing::internal::CaptureStdout();
    for (const char* fen : BenchPositions) total += SearchFixedDepth(fen, depth).nodes;
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(total, expected) << "signature at depth " << depth;
}

}  // namespace

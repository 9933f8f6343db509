// Searches end to end: mates found, game-end markers at the root, the thinking lines, the
// principal-variation text, the quiescence search's own rules and the search signature.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "egbb/egbb.h"
#include "eval/eval.h"
#include "search/bench_positions.h"
#include "search/order.h"

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
        EXPECT_EQ(worker.checkCount[Black], 0);
        EXPECT_EQ(worker.checkCount[White], 0);
        EXPECT_EQ(worker.currentPly, &worker.plyRecords[0]);
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

// A stop that arrives as iteration `stopAt` begins (set when the line of the iteration before is
// printed): stopped at depth 5 or less, the search restarts once at that depth with a fresh budget
// and goes on; stopped at depth 6 or more, it ends.
int stopAtIteration;
bool stopSent;
void StoppingPrinter(ThinkingKind kind, int depth, int score, int centiseconds, u64 nodes,
                     const char* line) {
    PrintXboardThinking(kind, depth, score, centiseconds, nodes, line);
    if (kind == ThinkingKind::Iteration && depth == stopAtIteration - 1 && !stopSent) {
        stopSent = true;
        stopSearch = true;
    }
}

TEST(Search, StoppedShallowSearchRestartsOnceAtEveryIterationBoundary) {
    for (int stopAt = 3; stopAt <= 7; ++stopAt) {
        PrepareFixedDepth(StartFen, static_cast<u32>(stopAt + 1));
        stopAtIteration = stopAt;
        stopSent = false;
        thinkingPrinter = StoppingPrinter;
        testing::internal::CaptureStdout();
        const SearchResult result = SearchIterative();
        const auto lines = Lines(testing::internal::GetCapturedStdout());
        thinkingPrinter = PrintXboardThinking;
        firstPoll = 16384;
        stopSearch = false;
        EXPECT_NE(result.move, 0) << stopAt;
        int fixing = 0, deepest = 0;
        for (const auto& line : lines) {
            if (line.find("fixing move...") != std::string::npos) {
                ++fixing;
                EXPECT_EQ(std::stoi(line), stopAt - 1) << line;
            } else if (line.substr(0, 4) == "    ") {
                deepest = std::max(deepest, std::stoi(line));
            }
        }
        EXPECT_EQ(fixing, stopAt <= 5 ? 1 : 0) << "stopped at iteration " << stopAt;
        // After the restart the search reaches its depth; without one it ends where it stopped.
        EXPECT_EQ(deepest, stopAt <= 5 ? stopAt + 1 : stopAt - 1) << "stopped at " << stopAt;
    }
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
    EXPECT_EQ(std::string(buffer),
              "ERROR: " + std::to_string(rookOntoRook) + ", d:2, sc:7, st:128 ts:1");
    EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0);
}

class Quiescence : public ::testing::Test {
protected:
    void SetUp() override { SetUpSearchTablesOnce(); }
    // Quiesce called as from a root at depth 1: its own list starts at the stack's base.
    static void AtPlyOne(const char* fen) {
        ASSERT_TRUE(SetBoard(fen));
        worker.plyRecords[0].moveListEnd = worker.moveStack;
        worker.currentPly = &worker.plyRecords[1];
        worker.checkCount[Black] = worker.checkCount[White] = 0;
        worker.aspirationState = 0;
    }
    void TearDown() override {
        worker.currentPly = &worker.plyRecords[0];
        worker.checkCount[Black] = worker.checkCount[White] = 0;
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
    EXPECT_EQ(worker.currentPly, &worker.plyRecords[1]);
}

TEST_F(Quiescence, SeesCheckOnlyOnceTheSideWasInCheckBeforeOnThePath) {
    constexpr const char* mated = "6k1/8/8/8/8/8/5PPP/r5K1 w - -";
    AtPlyOne(mated);
    const Position before = pos;
    const int firstCheck = Quiesce(0, 1, -8100, 8100);
    EXPECT_GT(firstCheck, -5000);  // stands pat as if not in check

    AtPlyOne(mated);
    worker.checkCount[White] = 1;
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
    EXPECT_EQ(Text(worker.moveStack[0].move), "e2d4");
    EXPECT_EQ(worker.moveStack[0].score, -8190);
}

TEST_F(Quiescence, BareMinorPieceAfterACaptureIsADraw) {
    // Bxg7 leaves king and bishop against king: the capture is worth 0 and beats standing pat
    // a rook for a bishop down.
    AtPlyOne("k7/6r1/8/8/8/8/1B6/K7 w - -");
    ASSERT_LT(Evaluate(), 0);
    EXPECT_EQ(Quiesce(0, 1, -8100, 8100), 0);
    EXPECT_EQ(Text(worker.moveStack[0].move), "b2g7");
    EXPECT_EQ(worker.moveStack[0].score, 0);
}

// SearchNode called directly at ply 1 below a root, with no clock and no input.
class AlphaBeta : public ::testing::Test {
protected:
    void SetUp() override { SetUpSearchTablesOnce(); }
    void TearDown() override {
        worker.currentPly = &worker.plyRecords[0];
        worker.checkCount[Black] = worker.checkCount[White] = 0;
        worker.nextPoll = 16384;
    }
    static void AtPlyOne(const char* fen) {
        ASSERT_TRUE(SetBoard(fen));
        worker.plyRecords[0].moveListEnd = worker.moveStack;
        worker.plyRecords[1].moveListEnd = worker.moveStack;  // empty: its list starts there
        worker.currentPly = &worker.plyRecords[1];
        worker.checkCount[Black] = worker.checkCount[White] = 0;
        worker.aspirationState = 0;
        worker.iterationDepth = 2;
        EngineState = Thinking;
        stopSearch = false;
        commandPending = false;
        worker.nodeCount = 0;
        worker.nextPoll = UINT32_MAX;
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
    worker.plyRecords[1].hashScore = -300;
    worker.plyRecords[1].hashBound = 0x100;
    worker.plyRecords[1].hashMove = rookMove;
    worker.plyRecords[1].hashDepth = 9;
    SearchNode(3, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), -1);
    EXPECT_EQ(worker.plyRecords[1].hashScore, -300);
    EXPECT_EQ(worker.plyRecords[1].hashBound, 0x100);
    AtPlyOne(RookAgainstQueen);
    worker.plyRecords[1].hashScore = 300;  // not below beta: the null move is searched
    SearchNode(3, 1, -100, 100, true);
    EXPECT_EQ(NullMoveDepth(), 0);
}

bool LeavesKingAttackedAfter(Move move) {
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(move, undo);
    const bool illegal = LeavesKingAttacked(move, pos.sideToMove ^ 1);
    UnmakeMove(move, undo);
    return illegal;
}

// Whether the position after `move` (made here and taken back) has a table entry: its depth,
// or -1.
int ChildDepth(Move move) {
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(move, undo);
    HashEntry entry{};
    const int depth = ProbeHash(entry) ? entry.depth : -1;
    UnmakeMove(move, undo);
    return depth;
}

// Legal moves of the node's list in the order they were searched, without those that give
// check, from the n-th on.
std::vector<ScoredMove> SearchedQuietFrom(int n) {
    std::vector<ScoredMove> moves;
    int legal = 0;
    for (const ScoredMove* p = worker.moveStack; p < worker.plyRecords[1].moveListEnd; ++p) {
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(p->move, undo);
        const bool illegal = LeavesKingAttacked(p->move, pos.sideToMove ^ 1);
        const bool check = LeavesKingAttacked(p->move, pos.sideToMove);
        UnmakeMove(p->move, undo);
        if (illegal) continue;
        if (legal++ >= n && !check) moves.push_back(*p);
    }
    return moves;
}

TEST_F(AlphaBeta, CutOffMoveBecomesKillerAndEarnsHistory) {
    AtPlyOne(StartFen);
    worker.plyRecords[1].killer1 = 0x0111;
    worker.plyRecords[1].killer2 = 0;
    SearchNode(2, 1, -8000, -7999, false);  // the first move searched cuts off
    const Move cut = worker.plyRecords[1].bestMove;
    ASSERT_EQ(MoveKindOf(cut), Quiet);
    EXPECT_EQ(worker.plyRecords[1].killer1, cut);
    EXPECT_EQ(worker.plyRecords[1].killer2, 0x0111);
    EXPECT_EQ(worker.History[White][cut & 0xFFF], 4u);  // depth squared
    const int piece = pos.board[MoveFrom(cut)];
    EXPECT_EQ(worker.CutoffCount[piece - 1][MoveTo(cut)], 2u);
    EXPECT_EQ(worker.TriedCount[piece - 1][MoveTo(cut)], 2u);
    // A capture that cuts off earns history but is no killer.
    AtPlyOne("4k3/8/8/3p4/4P3/8/8/4K3 w - -");
    worker.plyRecords[1].killer1 = 0x0111;
    SearchNode(2, 1, -8000, -7999, false);
    const Move capture = MakeMoveWord(E4, D5, Capture);
    EXPECT_EQ(worker.plyRecords[1].bestMove, capture);
    EXPECT_EQ(worker.plyRecords[1].killer1, 0x0111);
    EXPECT_EQ(worker.History[White][capture & 0xFFF], 4u);
}

// A bare king cannot pass, so every child leaves its entry at the depth it was searched to.
TEST_F(AlphaBeta, PassedPawnCheckAndRecaptureExtensions) {
    const Move push = MakeMoveWord(E4, E5, Quiet);
    AtPlyOne("4k3/8/8/8/4P3/8/8/4K3 w - -");  // e5 is passed: one ply more
    SearchNode(2, 1, -8100, 8100, true);
    EXPECT_EQ(ChildDepth(push), 2);
    AtPlyOne("4k3/3p4/8/8/4P3/8/8/4K3 w - -");  // d7 guards e6: not passed
    SearchNode(2, 1, -8100, 8100, true);
    EXPECT_EQ(ChildDepth(push), 1);

    // In check for the second time on the path: every reply one ply deeper.
    for (int earlier : {0, 1}) {
        AtPlyOne("k6r/8/8/8/8/8/8/R6K w - -");
        worker.checkCount[White] = earlier;
        SearchNode(2, 1, -8100, 8100, true);
        EXPECT_EQ(worker.checkCount[White], earlier);
        const int deepest = std::max(ChildDepth(MakeMoveWord(H1, G1, Quiet)),
                                     ChildDepth(MakeMoveWord(H1, G2, Quiet)));
        EXPECT_EQ(deepest, 1 + earlier) << earlier;
    }

    // A recapture of equal material on the square just taken, from ply 4 on.
    struct Case {
        const char* fen;
        Move taking, retaking;
        int depth;
    } cases[] = {
        {"4k3/8/5n2/3N4/4P3/8/8/4K3 b - -", MakeMoveWord(F6, D5, Capture),
         MakeMoveWord(E4, D5, Capture), 2},  // knight for knight
        {"4k3/8/5n2/3P4/8/4N3/7P/4K3 b - -", MakeMoveWord(F6, D5, Capture),
         MakeMoveWord(E3, D5, Capture), 1},  // a knight back for a pawn
    };
    for (const Case& c : cases) {
        AtPlyOne(c.fen);
        worker.currentPly = &worker.plyRecords[0];
        SaveSnapshot(worker.plyRecords[0].undo);
        MakeMove(c.taking, worker.plyRecords[0].undo);
        worker.currentPly = &worker.plyRecords[1];
        SearchNode(2, 4, -8100, 8100, true);
        EXPECT_EQ(ChildDepth(c.retaking), c.depth) << c.fen;
    }
}

// Futility at depth 1 and 2: a quiet move is dropped when the static evaluation plus 100 (300
// at depth 2) stays below alpha, a pawn capture when it plus 200 does; the first move and
// checks never. A dropped move keeps the static evaluation as its score and leaves no child
// entry (a searched move below alpha always leaves one: its child stood pat at or above beta).
TEST_F(AlphaBeta, FutilityMargins) {
    struct Case {
        const char* fen;
        int depth, margin;
    } cases[] = {
        {"6k1/8/8/8/8/8/8/R6K w - -", 1, 100},
        {"6k1/8/8/8/8/8/8/R6K w - -", 2, 300},
        {"6k1/8/8/8/8/8/p6p/R6K w - -", 1, 200},  // a pawn capture after the table's move
    };
    for (const Case& c : cases) {
        for (int side : {-10, 10}) {
            AtPlyOne(c.fen);
            const int eval = Evaluate();
            // A shallow entry's quiet move goes first, so that no capture raises alpha first.
            if (c.margin == 200) StoreHash(MakeMoveWord(H1, G2, Quiet), 0, 0, 2);
            SearchNode(c.depth, 1, eval + c.margin + side, 8100, true);
            std::vector<ScoredMove> tested = SearchedQuietFrom(1);
            if (c.margin == 200) {
                ASSERT_EQ(MoveKindOf(tested.at(0).move), Capture);
                tested.resize(1);
            }
            ASSERT_FALSE(tested.empty());
            for (const ScoredMove& m : tested) {
                const bool pruned = m.score == eval && ChildDepth(m.move) < 0;
                EXPECT_EQ(pruned, side > 0)
                    << c.fen << " depth " << c.depth << " alpha " << side << " " << m.move;
            }
        }
    }
}

// Late-move reduction from the fourth move at depth 3 or more: reduced (one ply less) unless
// the piece's cut-offs on that square are at least 60 % of its tries, over more than one try.
TEST_F(AlphaBeta, LateMovesAreReducedByTheirCutoffRecord) {
    for (u64 cutoffs : {50, 70}) {
        AtPlyOne("6k1/8/8/8/8/8/8/R6K w - -");
        for (auto& row : worker.CutoffCount)
            for (auto& count : row) count = cutoffs;
        for (auto& row : worker.TriedCount)
            for (auto& count : row) count = 100;
        const int eval = Evaluate();
        SearchNode(3, 1, eval + 300, 8100, true);  // every move fails low: no re-search
        const std::vector<ScoredMove> late = SearchedQuietFrom(3);
        ASSERT_FALSE(late.empty());
        for (const ScoredMove& m : late)
            EXPECT_EQ(ChildDepth(m.move), cutoffs < 60 ? 1 : 2) << m.move;
    }
}

std::string ReadLog() {
    std::ifstream in("Zelmor.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A failed aspiration window gives its re-searches more time: three times the budget after a
// fail-low, twice after a fail-high, its current value once more after a second failure; the
// iteration then takes it back. Not with 4 moves or fewer to the time control.
TEST(RootSearch, FailedWindowsGrowTheBudgetForTheReSearchOnly) {
    const char* mateInTwo = "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -";
    for (int session : {0, 40}) {
        PrepareFixedDepth(mateInTwo, 6);
        movesPerSession = session;
        movesToGo = 3;
        timeForMove = 100000;
        const std::size_t before = ReadLog().size();
        testing::internal::CaptureStdout();
        RunFixedDepth();
        testing::internal::GetCapturedStdout();
        const std::string log = ReadLog().substr(before);
        EXPECT_EQ(timeForMove, 100000);
        std::vector<std::string> grown, back;
        for (const std::string& line : Lines(log)) {
            if (line.rfind("-M: budget for the re-search: ", 0) == 0)
                grown.push_back(line.substr(30));
            if (line.rfind("-M: budget back to ", 0) == 0) back.push_back(line.substr(19));
        }
        if (session == 40) {
            EXPECT_TRUE(grown.empty()) << log;
            EXPECT_TRUE(back.empty());
            continue;
        }
        ASSERT_FALSE(grown.empty()) << log;
        EXPECT_TRUE(grown[0] == "200000 ms" || grown[0] == "300000 ms") << grown[0];
        for (const std::string& amount : grown)
            EXPECT_TRUE(amount == "200000 ms" || amount == "300000 ms" || amount == "400000 ms" ||
                        amount == "600000 ms")
                << amount;
        ASSERT_FALSE(back.empty());
        for (const std::string& amount : back) EXPECT_EQ(amount, "100000 ms");
    }
    movesPerSession = 35;
}

// A stand-in for the bitbase plug-in that judges K+R v K by the rook's rank alone: one answer
// with the rook on the first rank, another elsewhere (from the side to move's point of view).
int answerOnFirstRank, answerElsewhere;
int RookRankProbe(int, int, int, int, int rookSquare, int, int, int, int) {
    return rookSquare < 8 ? answerOnFirstRank : answerElsewhere;
}

// The root's bitbase pass: winning moves exclude all others, drawing moves exclude the losing
// ones, all-losing keeps them all, and all-drawing is noted.
TEST(RootSearch, BitbasesSortTheRootMoves) {
    struct Case {
        int onFirst, elsewhere;
        bool firstExcluded, elsewhereExcluded, allDraw;
    } cases[] = {
        {0, -500, true, false, false},  // rook moves up the board win
        {500, -500, true, false, false},
        {500, 0, true, false, false},     // no win: the losing moves go
        {0, 0, false, false, true},       // every move draws
        {500, 500, false, false, false},  // every move loses: none is excluded
    };
    SetUpSearchTablesOnce();
    bitbaseProbe = RookRankProbe;
    bitbasesLoaded = true;
    for (const Case& c : cases) {
        answerOnFirstRank = c.onFirst;
        answerElsewhere = c.elsewhere;
        testing::internal::CaptureStdout();
        const FixedDepthResult result = SearchFixedDepth("6k1/8/8/8/8/8/8/R6K w - -", 2);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(worker.allRootMovesDraw, c.allDraw) << c.onFirst << " " << c.elsewhere;
        int counted = 0;
        for (const ScoredMove* p = worker.moveStack; p < worker.plyRecords[0].moveListEnd; ++p) {
            if (LeavesKingAttackedAfter(p->move)) continue;
            const bool rookStaysOnFirst = MoveFrom(p->move) != A1 || Row(MoveTo(p->move)) == 7;
            EXPECT_EQ(p->score == -8191, rookStaysOnFirst ? c.firstExcluded : c.elsewhereExcluded)
                << Text(p->move) << " " << c.onFirst << " " << c.elsewhere;
            ++counted;
        }
        EXPECT_GT(counted, 10);
        if (c.firstExcluded) {
            EXPECT_NE(Row(MoveTo(result.move)), 7) << Text(result.move);
        }
    }
    bitbaseProbe = nullptr;
    bitbasesLoaded = false;
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

// The pick loops compare eight values at a time on AVX2 builds; they must still take the first
// of equal values, so that the list's order breaks ties exactly as a plain scan does.
TEST(MoveOrder, PicksTheFirstLargestLikeAPlainScan) {
    u32 seed = 12345;
    const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        const int n = 1 + static_cast<int>(next() % 80);
        // Narrow value ranges make ties common; wide ones reach both ends of the types.
        const u32 spread = round % 3 == 0 ? 4u : round % 3 == 1 ? 1000u : 0xFFFFFFFFu;
        std::vector<u32> keys(n);
        std::vector<ScoredMove> moves(n);
        for (int i = 0; i < n; ++i) {
            keys[i] = spread == 0xFFFFFFFFu ? next() : next() % spread;
            moves[i].score =
                static_cast<i16>(spread == 0xFFFFFFFFu ? next() >> 16 : next() % spread - 30000);
            moves[i].move = static_cast<Move>(next());
        }
        const int firstKey =
            static_cast<int>(std::max_element(keys.begin(), keys.end()) - keys.begin());
        const int firstScore = static_cast<int>(
            std::max_element(moves.begin(), moves.end(),
                             [](ScoredMove a, ScoredMove b) { return a.score < b.score; }) -
            moves.begin());
        ASSERT_EQ(FirstLargestKey(keys.data(), n), firstKey) << "round " << round;
        ASSERT_EQ(FirstBestScore(moves.data(), n), firstScore) << "round " << round;
    }
}

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "eval/eval.h"
#include "movegen/test_helpers.h"

using namespace testing_support;

namespace {

using Entry = std::pair<std::string, int>;  // move text, score

std::vector<Entry> Entries(const std::vector<ScoredMove>& list) {
    std::vector<Entry> entries;
    for (const ScoredMove& m : list) entries.emplace_back(Text(m.move), m.score);
    return entries;
}

bool Contains(const std::vector<ScoredMove>& list, Move move) {
    return std::any_of(list.begin(), list.end(),
                       [&](const ScoredMove& m) { return m.move == move; });
}

// Visits every position of the legal move tree below the live position, to `depth` plies.
void Walk(int depth, const std::function<void()>& visit) {
    visit();
    if (depth == 0) return;
    for (Move move : LegalMoves(Generate())) {
        UndoRecord undo{};
        SaveSnapshot(undo);
        MakeMove(move, undo);
        Walk(depth - 1, visit);
        UnmakeMove(move, undo);
    }
}

bool IsCaptureKind(int kind) {
    return kind == Capture || kind == EnPassant ||
           (kind >= CapPromoQueen && kind <= CapPromoBishop);
}

}  // namespace

TEST(MoveGenerators, StartPositionOrderAndScores) {
    Load(StartFen);
    const std::vector<ScoredMove> list = Generate();
    const std::vector<std::string> expected = {
        "g1h3", "g1f3", "b1c3", "b1a3", "h2h4", "g2g4", "f2f4", "e2e4", "d2d4", "c2c4",
        "b2b4", "a2a4", "h2h3", "g2g3", "f2f3", "e2e3", "d2d3", "c2c3", "b2b3", "a2a3"};
    EXPECT_EQ(Texts(list), expected);
    for (const ScoredMove& m : list) {
        EXPECT_EQ(m.score, -30000) << Text(m.move);
        EXPECT_EQ(MoveKindOf(m.move), Quiet);
    }
    // Black's mirror image: knights g8 and b8 first, from the h-side, then pushes.
    Load("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    const std::vector<std::string> black = Texts(Generate());
    ASSERT_EQ(black.size(), 20u);
    EXPECT_EQ(black[0], "g8h6");
    EXPECT_EQ(black[1], "g8f6");
    EXPECT_EQ(black[4], "h7h5");
    EXPECT_EQ(black[19], "a7a6");
}

TEST(MoveGenerators, PromotionQuartetsAndOrderOfSteps) {
    // b7 takes the a8 rook (toward the a-file, step 1) or pushes to b8 (step 7).
    Load("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    const std::vector<Entry> entries = Entries(Generate());
    const std::vector<Entry> expected = {
        {"b7a8q", 500 - 9401},  {"b7a8n", 500 - 30005}, {"b7a8r", 500 - 30025},
        {"b7a8b", 500 - 30050}, {"b7b8q", -9401},       {"b7b8n", -30005},
        {"b7b8r", -30025},      {"b7b8b", -30050},      {"e1f1", -30000},
        {"e1d1", -30000},       {"e1f2", -30000},       {"e1e2", -30000},
        {"e1d2", -30000}};
    EXPECT_EQ(entries, expected);
    const std::vector<ScoredMove> list = Generate();
    EXPECT_EQ(MoveKindOf(list[0].move), CapPromoQueen);
    EXPECT_EQ(MoveKindOf(list[3].move), CapPromoBishop);
    EXPECT_EQ(MoveKindOf(list[4].move), PromoQueen);
    EXPECT_EQ(MoveKindOf(list[7].move), PromoBishop);
    // The capture bit is folded into the from-square: kind 1 words are from * 64 + 0x1000 + to.
    Load("4k3/3p4/8/4N3/8/8/8/4K3 w - -");
    const std::vector<ScoredMove> knight = Generate();
    ASSERT_FALSE(knight.empty());
    EXPECT_EQ(knight[0].move, 0x1000 + E5 * 64 + D7) << Text(knight[0].move);
}

TEST(MoveGenerators, CaptureScoresByVictimAndPieceKind) {
    // Equal or dearer victims are ranked by value alone; every equal trade scores -9500.
    Load("4k3/8/2r1q3/1n1B1b2/2N1R3/3Q4/8/4K3 w - -");
    std::map<std::string, int> score;
    for (const Entry& e : Entries(Generate())) score[e.first] = e.second;
    EXPECT_EQ(score.at("d5c6"), 500 - 9825);   // bishop takes rook
    EXPECT_EQ(score.at("d5e6"), 950 - 9825);   // bishop takes queen
    EXPECT_EQ(score.at("e4e6"), 950 - 10000);  // rook takes queen
    // Knight takes knight: equal trade.
    Load("4k3/8/8/1n6/8/2N5/8/4K3 w - -");
    bool found = false;
    for (const Entry& e : Entries(Generate())) {
        if (e.first != "c3b5") continue;
        found = true;
        EXPECT_EQ(e.second, -9500);
    }
    EXPECT_TRUE(found);
    // Pawn takes pawn: equal trade; en passant likewise.
    Load("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    const std::vector<Entry> ep = Entries(Generate());
    ASSERT_FALSE(ep.empty());
    EXPECT_EQ(ep[0], Entry("e5d6", -9500));
    EXPECT_EQ(MoveKindOf(Generate()[0].move), EnPassant);
}

TEST(MoveGenerators, CastlingWordsAndConditions) {
    Load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    std::vector<ScoredMove> list = Generate();
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list[list.size() - 2].move, 0xDF3E);
    EXPECT_EQ(list[list.size() - 2].score, -29000);
    EXPECT_EQ(list.back().move, 0xFF3A);
    EXPECT_EQ(list.back().score, -29500);
    Load("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    list = Generate();
    EXPECT_EQ(list[list.size() - 2].move, 0xC106);
    EXPECT_EQ(list.back().move, 0xE102);
    // A blocked path or a missing right gives no castling; b1 blocked stops only O-O-O.
    Load("r3k2r/8/8/8/8/8/8/RN2K1NR w Kq -");
    for (const ScoredMove& m : Generate()) EXPECT_FALSE(IsCastling(m.move)) << Text(m.move);
    Load("4k3/8/8/8/8/8/8/R3K2R w K -");
    list = Generate();
    EXPECT_EQ(list.back().move, 0xDF3E);
    EXPECT_FALSE(Contains(list, 0xFF3A));
}

TEST(EvasionGenerators, DoubleCheckGivesKingMovesOnly) {
    Load("4k3/8/8/8/8/3B4/4r3/R3K2r w Q -");
    CheckInfo info{};
    FindCheckers(info);
    EXPECT_EQ(PopCount(info.checkers), 2);
    const std::vector<ScoredMove> list = Generate();
    ASSERT_FALSE(list.empty());
    for (const ScoredMove& m : list) {
        EXPECT_EQ(MoveFrom(m.move), E1) << Text(m.move);
        EXPECT_FALSE(IsCastling(m.move));
    }
    const std::vector<Move> legal = LegalMoves(list);
    ASSERT_EQ(legal.size(), 1u);
    EXPECT_EQ(Text(legal[0]), "e1e2");
}

TEST(EvasionGenerators, SingleCheckOrderAndNoCastling) {
    // Rook e8 checks along the e-file; rights are intact but nothing castles out of check.
    Load("4r1k1/8/8/8/8/1B6/3N4/R3K2R w KQ -");
    const std::vector<Entry> entries = Entries(Generate());
    for (const Entry& e : entries) EXPECT_NE(e.first, "e1g1");
    for (const Entry& e : entries) EXPECT_NE(e.first, "e1c1");
    // No piece reaches e8, so: knight and bishop interpose, then the king steps aside.
    const std::vector<Entry> expected = {
        {"d2e4", -30320}, {"b3e6", -30325}, {"e1f1", -30000}, {"e1d1", -30000}, {"e1f2", -30000}};
    EXPECT_EQ(entries, expected);
    // Every interposition lies on e2 ... e7; the king never stays on the file.
    for (const ScoredMove& m : Generate()) {
        if (MoveFrom(m.move) == E1)
            EXPECT_NE(File(MoveTo(m.move)), File(E1)) << Text(m.move);
        else
            EXPECT_EQ(File(MoveTo(m.move)), File(E1)) << Text(m.move);
    }
}

TEST(EvasionGenerators, EnPassantTakesTheCheckingPawn) {
    // The d5 pawn has just made its double step and gives check: exd6 e.p. removes it.
    Load("8/8/8/3pP3/4K3/8/8/k7 w - d6");
    const std::vector<Entry> entries = Entries(Generate());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0], Entry("e5d6", -9500));
    const std::vector<Move> legal = LegalMoves(Generate());
    EXPECT_TRUE(std::find(legal.begin(), legal.end(), MakeMoveWord(E5, D6, EnPassant)) !=
                legal.end());
}

TEST(Generators, KingNeverTakesADefendedMan) {
    // The e2 pawn is defended by the h5 bishop: Kxe2 appears in no generator.
    Load("4k3/8/8/7b/8/8/4p3/4K3 w - -");
    const Move kxe2 = MakeMoveWord(E1, E2, Capture);
    EXPECT_FALSE(Contains(Generate(), kxe2));
    EXPECT_FALSE(Contains(Generate(true), kxe2));
    // Undefended, it is offered by both.
    Load("4k3/8/8/8/8/8/4p3/4K3 w - -");
    EXPECT_TRUE(Contains(Generate(), kxe2));
    EXPECT_TRUE(Contains(Generate(true), kxe2));
    // The king in check from a defended piece next to it does not take it either.
    Load("4k3/8/8/7b/8/8/4r3/4K3 w - -");
    EXPECT_FALSE(Contains(Generate(), kxe2));
}

TEST(CaptureGenerators, DropLosingCapturesAndQuietUnderPromotions) {
    // Rxe5 loses the rook to the d6 pawn; the a5 pawn is free.
    Load("4k3/8/3p4/p3p3/8/8/8/R3RK2 w - -");
    const Move lose = MakeMoveWord(E1, E5, Capture);
    const Move win = MakeMoveWord(A1, A5, Capture);
    const std::vector<ScoredMove> all = Generate();
    const std::vector<ScoredMove> caps = Generate(true);
    ASSERT_TRUE(Contains(all, lose));
    for (const ScoredMove& m : all) {
        if (m.move == lose) {
            EXPECT_LT(m.score, -30000);
        }
    }
    EXPECT_FALSE(Contains(caps, lose));
    EXPECT_TRUE(Contains(caps, win));
    // Promotions: only the queen push, but all four captures.
    Load("1n2k3/P7/8/8/8/8/8/4K3 w - -");
    std::set<std::string> texts;
    for (const ScoredMove& m : Generate(true)) texts.insert(Text(m.move));
    EXPECT_EQ(texts, (std::set<std::string>{"a7b8q", "a7b8n", "a7b8r", "a7b8b", "a7a8q"}));
}

// Every generated list of the trees below a few varied positions must agree with the others:
// the capture generator is the all-moves generator's captures minus losing ones (same scores),
// evasions give exactly the legal moves the all-moves generator would, no move is listed twice,
// and every generated move is playable by the board's own check.
TEST(Generators, AgreeWithEachOtherOverWholeTrees) {
    const char* fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - -",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
        // Checks by a double step beside the king on the edge files, taken en passant at once
        // or after the check has been given, for both colours.
        "4k3/8/8/pP6/1K6/8/8/8 w - a6",
        "4k3/8/8/6Pp/6K1/8/8/8 w - h6",
        "8/8/8/1k6/Pp6/8/8/4K3 b - a3",
        "8/8/8/6k1/6pP/8/8/4K3 b - h3",
        "8/p7/8/1P6/1K6/8/8/4k3 b - -",
        "4K3/8/8/6k1/6p1/8/7P/8 w - -",
    };
    int positions = 0, checks = 0;
    for (const char* fen : fens) {
        Load(fen);
        Walk(2, [&] {
            ++positions;
            CheckInfo info{};
            FindCheckers(info);
            ScoredMove buffer[MaxGeneratedMoves];
            const std::vector<ScoredMove> all(buffer, MoveGenerators[pos.sideToMove](buffer));
            // Perft's lists: the same moves in the same order.
            ScoredMove unscored[MaxGeneratedMoves];
            EXPECT_EQ(Texts({unscored, PerftMoveGenerators[pos.sideToMove](unscored)}), Texts(all));
            std::set<Move> seen;
            for (const ScoredMove& m : all) {
                EXPECT_TRUE(seen.insert(m.move).second) << "twice: " << Text(m.move);
                EXPECT_TRUE(IsMoveValid(m.move)) << Text(m.move);
            }
            if (info.checkers) {
                ++checks;
                const std::vector<ScoredMove> ev(buffer,
                                                 EvasionGenerators[pos.sideToMove](buffer, info));
                std::vector<Move> a = LegalMoves(all), b = LegalMoves(ev);
                std::sort(a.begin(), a.end());
                std::sort(b.begin(), b.end());
                EXPECT_EQ(a, b);
                return;
            }
            std::multiset<std::pair<Move, int>> expected, got;
            std::set<Move> pushPromotions;
            for (const ScoredMove& m : all) {
                const int kind = MoveKindOf(m.move);
                const int piece = pos.board[MoveFrom(m.move)];
                const bool pawn = piece == WPawn || piece == BPawn;
                if (IsCaptureKind(kind) && (pawn || m.score >= -10000))
                    expected.insert({m.move, m.score});
                if (kind == PromoQueen) pushPromotions.insert(m.move);
            }
            const std::vector<ScoredMove> caps(buffer, CaptureGenerators[pos.sideToMove](buffer));
            for (const ScoredMove& m : caps) {
                if (MoveKindOf(m.move) == PromoQueen) {
                    EXPECT_TRUE(pushPromotions.count(m.move)) << Text(m.move);
                    EXPECT_GE(m.score, -10000);
                } else {
                    got.insert({m.move, m.score});
                }
            }
            EXPECT_EQ(got, expected);
        });
    }
    EXPECT_GT(positions, 1000);
    EXPECT_GT(checks, 10);
}

TEST(Generators, PositionsWithoutKingsAreSafe) {
    // No king on either side: nothing is ever in check and no table is read with square 100.
    Load("8/8/8/8/8/3q4/2P5/4R3 w - -");
    EXPECT_EQ(pos.kingSquare[White], 100);
    CheckInfo info{};
    FindCheckers(info);
    EXPECT_EQ(info.checkers, 0u);
    const std::vector<ScoredMove> list = Generate();
    EXPECT_FALSE(list.empty());
    for (const ScoredMove& m : list) EXPECT_TRUE(IsLegalAfterMaking(m.move));
    EXPECT_FALSE(Generate(true).empty());
    // One king only: the other side's moves and the attack tests still work.
    Load("8/8/8/3q4/8/8/2P5/4K3 b - -");
    EXPECT_EQ(pos.kingSquare[Black], 100);
    EXPECT_FALSE(Generate().empty());
    Load("8/8/8/3q4/8/8/2P5/4K3 w - -");
    FindCheckers(info);
    EXPECT_EQ(info.checkers, 0u);
    const std::vector<Move> legal = LegalMoves(Generate());
    EXPECT_FALSE(legal.empty());
    // Castling rights claimed without king or rook at home castle nothing.
    Load("8/8/8/8/8/8/8/R6K w KQkq -");
    for (const ScoredMove& m : Generate()) EXPECT_FALSE(IsCastling(m.move)) << Text(m.move);
}

TEST(Generators, NoKingIsEverCaptured) {
    // The side not to move stands in check (an impossible position from set-up text): no
    // generator offers to take the king.
    Load("4k3/8/8/8/8/8/4R3/4K3 w - -");
    for (bool captures : {false, true})
        for (const ScoredMove& m : Generate(captures))
            EXPECT_NE(MoveTo(m.move), E8) << Text(m.move);
}

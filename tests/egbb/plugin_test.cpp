// The real plug-in, loaded with LoadBitbases exactly as Zelmor loads it at start-up, answering
// from Gaviota's 3-man tables. Skipped when the plug-in was not built.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "board/board.h"
#include "egbb/egbb.h"
#include "egbb_test_support.h"
#include "engine/engine.h"

namespace {

// Plug-in encoding: squares a1 = 0 ... h8 = 63; men 2 Q, 3 R, 4 B, 5 N, 6 P, Black + 6.
enum { a1 = 0, b1, c1, d1, e1, f1, g1, h1 };
constexpr int Sq(char file, int rank) { return (file - 'a') + 8 * (rank - 1); }
constexpr int Queen = 2, Rook = 3, Bishop = 4, Knight = 5, Pawn = 6, BlackMan = 6;
constexpr int WhiteToMove = 0, BlackToMove = 1;

bool IsWin(int score) { return score > 7000 && score <= 17000 && (17000 - score) % 10 == 0; }
bool IsLoss(int score) { return IsWin(-score); }

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (ModuleDirectory().empty()) GTEST_SKIP() << "bitbase plug-in not built (no Gaviota)";
        const char* tmpDir = std::getenv("TMPDIR");
        savedTmpDir_ = tmpDir ? tmpDir : "";
        Load(ModuleDirectory());
    }
    void TearDown() override {
        if (savedTmpDir_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", savedTmpDir_.c_str(), 1);
        }
    }
    // Tables are read from the directory the plug-in is loaded from, so a table directory gets
    // a link to the built plug-in, as a user would make one.
    static void LinkPlugin(const ScratchDirectory& dir) {
        std::filesystem::create_symlink(ModuleDirectory() + "egbbso64.so",
                                        dir.Path() + "/egbbso64.so");
    }
    static void Load(const std::string& dir) {
        LoadBitbases(dir.c_str(), 4, 1);
        ASSERT_TRUE(bitbasesLoaded) << dir;
    }
    // One man beside the kings.
    static int Probe(int side, int wk, int bk, int man = 0, int square = 0) {
        return bitbaseProbe(side, wk, bk, man, square, 0, 0, 0, 0);
    }

private:
    std::string savedTmpDir_;
};

TEST_F(PluginTest, QueenAndRookWinForWhicheverSideOwnsThem) {
    // White: Ke1 Qd1 against Ke8. Mate needs 15 plies with White to move, 16 after a Black move.
    int whiteMoves = Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1);
    int blackMoves = Probe(BlackToMove, e1, Sq('e', 8), Queen, d1);
    EXPECT_TRUE(IsWin(whiteMoves)) << whiteMoves;
    EXPECT_TRUE(IsLoss(blackMoves)) << blackMoves;
    EXPECT_EQ(whiteMoves, 17000 - 10 * 15);
    EXPECT_EQ(blackMoves, -(17000 - 10 * 16));

    // The colour mirror image (Black: Ke8 Qd8 against Ke1) answers the same for the mover.
    EXPECT_EQ(Probe(BlackToMove, e1, Sq('e', 8), Queen + BlackMan, Sq('d', 8)), whiteMoves);
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen + BlackMan, Sq('d', 8)), blackMoves);

    // Rook: Ke1 Ra1 against Ke8 wins either way; with Black to move and the rook on d7 beside
    // the black king and unprotected, Black takes it: a draw.
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, e1, Sq('e', 8), Rook, a1)));
    EXPECT_TRUE(IsLoss(Probe(BlackToMove, e1, Sq('e', 8), Rook, a1)));
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, e1, Sq('e', 8), Rook, Sq('d', 7))));
    EXPECT_EQ(Probe(BlackToMove, e1, Sq('e', 8), Rook, Sq('d', 7)), 0);
    EXPECT_TRUE(IsWin(Probe(BlackToMove, e1, Sq('e', 8), Rook + BlackMan, Sq('a', 8))));
}

TEST_F(PluginTest, ShorterMatesScoreHigherAndMateOnBoardIsTheDeepestLoss) {
    // Black Ka8, White Kb6: queen h7 mates at once (Qh8 or Qb7); from h1 it takes longer.
    int mateInOne = Probe(WhiteToMove, Sq('b', 6), Sq('a', 8), Queen, Sq('h', 7));
    int longer = Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1);
    EXPECT_EQ(mateInOne, 17000 - 10);
    EXPECT_GT(mateInOne, longer);
    // Queen b7 protected by the king: Black to move is mated already.
    EXPECT_EQ(Probe(BlackToMove, Sq('b', 6), Sq('a', 8), Queen, Sq('b', 7)), -17000);

    // Through the engine's scale: a bitbase win in n plies reads 8000 - n.
    InitEngineTables();
    ASSERT_TRUE(SetBoard("k7/7Q/1K6/8/8/8/8/8 w - -"));
    EXPECT_EQ(ProbeBitbase(), 7999);
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/3QK3 w - -"));
    EXPECT_EQ(ProbeBitbase(), 8000 - 15);
    ASSERT_TRUE(SetBoard("k7/1Q6/1K6/8/8/8/8/8 b - -"));
    EXPECT_EQ(ProbeBitbase(), -8000);
    ASSERT_TRUE(SetBoard("k7/8/2K5/P7/8/8/8/8 w - -"));
    EXPECT_EQ(ProbeBitbase(), 0);
}

TEST_F(PluginTest, PawnEndingsWinOrDrawByWhoMoves) {
    // King in front of its pawn on the sixth rank wins whoever moves.
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('e', 5))));
    EXPECT_TRUE(IsLoss(Probe(BlackToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('e', 5))));
    // Pawn d6 beside the king: Black to move must give way and loses; White to move draws.
    EXPECT_TRUE(IsLoss(Probe(BlackToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('d', 6))));
    EXPECT_EQ(Probe(WhiteToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('d', 6)), 0);
    // Rook pawn with the defender in its corner: drawn for either side to move.
    EXPECT_EQ(Probe(WhiteToMove, Sq('c', 6), Sq('a', 8), Pawn, Sq('a', 5)), 0);
    EXPECT_EQ(Probe(BlackToMove, Sq('c', 6), Sq('a', 8), Pawn, Sq('a', 5)), 0);
    // Black's pawn, mirrored: Ke3 Pe4 against Ke1.
    EXPECT_TRUE(IsWin(Probe(BlackToMove, e1, Sq('e', 3), Pawn + BlackMan, Sq('e', 4))));
    EXPECT_TRUE(IsLoss(Probe(WhiteToMove, e1, Sq('e', 3), Pawn + BlackMan, Sq('e', 4))));
}

TEST_F(PluginTest, MinorPiecesAloneDraw) {
    for (int side : {WhiteToMove, BlackToMove}) {
        EXPECT_EQ(Probe(side, e1, Sq('e', 8), Bishop, c1), 0);
        EXPECT_EQ(Probe(side, e1, Sq('e', 8), Knight, g1), 0);
        EXPECT_EQ(Probe(side, e1, Sq('e', 8), Bishop + BlackMan, Sq('f', 8)), 0);
        EXPECT_EQ(Probe(side, e1, Sq('e', 8), Knight + BlackMan, Sq('b', 8)), 0);
    }
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8)), 0);  // bare kings
}

TEST_F(PluginTest, FourMenHaveNoAnswerFromThreeManTables) {
    EXPECT_EQ(
        bitbaseProbe(WhiteToMove, e1, Sq('e', 8), Rook, a1, Rook + BlackMan, Sq('h', 8), 0, 0),
        BitbaseNoAnswer);
    EXPECT_EQ(bitbaseProbe(BlackToMove, e1, Sq('e', 8), Queen, d1, Pawn, Sq('a', 2), Knight, b1),
              BitbaseNoAnswer);
}

TEST_F(PluginTest, ImpossibleInputHasNoAnswer) {
    const int k = e1, K = Sq('e', 8);
    struct Case {
        const char* what;
        int args[9];
    };
    const Case cases[] = {
        {"side 2", {2, k, K, Rook, a1, 0, 0, 0, 0}},
        {"king square 64", {0, 64, K, Rook, a1, 0, 0, 0, 0}},
        {"king square -1", {0, k, -1, Rook, a1, 0, 0, 0, 0}},
        {"man square 64", {0, k, K, Rook, 64, 0, 0, 0, 0}},
        {"man square far off", {0, k, K, Rook, INT_MAX, 0, 0, 0, 0}},
        {"two men on one square", {0, k, K, Rook, a1, Knight, a1, 0, 0}},
        {"man on a king", {0, k, K, Rook, k, 0, 0, 0, 0}},
        {"kings adjacent", {0, k, Sq('e', 2), Rook, a1, 0, 0, 0, 0}},
        {"pawn on the first rank", {0, k, K, Pawn, a1, 0, 0, 0, 0}},
        {"pawn on the last rank", {0, k, K, Pawn + BlackMan, Sq('a', 8), 0, 0, 0, 0}},
        {"king code 1 as a man", {0, k, K, 1, a1, 0, 0, 0, 0}},
        {"king code 7 as a man", {0, k, K, 7, a1, 0, 0, 0, 0}},
        {"man code 13", {0, k, K, 13, a1, 0, 0, 0, 0}},
        {"man code INT_MIN", {0, k, K, INT_MIN, a1, 0, 0, 0, 0}},
        {"side not to move in check", {0, k, K, Rook, Sq('a', 8), 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const int* a = c.args;
        EXPECT_EQ(bitbaseProbe(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]),
                  BitbaseNoAnswer)
            << c.what;
    }
    // Kings on h1 and a2 are far apart: the adjacency test must not wrap around the edge.
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, h1, Sq('a', 2), Rook, c1)));
    // An empty slot's square is never looked at.
    EXPECT_EQ(bitbaseProbe(WhiteToMove, e1, Sq('e', 8), 0, 999, Rook, a1, 0, -5),
              Probe(WhiteToMove, e1, Sq('e', 8), Rook, a1));
}

// --- Where the tables come from ----------------------------------------------------------

TEST_F(PluginTest, UsesTheConfiguredDirectoryWithTheSchemeMostOfItsFilesHave) {
    ScratchDirectory dir;
    // cp1 copies of the queen and rook tables only: the pawn ending then has no answer, which
    // shows the installed tables were not used.
    dir.CopyIn(InstalledTables(1) + "/kqk.gtb.cp1", "kqk.gtb.cp1");
    dir.CopyIn(InstalledTables(1) + "/krk.gtb.cp1", "krk.gtb.cp1");
    dir.CopyIn(InstalledTables(4) + "/kbk.gtb.cp4", "kbk.gtb.cp4");
    dir.Write("notes.txt", "not a table");
    LinkPlugin(dir);
    Load(dir.Path());  // no trailing separator
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1), 17000 - 150);
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, e1, Sq('e', 8), Rook, a1)));
    EXPECT_EQ(Probe(WhiteToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('e', 5)), BitbaseNoAnswer);
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Bishop, c1), BitbaseNoAnswer);  // the cp4 one

    // Reloading from the plug-in's own directory (no tables) falls back to the installed set.
    Load(ModuleDirectory());
    EXPECT_TRUE(IsWin(Probe(WhiteToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('e', 5))));
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Bishop, c1), 0);
}

TEST_F(PluginTest, DamagedTablesAreLeftOutAndTheRestStillAnswer) {
    ScratchDirectory tmp;
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    ScratchDirectory dir;
    dir.CopyIn(InstalledTables(4) + "/kqk.gtb.cp4", "kqk.gtb.cp4");
    dir.Write("krk.gtb.cp4", "");                       // empty
    dir.Write("kbk.gtb.cp4", std::string(30, '\x01'));  // shorter than a header
    std::string random(9443, '\0');
    for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>(i * 7919 >> 3);
    dir.Write("knk.gtb.cp4", random);                                // noise
    std::filesystem::create_directory(dir.Path() + "/kpk.gtb.cp4");  // not a file at all
    LinkPlugin(dir);
    Load(dir.Slash());
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1), 17000 - 150);
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Rook, a1), BitbaseNoAnswer);
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Bishop, c1), BitbaseNoAnswer);
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Knight, g1), BitbaseNoAnswer);
    EXPECT_EQ(Probe(WhiteToMove, Sq('e', 6), Sq('e', 8), Pawn, Sq('e', 5)), BitbaseNoAnswer);
    // The sound table was set aside in a private directory, gone again after the next load.
    EXPECT_FALSE(std::filesystem::is_empty(tmp.Path()));
    Load(ModuleDirectory());
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
}

TEST_F(PluginTest, BlockIndexDamageIsCaught) {
    // Offsets of kqk.gtb.cp4 start at byte 40; the data begins at 60 and the file is 9443 long.
    std::string table;
    {
        std::ifstream in(InstalledTables(4) + "/kqk.gtb.cp4", std::ios::binary);
        table.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(table.size(), 60u);
    auto patched = [&](std::size_t at, unsigned value) {
        std::string t = table;
        for (int i = 0; i < 4; ++i) t[at + i] = static_cast<char>(value >> (8 * i));
        return t;
    };
    const std::string damaged[] = {
        table.substr(0, table.size() - 100),  // last blocks cut off
        patched(44, 0xFFFFFF00u),             // an offset far past the end
        patched(48, 100),                     // offsets out of order
        patched(40, 7),                       // index length nonsense
        patched(8, 12345),                    // block size not a power of two
        table.substr(0, 50),                  // index cut short
    };
    for (const std::string& bytes : damaged) {
        ScratchDirectory dir;
        dir.Write("kqk.gtb.cp4", bytes);
        dir.CopyIn(InstalledTables(4) + "/krk.gtb.cp4", "krk.gtb.cp4");
        LinkPlugin(dir);
        Load(dir.Slash());
        EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1), BitbaseNoAnswer);
        EXPECT_TRUE(IsWin(Probe(WhiteToMove, e1, Sq('e', 8), Rook, a1)));
    }
    // Only damaged tables: as if there were none, the installed set answers.
    ScratchDirectory dir;
    dir.Write("kqk.gtb.cp4", damaged[0]);
    LinkPlugin(dir);
    Load(dir.Slash());
    EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1), 17000 - 150);
}

TEST_F(PluginTest, AnyCacheSizeWorks) {
    for (int megabytes : {0, 1, 64}) {
        LoadBitbases(ModuleDirectory().c_str(), megabytes, 0);
        ASSERT_TRUE(bitbasesLoaded);
        EXPECT_EQ(Probe(WhiteToMove, e1, Sq('e', 8), Queen, d1), 17000 - 150) << megabytes;
    }
}

// Exit code 0 when the plug-in, opened but never loaded, answers 99999 to a sound position.
int ProbeBeforeLoad() {
    void* lib = dlopen((ModuleDirectory() + "egbbso64.so").c_str(), RTLD_NOW);
    auto probe = lib ? reinterpret_cast<BitbaseProbe>(dlsym(lib, "probe_egbb_5men")) : nullptr;
    return probe && probe(WhiteToMove, e1, Sq('e', 8), Queen, d1, 0, 0, 0, 0) == 99999 ? 0 : 1;
}

TEST(PluginBeforeLoad, AnswersNothingUntilLoaded) {
    if (ModuleDirectory().empty()) GTEST_SKIP() << "bitbase plug-in not built (no Gaviota)";
    // A fresh process, so that no earlier test has loaded the plug-in.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(ProbeBeforeLoad()), ::testing::ExitedWithCode(0), "");
}

}  // namespace

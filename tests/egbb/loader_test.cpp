// LoadBitbases against stand-in plug-ins, and ProbeBitbase's description of the live position
// and its score mapping through a probe that records its arguments.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "board/board.h"
#include "egbb/egbb.h"
#include "egbb_test_support.h"
#include "engine/engine.h"

namespace {

const std::string FakeDir = ZELMOR_EGBB_FAKE_DIR;
const std::string MissingProbeDir = ZELMOR_EGBB_MISSING_PROBE_DIR;

// What the recording stand-in was last handed, read through its exported variables.
struct RecordedLoad {
    std::string directory;
    int cacheBytes = 0;
    int mode = 0;
    int calls = 0;
};

RecordedLoad Recorded() {
    RecordedLoad seen;
    void* lib = dlopen((FakeDir + "/egbbso64.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return seen;
    seen.directory = static_cast<const char*>(dlsym(lib, "fake_load_directory"));
    seen.cacheBytes = *static_cast<int*>(dlsym(lib, "fake_load_cache_bytes"));
    seen.mode = *static_cast<int*>(dlsym(lib, "fake_load_mode"));
    seen.calls = *static_cast<int*>(dlsym(lib, "fake_load_calls"));
    dlclose(lib);
    return seen;
}

TEST(LoadBitbases, HandsThePluginTheDirectoryCacheBytesAndMode) {
    LoadBitbases((FakeDir + "/").c_str(), 16, 3);
    ASSERT_TRUE(bitbasesLoaded);
    ASSERT_NE(bitbaseProbe, nullptr);
    EXPECT_EQ(bitbaseLoadMode, 3);
    RecordedLoad seen = Recorded();
    EXPECT_EQ(seen.directory, FakeDir + "/");
    EXPECT_EQ(seen.cacheBytes, 16 * 1048576);
    EXPECT_EQ(seen.mode, 3);
    EXPECT_EQ(bitbaseProbe(0, 4, 60, 3, 0, 0, 0, 0, 0), BitbaseNoAnswer);

    // Without a trailing separator the directory is completed before anything else.
    LoadBitbases(FakeDir.c_str(), 4, 1);
    ASSERT_TRUE(bitbasesLoaded);
    seen = Recorded();
    EXPECT_EQ(seen.directory, FakeDir + "/");
    EXPECT_GE(seen.calls, 1);
    EXPECT_EQ(bitbaseLoadMode, 1);
}

TEST(LoadBitbases, CacheBytesNeverWrapNegative) {
    struct Case {
        int megabytes;
        int bytes;
    };
    for (Case c : {Case{0, 0}, Case{2047, 2047 * 1048576}, Case{2048, INT_MAX},
                   Case{INT_MAX, INT_MAX}, Case{-5, 0}, Case{INT_MIN, 0}}) {
        LoadBitbases((FakeDir + "/").c_str(), c.megabytes, 1);
        ASSERT_TRUE(bitbasesLoaded);
        EXPECT_EQ(Recorded().cacheBytes, c.bytes) << c.megabytes << " MB";
    }
}

TEST(LoadBitbases, EveryBrokenLibraryLeavesTheBitbasesUnloaded) {
    ScratchDirectory notLibrary;
    notLibrary.Write("egbbso64.so", "this is a text file, not a shared library\n");
    ScratchDirectory emptyDir;
    ScratchDirectory emptyFile;
    emptyFile.Write("egbbso64.so", "");

    const std::string broken[] = {notLibrary.Slash(),          emptyDir.Slash(),
                                  emptyFile.Slash(),           MissingProbeDir + "/",
                                  "/nonexistent/zelmor/egbb/", ""};
    for (const std::string& dir : broken) {
        // Each failure follows a good load, so it must also drop the earlier library.
        LoadBitbases((FakeDir + "/").c_str(), 4, 1);
        ASSERT_TRUE(bitbasesLoaded);
        LoadBitbases(dir.c_str(), 4, 1);
        EXPECT_FALSE(bitbasesLoaded) << dir;
        EXPECT_EQ(bitbaseProbe, nullptr) << dir;
        EXPECT_EQ(ProbeBitbase(), BitbaseNoAnswer) << dir;
    }
    LoadBitbases(nullptr, 4, 1);
    EXPECT_FALSE(bitbasesLoaded);
}

TEST(LoadBitbases, DirectoryOf244CharactersLoadsAndLongerIsRefused) {
    ScratchDirectory base;
    // Directories whose completed text (with the final '/') is exactly 244 and 245 long.
    for (int length : {244, 245}) {
        std::string dir = base.Path() + "/";
        while (dir.size() < static_cast<std::size_t>(length)) {
            std::size_t room = length - dir.size() - 1;
            dir += std::string(std::min<std::size_t>(room == 0 ? 1 : room, 100), 'd') + "/";
        }
        ASSERT_EQ(dir.size(), static_cast<std::size_t>(length));
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(FakeDir + "/egbbso64.so", dir + "egbbso64.so");

        LoadBitbases(dir.c_str(), 4, 1);
        EXPECT_EQ(bitbasesLoaded, length <= MaxBitbaseDirectory) << length;
        std::string unended = dir.substr(0, dir.size() - 1);  // '/' appended: same length
        LoadBitbases(unended.c_str(), 4, 1);
        EXPECT_EQ(bitbasesLoaded, length <= MaxBitbaseDirectory) << length;
    }
}

// --- ProbeBitbase ------------------------------------------------------------------------

struct ProbeCall {
    int args[9];
    int calls;
    int answer;
};
ProbeCall probeCall;

int RecordingProbe(int side, int whiteKing, int blackKing, int man1, int square1, int man2,
                   int square2, int man3, int square3) {
    int args[9] = {side, whiteKing, blackKing, man1, square1, man2, square2, man3, square3};
    std::copy(args, args + 9, probeCall.args);
    ++probeCall.calls;
    return probeCall.answer;
}

class ProbeBitbaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
    void SetUp() override {
        probeCall = {{}, 0, 0};
        bitbaseProbe = RecordingProbe;
        bitbasesLoaded = true;
    }
    void TearDown() override {
        bitbaseProbe = nullptr;
        bitbasesLoaded = false;
    }
    static std::vector<int> Args() { return {probeCall.args, probeCall.args + 9}; }
};

TEST_F(ProbeBitbaseTest, DescribesThePositionInThePluginsEncoding) {
    // King and rook against king: White to move, kings e1/e8, rook a1.
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/R3K3 w - -"));
    ProbeBitbase();
    EXPECT_EQ(Args(), (std::vector<int>{0, 4, 60, 3, 0, 0, 0, 0, 0}));

    // Three men go from h1 toward a8: the pawn on h2, the rook on d4, the knight on a8.
    ASSERT_TRUE(SetBoard("n3k3/8/8/8/3R4/8/7P/4K3 b - -"));
    ProbeBitbase();
    EXPECT_EQ(Args(), (std::vector<int>{1, 4, 60, 6, 15, 3, 27, 11, 56}));

    // Every man code, both colours, on squares far from a1 so a missed XOR 56 shows.
    struct Case {
        const char* fen;
        int man;
        int square;
    };
    const Case cases[] = {
        {"4k3/Q7/8/8/8/8/8/4K3 w - -", 2, 48}, {"4k3/R7/8/8/8/8/8/4K3 w - -", 3, 48},
        {"4k3/B7/8/8/8/8/8/4K3 w - -", 4, 48}, {"4k3/N7/8/8/8/8/8/4K3 w - -", 5, 48},
        {"4k3/P7/8/8/8/8/8/4K3 w - -", 6, 48}, {"4k3/8/8/8/8/8/q7/4K3 w - -", 8, 8},
        {"4k3/8/8/8/8/8/r7/4K3 w - -", 9, 8},  {"4k3/8/8/8/8/8/b7/4K3 w - -", 10, 8},
        {"4k3/8/8/8/8/8/n7/4K3 w - -", 11, 8}, {"4k3/8/8/8/8/8/p7/4K3 w - -", 12, 8},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetBoard(c.fen)) << c.fen;
        ProbeBitbase();
        EXPECT_EQ(Args(), (std::vector<int>{0, 4, 60, c.man, c.square, 0, 0, 0, 0})) << c.fen;
    }
    // Bare kings, kings on the corners.
    ASSERT_TRUE(SetBoard("7k/8/8/8/8/8/8/K7 b - -"));
    ProbeBitbase();
    EXPECT_EQ(Args(), (std::vector<int>{1, 0, 63, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ProbeBitbaseTest, MapsAnswersBeyond7000TenToOne) {
    struct Case {
        int raw;
        int score;
    };
    const Case cases[] = {
        {-123, -123},    {7000, 7000},    {-7000, -7000},   {7500, 7050},    {-7500, -7050},
        {7009, 7000},    {-7009, -7000},  {16850, 7985},    {-17000, -8000}, {17010, 8001},
        {-17010, -8001}, {INT_MAX, 8001}, {INT_MIN, -8001}, {99999, 99999},  {-99999, -8001},
    };
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/R3K3 w - -"));
    for (const Case& c : cases) {
        probeCall.answer = c.raw;
        EXPECT_EQ(ProbeBitbase(), c.score) << "raw " << c.raw;
    }
}

TEST_F(ProbeBitbaseTest, NoAnswerWithoutCallingForWhatThePluginCannotBeTold) {
    probeCall.answer = 500;
    // Four men besides the kings do not fit the three slots.
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/RNB1K2R w - -"));
    EXPECT_EQ(ProbeBitbase(), BitbaseNoAnswer);
    EXPECT_EQ(probeCall.calls, 0);
    // Three still do.
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/RNB1K3 w - -"));
    EXPECT_EQ(ProbeBitbase(), 500);
    EXPECT_EQ(probeCall.calls, 1);

    // A live position without a black king (as a rejected setboard may leave it).
    pos.kingSquare[Black] = 100;
    EXPECT_EQ(ProbeBitbase(), BitbaseNoAnswer);
    EXPECT_EQ(probeCall.calls, 1);

    bitbaseProbe = nullptr;
    ASSERT_TRUE(SetBoard("4k3/8/8/8/8/8/8/R3K3 w - -"));
    EXPECT_EQ(ProbeBitbase(), BitbaseNoAnswer);
}

}  // namespace

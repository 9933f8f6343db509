#include <cstring>
#include <initializer_list>
#include <string>

#include "egbb/egbb.h"
#include "engine/engine.h"
#include "movegen/test_helpers.h"
#include "tools/tools.h"

using namespace testing_support;

namespace {

int probeCalls;
int probeArgs[9];

int RecordingProbe(int a, int b, int c, int d, int e, int f, int g, int h, int i) {
    ++probeCalls;
    const int args[9] = {a, b, c, d, e, f, g, h, i};
    std::memcpy(probeArgs, args, sizeof args);
    return 0;
}

std::string RunTestCommand() {
    testing::internal::CaptureStdout();
    TestCommand();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(TestCommand, SetsTheFixedPositionWithAnUnlimitedClock) {
    InitOnce();
    const bool savedLoaded = bitbasesLoaded;
    bitbasesLoaded = false;
    movesPerSession = 40;
    incrementMs = 2000;
    EngineState = Force;
    ponderEnabled = true;
    const std::string out = RunTestCommand();

    char fen[128];
    WriteFen(fen);
    EXPECT_STREQ(fen, "2rb1rk1/p4p2/2n3p1/q2NpPP1/2p5/P1Q1PP2/1P1R4/2K4R w - -");
    EXPECT_EQ(movesPerSession, 1);
    EXPECT_EQ(incrementMs, 0);
    EXPECT_EQ(EngineState, Playing);
    EXPECT_FALSE(ponderEnabled);
    EXPECT_EQ(movesToGo, 1);
    // 9 x 999999899 ms wraps to 410064499 ms, about 114 hours.
    EXPECT_EQ(timeForMove, 410064499);
    EXPECT_GT(timeForMove, 100 * 3600 * 1000);
    // Only the diagram is printed.
    EXPECT_EQ(out.rfind("\n8 . . r b . r k . ", 0), 0u) << out;
    EXPECT_NE(out.find("\n1 . . K . . . . R "), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 20), "\n\n  A B C D E F G H\n");
    bitbasesLoaded = savedLoaded;
}

TEST(TestCommand, ProbesTheBitbasesOnceWhenLoaded) {
    InitOnce();
    const bool savedLoaded = bitbasesLoaded;
    const BitbaseProbe savedProbe = bitbaseProbe;
    bitbasesLoaded = true;
    bitbaseProbe = RecordingProbe;
    probeCalls = 0;
    RunTestCommand();
    EXPECT_EQ(probeCalls, 1);
    const int expected[9] = {1, 24, 41, 8, 3, 6, 13, 2, 25};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(probeArgs[i], expected[i]) << i;
    bitbasesLoaded = false;
    probeCalls = 0;
    RunTestCommand();
    EXPECT_EQ(probeCalls, 0);
    bitbasesLoaded = savedLoaded;
    bitbaseProbe = savedProbe;
}

// Set-up text may describe impossible positions; counting their trees must neither crash nor
// read outside any table, and leaves the position as it was.
TEST(Perft, ImpossiblePositionsAreCountedSafely) {
    struct Case {
        const char* fen;
        int depth;
    };
    for (const auto& [fen, depth] : std::initializer_list<Case>{
             {"8/8/8/8/8/8/8/8 w - -", 3},                  // nothing at all
             {"8/8/3q4/8/8/2N5/8/R7 w - -", 3},             // no kings
             {"8/8/3q4/8/8/2N5/8/R3K3 b - -", 3},           // only White has a king
             {"P6p/8/8/3k4/8/8/8/p3K2P w - -", 3},          // pawns on first and last ranks
             {"pppppppp/8/8/3k4/8/8/8/PPPPKPPP b - -", 3},  // more of them, Black to move
             {"4k3/8/8/8/8/8/4R3/4K3 w - -", 3},            // the side not to move is in check
             {"8/8/8/3kK3/8/8/8/8 w - -", 3},               // kings side by side
             {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e6", 3},  // stray e.p. square
             {"r3k2r/8/8/8/8/8/8/1R2K1R1 w KQkq -", 3},  // rights without rooks at home
             {"QQQQQQQQ/8/8/3k4/8/8/8/4K3 w - -", 3},    // eight queens
             {"QQQQQQQQ/QQQQQQQQ/QQQQQQ2/3k4/8/8/8/4K3 w - -",
              2},  // material beyond the phase tables
         }) {
        Load(fen);
        char before[128], after[128];
        WriteFen(before);
        testing::internal::CaptureStdout();
        RunPerft(depth);
        const std::string out = testing::internal::GetCapturedStdout();
        WriteFen(after);
        EXPECT_STREQ(before, after) << fen;
        EXPECT_NE(out.find("total nodes: "), std::string::npos) << fen;
        EXPECT_EQ(out.find("perft stopped"), std::string::npos) << fen;
    }
}

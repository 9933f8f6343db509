// Measurement commands: "perft" (move-tree counts per depth with timings), "test" (the fixed
// search position with practically unlimited time), and the unavailable benchmarks.
#pragma once

#include "board/types.h"

// Deepest perft the command runs; larger requests are cut down to it.
inline constexpr i32 MaxPerftDepth = 127;
constexpr i32 ClampPerftDepth(i32 depth) { return depth > MaxPerftDepth ? MaxPerftDepth : depth; }

void RunPerft(i32 depth);
u64 Perft(int depth);
// Set when a Perft call found no room left in the ply records or the shared move list; the
// counts of that call are then incomplete. Cleared by RunPerft.
extern bool perftOutOfRoom;
void TestCommand();

// The fixed middlegame position of "test".
inline constexpr const char* TestPositionFen =
    "2rb1rk1/p4p2/2n3p1/q2NpPP1/2p5/P1Q1PP2/1P1R4/2K4R w - - 0 23";

// Measurement commands: "perft" (move-tree counts per depth with timings), "test" (the fixed
// search position with practically unlimited time), and the unavailable benchmarks.
#pragma once

#include "board/types.h"

void RunPerft(i32 depth);
u64 Perft(int depth);
void TestCommand();

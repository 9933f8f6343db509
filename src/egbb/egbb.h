// Endgame bitbases: loading the plug-in library named in Zelmor.ini and probing it for
// positions of at most five men. Loaded once at start-up; probed by the search and "eval".
#pragma once

#include "board/types.h"

extern bool bitbasesLoaded;
extern i32 bitbaseLoadMode;

// The plug-in's probe: side 0 = White to move, squares a1 = 0 ... h8 = 63, men 2-6 white
// Q R B N P, 8-12 black, 0 none; answers a score for the side to move or 99999.
using BitbaseProbe = int (*)(int side, int whiteKing, int blackKing, int man1, int square1,
                             int man2, int square2, int man3, int square3);
extern BitbaseProbe bitbaseProbe;

// Longest accepted directory: with the library name it must fit a 256-byte path.
inline constexpr int MaxBitbaseDirectory = 244;

// Loads <directory>egbbso64.so ('/' is added when the directory ends in neither '/' nor '\')
// and hands it the directory, the cache in bytes and the load mode. Anything that goes wrong
// (no such library, not a library, an entry point missing, directory empty or too long) leaves
// the bitbases unloaded, with the reason in the debug log.
void LoadBitbases(const char* directory, int cacheMegabytes, int loadMode);

inline constexpr int BitbaseNoAnswer = 99999;
// Score of the live position for the side to move, or BitbaseNoAnswer. Wins and losses are
// compressed above 7000 so that they stay within 8001 of zero, below the engine's mate scores.
int ProbeBitbase();

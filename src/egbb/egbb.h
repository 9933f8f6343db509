// Endgame bitbases: loading the plug-in library named in Zelmor.ini and probing it for
// positions of at most five men. Loaded once at start-up; probed by the search and "eval".
#pragma once

#include "board/types.h"

extern bool bitbasesLoaded;
extern i32 bitbaseLoadMode;

using BitbaseProbe = int (*)(int side, int whiteKing, int blackKing, int man1, int square1,
                             int man2, int square2, int man3, int square3);
extern BitbaseProbe bitbaseProbe;

// Loads <directory>egbbso64.so; directory ends with '/' (or is refused when too long).
void LoadBitbases(const char* directory, int cacheMegabytes, int loadMode);

inline constexpr int BitbaseNoAnswer = 99999;
// Score of the live position for the side to move, or BitbaseNoAnswer.
int ProbeBitbase();

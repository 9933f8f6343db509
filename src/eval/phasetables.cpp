// The piece-square tables by material phase. The grids are stored as seen from White with rank 8
// on top (entry s = rank 8 - s / 8, file a + s % 8); Black pieces read them turned through 180
// degrees, kings read them at their actual square. A few grids are deliberately not left-right
// symmetric (the opening bishop grid most of all) and are used exactly as they stand.
#include <algorithm>
#include <array>

#include "eval/eval.h"

namespace {

using Grid = std::array<i16, 64>;

// Board-shaped grids, one rank a line.
// clang-format off
constexpr Grid KingOpening = {
       4,   12,   -4,   -6,   -6,   -4,   12,    4,  // rank 8
      -9,  -14,  -24,  -29,  -29,  -24,  -14,   -9,  // rank 7
     -19,  -28,  -39,  -30,  -30,  -39,  -28,  -19,  // rank 6
     -25,  -39,  -40,  -55,  -55,  -40,  -39,  -25,  // rank 5
     -25,  -39,  -40,  -55,  -55,  -40,  -39,  -25,  // rank 4
     -19,  -28,  -39,  -30,  -30,  -39,  -28,  -19,  // rank 3
      -9,  -14,  -24,  -29,  -29,  -24,  -14,   -9,  // rank 2
       4,   12,   -2,   -6,   -6,   -2,   12,    4,  // rank 1
};

constexpr Grid KingMiddle = {
       0,    6,   -2,   -3,   -3,   -2,    6,    0,  // rank 8
      -3,   -5,  -10,  -15,  -15,  -10,   -5,   -3,  // rank 7
      -7,  -14,  -14,  -18,  -18,  -14,  -14,   -7,  // rank 6
      -8,  -19,  -28,  -35,  -35,  -28,  -19,   -8,  // rank 5
      -8,  -19,  -28,  -35,  -35,  -28,  -19,   -8,  // rank 4
      -7,  -14,  -12,  -18,  -18,  -12,  -14,   -7,  // rank 3
      -3,   -5,  -14,  -19,  -19,  -14,   -5,   -3,  // rank 2
       0,    6,   -2,   -3,   -3,   -2,    6,    0,  // rank 1
};

constexpr Grid KingLateMiddle = {
      -8,   -6,   -4,   -2,   -2,   -4,   -6,   -8,  // rank 8
      -6,   -4,   -2,    0,    0,   -2,   -4,   -6,  // rank 7
      -4,   -2,    0,    2,    2,    0,   -2,   -4,  // rank 6
      -2,    0,    2,    4,    4,    2,    0,   -2,  // rank 5
      -2,    0,    2,    4,    4,    2,    0,   -2,  // rank 4
      -4,   -2,    0,    2,    2,    0,   -2,   -4,  // rank 3
      -6,   -4,   -2,    0,    0,   -2,   -4,   -6,  // rank 2
      -8,   -6,   -4,   -2,   -2,   -4,   -6,   -8,  // rank 1
};

constexpr Grid KingEndgame = {
     -26,  -19,  -12,   -9,   -9,  -12,  -19,  -26,  // rank 8
     -19,  -15,   -6,    0,    0,   -6,  -15,  -19,  // rank 7
     -15,   -6,    0,    4,    4,    0,   -6,  -15,  // rank 6
     -12,    0,    4,    9,    9,    4,    0,  -12,  // rank 5
     -12,    0,    4,    9,    9,    4,    0,  -12,  // rank 4
     -15,   -6,    0,    4,    4,    0,   -6,  -15,  // rank 3
     -19,  -15,   -6,    0,    0,   -6,  -15,  -19,  // rank 2
     -26,  -19,  -12,   -9,   -9,  -12,  -19,  -26,  // rank 1
};

constexpr Grid PawnOpening = {
      99,   99,   99,   99,   99,   99,   99,   99,  // rank 8
      18,   31,   33,   40,   40,   33,   31,   18,  // rank 7
       4,    5,   18,   26,   26,   18,    5,    4,  // rank 6
       1,    1,    4,   16,   16,    4,    1,    1,  // rank 5
       0,    0,    3,   12,   12,    3,    0,    0,  // rank 4
       0,   -1,    1,    2,    2,   -1,   -1,    0,  // rank 3
       0,    0,    0,   -9,   -9,    0,    0,    0,  // rank 2
       0,    0,    0,    0,    0,    0,    0,    0,  // rank 1
};

constexpr Grid PawnMiddle = {
     199,  199,  199,  199,  199,  199,  199,  199,  // rank 8
      29,   44,   48,   53,   53,   48,   44,   29,  // rank 7
       9,   10,   14,   20,   20,   14,   10,    9,  // rank 6
       3,    6,   10,   16,   16,   10,    6,    3,  // rank 5
       1,    4,    6,   14,   14,    6,    4,    1,  // rank 4
       0,    1,    0,    4,    4,    0,    1,    0,  // rank 3
       0,    0,    0,   -9,   -9,    0,    0,    0,  // rank 2
       0,    0,    0,    0,    0,    0,    0,    0,  // rank 1
};

constexpr Grid PawnLateMiddle = {
     299,  299,  299,  299,  299,  299,  299,  299,  // rank 8
      52,   64,   67,   75,   75,   67,   64,   52,  // rank 7
      30,   32,   35,   45,   45,   35,   32,   30,  // rank 6
      15,   16,   22,   28,   28,   22,   16,   15,  // rank 5
       6,    8,   17,   20,   20,   17,    8,    6,  // rank 4
       2,    3,    1,    4,    4,    1,    3,    2,  // rank 3
       0,    0,    0,   -9,   -9,    0,    0,    0,  // rank 2
       0,    0,    0,    0,    0,    0,    0,    0,  // rank 1
};

constexpr Grid PawnEndgame = {
     499,  499,  499,  499,  499,  499,  499,  499,  // rank 8
      72,   90,   99,  104,  104,   99,   90,   72,  // rank 7
      45,   54,   60,   65,   65,   60,   54,   45,  // rank 6
      18,   24,   28,   30,   28,   24,   30,   18,  // rank 5
       9,   12,   14,   18,   18,   14,   12,    9,  // rank 4
       1,    3,    1,    4,    4,    1,    3,    1,  // rank 3
       0,    0,    0,   -9,   -9,    0,    0,    0,  // rank 2
       0,    0,    0,    0,    0,    0,    0,    0,  // rank 1
};

constexpr Grid KnightOpening = {
     -25,  -22,  -12,  -10,  -10,  -12,  -22,  -25,  // rank 8
     -15,   -5,   -1,    2,    2,   -1,   -5,  -15,  // rank 7
     -11,    4,   10,    9,    9,   10,    4,  -11,  // rank 6
      -9,    5,   12,   17,   17,   12,    5,   -9,  // rank 5
      -9,    5,   12,   17,   17,   12,    5,   -9,  // rank 4
     -11,    4,   10,    9,    9,   10,    4,  -11,  // rank 3
     -15,   -6,   -1,    2,    2,   -1,   -6,  -15,  // rank 2
     -25,  -22,  -12,  -10,  -10,  -12,  -22,  -25,  // rank 1
};

constexpr Grid KnightLater = {
     -19,  -14,   -6,   -4,   -4,   -6,  -14,  -19,  // rank 8
     -14,   -5,    0,    1,    1,    0,   -5,  -14,  // rank 7
      -9,    4,    8,    9,    9,    8,    4,   -9,  // rank 6
      -6,    5,    9,   13,   13,    9,    5,   -6,  // rank 5
      -6,    5,    9,   13,   13,    9,    5,   -6,  // rank 4
      -9,    4,    8,    9,    9,    8,    4,   -9,  // rank 3
     -14,   -6,   -1,    2,    2,   -1,   -6,  -14,  // rank 2
     -19,  -14,   -8,   -6,   -6,   -8,  -14,  -19,  // rank 1
};

constexpr Grid BishopOpening = {
     -19,  -18,  -18,  -12,  -12,  -18,  -18,  -31,  // rank 8
       6,    2,    3,    3,    2,    6,  -12,   -8,  // rank 7
       4,    5,    8,    8,    5,    4,   -8,    0,  // rank 6
       6,    9,   12,   12,    9,    6,    0,    0,  // rank 5
       6,    9,   12,   12,    9,    6,    0,   -8,  // rank 4
       4,    5,    8,    8,    5,    4,   -8,  -12,  // rank 3
       6,    2,    3,    3,    2,    6,  -12,  -19,  // rank 2
     -18,  -18,  -12,  -12,  -18,  -18,  -19,    0,  // rank 1
};

constexpr Grid BishopLater = {
     -15,  -10,   -9,   -5,   -5,   -9,  -10,  -15,  // rank 8
     -10,    4,    2,    2,    2,    2,    4,  -10,  // rank 7
      -1,    4,    8,    8,    8,    7,    4,   -1,  // rank 6
       1,    7,   10,   13,   13,   10,    7,    1,  // rank 5
       1,    7,   10,   13,   13,   10,    7,    1,  // rank 4
      -1,    4,    8,    8,    8,    8,    4,   -1,  // rank 3
     -10,    4,    2,    2,    2,    2,    4,  -10,  // rank 2
     -15,  -10,   -9,   -5,   -5,   -9,  -10,  -15,  // rank 1
};

constexpr Grid RookOpening = {
       2,    4,    5,    6,    6,    5,    4,    2,  // rank 8
       7,    9,   11,   12,   12,   11,    9,    7,  // rank 7
      -1,    0,    4,    5,    5,    4,    0,   -1,  // rank 6
      -3,   -2,    3,    4,    4,    3,   -2,   -3,  // rank 5
      -4,   -3,    2,    3,    3,    2,   -3,   -4,  // rank 4
      -4,   -3,    2,    3,    3,    2,   -3,   -4,  // rank 3
      -9,   -2,    2,    3,    3,    2,   -2,   -9,  // rank 2
     -13,  -12,    0,    2,    2,    0,  -12,  -13,  // rank 1
};

constexpr Grid RookLater = {
       2,    4,    5,    6,    6,    5,    4,    2,  // rank 8
       7,    9,   11,   12,   12,   11,    9,    7,  // rank 7
      -1,    0,    4,    5,    5,    4,    0,   -1,  // rank 6
      -3,   -2,    3,    4,    4,    3,   -2,   -3,  // rank 5
      -4,   -3,    2,    3,    3,    2,   -3,   -4,  // rank 4
      -4,   -3,    2,    3,    3,    2,   -3,   -4,  // rank 3
      -6,   -2,    2,    3,    3,    2,   -2,   -6,  // rank 2
      -8,   -6,    0,    1,    1,    0,   -6,   -8,  // rank 1
};

constexpr Grid QueenOpening = {
      -1,    0,    1,    2,    2,    1,    0,   -1,  // rank 8
       2,    4,    3,    3,    3,    3,    4,    2,  // rank 7
       1,    2,    2,    2,    2,    2,    2,    1,  // rank 6
       0,    1,    1,    1,    1,    1,    1,    0,  // rank 5
       0,    1,    1,    1,    1,    1,    1,    0,  // rank 4
      -1,    2,    1,    1,    1,    1,    2,   -1,  // rank 3
      -2,   -2,    0,    3,    3,    0,   -2,   -2,  // rank 2
      -4,   -3,    0,    9,    9,    0,   -3,   -4,  // rank 1
};

constexpr Grid QueenLater = {
      -1,    2,    3,    4,    4,    3,    2,   -1,  // rank 8
       6,    7,    8,    9,    9,    8,    7,    6,  // rank 7
       3,    4,    5,    6,    6,    5,    4,    3,  // rank 6
       1,    2,    4,    7,    7,    4,    2,    1,  // rank 5
       0,    1,    3,    5,    5,    3,    1,    0,  // rank 4
      -1,    0,    1,    3,    3,    1,    0,   -1,  // rank 3
      -2,   -2,    0,    0,    0,    0,   -2,   -2,  // rank 2
      -4,   -3,    0,    1,    1,    0,   -3,   -4,  // rank 1
};

// clang-format on

// materialTotal ranges where each grid applies; everything above the first bound is the opening.
enum : int { OpeningFrom = 71, MiddleFrom = 63, LateMiddleFrom = 47, LaterFrom = 15 };

}  // namespace

const i16* PhaseTables[6][192];

void InitPhaseTables() {
    for (int phase = 0; phase < 192; ++phase) {
        const bool opening = phase >= OpeningFrom;
        // Kings: middle game from 47, late middle game from 15, endgame below.
        PhaseTables[0][phase] = opening                   ? KingOpening.data()
                                : phase >= LateMiddleFrom ? KingMiddle.data()
                                : phase >= LaterFrom      ? KingLateMiddle.data()
                                                          : KingEndgame.data();
        // Pawns switch to the late middle game already at 62, the kings only at 46.
        PhaseTables[1][phase] = opening               ? PawnOpening.data()
                                : phase >= MiddleFrom ? PawnMiddle.data()
                                : phase >= LaterFrom  ? PawnLateMiddle.data()
                                                      : PawnEndgame.data();
        PhaseTables[2][phase] = opening ? KnightOpening.data() : KnightLater.data();
        PhaseTables[3][phase] = opening ? BishopOpening.data() : BishopLater.data();
        PhaseTables[4][phase] = opening ? RookOpening.data() : RookLater.data();
        PhaseTables[5][phase] = opening ? QueenOpening.data() : QueenLater.data();
    }
}

i16 PieceSquareValue(int code, int square) {
    if (code < WPawn || code > BKing || square < 0 || square > 63) return 0;
    const int kind = ((code + 1) / 2) % 6;  // pawn 1 ... queen 5, king 0
    const i16* table = PhaseTables[kind][PhaseIndex()];
    if (kind == 0 || (code & 1) != 0) return table[square];
    return table[63 - square];
}

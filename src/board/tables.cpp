// Fixed attack and mask tables, built once at start-up and read-only afterwards.
//
// Sliding attacks use rotated occupancy boards: in each layout the squares of one line (rank,
// file, a1-h8 diagonal, a8-h1 diagonal) are consecutive bits, so a line's occupancy is one shift
// and one mask away and indexes [square][occupancy] directly. Within every line the square met
// first in the layout order is the line byte's top bit; that one rule serves all four kinds.
#include <array>

#include "board/board.h"

u64 KingAttacks[64];
u64 PawnAttacks[2][64];
u64 KnightAttacks[64];
u64 RankAttacks[64][256];
u64 FileAttacks[64][256];
u64 DiagA1H8Attacks[64][256];
u64 DiagA8H1Attacks[64][256];
u64 SetMask[64];
u64 SetMaskR90[64];
u64 SetMaskR45[64];
u64 SetMaskR315[64];
SquareBits SquareMasks[64];
u64 FileMask[64];
u64 AdjacentFilesMask[64];
u64 PassedMask[2][64];
u64 FrontSpan[2][64];
u64 QueenRays[64];
u64 RookRays[64];
u64 BishopRays[64];
u64 EpMaskR90[64];
u64 EpMaskR45[64];
u64 EpMaskR315[64];

// Shift and mask of each square's diagonal in the R45 / R315 layouts.
const u8 DiagShift45[64] = {63, 61, 58, 54, 49, 43, 36, 28, 61, 58, 54, 49, 43, 36, 28, 21,
                            58, 54, 49, 43, 36, 28, 21, 15, 54, 49, 43, 36, 28, 21, 15, 10,
                            49, 43, 36, 28, 21, 15, 10, 6,  43, 36, 28, 21, 15, 10, 6,  3,
                            36, 28, 21, 15, 10, 6,  3,  1,  28, 21, 15, 10, 6,  3,  1,  0};
const u8 DiagShift315[64] = {28, 36, 43, 49, 54, 58, 61, 63, 21, 28, 36, 43, 49, 54, 58, 61,
                             15, 21, 28, 36, 43, 49, 54, 58, 10, 15, 21, 28, 36, 43, 49, 54,
                             6,  10, 15, 21, 28, 36, 43, 49, 3,  6,  10, 15, 21, 28, 36, 43,
                             1,  3,  6,  10, 15, 21, 28, 36, 0,  1,  3,  6,  10, 15, 21, 28};
const u8 DiagMask45[64] = {1,   3,   7,   15,  31,  63,  127, 255, 3,   7,   15,  31,  63,
                           127, 255, 127, 7,   15,  31,  63,  127, 255, 127, 63,  15,  31,
                           63,  127, 255, 127, 63,  31,  31,  63,  127, 255, 127, 63,  31,
                           15,  63,  127, 255, 127, 63,  31,  15,  7,   127, 255, 127, 63,
                           31,  15,  7,   3,   255, 127, 63,  31,  15,  7,   3,   1};
const u8 DiagMask315[64] = {255, 127, 63,  31,  15,  7,   3,   1,   127, 255, 127, 63,  31,
                            15,  7,   3,   63,  127, 255, 127, 63,  31,  15,  7,   31,  63,
                            127, 255, 127, 63,  31,  15,  15,  31,  63,  127, 255, 127, 63,
                            31,  7,   15,  31,  63,  127, 255, 127, 63,  3,   7,   15,  31,
                            63,  127, 255, 127, 1,   3,   7,   15,  31,  63,  127, 255};

const i32 BitScanTable[64] = {63, 32, 59, 30, 3,  48, 51, 29, 2,  38, 12, 53, 7,  43, 41, 28,
                              1,  33, 60, 9,  11, 39, 21, 44, 6,  34, 61, 19, 16, 35, 62, 27,
                              0,  31, 4,  58, 57, 13, 8,  56, 47, 10, 50, 22, 55, 20, 17, 46,
                              37, 5,  14, 49, 52, 23, 54, 18, 42, 15, 24, 40, 45, 25, 26, 36};

namespace {

constexpr u64 Bit(int s) { return u64{1} << (63 - s); }

// Rotated index of each square in the three layouts.
struct RotationMaps {
    std::array<int, 64> r90{}, r45{}, r315{};
};

constexpr RotationMaps MakeRotationMaps() {
    RotationMaps m;
    for (int s = 0; s < 64; ++s) m.r90[s] = (7 - File(s)) * 8 + Row(s);
    int k = 0;
    for (int d = 0; d <= 14; ++d)  // a1-h8 diagonals, a8 first; inside one, by rising file
        for (int f = 0; f < 8; ++f)
            if (int r = d - f; r >= 0 && r < 8) m.r45[r * 8 + f] = k++;
    k = 0;
    for (int d = -7; d <= 7; ++d)  // a8-h1 diagonals, h8 first; inside one, by rising row
        for (int r = 0; r < 8; ++r)
            if (int f = r - d; f >= 0 && f < 8) m.r315[r * 8 + f] = k++;
    return m;
}
constexpr RotationMaps Rotations = MakeRotationMaps();

u64 Rotate(u64 bb, const std::array<int, 64>& map) {
    u64 out = 0;
    for (int s = 0; s < 64; ++s)
        if (bb & Bit(s)) out |= Bit(map[s]);
    return out;
}

bool OnBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

u64 StepAttacks(int s, const int (*steps)[2], int count) {
    u64 bb = 0;
    for (int i = 0; i < count; ++i) {
        int r = Row(s) + steps[i][0], f = File(s) + steps[i][1];
        if (OnBoard(r, f)) bb |= Bit(r * 8 + f);
    }
    return bb;
}

// Fills table[s][occupancy] for one kind of line. `line(s, squares)` lists the squares of s's
// line in layout order; the line byte holds the square at position j in bit (length - 1 - j).
template <typename LineOf>
void BuildLineAttacks(u64 (*table)[256], LineOf line) {
    for (int s = 0; s < 64; ++s) {
        int squares[8];
        int length = line(s, squares);
        int at = 0;
        while (squares[at] != s) ++at;
        for (int occupancy = 0; occupancy < (1 << length); ++occupancy) {
            int occ = occupancy | (1 << (length - 1 - at));  // the slider's own square is set
            u64 attacks = 0;
            for (int j = at + 1; j < length; ++j) {
                attacks |= Bit(squares[j]);
                if (occ & (1 << (length - 1 - j))) break;
            }
            for (int j = at - 1; j >= 0; --j) {
                attacks |= Bit(squares[j]);
                if (occ & (1 << (length - 1 - j))) break;
            }
            table[s][occupancy] = attacks;
        }
    }
}

int RankLine(int s, int* squares) {
    for (int f = 0; f < 8; ++f) squares[f] = Row(s) * 8 + f;
    return 8;
}
int FileLine(int s, int* squares) {
    for (int r = 0; r < 8; ++r) squares[r] = r * 8 + File(s);
    return 8;
}
int DiagA1H8Line(int s, int* squares) {  // row + file constant, by rising file
    int n = 0;
    for (int f = 0; f < 8; ++f)
        if (int r = Row(s) + File(s) - f; r >= 0 && r < 8) squares[n++] = r * 8 + f;
    return n;
}
int DiagA8H1Line(int s, int* squares) {  // row - file constant, by rising row
    int n = 0;
    for (int r = 0; r < 8; ++r)
        if (int f = r - (Row(s) - File(s)); f >= 0 && f < 8) squares[n++] = r * 8 + f;
    return n;
}

u64 FileSquares(int file, int rowFrom, int rowTo) {
    u64 bb = 0;
    if (file < 0 || file > 7) return 0;
    for (int r = rowFrom; r <= rowTo; ++r) bb |= Bit(r * 8 + file);
    return bb;
}

}  // namespace

u64 RotateR90(u64 bb) { return Rotate(bb, Rotations.r90); }
u64 RotateR45(u64 bb) { return Rotate(bb, Rotations.r45); }
u64 RotateR315(u64 bb) { return Rotate(bb, Rotations.r315); }

void InitTables() {
    historyTop = history;
    static constexpr int KingSteps[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                            {0, 1},   {1, -1}, {1, 0},  {1, 1}};
    static constexpr int KnightSteps[8][2] = {{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2},
                                              {1, -2},  {1, 2},  {2, -1},  {2, 1}};
    static constexpr int WhitePawnSteps[2][2] = {{-1, -1}, {-1, 1}};
    static constexpr int BlackPawnSteps[2][2] = {{1, -1}, {1, 1}};

    for (int s = 0; s < 64; ++s) KingAttacks[s] = StepAttacks(s, KingSteps, 8);
    for (int s = 0; s < 64; ++s) {
        PawnAttacks[White][s] = StepAttacks(s, WhitePawnSteps, 2);
        PawnAttacks[Black][s] = StepAttacks(s, BlackPawnSteps, 2);
    }
    for (int s = 0; s < 64; ++s) KnightAttacks[s] = StepAttacks(s, KnightSteps, 8);
    BuildLineAttacks(RankAttacks, RankLine);
    BuildLineAttacks(FileAttacks, FileLine);
    BuildLineAttacks(DiagA1H8Attacks, DiagA1H8Line);
    BuildLineAttacks(DiagA8H1Attacks, DiagA8H1Line);

    for (int s = 0; s < 64; ++s) SetMask[s] = Bit(s);
    for (int s = 0; s < 64; ++s) {
        int r = Row(s), f = File(s);
        SetMaskR90[s] = RotateR90(SetMask[s]);
        SetMaskR45[s] = RotateR45(SetMask[s]);
        SetMaskR315[s] = RotateR315(SetMask[s]);
        SquareMasks[s] = {SetMask[s], SetMaskR90[s], SetMaskR45[s], SetMaskR315[s]};
        FileMask[s] = FileSquares(f, 0, 7) & ~SetMask[s];
        AdjacentFilesMask[s] = FileSquares(f - 1, 0, 7) | FileSquares(f + 1, 0, 7);
        PassedMask[White][s] = r == 0 ? 0
                                      : FileSquares(f - 1, 0, r - 1) | FileSquares(f, 0, r - 1) |
                                            FileSquares(f + 1, 0, r - 1);
        PassedMask[Black][s] = r == 7 ? 0
                                      : FileSquares(f - 1, r + 1, 7) | FileSquares(f, r + 1, 7) |
                                            FileSquares(f + 1, r + 1, 7);
        FrontSpan[Black][s] = r == 7 ? 0 : FileSquares(f, r + 1, 7);
        FrontSpan[White][s] = r == 0 ? 0 : FileSquares(f, 0, r - 1);
    }
    for (int s = 0; s < 64; ++s) {
        u64 rank = RankAttacks[s][1 << (7 - File(s))];
        u64 file = FileAttacks[s][1 << (7 - Row(s))];
        u64 diag45 = DiagA1H8Attacks[s][(SetMaskR45[s] >> DiagShift45[s]) & DiagMask45[s]];
        u64 diag315 = DiagA8H1Attacks[s][(SetMaskR315[s] >> DiagShift315[s]) & DiagMask315[s]];
        RookRays[s] = rank | file;
        BishopRays[s] = diag45 | diag315;
        QueenRays[s] = RookRays[s] | BishopRays[s];
    }
    for (int t = 16; t < 24; ++t) {  // Black pawn on rank 5 captured, target on rank 6
        EpMaskR90[t] = SetMaskR90[t] | SetMaskR90[t + 8];
        EpMaskR45[t] = SetMaskR45[t] | SetMaskR45[t + 8];
        EpMaskR315[t] = SetMaskR315[t] | SetMaskR315[t + 8];
    }
    for (int t = 40; t < 48; ++t) {  // White pawn on rank 4 captured, target on rank 3
        EpMaskR90[t] = SetMaskR90[t] | SetMaskR90[t - 8];
        EpMaskR45[t] = SetMaskR45[t] | SetMaskR45[t - 8];
        EpMaskR315[t] = SetMaskR315[t] | SetMaskR315[t - 8];
    }
}

// Static exchange evaluation: what a capture (or a queen push-promotion) wins or loses when both
// sides keep recapturing on the square with their cheapest piece, folded into the generators'
// ordering scale. No move is made: x-rays are found through the unchanged occupancy, by looking
// past the capturer's square along the line it shares with the target square.
#include <algorithm>

#include "eval/eval.h"
#include "movegen/movegen.h"
#include "movegen/sides.h"

namespace {

using namespace movegen;

// Kept below -32767: that value means "the king would capture into a defended square", and the
// generators drop exactly that score.
constexpr int LowestScore = -32766;

inline i16 Score(int value) { return static_cast<i16>(std::clamp(value, LowestScore, 32767)); }

inline bool IsPawn(int code) { return code == WPawn || code == BPawn; }
inline bool IsBishop(int code) { return code == WBishop || code == BBishop; }
inline bool IsRook(int code) { return code == WRook || code == BRook; }
inline bool IsQueen(int code) { return code == WQueen || code == BQueen; }

// Sliders of `sliders` standing behind square sq on a line through sq and to: on both squares'
// empty-board rays and reached by the line attacks from sq. They are taken out of `sliders` so
// that each is found once.
inline u64 DiagonalXray(int sq, int to, u64& sliders) {
    const u64 found = sliders & BishopRays[sq] & BishopRays[to] & BishopAttacksFrom(sq);
    sliders &= ~found;
    return found;
}
inline u64 StraightXray(int sq, int to, u64& sliders) {
    const u64 found = sliders & RookRays[sq] & RookRays[to] & RookAttacksFrom(sq);
    sliders &= ~found;
    return found;
}

}  // namespace

i16 StaticExchange(int from, int moverCode, int to, u64 straightSliders, u64 diagonalSliders) {
    const int us = pos.sideToMove;
    const int them = us ^ 1;
    int swap[40];

    // 1. The first capture's gain and the mover's square-value change.
    const int victim = pos.board[to];
    swap[0] = PieceValue[victim];
    int d = -PieceSquareValue(moverCode, from);

    // 2. Every piece of both colours bearing on the target square.
    u64 attackers = (BishopAttacksFrom(to) & diagonalSliders) |
                    (RookAttacksFrom(to) & straightSliders) |
                    (KnightAttacks[to] & (pos.pieces[WKnight] | pos.pieces[BKnight]));
    const u64 pawnAttackers =
        (PawnAttacks[Black][to] & pos.pieces[WPawn]) | (PawnAttacks[White][to] & pos.pieces[BPawn]);
    attackers |= pawnAttackers;
    const u64 whiteKing = KingBit(White);
    const u64 blackKing = KingBit(Black);
    attackers |= KingAttacks[to] & (whiteKing | blackKing);
    int startCode[2];
    startCode[Black] = pawnAttackers ? BPawn : BKnight;
    startCode[White] = pawnAttackers ? WPawn : WKnight;
    const u64 fromBit = SetMask[from];
    attackers &= ~fromBit;

    // 3. The mover itself: a promotion, the slider x-rayed through its square, or a king that
    // may not capture into a defended square.
    int mover = moverCode;
    if ((mover == WPawn && Row(to) == 0) || (mover == BPawn && Row(to) == 7)) {
        swap[0] += 800;
        mover = mover == WPawn ? WQueen : BQueen;
        diagonalSliders &= ~fromBit;
        attackers |= DiagonalXray(from, to, diagonalSliders);
    } else if (IsPawn(mover) || IsBishop(mover)) {
        diagonalSliders &= ~fromBit;
        attackers |= DiagonalXray(from, to, diagonalSliders);
    } else if (IsRook(mover)) {
        straightSliders &= ~fromBit;
        attackers |= StraightXray(from, to, straightSliders);
    } else if (IsQueen(mover)) {
        straightSliders &= ~fromBit;
        const u64 found = StraightXray(from, to, straightSliders);
        if (found) {
            attackers |= found;
        } else {
            diagonalSliders &= ~fromBit;
            attackers |= DiagonalXray(from, to, diagonalSliders);
        }
    } else if (mover == WKing || mover == BKing) {
        if (attackers & pos.occupiedBy[them]) return -32767;
    }

    // 4. The mover's square value on arrival.
    d += PieceSquareValue(mover, to);

    // 5. Nobody recaptures.
    if ((attackers & pos.occupiedBy[them]) == 0) {
        if (swap[0] == 0) return Score(d - 29985);
        if (victim != Empty) d += PieceSquareValue(victim, to);
        return Score(d + swap[0] - 9500);
    }

    // 6. From here on x-rays may only add pieces that are not attackers yet.
    straightSliders &= ~attackers;
    diagonalSliders &= ~attackers;
    int n = 1;
    int side = them;
    int onTarget = mover;

    // 7. Alternate recaptures, cheapest piece first.
    for (;;) {
        // a. The side's cheapest attacker; its king only when nothing else attacks at all.
        int capturer = 0;
        int capturerSquare = 0;
        for (int code = startCode[side]; code <= 10 - side; code += 2) {
            const u64 candidates = pos.pieces[code] & attackers;
            if (candidates) {
                capturer = code;
                capturerSquare = FirstSquare(candidates);
                break;
            }
        }
        if (capturer == 0) {
            const u64 king = side == White ? whiteKing : blackKing;
            if ((attackers & king) == 0 || (attackers & ~king) != 0) break;
            capturer = side == White ? WKing : BKing;
            capturerSquare = pos.kingSquare[side];
        }
        attackers &= ~SetMask[capturerSquare];
        // b. Cheaper kinds of this side are exhausted.
        startCode[side] = capturer;
        // c. The capturer takes what stands on the target square.
        swap[n] = PieceValue[onTarget] - swap[n - 1];
        onTarget = capturer;
        // d. Stop as soon as the side that just captured is clearly ahead even if it loses the
        // capturer in turn.
        if (swap[n] - PieceValue[capturer] > 50) {
            if (side == us) {
                if (swap[0] == 0) return Score(d - 29985);
                if (victim != Empty) d += PieceSquareValue(victim, to);
                return Score(swap[n - 2] + d - 9500);
            }
            return Score(PieceValue[capturer] / 2 - swap[n] + d - 30000);
        }
        // e. The slider behind the capturer joins in.
        if (IsPawn(capturer) || IsBishop(capturer)) {
            attackers |= DiagonalXray(capturerSquare, to, diagonalSliders);
        } else if (IsRook(capturer)) {
            attackers |= StraightXray(capturerSquare, to, straightSliders);
        } else if (IsQueen(capturer)) {
            u64 found = StraightXray(capturerSquare, to, straightSliders);
            if (found) {
                attackers |= found;
                startCode[Black] = std::min(startCode[Black], int{BRook});
                startCode[White] = std::min(startCode[White], int{WRook});
            } else {
                found = DiagonalXray(capturerSquare, to, diagonalSliders);
                if (found) {
                    attackers |= found;
                    startCode[Black] = std::min(startCode[Black], int{BBishop});
                    startCode[White] = std::min(startCode[White], int{WBishop});
                }
            }
        }
        // f. Next side, while it has something left to capture with.
        ++n;
        side ^= 1;
        if (attackers == 0 || (attackers & pos.occupiedBy[side]) == 0) break;
        if (n >= 39) break;  // cannot happen with 32 men; keeps the list in bounds regardless
    }

    // 8. Negamax from the end: each side may stop capturing when that suits it better.
    for (int i = n - 1; i >= 1; --i) swap[i - 1] = std::min(swap[i - 1], -swap[i]);

    // 9. Losing, even, or winning.
    if (swap[0] <= -50) return Score(d + swap[0] - 30000);
    if (swap[0] == 0) return Score(d - 29985);
    if (victim != Empty) d += PieceSquareValue(victim, to);
    return Score(d + swap[0] - 9500);
}

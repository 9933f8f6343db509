// The static evaluation: one pass over the pieces (kings, pawns, knights, bishops, rooks,
// queens) accumulating White minus Black, then material-balance corrections, the king attack
// and the turn to the side to move. Each side's terms are written once as a template over the
// side; the running score is kept in int and only narrowed to 16 bits on the way out.
#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "eval/eval.h"

namespace {

// --- Weights -------------------------------------------------------------------------------

enum ProximityKind : int { ProxKnight = 0, ProxBishop = 1, ProxRook = 2, ProxQueen = 3 };

// Pressure a piece puts on the enemy king by king distance 0-7.
constexpr u8 KingProximity[4][8] = {
    {4, 5, 5, 2, 1, 0, 0, 0},  // knight
    {5, 5, 4, 2, 1, 0, 0, 0},  // bishop
    {6, 5, 4, 2, 1, 0, 0, 0},  // rook
    {9, 9, 8, 4, 2, 1, 0, 0},  // queen
};

// 1 + weakness / 4: how much an exposed king multiplies the attack weight.
constexpr i16 ShelterFactor[16] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4};

constexpr int MaxAttackCount = 127;

// Entries 48-51 repeat 44-47; the dip is part of how Zelmor has always weighed attacks.
constexpr i16 AttackWeight[MaxAttackCount + 1] = {
    0,   1,   3,   8,   10,  15,  20,  25,  30,  35,  40,  45,  50,  55,  60,  65,  70,  75,  80,
    85,  90,  95,  100, 110, 115, 117, 120, 122, 125, 127, 130, 132, 135, 137, 140, 142, 145, 147,
    150, 152, 155, 157, 160, 162, 165, 167, 170, 172, 165, 167, 170, 172, 175, 177, 190, 192, 195,
    197, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200,
    200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200,
    200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200,
    200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200,
};

constexpr int TrappedBishop = 210;
constexpr int BishopPair = 50;
constexpr int LoneQueen = 15;  // having a queen when the opponent has none

// The search keeps mate scores near +-8100 and uses 8190 to unwind an aborted search; a
// position stuffed with promoted queens must not evaluate into that range.
constexpr int MaxEvaluation = 7800;

// Pawn-hash slot layout: tag = pawnKey bits 20-31, score + 8190 in bits 0-15, 0 = empty.
constexpr u32 PawnTagMask = 0xFFF00000u;
constexpr int PawnScoreBias = 8190;

// --- Board geometry ------------------------------------------------------------------------

constexpr u64 Bit(int s) { return u64{1} << (63 - s); }
constexpr u64 RowMask(int row) { return u64{0xFF} << (56 - 8 * row); }

constexpr u64 LightSquares = [] {
    u64 light = 0;
    for (int s = 0; s < 64; ++s)
        if (((Row(s) + File(s)) & 1) == 0) light |= Bit(s);  // a8 is a light square
    return light;
}();

constexpr bool HasSquare(int square) { return square >= 0 && square < 64; }

inline int Distance(int a, int b) {
    return std::max(std::abs(Row(a) - Row(b)), std::abs(File(a) - File(b)));
}

// Squares named from White's side; Black reads them with the ranks turned over (a2 <-> a7),
// which is how the shelter, trapped-bishop and seventh-rank terms mirror.
template <Side S>
constexpr int Rel(int square) {
    return S == White ? square : square ^ 56;
}

// Piece-square tables are read turned through 180 degrees for Black.
template <Side S>
constexpr int TableIndex(int square) {
    return S == White ? square : 63 - square;
}

template <Side S>
constexpr int RelRow(int square) {
    return S == White ? Row(square) : 7 - Row(square);
}

struct Counters {
    int attackCount[2];  // pressure of [side] on the enemy king
    int minorBalance;    // White minus Black knights and bishops
    int majorBalance;    // White minus Black rooks and queens
};

// --- 2. King ---------------------------------------------------------------------------------

template <Side S>
int KingTerm(int phase) {
    const int k = pos.kingSquare[S];
    return HasSquare(k) ? PhaseTables[0][phase][k] : 0;  // kings use their actual square
}

// --- 3. King shelter -------------------------------------------------------------------------

template <Side S>
int PawnShield() {
    constexpr Side Them = S == White ? Black : White;
    constexpr u64 ShortKing = Bit(Rel<S>(F1)) | Bit(Rel<S>(G1)) | Bit(Rel<S>(H1));
    constexpr u64 ShortRooks = Bit(Rel<S>(G1)) | Bit(Rel<S>(H1));
    constexpr u64 ShortShield = Bit(Rel<S>(F2)) | Bit(Rel<S>(G2)) | Bit(Rel<S>(H2));
    constexpr u64 ShortSecond = Bit(Rel<S>(G3)) | Bit(Rel<S>(H3));
    constexpr u64 LongKing = Bit(Rel<S>(A1)) | Bit(Rel<S>(B1)) | Bit(Rel<S>(C1));
    constexpr u64 LongRooks = Bit(Rel<S>(A1)) | Bit(Rel<S>(B1));
    constexpr u64 LongShield = Bit(Rel<S>(A2)) | Bit(Rel<S>(B2)) | Bit(Rel<S>(C2));
    constexpr u64 LongSecond = Bit(Rel<S>(A3)) | Bit(Rel<S>(B3));

    const int k = pos.kingSquare[S];
    if (!HasSquare(k)) return 0;
    const u64 king = Bit(k);
    const u64 pawns = PiecesOf(1, S);
    const u64 rooks = PiecesOf(4, S);
    // The shield matters twice as much while the enemy queen is on the board.
    const int w = PiecesOf(5, Them) != 0 ? 12 : 6;

    int shield = 0;
    if ((king & ShortKing) != 0 && (rooks & ShortRooks) == 0) {
        shield += w * PopCount(pawns & ShortShield);
        if ((pawns & ShortSecond) != 0) shield += w / 2;
    } else if ((king & LongKing) != 0 && (rooks & LongRooks) == 0) {
        shield += (w - 3) * PopCount(pawns & LongShield);
        if ((pawns & LongSecond) != 0) shield += (w - 3) / 2;
    }
    return shield;
}

// 0 (well covered) to 15 (open files around the king, enemy queen present).
template <Side S>
int ShelterWeakness() {
    constexpr Side Them = S == White ? Black : White;
    const int k = pos.kingSquare[S];
    if (!HasSquare(k)) return 0;
    const u64 own = PiecesOf(1, S);
    const u64 enemy = PiecesOf(1, Them);

    int x = 0;
    if ((own & FileMask[k]) == 0) x = 2;
    if ((enemy & FileMask[k]) == 0) x += x == 0 ? 1 : 2;
    auto neighbour = [&](u64 file) {
        if ((own & file) == 0) x += x < 4 ? 2 : 3;
        if ((enemy & file) == 0) x += x < 4 ? 1 : 2;
    };
    if (File(k) != 7) neighbour(FileMask[k + 1]);
    if (File(k) != 0) neighbour(FileMask[k - 1]);
    if (PiecesOf(5, Them) != 0) x += 1;
    assert(x >= 0 && x <= 15);
    return x;
}

// --- 4. Pawn structure -----------------------------------------------------------------------

template <Side S>
int PawnStructure(int phase) {
    constexpr Side Them = S == White ? Black : White;
    const i16* table = PhaseTables[1][phase];
    const u64 own = PiecesOf(1, S);
    const u64 enemy = PiecesOf(1, Them);

    int d = 0;
    for (u64 left = own; left != 0;) {
        const int s = FirstSquare(left);
        left &= ~Bit(s);
        const int row = RelRow<S>(s);  // 0 = the far rank

        d += 100 + table[TableIndex<S>(s)];
        bool passed = (PassedMask[S][s] & enemy) == 0;
        if ((FileMask[s] & own) != 0) {
            d -= 8;                                            // doubled
            if ((FrontSpan[S][s] & own) != 0) passed = false;  // only the front pawn runs
        }
        if (passed) d += 16 * (7 - row);

        if ((AdjacentFilesMask[s] & own) == 0) {
            // Isolated; a little less bad when an enemy pawn blocks its file anyway.
            d -= (FrontSpan[S][s] & enemy) != 0 ? 16 : 22;
        } else if (!passed && row >= 2) {
            const u64 attackers = PawnAttacks[S][s] & enemy;
            if (attackers != 0) {
                const int a = PopCount(attackers) >= 2 ? 3 : 2;
                const int b = PopCount(PawnAttacks[Them][s] & own);
                d -= 8 * (a - b);
            }
        }
    }
    return d;
}

// White minus Black pawn score, through the pawn hash. The cache is keyed by the pawns alone,
// so a slot filled in another material phase is reused as it stands.
//
// Search threads share the cache: a slot is one word, tag and score together, read and written
// whole (relaxed atomics, plain moves on x86-64), so a thread sees either another's complete
// entry or an older one, never a score under the wrong tag.
int PawnScore(int phase) {
    const u32 key = pos.pawnKey;
    u32* const slot = &PawnHash[key & (PawnHashSize - 1)];
    const u32 tag = key & PawnTagMask;
    const u32 held = __atomic_load_n(slot, __ATOMIC_RELAXED);
    if ((held & PawnTagMask) == tag && (held & 0xFFFFu) != 0)
        return static_cast<int>(held & 0xFFFFu) - PawnScoreBias;

    const int d = PawnStructure<White>(phase) - PawnStructure<Black>(phase);
    // Only a score that fits the 16-bit field (and is not the empty mark) is cached; the
    // impossible pawn masses a hand-made position can hold are simply recomputed each time.
    const int stored = d + PawnScoreBias;
    if (stored > 0 && stored <= 0xFFFF)
        __atomic_store_n(slot, tag | static_cast<u32>(stored), __ATOMIC_RELAXED);
    return d;
}

// --- 5-8. Pieces -----------------------------------------------------------------------------

template <Side S>
int PieceTerms(int phase, int pawnsOnBoard, Counters& c) {
    constexpr Side Them = S == White ? Black : White;
    constexpr int Toward = S == White ? 1 : -1;  // into White-minus-Black balances
    const u64 ownPawns = PiecesOf(1, S);
    const u64 enemyPawns = PiecesOf(1, Them);
    const u64 notOwn = ~pos.occupiedBy[S];
    const int ek = pos.kingSquare[Them];
    const bool enemyKing = HasSquare(ek);
    const u64 zone = enemyKing ? KingAttacks[ek] : 0;
    auto proximity = [&](int kind, int s) {
        return enemyKing ? KingProximity[kind][Distance(s, ek)] : 0;
    };

    int v = 0;
    int attack = 0;

    // 5. Knights gain with more pawns on the board (320 at the full 16).
    const i16* knightTable = PhaseTables[2][phase];
    for (u64 left = PiecesOf(2, S); left != 0;) {
        const int s = FirstSquare(left);
        left &= ~Bit(s);
        v += 314 + pawnsOnBoard + knightTable[TableIndex<S>(s)];
        attack += proximity(ProxKnight, s) + ((KnightAttacks[s] & zone) != 0 ? 1 : 0);
        c.minorBalance += Toward;
    }

    // 6. Bishops lose with more pawns and gain with mobility.
    const i16* bishopTable = PhaseTables[3][phase];
    const u64 bishops = PiecesOf(3, S);
    for (u64 left = bishops; left != 0;) {
        const int s = FirstSquare(left);
        left &= ~Bit(s);
        const u64 a = BishopAttacksFrom(s);
        v += 301 - pawnsOnBoard + bishopTable[TableIndex<S>(s)] + 5 * PopCount(a & notOwn);
        attack += proximity(ProxBishop, s) + ((a & zone) != 0 ? 1 : 0);
        c.minorBalance += Toward;
    }
    if (((bishops & Bit(Rel<S>(A7))) != 0 && (enemyPawns & Bit(Rel<S>(B6))) != 0) ||
        ((bishops & Bit(Rel<S>(B8))) != 0 && (enemyPawns & Bit(Rel<S>(C7))) != 0) ||
        ((bishops & Bit(Rel<S>(G8))) != 0 && (enemyPawns & Bit(Rel<S>(F7))) != 0) ||
        ((bishops & Bit(Rel<S>(H7))) != 0 && (enemyPawns & Bit(Rel<S>(G6))) != 0))
        v -= TrappedBishop;
    if ((bishops & LightSquares) != 0 && (bishops & ~LightSquares) != 0) v += BishopPair;

    // 7. Rooks.
    const i16* rookTable = PhaseTables[4][phase];
    const u64 rooks = PiecesOf(4, S);
    for (u64 left = rooks; left != 0;) {
        const int s = FirstSquare(left);
        left &= ~Bit(s);
        const u64 a = RookAttacksFrom(s);
        v += 500 + rookTable[TableIndex<S>(s)];
        attack += proximity(ProxRook, s);
        const u64 filePawns = ownPawns & FileMask[s];
        if (filePawns != 0) {
            // Both sides look at their pawn nearest rank 1 (White's rearmost, Black's most
            // advanced): a rook behind it earns the bonus when that pawn is passed.
            const int p = FirstSquare(filePawns);
            const bool behind = S == White ? s > p : s < p;
            if (behind && (PassedMask[S][p] & enemyPawns) == 0) v += 20;
        } else {
            v += 8;                                        // half-open file
            if ((enemyPawns & FileMask[s]) == 0) v += 12;  // open file
        }
        c.majorBalance += Toward;
        v += 2 * PopCount(a & notOwn) - 14;
        attack += (a & zone) != 0 ? 1 : 0;
    }
    const int onSeventh = PopCount(rooks & RowMask(RelRow<S>(A7)));
    if (onSeventh >= 1) v += 18;
    if (onSeventh >= 2) {
        v += 18;
        if (enemyKing && RelRow<S>(ek) == 0) v += 48;
        if (enemyKing && RelRow<S>(ek) == 1) v += 18;
    }

    // 8. Queens.
    const i16* queenTable = PhaseTables[5][phase];
    for (u64 left = PiecesOf(5, S); left != 0;) {
        const int s = FirstSquare(left);
        left &= ~Bit(s);
        const u64 a = QueenAttacksFrom(s);
        v += 950 + queenTable[TableIndex<S>(s)] + PopCount(a & notOwn) - 13;
        attack += proximity(ProxQueen, s) + ((a & zone) != 0 ? 1 : 0);
        c.majorBalance += Toward;
    }
    if (PiecesOf(5, Them) == 0) v += LoneQueen;

    c.attackCount[S] = attack;
    return v;
}

// --- 9. Material balance ---------------------------------------------------------------------

// Trades of unequal kinds: n = minor and m = major piece balance (White minus Black).
int MaterialBalance(int n, int m) {
    const int whiteUnits = pos.pieceMaterial[White];
    const int blackUnits = pos.pieceMaterial[Black];
    if (whiteUnits < 5 && blackUnits < 5) return 0;
    const bool wq = pos.pieces[WQueen] != 0;
    const bool bq = pos.pieces[BQueen] != 0;

    int v = 0;
    if (n != 0) {
        switch (m) {
            case -2:
                if (n > 2) v += 130;
                break;
            case -1:
                if (n > 1)
                    v += 100;
                else if (n == 1)
                    v -= 60;
                if (wq && !bq && whiteUnits >= 12) v += 60;
                break;
            case 0:
                if (wq == bq) v += n > 0 ? 100 : -100;
                break;
            case 1:
                if (n < -1)
                    v -= 100;
                else if (n == -1)
                    v += 60;
                if (bq && !wq && blackUnits >= 12) v -= 60;
                break;
            case 2:
                if (n < -2) v -= 130;
                break;
            default: break;
        }
    } else if (m == 0) {
        if (wq && !bq) v += 60;
        if (bq && !wq) v -= 60;
    } else if (wq == bq) {
        v += m > 0 ? 100 : -100;
    } else if (wq) {
        if (whiteUnits >= 12) v += 60;
    } else if (blackUnits >= 12) {
        v -= 60;
    }
    return v;
}

inline int KingDanger(int weakness, int attackCount) {
    return ShelterFactor[weakness] * AttackWeight[std::min(attackCount, MaxAttackCount)];
}

}  // namespace

i16 Evaluate() {
    const u64 whitePawns = pos.pieces[WPawn];
    const u64 blackPawns = pos.pieces[BPawn];
    const bool anyPawn = (whitePawns | blackPawns) != 0;

    // 1. Trivial draws: bare minor piece, or rook and minor against rook.
    if (!anyPawn && (pos.materialTotal < 4 ||
                     (pos.materialTotal == 13 && pos.pieces[WRook] != 0 && pos.pieces[BRook] != 0)))
        return 0;

    const int phase = PhaseIndex();

    // 2. Kings.
    int score = KingTerm<White>(phase) - KingTerm<Black>(phase);

    // 3. King shelter, only while enough material is left to attack a king.
    int weakness[2] = {0, 0};
    if (pos.materialTotal > 35) {
        score += PawnShield<White>() - PawnShield<Black>();
        weakness[White] = ShelterWeakness<White>();
        weakness[Black] = ShelterWeakness<Black>();
    }

    // 4. Pawn structure, pawn material included.
    if (anyPawn) score += PawnScore(phase);

    // 5-8. Knights, bishops, rooks, queens.
    Counters counters{};
    const int pawnsOnBoard = pos.pawnCount[White] + pos.pawnCount[Black];
    score += PieceTerms<White>(phase, pawnsOnBoard, counters);
    score -= PieceTerms<Black>(phase, pawnsOnBoard, counters);

    // 9. Material balance.
    score += MaterialBalance(counters.minorBalance, counters.majorBalance);

    // 10. King attack, when the attacker has enough pieces left to mean it.
    if (pos.pieceMaterial[Black] > 13)
        score -= KingDanger(weakness[White], counters.attackCount[Black]);
    if (pos.pieceMaterial[White] > 13)
        score += KingDanger(weakness[Black], counters.attackCount[White]);

    score = std::clamp(score, -MaxEvaluation, MaxEvaluation);

    // 11. Side to move. A side ahead without pawns and with less than a rook's worth of
    // pieces cannot win: such a lead is worth nothing, for either side to move.
    if (pos.sideToMove == White) {
        if (score > 0 && whitePawns == 0 && pos.pieceMaterial[White] < 5) return 0;
        return static_cast<i16>(score);
    }
    if (score < 0 && blackPawns == 0 && pos.pieceMaterial[Black] < 5) return 0;
    return static_cast<i16>(-score);
}

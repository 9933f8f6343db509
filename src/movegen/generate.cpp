// The three pseudo-legal generators (all moves, captures, check evasions), each written once as
// a template over the side and reached through the side-indexed tables. Every move carries its
// ordering score; the search tries moves in score order, and ties keep list order, so both the
// scores and the order in which moves are written are part of Zelmor's playing behaviour.
//
// Squares of a bitboard are always taken lowest bit first (FirstSquare), so pieces of a kind and
// the targets of each piece come from the h1 side toward a8.
#include <cstring>

#include "movegen/movegen.h"
#include "movegen/sides.h"

namespace {

using namespace movegen;

// Ordering scores.
constexpr int EnPassantScore = -9500;
constexpr int PawnCaptureBase = 9600;
constexpr int QuietScore = -30000;
constexpr int CastleShortScore = -29000;
constexpr int CastleLongScore = -29500;
// Promotions to queen, knight, rook, bishop; a capture adds the victim's value.
constexpr int PromotionScore[4] = {-9401, -30005, -30025, -30050};
// The capture generator keeps nothing below this.
constexpr int CaptureFloor = -10000;
// StaticExchange's answer for a king capturing into a defended square.
constexpr int KingCaptureRefused = -32767;

// FirstSquare as a 64-bit index: table look-ups then need no widening of the square.
inline i64 Lowest(u64 bb) { return 63 - static_cast<i64>(__builtin_ctzll(bb)); }

// One 32-bit store an entry: the score in the low half, the move in the high half, as the
// entry lies in memory on this little-endian machine.
inline void Put(ScoredMove*& list, int score, Move move) {
    const u32 word = (static_cast<u32>(move) << 16) | static_cast<u16>(score);
    std::memcpy(list, &word, sizeof word);
    ++list;
}

// A capture's from-square is written with the capture bit folded in: (from + 64) << 6.
constexpr Move CaptureWord(int from, int to) { return static_cast<Move>(((from + 64) << 6) | to); }

template <int Kind>
inline u64 AttacksFrom(int sq) {
    if constexpr (Kind == 2)
        return KnightAttacks[sq];
    else if constexpr (Kind == 3)
        return BishopAttacksFrom(sq);
    else if constexpr (Kind == 4)
        return RookAttacksFrom(sq);
    else
        return QueenAttacksFrom(sq);
}

// A piece taking a victim worth at least about as much as itself is ranked by the victim alone
// (so every equal trade scores -9500, a bishop taking a knight counting as equal); a cheaper
// victim is left to the exchange evaluation.
template <int Kind>
struct CaptureRule;
template <>
struct CaptureRule<2> {
    static constexpr int Above = 269, Base = 9820;
};
template <>
struct CaptureRule<3> {
    static constexpr int Above = 274, Base = 9825;
};
template <>
struct CaptureRule<4> {
    static constexpr int Above = 449, Base = 10000;
};
template <>
struct CaptureRule<5> {
    static constexpr int Above = 899, Base = 10450;
};

struct Sliders {
    u64 straight;
    u64 diagonal;
};

template <int Kind, int Code>
inline int CaptureScore(int from, int to, const Sliders& sliders) {
    const int value = PieceValue[pos.board[to]];
    if (value > CaptureRule<Kind>::Above) return value - CaptureRule<Kind>::Base;
    return StaticExchange(from, Code, to, sliders.straight, sliders.diagonal);
}

// An en-passant square we may take: on our capture row, empty, with their pawn behind it. Any
// other square in enPassant is ignored rather than trusted.
template <int S>
inline bool EnPassantTarget(int ep) {
    using C = Us<S>;
    return ep != 0 && Row(ep) == C::EpRow && pos.board[ep] == Empty &&
           pos.board[ep - C::Forward] == C::TheirPawn;
}

// Pawn captures in one direction (Delta = to - from): en passant, then the capture-promotion
// quartets, then the other captures. Without Scored the same moves get score 0 (perft's lists).
template <int S, int Delta, bool Scored = true>
ScoredMove* PawnCaptures(ScoredMove* list, u64 reach, u64 enemies) {
    using C = Us<S>;
    const int ep = pos.enPassant;
    if (EnPassantTarget<S>(ep) && (reach & SetMask[ep]))
        Put(list, EnPassantScore, MakeMoveWord(ep - Delta, ep, EnPassant));
    const u64 captures = reach & enemies;
    for (u64 b = captures & C::LastRank; b; b &= b - 1) {
        const i64 to = Lowest(b);
        const int from = to - Delta;
        const int value = Scored ? PieceValue[pos.board[to]] : 0;
        for (int p = 0; p < 4; ++p)
            Put(list, Scored ? value + PromotionScore[p] : 0,
                MakeMoveWord(from, to, CapPromoQueen + p));
    }
    for (u64 b = captures & ~C::LastRank; b; b &= b - 1) {
        const i64 to = Lowest(b);
        Put(list, Scored ? PieceValue[pos.board[to]] - PawnCaptureBase : 0,
            CaptureWord(to - Delta, to));
    }
    return list;
}

template <int S, bool Scored = true>
inline ScoredMove* PushPromotions(ScoredMove* list, u64 targets) {
    using C = Us<S>;
    for (u64 b = targets; b; b &= b - 1) {
        const i64 to = Lowest(b);
        const int from = to - C::Forward;
        for (int p = 0; p < 4; ++p)
            Put(list, Scored ? PromotionScore[p] : 0, MakeMoveWord(from, to, PromoQueen + p));
    }
    return list;
}

template <int S>
inline ScoredMove* Pushes(ScoredMove* list, u64 targets, int score) {
    using C = Us<S>;
    for (u64 b = targets; b; b &= b - 1) {
        const i64 to = Lowest(b);
        Put(list, score, MakeMoveWord(to - C::Forward, to, Quiet));
    }
    return list;
}

// Two steps from the home rank over an empty square, onto an empty square within `allowed`.
template <int S>
inline ScoredMove* DoublePushes(ScoredMove* list, u64 pawns, u64 allowed, int score) {
    using C = Us<S>;
    const u64 empty = ~pos.occupied;
    const u64 targets =
        PushForward<S>(PushForward<S>(pawns) & empty & C::ThirdRank) & empty & allowed;
    for (u64 b = targets; b; b &= b - 1) {
        const i64 to = Lowest(b);
        Put(list, score, MakeMoveWord(to - 2 * C::Forward, to, Quiet));
    }
    return list;
}

// Every move of one piece kind: for each piece, its captures, then its quiet moves.
template <int S, int Kind, bool Scored = true>
ScoredMove* PieceMoves(ScoredMove* list, u64 enemies, u64 empty, const Sliders& sliders) {
    constexpr int Code = 2 * Kind - S;
    for (u64 pieces = pos.pieces[Code]; pieces; pieces &= pieces - 1) {
        const i64 from = Lowest(pieces);
        const u64 attacks = AttacksFrom<Kind>(from);
        for (u64 b = attacks & enemies; b; b &= b - 1) {
            const i64 to = Lowest(b);
            Put(list, Scored ? CaptureScore<Kind, Code>(from, to, sliders) : 0,
                CaptureWord(from, to));
        }
        for (u64 b = attacks & empty; b; b &= b - 1)
            Put(list, Scored ? QuietScore : 0, MakeMoveWord(from, Lowest(b), Quiet));
    }
    return list;
}

// Captures only, dropping those the exchange evaluation finds losing.
template <int S, int Kind>
ScoredMove* PieceCaptures(ScoredMove* list, u64 enemies, const Sliders& sliders) {
    constexpr int Code = 2 * Kind - S;
    for (u64 pieces = pos.pieces[Code]; pieces; pieces &= pieces - 1) {
        const i64 from = Lowest(pieces);
        for (u64 b = AttacksFrom<Kind>(from) & enemies; b; b &= b - 1) {
            const i64 to = Lowest(b);
            const int score = CaptureScore<Kind, Code>(from, to, sliders);
            if (score >= CaptureFloor) Put(list, score, CaptureWord(from, to));
        }
    }
    return list;
}

// King captures are always weighed by the exchange evaluation, which refuses a defended victim
// (also for lists without scores, whose moves are the same).
template <int S, bool Scored = true>
inline ScoredMove* KingCaptures(ScoredMove* list, int king, u64 targets, const Sliders& sliders,
                                int floor) {
    using C = Us<S>;
    for (u64 b = targets; b; b &= b - 1) {
        const i64 to = Lowest(b);
        const int score = StaticExchange(king, C::King, to, sliders.straight, sliders.diagonal);
        if (score != KingCaptureRefused && score >= floor)
            Put(list, Scored ? score : 0, CaptureWord(king, to));
    }
    return list;
}

// Enemy men that may be captured: never their king (no generated move takes a king, which has
// no bitboard of its own to remove it from).
template <int S>
inline u64 Victims() {
    return pos.occupiedBy[S ^ 1] & ~KingBit(S ^ 1);
}

// All moves; with Scored false the same moves in the same order, every score 0, for perft,
// which needs no ordering and so no exchange evaluation of captures.
template <int S, bool Scored = true>
ScoredMove* GenerateMoves(ScoredMove* list) {
    using C = Us<S>;
    const u64 enemies = Victims<S>();
    const u64 empty = ~pos.occupied;
    const u64 pawns = pos.pieces[C::Pawn];
    const Sliders sliders{StraightSliders(), DiagonalSliders()};
    constexpr int quietScore = Scored ? QuietScore : 0;

    // 1. and 2. Pawn captures toward the a-file, then toward the h-file.
    list = PawnCaptures<S, C::TakeA, Scored>(list, ShiftTakeA<S>(pawns), enemies);
    list = PawnCaptures<S, C::TakeH, Scored>(list, ShiftTakeH<S>(pawns), enemies);
    // 3. - 6. Knights, queens, rooks, bishops.
    list = PieceMoves<S, 2, Scored>(list, enemies, empty, sliders);
    list = PieceMoves<S, 5, Scored>(list, enemies, empty, sliders);
    list = PieceMoves<S, 4, Scored>(list, enemies, empty, sliders);
    list = PieceMoves<S, 3, Scored>(list, enemies, empty, sliders);
    // 7. Pawn pushes: promotions, double steps, other single steps.
    const u64 single = PushForward<S>(pawns) & empty;
    list = PushPromotions<S, Scored>(list, single & C::LastRank);
    list = DoublePushes<S>(list, pawns, ~0ull, quietScore);
    list = Pushes<S>(list, single & ~C::LastRank, quietScore);
    // 8. King, never next to the enemy king.
    const int king = pos.kingSquare[S];
    if (king < 64) {
        const u64 targets = KingAttacks[king] & ~pos.occupiedBy[S] & ~KingZone(S ^ 1);
        list = KingCaptures<S, Scored>(list, king, targets & enemies, sliders, KingCaptureRefused);
        for (u64 b = targets & empty; b; b &= b - 1)
            Put(list, quietScore, MakeMoveWord(king, Lowest(b), Quiet));
    }
    // 9. Castling; whether the king passes attacked squares is tested after the move is made.
    // The king and rook are checked to be at home, so rights that a set-up position claims
    // without them never move pieces that are not there.
    constexpr int Home = S == White ? E1 : E8;
    if (pos.castleRights && pos.board[Home] == C::King) {
        constexpr u16 ShortRight = S == White ? WhiteShort : BlackShort;
        constexpr u16 LongRight = S == White ? WhiteLong : BlackLong;
        constexpr int ShortRook = S == White ? H1 : H8;
        constexpr int LongRook = S == White ? A1 : A8;
        constexpr u64 ShortPath = S == White ? (1ull << (63 - F1)) | (1ull << (63 - G1))
                                             : (1ull << (63 - F8)) | (1ull << (63 - G8));
        constexpr u64 LongPath =
            S == White ? (1ull << (63 - B1)) | (1ull << (63 - C1)) | (1ull << (63 - D1))
                       : (1ull << (63 - B8)) | (1ull << (63 - C8)) | (1ull << (63 - D8));
        constexpr Move ShortWord = S == White ? 0xDF3E : 0xC106;
        constexpr Move LongWord = S == White ? 0xFF3A : 0xE102;
        if ((pos.castleRights & ShortRight) && (pos.occupied & ShortPath) == 0 &&
            pos.board[ShortRook] == C::Rook)
            Put(list, Scored ? CastleShortScore : 0, ShortWord);
        if ((pos.castleRights & LongRight) && (pos.occupied & LongPath) == 0 &&
            pos.board[LongRook] == C::Rook)
            Put(list, Scored ? CastleLongScore : 0, LongWord);
    }
    return list;
}

template <int S>
ScoredMove* GenerateCaptures(ScoredMove* list) {
    using C = Us<S>;
    const u64 enemies = Victims<S>();
    const u64 pawns = pos.pieces[C::Pawn];
    const Sliders sliders{StraightSliders(), DiagonalSliders()};

    // 1. and 2. All pawn captures, under-promotions included.
    list = PawnCaptures<S, C::TakeA>(list, ShiftTakeA<S>(pawns), enemies);
    list = PawnCaptures<S, C::TakeH>(list, ShiftTakeH<S>(pawns), enemies);
    // 3. Queen push-promotions that survive on their square.
    for (u64 b = PushForward<S>(pawns & C::SeventhRank) & ~pos.occupied; b; b &= b - 1) {
        const i64 to = Lowest(b);
        const int from = to - C::Forward;
        const int score = StaticExchange(from, C::Pawn, to, sliders.straight, sliders.diagonal);
        if (score >= CaptureFloor) Put(list, score, MakeMoveWord(from, to, PromoQueen));
    }
    // 4. Knights, bishops, rooks, queens, then the king (never next to the enemy king).
    list = PieceCaptures<S, 2>(list, enemies, sliders);
    list = PieceCaptures<S, 3>(list, enemies, sliders);
    list = PieceCaptures<S, 4>(list, enemies, sliders);
    list = PieceCaptures<S, 5>(list, enemies, sliders);
    const int king = pos.kingSquare[S];
    if (king < 64) {
        const u64 targets = KingAttacks[king] & enemies & ~KingZone(S ^ 1);
        list = KingCaptures<S>(list, king, targets, sliders, CaptureFloor);
    }
    return list;
}

// Captures of the checker by one piece kind, then its moves onto the squares between the
// checker and the king.
template <int S, int Kind>
ScoredMove* EvasionPieceMoves(ScoredMove* list, int checker, int value, u64 block, int blockScore) {
    constexpr int Code = 2 * Kind - S;
    const u64 pieces = pos.pieces[Code];
    if (pieces == 0) return list;
    for (u64 b = AttacksFrom<Kind>(checker) & pieces; b; b &= b - 1)
        Put(list, value - CaptureRule<Kind>::Base, CaptureWord(Lowest(b), checker));
    if (block == 0) return list;
    for (u64 p = pieces; p; p &= p - 1) {
        const i64 from = Lowest(p);
        if constexpr (Kind == 3) {
            if ((BishopRays[from] & block) == 0) continue;
        } else if constexpr (Kind == 4) {
            if ((RookRays[from] & block) == 0) continue;
        } else if constexpr (Kind == 5) {
            if ((QueenRays[from] & block) == 0) continue;
        }
        for (u64 b = AttacksFrom<Kind>(from) & block; b; b &= b - 1)
            Put(list, blockScore, MakeMoveWord(from, Lowest(b), Quiet));
    }
    return list;
}

template <int S>
ScoredMove* GenerateEvasions(ScoredMove* list, const CheckInfo& checkInfo) {
    using C = Us<S>;
    const int king = pos.kingSquare[S];
    if (king >= 64) return list;  // a side without a king cannot be in check
    const Sliders sliders{StraightSliders(), DiagonalSliders()};
    u64 block = 0;

    // 1. Against a double check only the king can move.
    const u64 checkers = checkInfo.checkers;
    if (checkers && (checkers & (checkers - 1)) == 0) {
        // 2. The squares between king and a distant sliding checker.
        const int c = FirstSquare(checkers);
        const int v = pos.board[c];
        const int value = PieceValue[v];
        const bool leaper = v == C::TheirPawn || v == C::TheirKnight;
        if (!leaper && (KingAttacks[king] & checkers) == 0) {
            block = checkInfo.rookLines ? checkInfo.rookLines & RookAttacksFrom(c)
                                        : checkInfo.bishopLines & BishopAttacksFrom(c);
        }
        const u64 pawns = pos.pieces[C::Pawn];
        // 3. En passant removes a checker that has just made its double step.
        const int ep = pos.enPassant;
        if (EnPassantTarget<S>(ep) && c == ep - C::Forward) {
            if (File(ep) != 0 && (pawns & SetMask[ep - C::TakeH]))
                Put(list, EnPassantScore, MakeMoveWord(ep - C::TakeH, ep, EnPassant));
            if (File(ep) != 7 && (pawns & SetMask[ep - C::TakeA]))
                Put(list, EnPassantScore, MakeMoveWord(ep - C::TakeA, ep, EnPassant));
        }
        // 4. Pawn captures of the checker, from the a-file side first.
        const bool promoting = (SetMask[c] & C::LastRank) != 0;
        const int pawnFrom[2] = {c - C::TakeH, c - C::TakeA};
        // A checker on our first rank cannot be taken by a pawn (there is no rank behind it).
        const bool ownRank = Row(c) == (S == White ? 7 : 0);
        const bool onBoard[2] = {File(c) != 0 && !ownRank, File(c) != 7 && !ownRank};
        for (int i = 0; i < 2; ++i) {
            if (!onBoard[i] || (pawns & SetMask[pawnFrom[i]]) == 0) continue;
            if (promoting) {
                for (int p = 0; p < 4; ++p)
                    Put(list, value + PromotionScore[p],
                        MakeMoveWord(pawnFrom[i], c, CapPromoQueen + p));
            } else {
                Put(list, value - PawnCaptureBase, CaptureWord(pawnFrom[i], c));
            }
        }
        // 5. - 7. Knights, bishops, rooks, queens: capture the checker, then interpose.
        list = EvasionPieceMoves<S, 2>(list, c, value, block, -30320);
        list = EvasionPieceMoves<S, 3>(list, c, value, block, -30325);
        list = EvasionPieceMoves<S, 4>(list, c, value, block, -30500);
        list = EvasionPieceMoves<S, 5>(list, c, value, block, -30950);
        // 8. Pawn pushes onto the line: double steps, promotions, single steps.
        if (block) {
            const u64 single = PushForward<S>(pawns) & ~pos.occupied;
            list = DoublePushes<S>(list, pawns, block, QuietScore);
            list = PushPromotions<S>(list, single & block & C::LastRank);
            list = Pushes<S>(list, single & block & ~C::LastRank, QuietScore);
        }
    }

    // 9. King moves off the line of check, never next to the enemy king.
    const u64 targets = KingAttacks[king] & ~pos.occupiedBy[S] & ~KingZone(S ^ 1) & ~block;
    list = KingCaptures<S>(list, king, targets & Victims<S>(), sliders, KingCaptureRefused);
    for (u64 b = targets & ~pos.occupied; b; b &= b - 1)
        Put(list, QuietScore, MakeMoveWord(king, Lowest(b), Quiet));
    return list;
}

}  // namespace

const Generator MoveGenerators[2] = {GenerateMoves<Black>, GenerateMoves<White>};
const Generator PerftMoveGenerators[2] = {GenerateMoves<Black, false>, GenerateMoves<White, false>};
const Generator CaptureGenerators[2] = {GenerateCaptures<Black>, GenerateCaptures<White>};
const EvasionGenerator EvasionGenerators[2] = {GenerateEvasions<Black>, GenerateEvasions<White>};

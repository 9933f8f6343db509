// Fixed-width aliases and the small vocabulary every subsystem shares: sides, piece codes,
// squares and move words. Nothing here has state; it is included everywhere.
#pragma once

#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

// State each search thread holds for itself (the live position, its history, the search worker).
// Zero-initialised, so no thread pays for initialising it on first use, and addressed directly
// from the thread pointer: Zelmor's state lives in the executable, never in a loaded library.
#define ZELMOR_THREAD_STATE thread_local constinit __attribute__((tls_model("local-exec")))

// Black first: every side-indexed table holds Black at 0 and White at 1.
enum Side : int { Black = 0, White = 1 };

// Piece codes: kind k (pawn 1 ... king 6) of side s has code 2k - s, so White is odd.
enum PieceCode : u8 {
    Empty = 0,
    WPawn = 1,
    BPawn = 2,
    WKnight = 3,
    BKnight = 4,
    WBishop = 5,
    BBishop = 6,
    WRook = 7,
    BRook = 8,
    WQueen = 9,
    BQueen = 10,
    WKing = 11,
    BKing = 12,
};

inline constexpr char PieceChars[] = ".PpNnBbRrQqKk";

// Square numbering: a8 = 0 ... h1 = 63; square s is bit (63 - s) of a bitboard.
constexpr int Row(int s) { return s >> 3; }
constexpr int File(int s) { return s & 7; }
constexpr int SquareOf(char file, char rank) { return (file - 'a') + 8 * ('8' - rank); }

// clang-format off
enum SquareName : int {
    A8 = 0, B8, C8, D8, E8, F8, G8, H8,
    A7, B7, C7, D7, E7, F7, G7, H7,
    A6, B6, C6, D6, E6, F6, G6, H6,
    A5, B5, C5, D5, E5, F5, G5, H5,
    A4, B4, C4, D4, E4, F4, G4, H4,
    A3, B3, C3, D3, E3, F3, G3, H3,
    A2, B2, C2, D2, E2, F2, G2, H2,
    A1, B1, C1, D1, E1, F1, G1, H1,
};
// clang-format on

// Castling rights bits.
enum CastleRight : u16 { WhiteShort = 1, WhiteLong = 2, BlackShort = 8, BlackLong = 16 };

// Move word: to in bits 0-5, from in bits 6-11, kind in bits 12-15; 0 = no move.
using Move = u16;

enum MoveKind : int {
    Quiet = 0,
    Capture = 1,
    EnPassant = 2,
    MarkerKind = 3,  // never played: game-end, null and stand-pat markers
    PromoQueen = 4,
    PromoKnight = 5,
    PromoRook = 6,
    PromoBishop = 7,
    CapPromoQueen = 8,
    CapPromoKnight = 9,
    CapPromoRook = 10,
    CapPromoBishop = 11,
    BlackCastleShort = 12,
    WhiteCastleShort = 13,
    BlackCastleLong = 14,
    WhiteCastleLong = 15,
};

constexpr int MoveTo(Move m) { return m & 63; }
constexpr int MoveFrom(Move m) { return (m >> 6) & 63; }
constexpr int MoveKindOf(Move m) { return m >> 12; }
constexpr Move MakeMoveWord(int from, int to, int kind) {
    return static_cast<Move>((kind << 12) | (from << 6) | to);
}
constexpr bool IsMarker(Move m) { return (m & 0xF000) == 0x3000; }
constexpr bool IsCastling(Move m) { return m >= 0xC000; }
constexpr bool IsPromotion(Move m) { return MoveKindOf(m) >= 4 && MoveKindOf(m) <= 11; }

// Game-end markers (kind 3, equal from and to squares) and the search's own markers.
inline constexpr Move EndMated = 0x3000;
inline constexpr Move EndStalemate = 0x3041;
inline constexpr Move EndRepetition = 0x3082;
inline constexpr Move EndFiftyMoves = 0x3186;
inline constexpr Move EndNoMaterial = 0x31C7;
inline constexpr Move NullMoveMarker = 0x3104;
inline constexpr Move StandPatMarker = 0x3249;
inline constexpr Move BitbaseMarker = 0x32CB;

// A generated move with its ordering score; higher scores are tried first.
struct ScoredMove {
    i16 score;
    Move move;
};
static_assert(sizeof(ScoredMove) == 4);

// Checkers of the side to move and the king's lines, filled by FindCheckers.
struct CheckInfo {
    u64 checkers;
    u64 rookLines;
    u64 bishopLines;
};

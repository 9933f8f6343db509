// The board: fixed bitboard tables (filled once by InitTables at start-up), the live Position
// with its history stack (one per thread) and the game position, the Zobrist keys, FEN text, and
// the move word's make/unmake. Everything here is allocated statically.
#pragma once

#include "board/types.h"
#include "board/zobrist.h"

// ---------------------------------------------------------------------------------------------
// Fixed tables (tables.cpp)

extern u64 KingAttacks[64];
extern u64 PawnAttacks[2][64];  // [side][square]
extern u64 KnightAttacks[64];
extern u64 RankAttacks[64][256];
extern u64 FileAttacks[64][256];
extern u64 DiagA1H8Attacks[64][256];
extern u64 DiagA8H1Attacks[64][256];
extern u64 SetMask[64];
extern u64 SetMaskR90[64];
extern u64 SetMaskR45[64];
extern u64 SetMaskR315[64];
// A square's bit on the plain board and on the three rotated boards, side by side in the order of
// the Position's occupancy fields, so that making a move toggles all four with one look-up a
// square.
struct alignas(32) SquareBits {
    u64 plain;
    u64 r90;
    u64 r45;
    u64 r315;
};
extern SquareBits SquareMasks[64];
extern u64 FileMask[64];
extern u64 AdjacentFilesMask[64];
extern u64 PassedMask[2][64];  // [side][square]
extern u64 FrontSpan[2][64];   // [side][square]
extern u64 QueenRays[64];
extern u64 RookRays[64];
extern u64 BishopRays[64];
extern u64 EpMaskR90[64];
extern u64 EpMaskR45[64];
extern u64 EpMaskR315[64];

extern const u8 DiagShift45[64];
extern const u8 DiagShift315[64];
extern const u8 DiagMask45[64];
extern const u8 DiagMask315[64];
extern const i32 BitScanTable[64];

// Builds the board's tables in their fixed order (InitEngineTables adds the evaluation's and
// the search's).
void InitTables();

// Square of the least significant set bit (the highest-numbered square); bb must not be 0.
// The processor's bit scan; BitScanTable gives the same answer through a folded multiply.
inline int FirstSquare(u64 bb) { return 63 - __builtin_ctzll(bb); }

inline int PopCount(u64 bb) { return __builtin_popcountll(bb); }

u64 RotateR90(u64 bb);
u64 RotateR45(u64 bb);
u64 RotateR315(u64 bb);

// ---------------------------------------------------------------------------------------------
// The live position (position.cpp)

struct Position {
    u64 occupied;
    u64 occupiedR90;
    u64 occupiedR45;
    u64 occupiedR315;
    u64 occupiedBy[2];
    u64 pieces[13];  // by piece code 1-10; slots 0, 11, 12 stay empty (kings have no bitboard)
    u64 key;
    u32 pawnKey;
    u8 enPassant;  // 0 = none
    u8 materialTotal;
    u8 board[64];
    u16 castleRights;
    u8 kingSquare[2];  // 100 = no king placed
    u8 pieceMaterial[2];
    u8 pawnCount[2];
    i32 sideToMove;
    Move epdAvoidMove;
    Move epdBestMove;
};

// Each search thread has its own live position and history stack; the engine's thread holds the
// game's.
ZELMOR_THREAD_STATE extern Position pos;

// Bitboard of a side's pieces of kind k (pawn 1 ... queen 5): code 2k - side.
inline u64& PiecesOf(int kind, int side) { return pos.pieces[2 * kind - side]; }

struct HistoryEntry {
    u32 keyLow;
    u32 keyHigh;
    Move move;
    u16 halfmoveClock;
};
static_assert(sizeof(HistoryEntry) == 12);

// Room for any real game plus the deepest search line above it. The game-move operation refuses
// a move once the game part reaches HistoryGameLimit, so a search never writes past the end.
inline constexpr int HistoryGameLimit = 12288;
inline constexpr int HistorySize = HistoryGameLimit + 256;
ZELMOR_THREAD_STATE extern HistoryEntry history[HistorySize];
ZELMOR_THREAD_STATE extern HistoryEntry* historyTop;

inline u64 HistoryKey(const HistoryEntry& e) {
    return (static_cast<u64>(e.keyHigh) << 32) | e.keyLow;
}

struct GamePositionRecord {
    u8 board[64];
    u16 castleRights;
    u8 enPassant;
    u8 kingSquare[2];
    i32 sideToMove;
};
extern GamePositionRecord GamePosition;
// Makes GamePosition the live position (after a set-up or a takeback).
void CopyLiveToGamePosition();

// Material units by piece code (only codes 1-10 are looked up).
inline constexpr u8 PieceUnits[13] = {100, 1, 1, 3, 3, 3, 3, 5, 5, 9, 9, 150, 200};
inline constexpr i16 PieceValue[13] = {0,   100, 100, 320, 320,  325, 325,
                                       500, 500, 950, 950, 2000, 2000};

inline constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// The "am"/"bm" operation of an EPD record, unread: 'a' or 'b' (0 for none) and the move text.
struct EpdOperation {
    char kind = 0;
    char moveText[10] = "";
};
// Sets the live position, its history and GamePosition from FEN/EPD text and hands back the EPD
// operation; false when the text is rejected (the half-read position is still consistent). Only
// the board changes: SetBoard (engine) is the set-up that also forgets earlier games.
bool LoadPosition(const char* text, EpdOperation& epd);
// Debug builds' consistency check of the live position (check.cpp): bitboards, occupancy and
// rotated boards against board[], king squares, material and counters; with freshSetUp also the
// keys, which right after set-up are the men's keys alone (PieceKeysOf, PawnKeysOf). Not a
// legality test: set-up accepts unplayable positions.
bool PositionIsOk(bool freshSetUp = false);
u64 PieceKeysOf(const Position& p);
u32 PawnKeysOf(const Position& p);
// Writes the live position as FEN (no counters); returns a pointer to the terminating NUL.
// The buffer needs at least 92 bytes.
char* WriteFen(char* buffer);
void PrintBoard(const u8* board);

// ---------------------------------------------------------------------------------------------
// Moves (makemove.cpp)

// Snapshot the caller saves before MakeMove and hands back to UnmakeMove.
// The four occupancy boards come first, in the Position's order, so that they are saved and
// restored together.
struct UndoRecord {
    u64 savedOccupied;
    u64 savedR90;
    u64 savedR45;
    u64 savedR315;
    u64 savedOccupiedByMover;
    u64 oldPieceBoard;
    u64 savedKey;
    u32 savedPawnKey;
    u16 savedCastleRights;
    u8 savedEnPassant;
    u8 captured;
    i8 materialDelta;
};

// Fills the caller-saved fields of undo from the live position.
inline void SaveSnapshot(UndoRecord& undo) {
    undo.savedOccupied = pos.occupied;
    undo.savedOccupiedByMover = pos.occupiedBy[pos.sideToMove];
    undo.savedR90 = pos.occupiedR90;
    undo.savedR45 = pos.occupiedR45;
    undo.savedR315 = pos.occupiedR315;
    undo.savedKey = pos.key;
    undo.savedPawnKey = pos.pawnKey;
    undo.savedCastleRights = pos.castleRights;
    undo.savedEnPassant = pos.enPassant;
}

bool IsMoveValid(Move move);

// What the "!error.err" report of a marker word reaching MakeMove says about the search that
// played it: the layers above point these at their iteration depth and ponder move (0 while
// they do not).
struct MoveErrorContext {
    const u32* depth = nullptr;
    const Move* ponderMove = nullptr;
};
extern MoveErrorContext moveErrorContext;

// ---------------------------------------------------------------------------------------------
// Line attacks through the live occupancy (table look-ups only).

inline u64 RankAttacksFrom(int s) {
    return RankAttacks[s][(pos.occupied >> (56 - 8 * Row(s))) & 255];
}
inline u64 FileAttacksFrom(int s) {
    return FileAttacks[s][(pos.occupiedR90 >> (8 * File(s))) & 255];
}
inline u64 DiagA1H8AttacksFrom(int s) {
    return DiagA1H8Attacks[s][(pos.occupiedR45 >> DiagShift45[s]) & DiagMask45[s]];
}
inline u64 DiagA8H1AttacksFrom(int s) {
    return DiagA8H1Attacks[s][(pos.occupiedR315 >> DiagShift315[s]) & DiagMask315[s]];
}
inline u64 RookAttacksFrom(int s) { return RankAttacksFrom(s) | FileAttacksFrom(s); }
inline u64 BishopAttacksFrom(int s) { return DiagA1H8AttacksFrom(s) | DiagA8H1AttacksFrom(s); }
inline u64 QueenAttacksFrom(int s) { return RookAttacksFrom(s) | BishopAttacksFrom(s); }

// MakeMove and UnmakeMove (inline; the rare move kinds are in makemove.cpp).
#include "board/makemove.h"

// The search: transposition table, per-ply records and the shared move stack, alpha-beta,
// quiescence, and the iterative-deepening root search with its thinking output. All state is
// process-wide and static; SetBoard resets it through ClearHash and ResetSearchTables.
#pragma once

#include "board/board.h"
#include "movegen/movegen.h"

// ---------------------------------------------------------------------------------------------
// Per-ply records and the move stack (also used by perft, pondering and the book).

struct PlyRecord {
    CheckInfo checkInfo;
    UndoRecord undo;
    ScoredMove* currentMove;
    ScoredMove* moveListEnd;  // nullptr = this ply's moves are not generated yet
    u16 hashBound;
    i16 hashScore;
    Move hashMove;
    Move killer1;
    Move killer2;
    Move bestMove;
    u8 hashDepth;
    bool reduced;
    u32 sortKeys[MaxGeneratedMoves];
};

inline constexpr int PlyRecordCount = 136;
inline constexpr int MoveStackSize = 16512;
extern PlyRecord plyRecords[PlyRecordCount];
extern PlyRecord* currentPly;
extern ScoredMove moveStack[MoveStackSize];

// Where the moves of the ply at `record` start: the end of the previous ply's list.
ScoredMove* MoveListStart(const PlyRecord* record);

// ---------------------------------------------------------------------------------------------
// Transposition table (hash.cpp)

inline constexpr int HashBuckets = 1 << 20;  // per side
inline constexpr int HashSlots = 3;
extern u32 TranspositionTable[2 * HashBuckets * HashSlots * 3];

struct HashEntry {
    Move move;
    u8 depth;
    u8 bound;  // 0 exact, 1 lower, 2 upper
    u16 age;
    i16 score;
};

// Start-up only: asks for large pages under the table (an operating-system hint; may do nothing).
void AdviseLargePages(void* start, unsigned long bytes);

bool ProbeHash(HashEntry& entry);
void StoreHash(Move move, int score, int depth, int bound);
void StoreRootHash(Move move, int score, int depth, int bound);
void ClearHash();
void RenormalizeHashAge();
void AgeHashEntries(int depth);

// ---------------------------------------------------------------------------------------------
// Alpha-beta, quiescence and root search

extern u32 History[2][4096];
extern u64 CutoffCount[12][64];
extern u64 TriedCount[12][64];
extern i32 checkCount[2];

extern u32 iterationDepth;
extern u32 maxDepth;
extern i32 aspirationState;
extern bool probingEnabled;
extern bool allRootMovesDraw;
// The principal-variation text; BuildPv needs a buffer of this size.
inline constexpr int PvTextSize = 1024;
extern char pvText[PvTextSize];
// Moves made by the quiescence search since SearchIterative started (nodeCount leaves them out);
// the benchmark adds the two for its all-nodes rate.
extern u64 quiesceNodeCount;
// nodeCount of a search's first poll. A fixed-depth benchmark moves it out of reach, so that
// neither the clock nor waiting input can change what it searches.
extern u32 firstPoll;

// Clears History and the killers and sets every cut-off statistic to 1 (position set-up).
void ResetSearchTables();
// After a game move: History to 0 and every cut-off statistic to 1; killers stay.
void ResetMoveOrdering();

Move DrawByRule(int n);
int RepetitionAfterMove(Move move);
// Pass the move: saves key, pawn key, en passant and castling rights in *currentPly (call before
// advancing currentPly) and pushes a history entry; UnmakeNullMove, with currentPly back on the
// same record, restores them.
void MakeNullMove();
void UnmakeNullMove();

i16 SearchNode(int depth, int ply, int alpha, int beta, bool allowNull);
i16 Quiesce(int qdepth, int ply, int alpha, int beta);

struct SearchResult {
    Move move;
    i16 score;
};

// How the root shows its progress. The xboard thinking line is the default; a front end with
// another format (or none) installs its own printer. Kind tells a completed iteration from the
// final line after the last one and from the line that announces a shallow search's restart.
enum class ThinkingKind { Iteration, Final, Restart };
using ThinkingPrinter = void (*)(ThinkingKind kind, int depth, int score, int centiseconds,
                                 u32 nodes, const char* line);
void PrintXboardThinking(ThinkingKind kind, int depth, int score, int centiseconds, u32 nodes,
                         const char* line);
extern ThinkingPrinter thinkingPrinter;
// Whether a search stopped before depth 6 on the engine's own move may try once more with a
// fresh budget. Searches under a fixed time, depth or node limit, or with no clock at all, must
// not: their limit is the user's.
extern bool shallowRestartAllowed;
// A front end's restriction of the root: moves the user ruled out and, in a multi-line analysis,
// the lines shown already. Barred moves are not searched, and the table's verdict on the root
// (which speaks for every move) neither cuts the search short nor narrows its window. nullptr:
// every move is searched.
extern bool (*rootMoveBarred)(Move move);
// Whether a root position already drawn by rule is searched all the same (a UCI interface, not
// the engine, ends such games and still wants a move); off, such a root returns its marker.
extern bool searchDrawnRoot;
// The deepest ply the quiescence search reached; a front end clears it before a search.
extern int selDepth;
SearchResult SearchIterative();
i16 SearchRoot(int alpha, int beta);
i16 BuildPv(char* buffer, int n);

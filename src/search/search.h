// The search: transposition table, per-ply records and the shared move stack, alpha-beta,
// quiescence, and the iterative-deepening root search with its thinking output. All state is
// process-wide and static; a position set-up resets it through ClearHash and ResetSearchTables.
// What the search needs from the engine above it arrives through searchControl.
#pragma once

#include <atomic>

#include "board/board.h"
#include "movegen/movegen.h"

// ---------------------------------------------------------------------------------------------
// What the search needs from whoever runs it

// How the root shows its progress. The engine's xboard thinking line is the default; a front end
// with another format (or none) installs its own printer. Kind tells a completed iteration from the
// final line after the last one and from the line that announces a shallow search's restart.
enum class ThinkingKind { Iteration, Final, Restart };
using ThinkingPrinter = void (*)(ThinkingKind kind, int depth, int score, int centiseconds,
                                 u64 nodes, const char* line);

// The limits, the budget, the stop flag, the first poll, the table age and the hooks into the
// clock and the input: shared by every search thread. The search declares it; the engine owns the
// one process-wide instance (its hooks are the engine's time test and input poll), fills it in
// before a search and changes it from the poll while the search runs.
struct SearchControl {
    u32 maxDepth;     // the last iteration searched
    i32 timeForMove;  // the move's budget (ms from searchStart); failed windows may grow it
    i32 searchStart;
    // Whether a search stopped before depth 6 on the engine's own move may try once more with
    // a fresh budget. Searches under a fixed time, depth or node limit, or with no clock at all,
    // must not: their limit is the user's.
    bool shallowRestartAllowed;
    bool stop;  // set by the time test, the poll or the caller: the search unwinds
    // The node count of a search's first poll. A fixed-depth benchmark moves it out of reach, so
    // that neither the clock nor waiting input can change what it searches.
    u32 firstPoll;
    // The age new table entries get: the game counter hashAge. Atomic: the engine's thread
    // counts a confirmed ponder guess while helpers store entries.
    std::atomic<u16> tableAge;
    ThinkingPrinter printer;
    bool (*timeIsUp)();       // the clock test; sets stop when it says yes
    bool (*pollPoint)();      // every 16384 nodes: clock, then waiting input; true = abort
    bool (*pollClock)();      // the clock-only poll after the null move
    bool (*pondering)();      // the search runs on the opponent's time
    bool (*budgetMayGrow)();  // the clock leaves room for a longer re-search
    // A front end's restriction of the root: moves the user ruled out and, in a multi-line
    // analysis, the lines shown already. Barred moves are not searched, and the table's verdict
    // on the root (which speaks for every move) neither cuts the search short nor narrows its
    // window. nullptr: every move is searched.
    bool (*rootMoveBarred)(Move move);
    // Whether a root position already drawn by rule is searched all the same (a UCI interface,
    // not the engine, ends such games and still wants a move); off, such a root returns its
    // marker.
    bool searchDrawnRoot;
};
extern SearchControl searchControl;

// Search threads a search starts: thread 0, which polls, prints and decides, and helpers that
// share the table. Set only between searches; 1 is the one search alone.
inline constexpr int MaxSearchThreads = 256;
extern int searchThreadCount;
// Nodes the helpers of the last search have searched so far (0 with one thread); a helper's
// count reaches this sum every 1024 of its nodes and at its end.
u64 HelperNodes();

// The control's fields under the names the engine and the tests know them by.
inline u32& maxDepth = searchControl.maxDepth;
inline bool& shallowRestartAllowed = searchControl.shallowRestartAllowed;
inline u32& firstPoll = searchControl.firstPoll;
inline ThinkingPrinter& thinkingPrinter = searchControl.printer;
inline i32& timeForMove = searchControl.timeForMove;
inline i32& searchStart = searchControl.searchStart;
inline bool& stopSearch = searchControl.stop;
inline std::atomic<u16>& hashAge = searchControl.tableAge;
inline bool (*&rootMoveBarred)(Move move) = searchControl.rootMoveBarred;
inline bool& searchDrawnRoot = searchControl.searchDrawnRoot;

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
// The principal-variation text; BuildPv needs a buffer of this size.
inline constexpr int PvTextSize = 1024;

// Everything one search thread owns: its ply records and move stack, the move-ordering
// statistics (History, the cut-off counts, the killers in the ply records), its node counters
// and iteration values and its principal-variation text. The live position and its history
// stack are the board's (pos, history, historyTop), per thread as well. `worker` is the calling
// thread's own: on the thread that runs the engine it is thread 0, the search that polls,
// prints and decides; a helper thread starts with a worker of its own.
struct SearchWorker {
    PlyRecord plyRecords[PlyRecordCount];
    PlyRecord* currentPly;
    ScoredMove moveStack[MoveStackSize];
    u32 History[2][4096];
    u64 CutoffCount[12][64];
    u64 TriedCount[12][64];
    i32 checkCount[2];
    // Moves made by the root and alpha-beta search; the poll is due once it passes nextPoll.
    // 64 bits: a long analysis passes 2^32 nodes, and a 32-bit poll schedule would then poll at
    // every node for a while and not at all for hours.
    u64 nodeCount;
    u64 nextPoll;
    // Moves made by the quiescence search since SearchIterative started (nodeCount leaves them
    // out); the benchmark adds the two for its all-nodes rate.
    u64 quiesceNodeCount;
    u32 iterationDepth;
    i32 aspirationState;
    bool probingEnabled;
    bool allRootMovesDraw;
    char pvText[PvTextSize];
    // The deepest ply the quiescence search reached; a front end clears it before a search.
    int selDepth;
    // A helper thread's worker: it answers to the helpers' stop, never polls input or the
    // clock, prints nothing and leaves the root's table entry to thread 0.
    bool helper;
};
ZELMOR_THREAD_STATE extern SearchWorker worker;
// Thread 0's nodes and its helpers': what thinking and info lines show. Called on thread 0.
inline u64 SearchNodes() { return worker.nodeCount + HelperNodes(); }
// Readies the calling thread's worker before its first search: the root ply record first,
// bitbase probes allowed. The engine calls it for thread 0 when it starts.
void StartWorker();

// Where the moves of the ply at `record` start: the end of the previous ply's list.
ScoredMove* MoveListStart(const PlyRecord* record);

// ---------------------------------------------------------------------------------------------
// Transposition table (hash.cpp, tt.h), shared by every search thread. Two halves by side to
// move, each of a power-of-two number of buckets; a bucket is three slots of three u32 words and
// starts HashBucketWords words after the one before. The default, 2^20 buckets a side (72 MiB),
// lives in static storage; SetHashSize moves the table to another size.

inline constexpr int HashSlots = 3;
#ifndef ZELMOR_HASH_BUCKET_WORDS
#define ZELMOR_HASH_BUCKET_WORDS 9
#endif
// 9: buckets packed; 16: one 64-byte cache line each (128 MiB by default).
inline constexpr int HashBucketWords = ZELMOR_HASH_BUCKET_WORDS;
static_assert(HashBucketWords == 9 || HashBucketWords == 16);
inline constexpr int DefaultHashBits = 20;
inline constexpr int MinHashBits = 10;
inline constexpr int MaxHashBits = 26;

// Where the table is and how a key finds its bucket: the bucket number is the key's low `bits`
// bits; a slot stores bits 16-31 of the low key half, and keyCheckMask keeps those of them the
// bucket number does not already imply.
struct HashTableShape {
    u32* words;
    int bits;  // log2 of the buckets per side
    u64 bucketMask;
    u32 keyCheckMask;
    u64 bucketCount;  // both halves
};
extern HashTableShape hashTable;

// 2^bits buckets a side, bits from MinHashBits to MaxHashBits; the new table is empty. False,
// with the table unchanged, for a size out of range or memory that cannot be had.
bool SetHashSize(int bits);
inline u64 HashTableBytes() { return hashTable.bucketCount * HashBucketWords * sizeof(u32); }

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

SearchResult SearchIterative();
i16 SearchRoot(int alpha, int beta);
i16 BuildPv(char* buffer, int n);

// ---------------------------------------------------------------------------------------------
// Table sizes as users give them (hashsize.cpp). A size in MB (2^20 bytes) gets the power-of-two
// table nearest to it, measured in bytes; a request exactly halfway between two sizes gets the
// larger. With 36-byte buckets the sizes run 72 KiB, ..., 9, 18, 36, 72, ..., 4608 MiB, so that
// 64, 68 and 72 MB all keep the default 72 MiB table.

// The table's bits for a request of `megabytes`, clamped to MinHashBits..MaxHashBits (0 gives the
// smallest table).
int HashBitsForMegabytes(u64 megabytes);
// The size in whole MiB of the table of `bits` (rounded down: the smallest tables are below 1).
u64 HashMegabytesForBits(int bits);
// The largest table the machine allows: at most half of its physical memory, at most
// MaxHashBits and at most hashBitsLimit, never below the default.
int LargestHashBits();
// A cap on the table size for a process with a memory budget of its own (a fuzzing harness);
// MaxHashBits by default.
extern int hashBitsLimit;

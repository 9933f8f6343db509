// Engine-control helpers shared by the loop, the game flow, time control and start-up, and
// reached by the protocol front ends above it and by the engine's tests.
#pragma once

#include <cstdio>

#include "board/types.h"
#include "search/search.h"

// ---------------------------------------------------------------------------------------------
// Zelmor.ini

inline constexpr int ConfigLineLimit = 4095;  // longer lines are ignored whole
inline constexpr int PathLimit = 4096;

struct EngineConfig {
    // Relative directories are taken from here: "" for the working directory's Zelmor.ini, the
    // file's own directory (ending in '/') for one found in the user's or the installed place.
    char baseDirectory[PathLimit] = {};
    char bookDirectory[PathLimit + ConfigLineLimit + 8] = {};
    bool bookPathSeen = false;
    bool mainBookOpened = false;  // result of the last mainBook opening
    char bitbaseDirectory[PathLimit + ConfigLineLimit + 8] = {};
    i32 bitbaseCacheMb = 4;
    i32 bitbaseLoadMode = 1;
    // HASH_MB= and THREADS=; 0 when absent (the default table, one thread). A value that is no
    // number of 1 or more is ignored and reported.
    i32 hashMb = 0;
    i32 threads = 0;
    bool hashValueBad = false;
    bool threadsValueBad = false;
};

enum class ConfigKey {
    None,
    Comment,
    BookPath,
    BitbasePath,
    BitbaseCache,
    BitbaseLoad,
    HashSize,
    Threads
};

// Applies one line (leading whitespace already skipped or not) to config; does not open books.
ConfigKey ApplyConfigLine(const char* line, EngineConfig& config);
// Reads every line of an open Zelmor.ini, opening the book sets at each BOOK_PATH line when
// openBooks is set.
void ReadConfig(std::FILE* file, EngineConfig& config, bool openBooks);
// Completes a configured directory: blanks trimmed, '/' appended unless it already ends with '/'
// or '\'. An empty value stays empty.
void CompleteDirectory(char* directory);
// The configuration start-up read (the UCI front end shows it as its options' defaults and
// changes it through them).
extern EngineConfig engineConfig;
// Opens mainBook from config's book directory and secondBook from its "2/" subdirectory.
void OpenBooks(EngineConfig& config);
// The xboard front end's feature lines after "setboard", printed once Zelmor.ini is read (their
// option defaults come from it) and before "feature done=1"; nullptr prints none.
extern void (*moreFeatureLines)();

// ---------------------------------------------------------------------------------------------
// Game flow

// Plays a game move; reportIllegal prints the board and "Illegal Move" when it is refused.
bool PlayGameMove(Move move, bool reportIllegal);
// Whether the side to move has a legal move in the live position.
bool HasLegalMove();
// Whether the live position can be searched and played on: one king each, not adjacent, the side
// that just moved not in check, no pawn on a back rank, material that promotions can explain.
bool PositionIsPlayable();
// After a position set-up: drops castling rights whose king or rook is not at home and an
// en-passant square that no double pawn step can have made, in the live and the game position.
void SanitizeSetup();

// Limits a front end sets for the searches that follow, beyond the clock: a fixed depth, a fixed
// time for each move, a node count, or no clock at all (analysis, a search that only a command
// ends). Zero means no limit. RunSearch applies them to every search.
struct SearchLimits {
    i32 depth = 0;          // the last iteration searched
    i32 moveTimeMs = 0;     // a hard limit for the move, whatever the clock says
    u32 nodes = 0;          // the search stops once nodeCount reaches it
    bool infinite = false;  // the clock never stops the search
};
extern SearchLimits searchLimits;
// Sets the search's depth limit and whether a shallow search may restart from searchLimits.
void ApplySearchLimits();

// The pieces of think that a front end needs without playing the move:
// the book's move for the game position while the game is young (below ply 64), or 0;
Move GameBookMove();
// the engine's move after a search: the root's table entry, or the draw marker the search
// returned for a position drawn already;
struct EngineMove {
    Move move;
    i16 score;
    int bound;
    int depth;
};
EngineMove MoveAfterSearch(const SearchResult& result);
// with the engine's move on the board, the reply the table expects (0 when the table has none or
// its score is beyond the range worth pondering on; it may be a game-end marker).
Move ExpectedReply();
// Makes the guessed reply g for pondering into ponderUndo (TakeBackPonderMove takes it back);
// false (board unchanged) when it is not legal. The caller sets ponderMove.
bool MakePonderMove(Move g);
// After the engine's move: the table ages (deeply once the fifty-move count passes 80), or only
// its age counter is brought back into range.
void AgeTableAfterMove(int depth);

// The input poll a running search makes when a whole token waits: each front end installs its
// own reader (none: the input waits for the loop).
extern void (*inputPoller)();
// A front end's look at a running search at every poll point (progress lines); nullptr for none.
extern void (*searchTicker)();

// Takeback. Every game move (the guessed move a confirmed ponder search leaves, too) is recorded
// right after MakeMove with the snapshot it was made with; TakeBackGameMove takes back the last
// `count` of them, restoring the live position, its history entries, GamePosition and gamePly.
// False, with nothing changed, when the game holds fewer moves.
void RecordGameMove(Move move, const UndoRecord& undo);
bool TakeBackGameMove(int count);

// ---------------------------------------------------------------------------------------------
// Time control and the loop's commands

// The pending token stopped the search and needs the loop ("quit", "force", a move, a command):
// the time test then keeps answering "stop", so a shallow search's one restart cannot swallow it,
// and no ponder search starts before the loop has handled it.
extern bool pendingStopsSearch;
// The engine's own clock runs from the moment its move is due: the hard limit of a move (set by
// every clock report, never more than seven eighths of the clock) counts from there.
extern i32 moveClockStart;
extern i64 hardTimeLimit;
void StartMoveClock(i32 now);
// Counts the time spent pondering against the move, at most two thirds of the budget.
void ApplyPonderCredit(i32 now);
// When the last ponder search returned to the loop (it ended by itself or on a command).
extern i32 ponderSearchEnd;

// ---------------------------------------------------------------------------------------------
// Root restrictions and further lines (rootmoves.cpp)

inline constexpr int MaxSearchLines = 32;
inline constexpr int PvPlyLimit = 12;
// Rules a move of the live position out of the root search, or back in. "all" rules every move
// out (or in); a later single move then goes against that. Each change clears the table.
void ExcludeRootMove(Move move, bool excluded);
void ExcludeAllRootMoves(bool excluded);
// Only these moves are searched (UCI "searchmoves").
void SearchOnlyRootMoves(const Move* moves, int count);
// Every move searched again; the table is cleared when the searches it holds were restricted
// and the same position will be searched next.
void EndRootRestriction(bool clearTable);
// A restriction given for another position than the live one is dropped (the game moved on).
void ForgetRootRestrictionElsewhere();
bool RootMoveAllowed(Move move);
// The legal moves of the live position that the restriction leaves.
int AllowedRootMoves();
// After a finished iteration: the next best lines, 2 to `lines`, each searched at the same depth
// with the lines above it ruled out, handed to print with their score and text.
using FurtherLinePrinter = void (*)(int line, int score, const char* text);
void SearchFurtherLines(int lines, FurtherLinePrinter print);

// ---------------------------------------------------------------------------------------------
// Search threads and table size as the front ends and Zelmor.ini set them (settings.cpp)

// A thread count asked for while a search may run ("cores" during the engine's own search):
// RunSearch makes it searchThreadCount before the next search starts. 0: none waiting.
extern int requestedSearchThreads;
// A requested thread count held to 1..MaxSearchThreads.
int ClampSearchThreads(i64 threads);
// Moves the table to the size a request of `megabytes` gets (HashBitsForMegabytes, at most
// LargestHashBits). The new table is empty; an unchanged size keeps its entries. False when the
// memory cannot be had: the old table stays, entries and all.
bool SetHashMegabytes(u64 megabytes);
// The table's size in whole MiB (what a front end shows for it).
u64 CurrentHashMegabytes();

// The game core under the protocol front ends: start-up and configuration, position set-up, the
// game flow (think, ponder, result claims), time control and input polling. Everything runs on
// the engine's thread (search thread 0; helpers only search); searches poll for input through the
// reader the front end installs (inputPoller).
#pragma once

#include <cstdio>

#include "base/log.h"
#include "board/board.h"
#include "search/search.h"

// ---------------------------------------------------------------------------------------------
// Command loop state

enum EngineStateValue : i32 { Force = 0, Thinking = 1, Pondering = 2, Playing = 3, Quit = 4 };
extern i32 EngineState;
extern char commandBuffer[256];
extern bool commandPending;
extern bool ponderEnabled;

// Start-up; forUci skips the xboard handshake and sends the report lines to the debug log.
bool EngineStartup(bool forUci = false);

// The xboard thinking line, every search's default printer; its node count is the 32-bit one
// xboard has always been shown, and wraps in a search of over 2^32 nodes.
void PrintXboardThinking(ThinkingKind kind, int depth, int score, int centiseconds, u64 nodes,
                         const char* line);

// ---------------------------------------------------------------------------------------------
// Set-up

// The fixed tables of every subsystem in start-up order: the board's, the evaluation's phase
// tables, then a cleared transposition table.
void InitEngineTables();
// Sets up a position as "new", "setboard", the converters and the tools do: LoadPosition, then
// everything learnt about earlier games is forgotten (transposition table, History, cut-off
// statistics and killers, pawn hash, gamePly and hashAge), then an EPD "am"/"bm" move is read
// against the new position. False when the text or that move is rejected.
bool SetBoard(const char* text);

// ---------------------------------------------------------------------------------------------
// Game flow

extern u16 gamePly;
extern Move ponderMove;
extern PlyRecord ponderUndo;

void think();
// How a search begins: for the engine's move, for the move after a confirmed guess whose ponder
// search had already ended (the pondering time is credited), on a guess (no move clock), or for
// analysis (no clock; the front end sets the limits and printer around it).
enum class SearchStart { OwnMove, ContinuedPonder, Ponder, Analysis };
// The one way every front end starts a search: its limits applied, the stop flag cleared, the
// clock started as the kind needs, then the iterative search.
SearchResult RunSearch(SearchStart kind);
// Starts the clock (crediting pondering time when the guessed move was played) and searches.
SearchResult StartEngine(bool goodPonder);
// The opponent played the guessed move. countGameMove: the guess becomes a game move now (game
// counters, ponderMove cleared); a front end that learns the move otherwise counts it there.
// searchRunning: the ponder search still runs and goes on as the search for the engine's move,
// its clock starting now with the pondering time credited.
void ConfirmPonderGuess(bool searchRunning, bool countGameMove);
void StopEngine();
// Plays a game move on the live position; false (with the "Illegal Move" report) when the move is
// not legal there or the game is too long for the history stack.
bool MakeRealMove(Move move);
// Takes a guessed move that is still on the board back (after "force" or a command that resets
// the game while a ponder search waits); nothing when none is pending.
void TakeBackPonderMove();

// ---------------------------------------------------------------------------------------------
// Time control and polling

extern i32 movesPerSession;
extern i32 incrementMs;
extern i32 movesToGo;

void SetTimeBudget(i32 ownCentiseconds, i32 opponentCentiseconds);
// The budget's second half, for a movesToGo already known (SetTimeBudget derives it from the
// game's ply; a UCI interface states it): the per-move share, the increment, the hard limit.
void SetMoveBudget(i32 ownCentiseconds);
// True when the running search must stop now (sets stopSearch).
bool TimeIsUp();
// The search's poll point (every 16384 nodes: clock, then waiting input); true when the search
// must abort.
bool PollPoint();
// The clock-only poll made after the null move: stopSearch, then the time test past the gate.
bool PollClock();
// Non-zero when a whole token (or the end of input) waits on standard input, unread.
i32 InputAvailable();

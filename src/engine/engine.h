// Engine control: start-up and configuration, the command loop, the game flow (think, ponder,
// result claims), time control and input polling. The loop runs on the one
// thread; searches poll for input through PollCommand.
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
void CommandLoop();

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
// Starts the clock (crediting pondering time when the guessed move was played) and searches.
SearchResult StartEngine(bool goodPonder);
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
// Reads one token during a search and acts on it, or hands it to the command loop.
void PollCommand();

// Engine control: start-up and configuration, the command loop, the game flow (think, ponder,
// result claims), time control and input polling, and the debug log. The loop runs on the one
// thread; searches poll for input through PollCommand.
#pragma once

#include <cstdio>

#include "board/board.h"

struct PlyRecord;
struct SearchResult;

// ---------------------------------------------------------------------------------------------
// Debug log "Zelmor.log", truncated at every start: in the working directory, or in the user's
// state directory when the working directory takes no files.

class DebugLog {
public:
    DebugLog();
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    DebugLog& operator<<(const char* text);
    DebugLog& operator<<(char c);
    DebugLog& operator<<(int value);
    DebugLog& operator<<(unsigned value);
    DebugLog& operator<<(long value);
    DebugLog& operator<<(unsigned long value);
    DebugLog& operator<<(long long value);
    DebugLog& operator<<(unsigned long long value);
    // A full line: text, newline, flush.
    void Line(const char* text);
    void Flush();
    // Where the log went: "" for the working directory, else the state directory ending in '/'.
    const char* Directory() const { return directory_; }
    // Why no log is written anywhere; "" while it is.
    const char* Failure() const { return failure_; }

private:
    std::FILE* file_ = nullptr;
    char directory_[4096] = "";
    char failure_[8400] = "";
};
extern DebugLog debugLog;

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
// Game flow

extern u16 gamePly;
extern u16 hashAge;
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
extern i32 timeForMove;
extern i32 searchStart;
extern bool stopSearch;
extern u32 nodeCount;
extern u32 nextPoll;

// Milliseconds since the process started.
i32 Now();
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

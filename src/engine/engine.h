// Engine control: start-up and configuration, the command loop, the game flow (think, ponder,
// result claims), time control and input polling, and the debug log. The loop runs on the one
// thread; searches poll for input through PollCommand.
#pragma once

#include <cstdio>

#include "board/board.h"

struct PlyRecord;

// ---------------------------------------------------------------------------------------------
// Debug log "Zelmor.log", truncated at every start.

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

private:
    std::FILE* file_;
};
extern DebugLog debugLog;

// ---------------------------------------------------------------------------------------------
// Command loop state

enum EngineStateValue : i32 { Force = 0, Thinking = 1, Pondering = 2, Playing = 3, Quit = 4 };
extern i32 EngineState;
extern char commandBuffer[256];
extern bool commandPending;
extern bool ponderEnabled;

bool EngineStartup();
void CommandLoop();

// ---------------------------------------------------------------------------------------------
// Game flow

extern u16 gamePly;
extern u16 hashAge;
extern Move ponderMove;
extern PlyRecord ponderUndo;

void think();
void StopEngine();
void MakeRealMove(Move move);

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
// True when the running search must stop now (sets stopSearch).
bool TimeIsUp();
// The search's poll point; true when the search must abort.
bool PollPoint();

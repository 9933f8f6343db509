// The xboard front end: the command loop with its command table, the search's input poll that
// reads xboard tokens, the clock reports and the analysis mode. It translates the protocol into
// the engine's operations (think, MakeRealMove, RunSearch, SetBoard, ...).
#pragma once

#include <cstddef>

#include "board/types.h"
#include "search/search.h"

// The xboard command loop; start-up with the handshake first, then commands until "quit".
void CommandLoop();

// ---------------------------------------------------------------------------------------------
// Input during a search and clock reports (poll.cpp)

// Reads one token during a search and acts on it, or hands it to the command loop.
void PollCommand();
// Whether the token is a loop command that must stop a running search before it is handled.
bool StopsSearch(const char* token);
// Reads the "%d %s %d" of a clock report; prints the error line and returns false when the own
// clock is not a number (nothing is changed then).
bool ReadClockReport(i32& own, char* keyword, i32& opponent);
// The clock report after its "time" token: read, logged with logTail after it, and made the
// budget; nothing changes when the own clock is not a number.
void ApplyClockReport(const char* logTail);

// ---------------------------------------------------------------------------------------------
// Analysis and the interface's lesser commands (analysis.cpp)

// Analysis: the game position is searched with no clock, nothing is played; moves, takebacks and
// new positions restart the search. EngineState stays Force meanwhile.
extern bool analysing;
// The analysis must (re)start before the loop reads its next token.
extern bool analysisDue;
// Starts analysing (the loop then runs the search), or ends it.
void BeginAnalysis();
void EndAnalysis();
// Runs the analysis search until input stops it or it ends by itself.
void RunAnalysis();
// The "stat01:" progress line: of the running analysis search during a poll, of the last one
// otherwise.
void PrintAnalysisStatus();
// Thinking output on or off ("post", "nopost").
void SetPostThinking(bool on);
// "pong N" for "ping N" (the number is read here); an error line without a number.
void AnswerPing();
// "Hint: MOVE" with the reply the engine expects, or nothing.
void AnswerHint();
// The xboard loop's input poll: PollCommand, then the commands that need no stop handled at once
// ("post", "nopost", "hint", "ping" while pondering or analysing, "." while analysing).
void PollXboardInput();

// ---------------------------------------------------------------------------------------------
// Free-text arguments, the feature lines and the interface's options (commands.cpp, features.cpp)

// The rest of the current input line, blanks at both ends and the line end removed; a longer line
// is cut and its remainder thrown away, so that no word of it is ever read as a command.
void ReadArgumentLine(char* out, std::size_t capacity);

// Runs a command that needs no stop of a running search (the opponent's name, a late reply to a
// feature line) from the search's input poll; false when the token is no such command.
bool RunQuietCommand(const char* token);

// The feature lines after "done=0" and "setboard=1", one "feature NAME=VALUE" line each.
void PrintFeatureLines();

// "option NAME=VALUE" from the interface (the text after the command word).
void SetXboardOption(const char* text);

// Lines shown by the analysis, best first (the option "MultiPV"); 1 searches as ever.
extern int analysisLines;

// The xboard thinking line, with mate scores in the form the options ask for: Zelmor's own
// 8100 - plies by default, or the interface's 100000 + moves, which it shows as a mate in N.
void PrintGameThinking(ThinkingKind kind, int depth, int score, int centiseconds, u64 nodes,
                       const char* line);

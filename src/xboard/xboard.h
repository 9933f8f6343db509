// The xboard front end's own pieces shared between its files: the commands whose free text
// runs to the end of their line, the feature lines of the handshake, the options an xboard
// interface may set and the thinking line they shape.
#pragma once

#include <cstddef>

#include "search/search.h"

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
void PrintGameThinking(ThinkingKind kind, int depth, int score, int centiseconds, u32 nodes,
                       const char* line);

// Engine-control helpers shared by the loop, the game flow, time control and start-up, and
// reached by the engine's tests. Nothing outside engine/ includes this.
#pragma once

#include <cstdio>

#include "board/types.h"

// ---------------------------------------------------------------------------------------------
// Zelmor.ini

inline constexpr int ConfigLineLimit = 4095;  // longer lines are ignored whole
inline constexpr int PathLimit = 4096;

// The user's home directory: $HOME when it is absolute, else the password database's; nullptr
// when there is none.
const char* HomeDirectory();
// Zelmor's own directory of a kind the XDG directory standard names: "$variable/zelmor/" when the
// variable holds an absolute directory, else "$HOME/fallback/zelmor/". False without a home
// directory or when the result does not fit.
bool UserDirectory(const char* variable, const char* fallback, char* out, std::size_t size);

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
};

enum class ConfigKey { None, Comment, BookPath, BitbasePath, BitbaseCache, BitbaseLoad };

// Applies one line (leading whitespace already skipped or not) to config; does not open books.
ConfigKey ApplyConfigLine(const char* line, EngineConfig& config);
// Reads every line of an open Zelmor.ini, opening the book sets at each BOOK_PATH line when
// openBooks is set.
void ReadConfig(std::FILE* file, EngineConfig& config, bool openBooks);
// Completes a configured directory: blanks trimmed, '/' appended unless it already ends with '/'
// or '\'. An empty value stays empty.
void CompleteDirectory(char* directory);

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
// Whether the token is a loop command that must stop a running search before it is handled.
bool StopsSearch(const char* token);
// Reads the "%d %s %d" of a clock report; prints the error line and returns false when the own
// clock is not a number (nothing is changed then).
bool ReadClockReport(i32& own, char* keyword, i32& opponent);
// Counts the time spent pondering against the move, at most two thirds of the budget.
void ApplyPonderCredit(i32 now);

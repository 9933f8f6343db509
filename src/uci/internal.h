// Pieces the UCI front end's files share: input lines and words, and the options.
#pragma once

#include <cstddef>

#include "board/types.h"

namespace uci {

// ---------------------------------------------------------------------------------------------
// Lines and words (text.cpp)

// A line holds a whole game's "position ... moves" list: far more moves than a game can have.
inline constexpr std::size_t LineLimit = 1 << 17;
inline constexpr int WordLimit = static_cast<int>(LineLimit / 2);

extern char line[LineLimit];
// The line in `line` is a command a search could not act on: the loop handles it next.
extern bool linePending;
extern char* words[WordLimit];

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One "info string" line; the texts a and b fill the format's %s.
void InfoString(const char* format, const char* a = "", const char* b = "");
// The next line that is not blank, without its line end; false at the end of input.
bool ReadLine();
// Cuts text into words in place; returns their number.
int Split(char* text, char** out, int limit);

enum class Verb {
    None,
    Uci,
    Debug,
    IsReady,
    SetOption,
    Register,
    UciNewGame,
    Position,
    Go,
    Stop,
    PonderHit,
    Quit
};
Verb VerbOf(const char* word, std::size_t length);
const char* NameOf(Verb verb);
// The first known command word of a line (UCI skips unknown words before it), read without
// changing the line.
Verb FirstVerb(const char* text);
// Words [from, to) joined by single blanks into out, cut to its size.
void Join(char** w, int from, int to, char* out, std::size_t size);
// A whole decimal number, saturated to 64 bits; false for anything else.
bool WholeNumber(const char* word, i64& value);

// ---------------------------------------------------------------------------------------------
// Options (options.cpp)

extern bool ownBook;
extern bool ponderOption;
// Analysis asked for by the interface: no book moves, whatever the search limits.
extern bool analyseMode;
// Milliseconds kept back from the clock for the interface's and the pipe's lag. 50 ms keeps a
// 1 s + 0.01 s game through an adapter on the board without costing a longer game anything.
inline constexpr i32 DefaultMoveOverheadMs = 50;
inline constexpr int OverheadLimitMs = 5000;
extern i32 moveOverheadMs;
// Lines shown per iteration, best first; 1 searches as ever.
extern i32 multiPv;
// The options as a fresh start has them (a new session in the same process starts from there).
void ResetOptions();
// "id" and "option" lines, then "uciok".
void PrintIdentity();
// Reloads changed bitbase settings and tells the user what is missing.
void SettleOptions();
void SetOptionCommand(char** w, int n);

}  // namespace uci

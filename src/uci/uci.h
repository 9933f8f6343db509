// The UCI front end: the same engine for interfaces and tools that speak only UCI. It drives
// the search, clock rules, book and bitbases through the operations the xboard loop uses; the
// xboard side is untouched unless Zelmor is started with --uci or under the name zelmor-uci.
#pragma once

// Whether the command line asks for UCI: the --uci switch, or the program name zelmor-uci.
bool WantsUci(int argc, char** argv);
// Start-up without the xboard handshake, then UCI commands until "quit" or the end of input.
void UciLoop();
// The UCI commands alone, on an engine already started and a board at the initial position, from
// the UCI state of a fresh start (a tool can run many sessions in one process this way).
void UciCommands();

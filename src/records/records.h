// Game records: SAN parsing, the PGN reader, binary game files, position lists and the five
// converters between them ("pgn2pos", "pgn2game", "pgnlist2game", "game2pgn", "game2pos").
#pragma once

#include "board/types.h"

// SAN (or coordinate) text to a move of the live position; 0 when not recognised.
Move parseSanMove(const char* text);

void Pgn2PosCommand(const char* pgnFile);
void Pgn2GameCommand(const char* pgnFile, const char* gameFile);
void PgnList2GameCommand(const char* listFile, const char* gameFile);
void Game2PgnCommand(const char* gameFile, const char* pgnFile);
void Game2PosCommand(const char* gameFile, const char* posFile);

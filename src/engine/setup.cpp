// Position set-up and the fixed tables, as the engine sees them: a set-up starts a new game, so
// everything the search, the evaluation and the game counters learnt about the old one goes.
#include <cassert>
#include <cstdio>

#include "engine/engine.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "search/search.h"

bool SetBoard(const char* text) {
    EpdOperation epd;
    const bool read = LoadPosition(text, epd);
    assert(PositionIsOk(true));

    // Everything learnt about the previous game is void, whether the text was read or not.
    ClearHash();
    ResetSearchTables();
    ClearPawnHash();
    gamePly = 1;
    hashAge = 1;
    if (!read) return false;

    // The EPD move, read against the new position.
    if (epd.kind != 0) {
        const Move move = parseSanMove(epd.moveText);
        if (move == 0) {
            std::printf("Warning cannot recognize move: %s\r\n", epd.moveText);
            return false;
        }
        (epd.kind == 'a' ? pos.epdAvoidMove : pos.epdBestMove) = move;
    }
    return true;
}

void InitEngineTables() {
    InitTables();
    InitPhaseTables();
    ClearHash();
    StartWorker();
}

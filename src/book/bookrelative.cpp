// The relative book rule: in an honest collection White scores about 55 %, after the main replies
// as well, so a book that asks for more than half for the side that moved gives Black almost
// nothing. Measuring every position against White's score over the whole database file instead
// keeps, for each side, the moves that did better than the collection does on average. Files,
// ply limit and index are those of "bookcreate"; only the comparison changes.
#include <cstdio>
#include <string>

#include "book/book.h"
#include "database/database.h"

bool DatabaseWhiteScore(PositionDatabase& database, long double& score) {
    long double whiteWins = 0;
    long double blackWins = 0;
    long double draws = 0;
    for (u64 at = 0; at < database.recordCount; ++at) {
        if (!database.readAt(at)) return false;
        whiteWins += database.record.whiteWins;
        blackWins += database.record.blackWins;
        draws += database.record.draws;
    }
    score = (whiteWins + draws / 2) / (whiteWins + blackWins + draws);
    return true;
}

void BookCreateRelativeCommand(u32 minGames) { BuildBookPair(true, minGames); }

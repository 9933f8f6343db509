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

void BookCreateRelativeCommand(u32 minGames) {
    DbPair pair;
    if (!pair.open()) {
        std::printf("%s\n", pair.errorText.c_str());
        return;
    }
    bool built = true;
    for (int side = 0; side < 2; ++side) {
        std::printf("Generating %s...\n", BookNames[side]);
        long double threshold = 0;
        std::string errorText;
        if (!DatabaseWhiteScore(pair.databases[side], threshold)) {
            std::printf("Cannot read the position database for %s.\n", BookNames[side]);
            built = false;
            continue;
        }
        // No games: nothing is above or below the score, and the book is written empty.
        if (!buildBook(BookNames[side], pair.databases[side], side, errorText, threshold,
                       minGames)) {
            std::printf("%s", errorText.c_str());
            built = false;
        }
    }
    // As with "bookcreate": a failed build keeps the earlier books and is not reported as made.
    std::printf("%s",
                built ? "created.\n" : "not created: a failed book keeps its earlier files.\n");
}

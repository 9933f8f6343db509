// The legal moves of the live position, for the callers outside the search that need the list
// itself (move counts, "is this move playable", the game-end test): the pseudo-legal list of
// GenerateMoves with every move that leaves the own king attacked dropped.
#include "movegen/movegen.h"

ScoredMove* GenerateLegalMoves(ScoredMove* list) {
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove* const end = GenerateMoves(list, checkInfo);
    ScoredMove* kept = list;
    for (ScoredMove* m = list; m != end; ++m)
        if (KeepsKingSafe(m->move)) *kept++ = *m;
    return kept;
}

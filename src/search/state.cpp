// The search worker of thread 0: per-ply records, the move stack and the move-ordering
// statistics that survive from search to search until a position is set up.
#include <cstring>

#include "search/search.h"

int searchThreadCount = 1;

SearchWorker searchWorker = {
    .plyRecords = {},
    .currentPly = &searchWorker.plyRecords[0],
    .moveStack = {},
    .History = {},
    .CutoffCount = {},
    .TriedCount = {},
    .checkCount = {},
    .nodeCount = 0,
    .nextPoll = 0,
    .quiesceNodeCount = 0,
    .iterationDepth = 0,
    .aspirationState = 0,
    .probingEnabled = true,
    .allRootMovesDraw = false,
    .pvText = {},
    .selDepth = 0,
};

ScoredMove* MoveListStart(const PlyRecord* record) {
    return record == &plyRecords[0] ? moveStack : (record - 1)->moveListEnd;
}

void ResetSearchTables() {
    ResetMoveOrdering();
    for (auto& record : plyRecords) {
        record.killer1 = 0;
        record.killer2 = 0;
    }
}

// Every game move starts the cut-off history and statistics afresh, as a set-up does: counts
// from positions long gone would mislead the order, and the unsigned sums never wrap in a long
// game (each cut-off adds depth squared). Killers and ply records stay.
void ResetMoveOrdering() {
    std::memset(History, 0, sizeof History);
    for (auto& row : CutoffCount)
        for (auto& count : row) count = 1;
    for (auto& row : TriedCount)
        for (auto& count : row) count = 1;
}

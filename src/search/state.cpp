// Each search thread's worker: per-ply records, the move stack and the move-ordering
// statistics that survive from search to search until a position is set up.
#include <cstring>

#include "search/search.h"

int searchThreadCount = 1;

// Zero-filled in every thread (a large record is cheapest as zeros); StartWorker sets the rest.
ZELMOR_THREAD_STATE SearchWorker worker{};

void StartWorker() {
    worker.currentPly = &worker.plyRecords[0];
    worker.probingEnabled = true;
}

ScoredMove* MoveListStart(const PlyRecord* record) {
    return record == &worker.plyRecords[0] ? worker.moveStack : (record - 1)->moveListEnd;
}

void ResetSearchTables() {
    ResetMoveOrdering();
    for (auto& record : worker.plyRecords) {
        record.killer1 = 0;
        record.killer2 = 0;
    }
}

// Every game move starts the cut-off history and statistics afresh, as a set-up does: counts
// from positions long gone would mislead the order, and the unsigned sums never wrap in a long
// game (each cut-off adds depth squared). Killers and ply records stay.
void ResetMoveOrdering() {
    std::memset(worker.History, 0, sizeof worker.History);
    for (auto& row : worker.CutoffCount)
        for (auto& count : row) count = 1;
    for (auto& row : worker.TriedCount)
        for (auto& count : row) count = 1;
}

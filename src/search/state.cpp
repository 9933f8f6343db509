// Process-wide search state: per-ply records, the shared move stack and the move-ordering
// statistics that survive from search to search until a position is set up.
#include <cstring>

#include "search/search.h"

PlyRecord plyRecords[PlyRecordCount];
PlyRecord* currentPly = &plyRecords[0];
ScoredMove moveStack[MoveStackSize];

u32 History[2][4096];
u64 CutoffCount[12][64];
u64 TriedCount[12][64];
i32 checkCount[2];

u32 iterationDepth;
i32 aspirationState;
bool probingEnabled = true;
bool allRootMovesDraw;
char pvText[PvTextSize];
u64 quiesceNodeCount;

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

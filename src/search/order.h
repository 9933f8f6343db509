// Lazy move ordering shared by the root and the alpha-beta search: one selection per move,
// first by ordering score, then (once only quiet moves are left) by cut-off history.
#pragma once

#include <utility>

#include "search/search.h"

// Scores below this are quiet moves and losing captures: from here on the history decides.
inline constexpr int HistoryPhaseScore = -10000;

// Swaps the highest-scored move of [current, end) to current; the first found wins ties, so
// the generator's order breaks them.
inline void PickByScore(ScoredMove* current, ScoredMove* end) {
    ScoredMove* best = current;
    for (ScoredMove* p = current + 1; p < end; ++p)
        if (p->score > best->score) best = p;
    std::swap(*current, *best);
}

// Fills the history keys of the moves still to be searched; keys[i] belongs to start[i].
inline void FillHistoryKeys(const ScoredMove* start, const ScoredMove* current,
                            const ScoredMove* end, u32* keys, int side) {
    for (const ScoredMove* p = current; p < end; ++p) {
        keys[p - start] = History[side][p->move & 0xFFF] +
                          static_cast<u32>(static_cast<int>(p->score) + 33000);
    }
}

inline void PickByKey(ScoredMove* start, ScoredMove* current, ScoredMove* end, u32* keys) {
    ScoredMove* best = current;
    for (ScoredMove* p = current + 1; p < end; ++p)
        if (keys[p - start] > keys[best - start]) best = p;
    std::swap(*current, *best);
    std::swap(keys[current - start], keys[best - start]);
}

// Picks the next move into *current, switching the node to the history phase when the best
// remaining score is a quiet one.
inline void PickNext(ScoredMove* start, ScoredMove* current, ScoredMove* end, u32* keys,
                     bool& historyPhase, int side) {
    if (!historyPhase) {
        PickByScore(current, end);
        if (current->score >= HistoryPhaseScore) return;
        historyPhase = true;
        FillHistoryKeys(start, current, end, keys, side);
    }
    PickByKey(start, current, end, keys);
}

// The count tables saturate by quartering every entry of both, keeping their ratios.
void QuarterCutoffCounts();
inline void BumpCount(u64& count) {
    if (count == ~u64{0}) QuarterCutoffCounts();
    ++count;
}

// A move that cut off: it becomes the ply's first killer (quiet moves and castling only), earns
// depth squared in the history, and counts as a cut-off and a try of its piece on its square.
inline void RecordCutoff(PlyRecord* record, int side, Move move, int depth, int mover) {
    if ((MoveKindOf(move) == Quiet || IsCastling(move)) && move != record->killer1) {
        record->killer2 = record->killer1;
        record->killer1 = move;
    }
    History[side][move & 0xFFF] += static_cast<u32>(depth * depth);
    BumpCount(CutoffCount[mover - 1][MoveTo(move)]);
    BumpCount(TriedCount[mover - 1][MoveTo(move)]);
}

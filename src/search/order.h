// Lazy move ordering shared by the root and the alpha-beta search: one selection per move,
// first by ordering score, then (once only quiet moves are left) by cut-off history.
#pragma once

#include <cstddef>
#include <utility>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "search/search.h"

// Scores below this are quiet moves and losing captures: from here on the history decides.
inline constexpr int HistoryPhaseScore = -10000;

// The first of the largest values decides every pick, so the list's own order breaks ties. All
// nodes pick again and again from lists of up to fifty moves; with AVX2 eight values are compared
// at a time, without a branch per value: one pass finds the largest value, a second its first
// place. The last, partial group of eight is loaded through a lane mask, never past the list.
#if defined(__AVX2__)
namespace order_lanes {

inline __m256i FirstLanes(int count) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

inline __m256i Load(const u32* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline u32 LargestOfEight(__m256i v) {
    __m128i x = _mm_max_epu32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_max_epu32(x, _mm_shuffle_epi32(x, 0x4E));
    x = _mm_max_epu32(x, _mm_shuffle_epi32(x, 0xB1));
    return static_cast<u32>(_mm_cvtsi128_si32(x));
}

inline int PlacesOf(__m256i v, u32 wanted) {
    const __m256i equal = _mm256_cmpeq_epi32(v, _mm256_set1_epi32(static_cast<int>(wanted)));
    return _mm256_movemask_ps(_mm256_castsi256_ps(equal));
}

// The values as unsigned numbers, lanes past the list 0; `Values` turns eight list words into
// them (the identity for history keys, the biased score for scored moves).
template <typename Values>
inline int FirstLargest(const u32* words, int n, Values values) {
    __m256i most = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= n; i += 8) most = _mm256_max_epu32(most, values(Load(words + i)));
    const int rest = n - i;
    __m256i tail = _mm256_setzero_si256();
    if (rest > 0) {
        const __m256i lanes = FirstLanes(rest);
        tail = _mm256_and_si256(
            values(_mm256_maskload_epi32(reinterpret_cast<const int*>(words + i), lanes)), lanes);
        most = _mm256_max_epu32(most, tail);
    }
    const u32 largest = LargestOfEight(most);
    for (i = 0; i + 8 <= n; i += 8) {
        const int places = PlacesOf(values(Load(words + i)), largest);
        if (places) return i + __builtin_ctz(static_cast<unsigned>(places));
    }
    const int places = PlacesOf(tail, largest) & ((1 << rest) - 1);
    return i + __builtin_ctz(static_cast<unsigned>(places));
}

}  // namespace order_lanes
#endif

// Index of the first largest of n (at least one) keys.
inline int FirstLargestKey(const u32* keys, int n) {
#if defined(__AVX2__)
    return order_lanes::FirstLargest(keys, n, [](__m256i v) { return v; });
#else
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (keys[i] > keys[best]) best = i;
    return best;
#endif
}

// Index of the first highest-scored of n (at least one) moves. A score is the low, signed half
// of the move's 32-bit word; biased by 2^15 it orders as an unsigned number.
inline int FirstBestScore(const ScoredMove* moves, int n) {
#if defined(__AVX2__)
    static_assert(offsetof(ScoredMove, score) == 0, "the score is the word's low half");
    const auto biasedScores = [](__m256i v) {
        return _mm256_xor_si256(_mm256_and_si256(v, _mm256_set1_epi32(0xFFFF)),
                                _mm256_set1_epi32(0x8000));
    };
    return order_lanes::FirstLargest(reinterpret_cast<const u32*>(moves), n, biasedScores);
#else
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (moves[i].score > moves[best].score) best = i;
    return best;
#endif
}

// Swaps the highest-scored move of [current, end) to current; the first found wins ties, so
// the generator's order breaks them.
inline void PickByScore(ScoredMove* current, ScoredMove* end) {
    std::swap(*current, current[FirstBestScore(current, static_cast<int>(end - current))]);
}

// Fills the history keys of the moves still to be searched; keys[i] belongs to start[i].
inline void FillHistoryKeys(const ScoredMove* start, const ScoredMove* current,
                            const ScoredMove* end, u32* keys, int side) {
    for (const ScoredMove* p = current; p < end; ++p) {
        keys[p - start] = worker.History[side][p->move & 0xFFF] +
                          static_cast<u32>(static_cast<int>(p->score) + 33000);
    }
}

inline void PickByKey(ScoredMove* start, ScoredMove* current, ScoredMove* end, u32* keys) {
    u32* const first = keys + (current - start);
    const int best = FirstLargestKey(first, static_cast<int>(end - current));
    std::swap(current[0], current[best]);
    std::swap(first[0], first[best]);
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
    worker.History[side][move & 0xFFF] += static_cast<u32>(depth * depth);
    BumpCount(worker.CutoffCount[mover - 1][MoveTo(move)]);
    BumpCount(worker.TriedCount[mover - 1][MoveTo(move)]);
}

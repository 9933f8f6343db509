// Quiesce: captures (and queen promotions) at the horizon, standing pat on the static
// evaluation; evasions instead once the side has been in check before on the path.
#include <cassert>

#include "eval/eval.h"
#include "search/order.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr int KingTaken = 8190;
constexpr int NoMove = -8190;
constexpr int DeepestQuiesce = -7;
constexpr int LastQuiescePly = 133;

}  // namespace

i16 Quiesce(int qdepth, int ply, int alpha, int beta) {
    // The ply records and the history stack above the game hold the deepest line the search
    // can reach; the depth and ply limits keep it inside them.
    assert(ply > 0 && ply < PlyRecordCount - 1);
    assert(historyTop >= history && historyTop < history + HistorySize - 1);
    PlyRecord* const record = worker.currentPly;
    const int side = pos.sideToMove;
    if (ply > worker.selDepth) worker.selDepth = ply;

    // 1. Transposition table: quiescence entries have depth 0, so every entry qualifies.
    record->bestMove = 0;
    HashEntry entry;
    if (ProbeBucket(entry)) {
        record->hashMove = entry.move;
        record->hashDepth = entry.depth;
        record->hashScore = entry.score;
        record->hashBound = static_cast<u16>(entry.bound << 7);
        if (entry.bound == 0) {
            record->bestMove = entry.move;
            return entry.score;
        }
        if (entry.bound == 1) {
            if (entry.score >= beta) {
                record->bestMove = entry.move;
                return entry.score;
            }
            if (entry.score > alpha) alpha = entry.score;
        } else if (entry.bound == 2) {
            if (entry.score <= alpha) return entry.score;
            if (entry.score < beta) beta = entry.score;
        }
    } else {
        record->hashMove = 0;
        record->hashDepth = 0;
    }

    // 2. Check status, tested only once this side has been in check on the path: the first
    // check at the horizon is left to the stand pat.
    const bool tested = worker.checkCount[side] > 0;
    bool inCheck = false;
    if (tested) {
        FindCheckers(record->checkInfo);
        inCheck = record->checkInfo.checkers != 0;
    }

    ScoredMove* const start = MoveListStart(record);
    if (start + MaxGeneratedMoves > worker.moveStack + MoveStackSize) return Evaluate();

    int best;
    if (inCheck) {
        // 3. Evasions, no stand pat
        best = NoMove;
        record->moveListEnd = EvasionGenerators[side](start, record->checkInfo);
    } else {
        // 4. Stand pat
        const int standPat = Evaluate();
        best = standPat;
        record->bestMove = StandPatMarker;
        if (standPat > alpha) {
            if (standPat >= beta) {
                StoreBucket<false>(StandPatMarker, standPat, 0, 1);
                return static_cast<i16>(standPat);
            }
            alpha = standPat;
        }
        record->moveListEnd = CaptureGenerators[side](start);
        if (record->moveListEnd == start) return static_cast<i16>(standPat);
    }
    ScoredMove* const end = record->moveListEnd;

    // 5. Hash move first; killers lift their quiet score
    SaveSnapshot(record->undo);
    for (ScoredMove* p = start; p < end; ++p) {
        if (p->score >= -8099) continue;
        if (p->move == record->hashMove)
            p->score = 30000;
        else if (p->move == record->killer1)
            p->score = static_cast<i16>(p->score + 1500);
        else if (p->move == record->killer2)
            p->score = static_cast<i16>(p->score + 1000);
    }

    // 6. Move loop
    bool alphaRaised = false;
    const int enemyKing = pos.kingSquare[side ^ 1];
    for (ScoredMove* current = start; current < end; ++current) {
        PickByScore(current, end);
        const Move move = current->move;

        // 6.1 The king can be taken: the move that led here was illegal.
        if (MoveTo(move) == enemyKing) {
            StoreBucket<false>(move, KingTaken, 0, 0);
            return KingTaken;
        }

        // 6.2 - 6.4
        ++worker.quiesceNodeCount;
        MakeMove(move, record->undo);
        worker.currentPly = record + 1;
        int v;
        // The generators never capture a king, so the king capture that would refute an illegal
        // move one ply deeper never comes: the move is tested here and valued as that capture.
        if (LeavesKingAttacked(move, side))
            v = NoMove;
        else if (qdepth <= DeepestQuiesce || ply >= LastQuiescePly)
            v = -Evaluate();
        else if (pos.pawnCount[Black] + pos.pawnCount[White] > 0 || pos.materialTotal >= 4)
            v = -Quiesce(qdepth - 1, ply + 1, -beta, -alpha);
        else
            v = 0;  // bare minor pieces cannot mate
        worker.currentPly = record;
        UnmakeMove(move, record->undo);
        current->score = static_cast<i16>(v);

        // 6.5
        if (v > best) {
            best = v;
            record->bestMove = move;
        }
        if (v > alpha) {
            alpha = v;
            alphaRaised = true;
            if (v >= beta) {
                if (move != record->killer1) {
                    record->killer2 = record->killer1;
                    record->killer1 = move;
                }
                StoreBucket<false>(move, v, 0, 1);
                return static_cast<i16>(v);
            }
        }
    }

    // 7. Results
    if (tested && best == NoMove) {
        StoreBucket<false>(EndMated, ply - 8100, 0, 0);
        return static_cast<i16>(ply - 8100);
    }
    if (inCheck) {
        StoreBucket<false>(record->bestMove, best, 1, alphaRaised ? 0 : 2);
        return static_cast<i16>(best);
    }
    if (record->bestMove == StandPatMarker) return static_cast<i16>(best);
    StoreBucket<false>(record->bestMove, best, 0, alphaRaised ? 0 : 2);
    return static_cast<i16>(best);
}

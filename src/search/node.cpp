// SearchNode: the fail-soft principal-variation search below the root, with table cut-offs,
// bitbase probes, null move, internal iterative deepening, futility pruning, one-ply late-move
// reductions and check, passed-pawn and recapture extensions.
#include <cassert>

#include "egbb/egbb.h"
#include "eval/eval.h"
#include "search/order.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

constexpr int Abort = 8190;
constexpr int NoMove = -8190;
constexpr int MateRange = 5000;

// Thread 0 polls the clock and the input; a helper only its stop.
inline bool PollAborts() {
    return worker.nodeCount > worker.nextPoll &&
           (worker.helper ? HelperPoll() : searchControl.pollPoint());
}

// Bitbases are asked near the leaves only, where they pay: late enough for a cut, early enough
// not to repeat the same probe along every line, and five-man tables only where allowed.
inline bool MayProbeBitbases(int ply, int alpha, int beta) {
    if (!bitbasesLoaded || !worker.probingEnabled) return false;
    if (pos.pawnCount[Black] + pos.pawnCount[White] > 3) return false;
    if (!(ply == 0 || ply > 4)) return false;
    if (alpha >= 8010 || beta < -8009) return false;
    const int depthNow = static_cast<int>(worker.iterationDepth);
    if (!(ply == 0 || ply > depthNow / 2 + 1 || historyTop->halfmoveClock == 0)) return false;
    const int men = PopCount(pos.occupied);
    if (men <= 4) return true;
    return men == 5 && (ply < depthNow - 2 || bitbaseLoadMode == 3 || ply == 0);
}

inline int FutilityMargin(Move move, int depth, int captured) {
    int margin = depth == 2 ? 300 : 100;
    const int kind = MoveKindOf(move);
    if (kind == Capture || kind == EnPassant)
        margin += 100 * PieceUnits[captured];
    else if (kind >= PromoQueen && kind <= PromoBishop)
        margin += 800;
    else if (kind >= CapPromoQueen && kind <= CapPromoBishop)
        margin += (8 + PieceUnits[captured]) * 100;
    return margin;
}

// Both the previous ply's move and this one take on the same square an equal amount of
// material: the exchange is still even, so look one ply further.
inline bool IsEqualRecapture(const PlyRecord* record, Move move) {
    if (MoveKindOf(move) != Capture) return false;
    const Move previous = (historyTop - 2)->move;
    return MoveKindOf(previous) == Capture && MoveTo(previous) == MoveTo(move) &&
           (record - 1)->undo.materialDelta == record->undo.materialDelta;
}

inline void EmptyChildList(PlyRecord* record) { (record + 1)->moveListEnd = record->moveListEnd; }

}  // namespace

void QuarterCutoffCounts() {
    for (auto& row : worker.CutoffCount)
        for (auto& count : row) count /= 4;
    for (auto& row : worker.TriedCount)
        for (auto& count : row) count /= 4;
}

i16 SearchNode(int depth, int ply, int alpha, int beta, bool allowNull) {
    // The ply records and the history stack above the game hold the deepest line the search
    // can reach; the depth and ply limits keep it inside them.
    assert(ply > 0 && ply < PlyRecordCount - 1);
    assert(historyTop >= history && historyTop < history + HistorySize - 1);
    PlyRecord* const record = worker.currentPly;
    const int side = pos.sideToMove;

    // 1. Clock and input
    if (PollAborts()) return Abort;

    // 2. Transposition table
    record->bestMove = 0;
    HashEntry entry;
    if (ProbeBucket(entry)) {
        record->hashMove = entry.move;
        record->hashDepth = entry.depth;
        record->hashScore = entry.score;
        record->hashBound = static_cast<u16>(entry.bound << 7);
        if (entry.depth >= depth) {
            // Narrowing the window would hide the re-search's own fail at the aspiration root.
            const bool mayNarrow =
                worker.aspirationState == 0 || depth != static_cast<int>(worker.iterationDepth);
            bool cut = false;
            if (entry.bound == 0) {
                cut = true;
            } else if (entry.bound == 1) {
                if (entry.score >= beta)
                    cut = true;
                else if (entry.score > alpha && mayNarrow)
                    alpha = entry.score;
            } else if (entry.bound == 2) {
                if (entry.score <= alpha)
                    cut = true;
                else if (entry.score < beta && mayNarrow)
                    beta = entry.score;
            }
            if (cut && RepetitionAfterMove(entry.move) == 0) {
                record->bestMove = entry.move;
                // Mate distances are stored unadjusted, so only trust them far from the root.
                if ((entry.score > -MateRange && entry.score < MateRange) ||
                    (ply > 8 && ply > static_cast<int>(worker.iterationDepth) / 2))
                    return entry.score;
            }
        }
    } else {
        // No entry: no move and no depth. The score and bound this ply record holds from an
        // earlier node stay, and may still tell the null move below that it is pointless.
        record->hashMove = 0;
        record->hashDepth = 0;
    }

    // 3. Endgame bitbases
    if (MayProbeBitbases(ply, alpha, beta)) {
        const int score = ProbeBitbase();
        if (score != BitbaseNoAnswer) return static_cast<i16>(score);
    }

    // 4. Check status
    FindCheckers(record->checkInfo);
    const bool inCheck = record->checkInfo.checkers != 0;
    int best = NoMove;

    // 5. Null move
    if (allowNull && !inCheck && pos.pieceMaterial[side] > 0) {
        const int reduction = depth >= 7 && pos.pieceMaterial[side] >= 9 ? 3 : 2;
        const bool pointless =
            record->hashDepth >= depth - reduction - 1 && record->hashScore < beta &&
            (record->hashBound == 0 || record->hashBound == 0x100) && !IsMarker(record->hashMove);
        if (!pointless) {
            MakeNullMove();
            EmptyChildList(record);
            worker.currentPly = record + 1;
            int v;
            if (depth > reduction + 1)
                v = -SearchNode(depth - reduction - 1, ply + 1, -beta, -beta + 1, false);
            else
                v = -Quiesce(0, ply + 1, -beta, -beta + 1);
            worker.currentPly = record;
            UnmakeNullMove();
            if (worker.helper ? HelperStopSeen() : searchControl.pollClock()) return -Abort;
            if (v >= beta) return static_cast<i16>(v);
        }
    }

    // 6. Internal iterative deepening
    if (record->hashDepth < depth - 2) {
        const int v = SearchNode(depth - 2, ply, alpha, beta, allowNull);
        if (v <= alpha && v >= -8099 && !SearchStopped())
            SearchNode(depth - 2, ply, -8100, beta, allowNull);
        if (ProbeBucket(entry)) record->hashMove = entry.move;
    }

    ScoredMove* const start = MoveListStart(record);
    const bool listBuilt = record->moveListEnd != nullptr && record->moveListEnd != start;
    // A line deep enough to exhaust the move stack is cut off with the static evaluation.
    if (!listBuilt && start + MaxGeneratedMoves > worker.moveStack + MoveStackSize)
        return Evaluate();

    // 7. Check extension: from the second check of the same side on the path
    int checkExtension = 0;
    if (inCheck && worker.checkCount[side]++ > 0) checkExtension = 1;
    const auto leave = [&](int value) {
        if (inCheck) --worker.checkCount[side];
        return static_cast<i16>(value);
    };

    // 8. Moves (kept when the iterative deepening above already generated and scored them)
    if (!listBuilt) {
        record->moveListEnd = inCheck ? EvasionGenerators[side](start, record->checkInfo)
                                      : MoveGenerators[side](start);
    }
    SaveSnapshot(record->undo);
    ScoredMove* const end = record->moveListEnd;

    // 9. Hash move and killers among the quiet moves
    for (ScoredMove* p = start; p < end; ++p) {
        if (p->score >= -8099) continue;
        if (p->move == record->hashMove)
            p->score = 30000;
        else if (p->move == record->killer1)
            p->score = -9998;
        else if (p->move == record->killer2)
            p->score = -9999;
    }

    // 10. Move loop
    const u64 kingLines = KingLines(side);
    bool historyPhase = false;
    bool alphaRaised = false;
    bool evalTaken = false;
    int staticEval = 0;
    int searched = 0;
    for (ScoredMove* current = start; current < end; ++current) {
        PickNext(start, current, end, record->sortKeys, historyPhase, side);
        const Move move = current->move;
        const int from = MoveFrom(move);
        const int to = MoveTo(move);
        const int mover = pos.board[from];
        record->currentMove = current;

        // 10.1 Futility needs the static evaluation of this node
        if (searched > 0 && depth <= 2 && !inCheck && !evalTaken) {
            staticEval = Evaluate();
            evalTaken = true;
        }

        // 10.2 Make
        ++worker.nodeCount;
        MakeMove(move, record->undo);
        worker.currentPly = record + 1;

        int v;
        if ((inCheck || MayExposeKing(move, kingLines)) && LeavesKingAttacked(move, side)) {
            // 10.3 Illegal
            v = NoMove;
        } else if (DrawByRule(1)) {
            // 10.4 Repetition, fifty moves or bare kings
            v = 0;
        } else {
            // 10.5 Extensions and futility pruning
            int extension = checkExtension;
            if (extension == 0) {
                const int movedPawn = side == White ? WPawn : BPawn;
                const bool advanced = side == White ? Row(to) <= 3 : Row(to) >= 4;
                if (pos.board[to] == movedPawn && advanced &&
                    (PassedMask[side][to] & PiecesOf(1, side ^ 1)) == 0) {
                    extension = 1;
                } else if (evalTaken && !IsCastling(move) && !LeavesKingAttacked(move, side ^ 1)) {
                    const int margin = FutilityMargin(move, depth, record->undo.captured);
                    if (staticEval + margin < alpha) {
                        if (staticEval + margin > best) best = staticEval;
                        worker.currentPly = record;
                        UnmakeMove(move, record->undo);
                        current->score = static_cast<i16>(staticEval);
                        continue;
                    }
                }
            }

            // 10.6 Late-move reduction, else equal recapture extension
            bool reduced = false;
            if (extension == 0 && !inCheck && depth >= 3 && searched >= 3) {
                const u64 tried = worker.TriedCount[mover - 1][to];
                const bool cutsOften =
                    tried > 1 && worker.CutoffCount[mover - 1][to] * 100 / tried >= 60;
                if (!cutsOften) {
                    extension = -1;
                    reduced = true;
                }
            }
            // Written for every child: a mark left by an aborted search must not linger.
            (record + 1)->reduced = reduced;
            if (!reduced && extension == 0 && ply > 3 && depth > 1 &&
                IsEqualRecapture(record, move))
                extension = 1;

            // 10.7 Child search
            ++searched;
            EmptyChildList(record);
            if (depth + extension <= 1 || ply >= 126) {
                v = -Quiesce(0, ply + 1, -beta, -alpha);
            } else {
                const int childDepth = depth + extension - 1;
                if (!alphaRaised) {
                    v = -SearchNode(childDepth, ply + 1, -beta, -alpha, true);
                } else {
                    v = -SearchNode(childDepth, ply + 1, -alpha - 1, -alpha, true);
                    if (v > alpha && v < beta) {
                        EmptyChildList(record);
                        v = -SearchNode(childDepth, ply + 1, -beta, -alpha, true);
                    }
                }
            }

            // 10.8 A reduced move that beats alpha is searched again at full depth
            if ((record + 1)->reduced) {
                (record + 1)->reduced = false;
                if (v > alpha) {
                    EmptyChildList(record);
                    v = -SearchNode(depth - 1, ply + 1, -beta, -alpha, true);
                }
            }
        }

        // 10.9 Take back; clock and input
        worker.currentPly = record;
        UnmakeMove(move, record->undo);
        if (PollAborts()) return leave(best);

        // 10.10 Score
        current->score = static_cast<i16>(v);
        if (v > best) {
            best = v;
            record->bestMove = move;
        }
        if (v <= alpha) continue;
        if (v < beta) {
            alpha = v;
            alphaRaised = true;
            continue;
        }

        // 11. Cut-off
        RecordCutoff(record, side, move, depth, mover);
        for (const ScoredMove* p = start; p < current; ++p) {
            if (p->score < -8099) continue;
            BumpCount(worker.TriedCount[pos.board[MoveFrom(p->move)] - 1][MoveTo(p->move)]);
        }
        StoreBucket<false>(move, v, depth, 1);
        return leave(v);
    }

    // 12. No legal move: mate or stalemate; otherwise the best score found
    if (best == NoMove) {
        if (!inCheck) {
            StoreBucket<false>(EndStalemate, 0, depth, 0);
            return 0;
        }
        StoreBucket<false>(EndMated, ply - 8100, depth, 0);
        return leave(ply - 8100);
    }
    StoreBucket<false>(record->bestMove, best, depth, alphaRaised ? 0 : 2);
    return leave(best);
}

// The root: iterative deepening with aspiration windows seeded from the table, the root move
// loop with its bitbase classification, the principal variation rebuilt from the table, the
// xboard thinking lines and the search's trace in the debug log.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/log.h"
#include "egbb/egbb.h"
#include "search/order.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

constexpr int NoMove = -8190;
constexpr i16 Excluded = -8191;  // an illegal root move, or one the bitbases rule out
constexpr int RootLimit = 8100;
constexpr int AspirationMargin = 30;
constexpr int PvPlies = 12;

enum Verdict : i8 { Illegal, Unknown, Wins, Draws, Loses };

i16 LeaveRoot(int score) {
    worker.probingEnabled = true;
    return static_cast<i16>(score);
}

// The bitbases rate each legal root move from the opponent's side; moves that throw away a win,
// or a draw, are excluded, and once the verdict is clear the search below stops probing.
void ClassifyRootMoves(ScoredMove* start, ScoredMove* end, int alpha, int beta) {
    PlyRecord& root = worker.plyRecords[0];
    const int side = pos.sideToMove;
    Verdict verdicts[MaxGeneratedMoves];
    int wins = 0, draws = 0, losses = 0, legal = 0;
    worker.probingEnabled = true;
    for (ScoredMove* p = start; p < end; ++p) {
        if (p->move == root.hashMove)
            p->score = 30000;
        else if (p->move == root.killer1)
            p->score = -9998;
        else if (p->move == root.killer2)
            p->score = -9999;
        Verdict& verdict = verdicts[p - start];
        MakeMove(p->move, root.undo);
        if (LeavesKingAttacked(p->move, side)) {
            p->score = Excluded;
            verdict = Illegal;
        } else {
            ++legal;
            verdict = Unknown;
            if (bitbasesLoaded && pos.pawnCount[Black] + pos.pawnCount[White] <= 3 &&
                worker.probingEnabled && alpha < 8010 && beta >= -8009 &&
                PopCount(pos.occupied) <= 5) {
                const int score = ProbeBitbase();
                if (score != BitbaseNoAnswer) {
                    verdict = score == 0 ? Draws : score > 0 ? Loses : Wins;
                    ++(score == 0 ? draws : score > 0 ? losses : wins);
                }
            }
        }
        UnmakeMove(p->move, root.undo);
    }

    worker.allRootMovesDraw = draws > 0 && draws == legal;
    for (ScoredMove* p = start; p < end; ++p) {
        const Verdict verdict = verdicts[p - start];
        if (wins > 0 ? verdict != Wins : verdict == Loses && (draws > 0 || losses < legal))
            p->score = Excluded;
    }
    if (wins > 0 || (legal > 0 && (draws == legal || losses == legal)))
        worker.probingEnabled = false;
}

void PrintThinking(ThinkingKind kind, int depth, int score, int elapsed, const char* line) {
    if (thinkingPrinter) thinkingPrinter(kind, depth, score, elapsed, SearchNodes(), line);
}

void LogIteration(const char* prefix, int depth, int score, int elapsed) {
    char line[PvTextSize + 64];
    std::snprintf(line, sizeof line, "%s%d:\t%d\t%d\t%s", prefix, depth, score, elapsed,
                  worker.pvText);
    debugLog.Line(line);
}

// Raises the budget for an aspiration re-search by `factor`, keeping it inside the clock's
// 32-bit range; returns the amount added.
i32 GrowBudget(int factor) {
    const i64 grown = std::min<i64>(i64{timeForMove} * factor, std::numeric_limits<i32>::max());
    if (grown <= timeForMove) return 0;
    const i32 added = static_cast<i32>(grown - timeForMove);
    timeForMove = static_cast<i32>(grown);
    return added;
}

// The front end's root restriction; helpers keep the answers thread 0 handed over.
bool RootRestricted() { return worker.helper ? HelperRootRestricted() : rootMoveBarred != nullptr; }
bool RootBarred(Move move) { return worker.helper ? HelperRootBarred(move) : rootMoveBarred(move); }

// The root's table entry is thread 0's alone: the engine takes the move played, its score, the
// ponder guess and the mate claim from it.
void StoreRoot(Move move, int score, int depth, int bound) {
    if (!worker.helper) StoreBucket<true>(move, score, depth, bound);
}

bool BudgetMayGrow() { return !worker.allRootMovesDraw && searchControl.budgetMayGrow(); }

int BuildPvFrom(char* buffer, char* limit, int n) {
    if (n <= 0) {
        *buffer = '\0';
        return 8190;
    }
    HashEntry entry;
    if (!ProbeBucket(entry)) {
        std::snprintf(buffer, limit - buffer, "NOE ");
        return 8190;
    }
    const Move move = entry.move;
    // A table move is made only when it is playable here; anything else ends the line.
    if (move != 0 && !IsMarker(move) && IsMoveValid(move)) {
        char* text = MoveToText(move, buffer);
        *text++ = ' ';
        *text = '\0';
        PlyRecord* const record = worker.currentPly;
        SaveSnapshot(record->undo);
        MakeMove(move, record->undo);
        worker.currentPly = record + 1;
        BuildPvFrom(text, limit, n - 1);
        worker.currentPly = record;
        UnmakeMove(move, record->undo);
        return entry.score;
    }
    switch (move) {
        case EndMated: std::snprintf(buffer, limit - buffer, "# "); break;
        case EndStalemate: std::snprintf(buffer, limit - buffer, "1/2 - 1/2 (stalemate)"); break;
        case EndRepetition: std::snprintf(buffer, limit - buffer, "1/2 - 1/2 (repetition)"); break;
        case NullMoveMarker: std::snprintf(buffer, limit - buffer, "NULL"); break;
        case StandPatMarker: std::snprintf(buffer, limit - buffer, "QS(%d)", entry.score); break;
        case BitbaseMarker: std::snprintf(buffer, limit - buffer, "EGBB"); break;
        default:
            std::snprintf(buffer, limit - buffer, "ERROR: %d, d:%d, sc:%d, st:%d ts:%d", move,
                          entry.depth, entry.score, entry.bound << 7, entry.age);
            break;
    }
    return entry.score;
}

}  // namespace

i16 BuildPv(char* buffer, int n) {
    // Each ply needs a ply record of its own and at most six characters.
    const int recordsLeft =
        static_cast<int>(worker.plyRecords + PlyRecordCount - 1 - worker.currentPly);
    if (worker.currentPly >= worker.plyRecords &&
        worker.currentPly < worker.plyRecords + PlyRecordCount)
        n = std::min(n, recordsLeft);
    n = std::min(n, (PvTextSize - 96) / 6);
    return static_cast<i16>(BuildPvFrom(buffer, buffer + PvTextSize, n));
}

i16 SearchRoot(int alpha, int beta) {
    PlyRecord* const root = &worker.plyRecords[0];
    const int depth = static_cast<int>(worker.iterationDepth);
    const int side = pos.sideToMove;
    worker.currentPly = root;

    // 1. Transposition table
    root->bestMove = 0;
    HashEntry entry;
    if (ProbeBucket(entry)) {
        root->hashMove = entry.move;
        root->hashDepth = entry.depth;
        root->hashScore = entry.score;
        root->hashBound = static_cast<u16>(entry.bound << 7);
        if (entry.depth >= depth && !RootRestricted()) {
            bool cut = false;
            if (entry.bound == 0) {
                cut = true;
            } else if (entry.bound == 1) {
                if (entry.score >= beta)
                    cut = true;
                else if (entry.score > alpha && worker.aspirationState == 0)
                    alpha = entry.score;
            } else if (entry.bound == 2) {
                if (entry.score <= alpha)
                    cut = true;
                else if (entry.score < beta && worker.aspirationState == 0)
                    beta = entry.score;
            }
            if (cut && entry.score >= -3999 && entry.score <= 3999) {
                root->bestMove = entry.move;
                return LeaveRoot(entry.score);
            }
        }
    } else {
        root->hashMove = 0;
        root->hashDepth = 0;
        root->hashScore = 0;
        root->hashBound = 0x80;
    }

    // 2. Root moves, generated once per SearchIterative
    ScoredMove* const start = worker.moveStack;
    if (root->moveListEnd == nullptr || root->moveListEnd == start) {
        root->moveListEnd = GenerateMoves(start, root->checkInfo);
    }
    SaveSnapshot(root->undo);
    ScoredMove* const end = root->moveListEnd;

    // 3.-4. Legality and bitbase verdicts
    ClassifyRootMoves(start, end, alpha, beta);
    if (RootRestricted())
        for (ScoredMove* p = start; p < end; ++p)
            if (RootBarred(p->move)) p->score = Excluded;

    // 5. Move loop
    int best = NoMove;
    bool alphaRaised = false;
    bool historyPhase = false;
    for (ScoredMove* current = start; current < end; ++current) {
        PickNext(start, current, end, root->sortKeys, historyPhase, side);
        if (current->score == Excluded) continue;
        const Move move = current->move;
        const int mover = pos.board[MoveFrom(move)];
        root->currentMove = current;

        ++worker.nodeCount;
        MakeMove(move, root->undo);
        worker.currentPly = root + 1;
        int v;
        if (DrawByRule(2)) {
            v = 0;
        } else {
            (root + 1)->moveListEnd = end;
            if (depth == 1) {
                v = -Quiesce(0, 1, -beta, -alpha);
            } else if (!alphaRaised) {
                v = -SearchNode(depth - 1, 1, -beta, -alpha, true);
            } else {
                v = -SearchNode(depth - 1, 1, -alpha - 1, -alpha, true);
                if (v > alpha && v < beta) {
                    (root + 1)->moveListEnd = end;
                    v = -SearchNode(depth - 1, 1, -beta, -alpha, true);
                }
            }
        }
        worker.currentPly = root;
        UnmakeMove(move, root->undo);
        if (worker.helper ? HelpersStopped() : stopSearch || searchControl.timeIsUp())
            return LeaveRoot(best);

        current->score = static_cast<i16>(v);
        if (v > best) {
            best = v;
            root->bestMove = move;
        }
        if (v <= alpha) continue;
        if (v < beta) {
            alpha = v;
            alphaRaised = true;
            continue;
        }
        RecordCutoff(root, side, move, depth, mover);
        if (worker.allRootMovesDraw) v = 0;
        StoreRoot(move, v, depth, 1);
        return LeaveRoot(v);
    }

    // 6. No legal move
    if (best == NoMove) {
        root->moveListEnd = start;
        if (root->checkInfo.checkers) {
            root->bestMove = EndMated;
            StoreRoot(EndMated, -RootLimit, depth, 0);
            return LeaveRoot(-RootLimit);
        }
        root->bestMove = EndStalemate;
        StoreRoot(EndStalemate, 0, depth, 0);
        return LeaveRoot(0);
    }

    // 7. Finished iteration
    StoreRoot(root->bestMove, best, depth, alphaRaised ? 0 : 2);
    return LeaveRoot(best);
}

SearchResult SearchIterative() {
    PlyRecord* const root = &worker.plyRecords[0];
    worker.currentPly = root;

    // 1. A position already drawn by rule is not searched.
    if (const Move draw = DrawByRule(2); draw && !searchDrawnRoot) return {draw, 0};

    // 2. Reset
    worker.moveStack[0].move = 0;
    worker.checkCount[Black] = worker.checkCount[White] = 0;
    root->moveListEnd = worker.moveStack;
    worker.nodeCount = 0;
    worker.quiesceNodeCount = 0;
    worker.nextPoll = firstPoll;
    worker.aspirationState = 0;
    int alpha = -RootLimit;
    int beta = RootLimit;
    worker.iterationDepth = 2;
    SearchResult result{0, 0};

    // 3. Seed the window and the start depth from the root's table entry
    HashEntry entry;
    if (!ProbeBucket(entry)) {
        debugLog.Line("---------- brak hm na poczatku!!!");
    } else {
        if (entry.depth < 2 || entry.bound == 3) {
            // full window
        } else if (entry.bound == 1) {
            if (entry.score >= -8099) alpha = entry.score;
        } else if (entry.bound == 2) {
            if (entry.score < RootLimit) beta = entry.score;
        } else {
            alpha = entry.score - AspirationMargin;
            beta = entry.score + AspirationMargin;
            worker.iterationDepth = entry.depth;
        }
        result = {entry.move, entry.score};
        if (RepetitionAfterMove(entry.move) != 0) {
            worker.iterationDepth = 2;
            debugLog.Line("---------- repetition after hash!!! - cl");
            AgeHashEntries(entry.depth);
        }
        if (!IsMoveValid(entry.move)) {
            worker.iterationDepth = 2;
            debugLog.Line("---------- illegal move from hash : set 2");
        }
        if (alpha > 8050) {
            beta = RootLimit;
            worker.iterationDepth = 2;
            debugLog << "---------- mate score from hash!!! m:"
                     << static_cast<unsigned>(entry.move);
            debugLog.Line("");
            if (alpha > 8099) {
                debugLog << "------------------------- WARNING: " << alpha;
                debugLog.Line("");
            }
        }
    }

    // 4. Start
    const i32 t0 = Now();
    {
        char fen[128];
        WriteFen(fen);
        debugLog << "-FEN:\t";
        debugLog.Line(fen);
    }
    FindCheckers(root->checkInfo);
    // Helpers search beside thread 0 from here until it returns.
    StartHelpers();
    struct HelperStop {
        ~HelperStop() { StopHelpers(); }
    } helperStop;
    int mateIterations = 0;
    bool restarted = false;
    const auto elapsed = [t0] { return (Now() - t0) / 10; };

    for (;;) {
        // 5. Iterations
        i32 extra = 0;
        i32 grownBudget = 0;
        const auto grow = [&](int factor) {
            if (!BudgetMayGrow()) return;
            extra += GrowBudget(factor);
            grownBudget = timeForMove;
            // Explains a long think in the log: the re-search of a failed window has more time.
            debugLog << "-M: budget for the re-search: " << timeForMove << " ms";
            debugLog.Line("");
        };
        while (worker.iterationDepth <= maxDepth) {
            // 5.1-5.2 Search, re-searching with wider windows when the aspiration fails
            int v = SearchRoot(alpha, beta);
            if ((v <= alpha || v >= beta) && !stopSearch) {
                if (v <= alpha) {
                    worker.aspirationState = -1;
                    alpha = -RootLimit;
                    beta = v + 1;
                    grow(3);
                } else {
                    worker.aspirationState = 1;
                    alpha = v - 1;
                    beta = 8099;
                    grow(2);
                }
                v = SearchRoot(alpha, beta);
                if ((v <= alpha || v >= beta) && !stopSearch) {
                    alpha = -RootLimit;
                    beta = 8099;
                    grow(2);
                    v = SearchRoot(alpha, beta);
                }
                worker.aspirationState = 0;
            }
            // 5.3 The extra time was for the re-search only; a clock report that arrived
            // meanwhile has set a new budget, which stays.
            if (extra > 0) {
                if (timeForMove == grownBudget) timeForMove -= extra;
                extra = 0;
                debugLog << "-M: budget back to " << timeForMove << " ms";
                debugLog.Line("");
            }

            // 5.4 Stopped or out of time: this iteration does not count.
            if (stopSearch || searchControl.timeIsUp()) break;

            // 5.5 Result
            result = {root->bestMove, static_cast<i16>(v)};
            if (result.move == EndStalemate) {
                debugLog.Line("-----STALEMATED---");
                break;
            }
            if (searchControl.pondering()) debugLog.Line("---PONDER:");

            // 5.7 Thinking line
            const int depth = static_cast<int>(worker.iterationDepth);
            BuildPv(worker.pvText, std::min(depth, PvPlies));
            LogIteration("-E: ", depth, v, elapsed());
            PrintThinking(ThinkingKind::Iteration, depth, v, elapsed(), worker.pvText);

            // 5.8 Mate scores from four iterations settle it
            if (v <= depth - 8100 || v >= 8100 - depth) {
                debugLog << "--- MATE: " << v;
                debugLog.Line("");
                if (++mateIterations > 3) break;
            }

            // 5.9 Next window and depth
            alpha = std::max(v - AspirationMargin, -RootLimit);
            beta = std::min(v + AspirationMargin, RootLimit);
            ++worker.iterationDepth;
        }

        // 6. Final line
        const int depth = static_cast<int>(worker.iterationDepth);
        const int score = BuildPv(worker.pvText, std::min(depth, PvPlies));
        LogIteration("-E (-): ", depth, score, elapsed());
        PrintThinking(ThinkingKind::Final, depth - 1, score, elapsed(), worker.pvText);

        // 7. Stopped before depth 6 on its own move: one more try with a fresh budget.
        if (stopSearch && depth <= 5 && !restarted && !searchControl.pondering() &&
            shallowRestartAllowed) {
            restarted = true;
            debugLog << "fixing move... ********************: depth=" << depth;
            debugLog.Line("");
            PrintThinking(ThinkingKind::Restart, depth - 1, score, elapsed(), "fixing move...");
            stopSearch = false;
            searchStart = Now();
            continue;
        }
        return result;
    }
}

void HelperSearch(int index) {
    TakeHandOver();
    PlyRecord* const root = &worker.plyRecords[0];
    worker.currentPly = root;
    ResetSearchTables();
    worker.moveStack[0].move = 0;
    worker.checkCount[Black] = worker.checkCount[White] = 0;
    root->moveListEnd = worker.moveStack;
    worker.nodeCount = 0;
    worker.quiesceNodeCount = 0;
    worker.nextPoll = 0;  // the first node polls
    worker.aspirationState = 0;
    FindCheckers(root->checkInfo);

    // Helpers diverge from thread 0 and from each other: every other one starts a ply deeper,
    // and each orders its moves by its own statistics, which differ as soon as their searches
    // do. What they find reaches thread 0 through the table.
    int alpha = -RootLimit;
    int beta = RootLimit;
    for (u32 depth = 2 + static_cast<u32>(index % 2); depth <= HelperMaxDepth(); ++depth) {
        worker.iterationDepth = depth;
        int v = SearchRoot(alpha, beta);
        if (HelpersStopped()) break;
        if (v <= alpha || v >= beta) {
            alpha = -RootLimit;
            beta = RootLimit;
            v = SearchRoot(alpha, beta);
            if (HelpersStopped()) break;
        }
        alpha = std::max(v - AspirationMargin, -RootLimit);
        beta = std::min(v + AspirationMargin, RootLimit);
    }
    PublishHelperNodes();
}

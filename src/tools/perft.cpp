// Perft: counts the move tree of the live position with the search's own machinery (ply
// records, shared move list, the generators without the ordering scores it does not use, and
// the after-the-move legality test), making every move, so that it checks generation, make and
// unmake together. A depth-d count includes every position reached at plies 1 to d.
#include <cinttypes>
#include <cstdio>

#include "engine/engine.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "tools/tools.h"

bool perftOutOfRoom;

namespace {

// One level of the tree for side S to move; the level below is the other side's instance, so
// make, unmake and the legality test of each level know the mover at compile time.
template <int S>
u64 PerftSide(int depth) {
    PlyRecord* const ply = worker.currentPly;
    ScoredMove* const start = MoveListStart(ply);
    // A tree deeper than the ply records or the move list hold is cut off here instead of
    // writing past them; the caller reports it.
    if (ply >= worker.plyRecords + PlyRecordCount ||
        start + MaxGeneratedMoves > worker.moveStack + MoveStackSize) {
        perftOutOfRoom = true;
        return 0;
    }

    // 1. and 2. Checkers, then evasions or all moves of the side to move.
    FindCheckers(ply->checkInfo);
    const bool inCheck = ply->checkInfo.checkers != 0;
    // In check every move is tested: every square counts as one of the king's lines.
    const u64 kingLines = inCheck ? ~0ull : KingLines(S);
    ScoredMove* const end =
        inCheck ? EvasionGenerators[S](start, ply->checkInfo) : PerftMoveGenerators[S](start);
    ply->moveListEnd = end;

    // 3. One snapshot serves every move of this level: each UnmakeMove restores what it holds.
    UndoRecord& undo = ply->undo;
    SaveSnapshot(undo);

    // 4. Make, test (unless the move cannot expose the king), count, descend, take back. Every
    // move is made and taken back, at the last level too, where nothing below needs the next
    // ply record; the moves made are added to nodeCount once the level is done.
    u64 count = 0;
    if (depth <= 1) {
        for (const ScoredMove* entry = start; entry < end; ++entry) {
            const Move move = entry->move;
            MakeMoveBy<S>(move, undo);
            if (!(MayExposeKing(move, kingLines) && LeavesKingAttacked(move, S))) ++count;
            UnmakeMoveBy<S>(move, undo);
        }
    } else {
        for (const ScoredMove* entry = start; entry < end; ++entry) {
            const Move move = entry->move;
            MakeMoveBy<S>(move, undo);
            if (!(MayExposeKing(move, kingLines) && LeavesKingAttacked(move, S))) {
                ++worker.currentPly;
                count += 1 + PerftSide<S ^ 1>(depth - 1);
                --worker.currentPly;
            }
            UnmakeMoveBy<S>(move, undo);
        }
    }
    worker.nodeCount += static_cast<u32>(end - start);
    return count;
}

}  // namespace

u64 Perft(int depth) {
    return pos.sideToMove == White ? PerftSide<White>(depth) : PerftSide<Black>(depth);
}

void RunPerft(i32 depth) {
    depth = ClampPerftDepth(depth);
    perftOutOfRoom = false;

    // 2. The tree's move lists start at the base of the move list, one record above the current.
    ScoredMove* const savedEnd = worker.currentPly->moveListEnd;
    worker.currentPly->moveListEnd = worker.moveStack;
    ++worker.currentPly;
    worker.nodeCount = 0;
    FindCheckers(worker.currentPly->checkInfo);

    // 3. and 4. One row per depth, each counted afresh.
    std::printf("ply\tduration\tnodes\n");
    u64 total = 0;
    for (i32 d = 1; d <= depth; ++d) {
        const i32 started = Now();
        const u64 count = Perft(d);
        const i32 finished = Now();
        if (perftOutOfRoom) {
            std::printf(
                "perft stopped at depth %d: the move tree is deeper than Zelmor's move "
                "list\n",
                d);
            break;
        }
        std::printf("%d\t%2.1f\t%" PRIu64 "\n", d, (finished - started) * 0.001, count);
        total += count;
    }

    // 5. and 6. Back to the caller's record (whose list end is left as it was found).
    --worker.currentPly;
    worker.currentPly->moveListEnd = savedEnd;
    std::printf("total nodes: %" PRIu64 "\n", total);
    std::printf("(total moves[32]: %u)\n", static_cast<u32>(worker.nodeCount));
}

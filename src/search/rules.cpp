// Draw rules on the history stack (repetition, fifty moves, bare material), the repetition test
// for a move not yet made, and the null move.
#include "search/search.h"

namespace {

// Counts history entries with `key`, looking at every second entry (same side to move) from
// index `start` downward while the fifty-move counter, starting at that entry's own, stays
// non-negative: older positions cannot repeat across a capture or pawn move. Stops at `limit`.
int CountEarlier(u64 key, long start, int limit) {
    int found = 0;
    int counter = start >= 0 ? history[start].halfmoveClock : -1;
    for (long i = start; counter >= 0 && i >= 0; i -= 2, counter -= 2) {
        if (HistoryKey(history[i]) == key && ++found == limit) break;
    }
    return found;
}

long TopIndex() { return historyTop - history; }

}  // namespace

Move DrawByRule(int n) {
    if (pos.pawnCount[Black] + pos.pawnCount[White] == 0 && pos.materialTotal < 4)
        return EndNoMaterial;
    const int clock = historyTop->halfmoveClock;
    if (clock < 4) return 0;
    if (clock > 99) return EndFiftyMoves;
    return CountEarlier(pos.key, TopIndex() - 4, n) >= n ? EndRepetition : 0;
}

int RepetitionAfterMove(Move move) {
    if (move == 0 || MoveKindOf(move) != Quiet) return 0;
    const int from = MoveFrom(move);
    const int to = MoveTo(move);
    const int piece = pos.board[from];
    if (piece == Empty || piece == WPawn || piece == BPawn) return 0;
    const int clock = historyTop->halfmoveClock + 1;
    if (clock < 4) return 0;
    if (clock > 99) return 2;
    if (clock > 75) return 1;
    // Castling-right and en-passant keys are left out: a near enough key for a move order guard.
    const u64 key = pos.key ^ ZobristKeys[piece][from] ^ ZobristKeys[piece][to];
    // The position after the move would sit at TopIndex() + 1; four plies back from there.
    return CountEarlier(key, TopIndex() - 3, 2);
}

void MakeNullMove() {
    UndoRecord& undo = worker.currentPly->undo;
    undo.savedKey = pos.key;
    undo.savedPawnKey = pos.pawnKey;
    undo.savedEnPassant = pos.enPassant;
    undo.savedCastleRights = pos.castleRights;
    if (pos.enPassant) {
        pos.key ^= ZobristKeys[0][pos.enPassant];
        pos.pawnKey ^= static_cast<u32>(ZobristKeys[0][pos.enPassant]);
        pos.enPassant = 0;
    }
    pos.sideToMove ^= 1;
    historyTop->move = NullMoveMarker;
    const u16 clock = static_cast<u16>(historyTop->halfmoveClock + 1);
    ++historyTop;
    historyTop->keyLow = static_cast<u32>(pos.key);
    historyTop->keyHigh = static_cast<u32>(pos.key >> 32);
    historyTop->move = 0;
    historyTop->halfmoveClock = clock;
}

void UnmakeNullMove() {
    const UndoRecord& undo = worker.currentPly->undo;
    pos.key = undo.savedKey;
    pos.pawnKey = undo.savedPawnKey;
    pos.enPassant = undo.savedEnPassant;
    pos.castleRights = undo.savedCastleRights;
    pos.sideToMove ^= 1;
    --historyTop;
}

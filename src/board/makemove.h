// The common half of making and taking back a move, kept inline so that perft and the search
// pay no call for the quiet moves and captures that make up nearly every move they make. The
// rare kinds (en passant, promotions, castling, the marker words) stay out of line in
// makemove.cpp. Included by board.h; use board.h.
#pragma once

namespace board_moves {

inline u32 LowKey(u64 key) { return static_cast<u32>(key); }

inline void DropRight(u16 right) {
    if (pos.castleRights & right) {
        pos.castleRights = static_cast<u16>(pos.castleRights & ~right);
        pos.key ^= CastleRightKey(right);
    }
}

// A rook corner that is left or captured on takes its wing's right with it.
inline void DropCornerRight(int square) {
    switch (square) {
        case A8: DropRight(BlackLong); break;
        case H8: DropRight(BlackShort); break;
        case A1: DropRight(WhiteLong); break;
        case H1: DropRight(WhiteShort); break;
        default: break;
    }
}

inline void ToggleRotated(int square) {
    pos.occupiedR90 ^= SetMaskR90[square];
    pos.occupiedR45 ^= SetMaskR45[square];
    pos.occupiedR315 ^= SetMaskR315[square];
}

// Kinds 2-15 for side S, after the common first steps (history entry pushed, en-passant chance
// cleared); they set the new entry's halfmove clock themselves.
template <int S>
void MakeRareMove(Move move, UndoRecord& undo);
// Kinds 2-15 for side S, after the snapshot fields are back.
template <int S>
void UnmakeRareMove(Move move, UndoRecord& undo);

// Written once per side: the side's pawn, rook and king codes and the direction of its pawns
// are constants inside each instance.
template <int S>
inline void MakeMoveSide(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnPawn = 2 - S;
    constexpr int OwnRook = 8 - S;
    constexpr int OwnKing = 12 - S;
    constexpr int Behind = S == White ? 8 : -8;  // from a target square back toward the mover
    constexpr u16 ShortRight = S == White ? WhiteShort : BlackShort;
    constexpr u16 LongRight = S == White ? WhiteLong : BlackLong;
    // Squares as 64-bit indices: the compiler then keeps one copy of each.
    const i64 from = MoveFrom(move), to = MoveTo(move);
    const int kind = MoveKindOf(move);

    // 1. The move leaves this history entry; the new position gets a fresh one.
    HistoryEntry* const entry = historyTop;
    entry->move = move;
    const u16 clock = entry->halfmoveClock;
    HistoryEntry* const next = entry + 1;
    historyTop = next;

    // 2. Any en-passant chance ends with this move.
    if (pos.enPassant) {
        const u64 epKey = ZobristKeys[0][pos.enPassant];
        pos.key ^= epKey;
        pos.pawnKey ^= LowKey(epKey);
        pos.enPassant = 0;
    }

    // 3. By kind. Quiet moves and captures, by far the most common, share the mover's steps.
    if (kind > Capture) {
        MakeRareMove<S>(move, undo);
    } else {
        const SquareBits& fromBits = SquareMasks[from];
        const SquareBits& toBits = SquareMasks[to];
        const u64 fromTo = SetMask[from] | SetMask[to];
        u16 newClock = static_cast<u16>(clock + 1);
        // The squares whose plain and rotated occupancy change: both for a quiet move, the
        // from-square alone for a capture (the captured piece's square stays occupied).
        SquareBits toggled = fromBits;
        if (kind == Quiet) {
            toggled.plain ^= toBits.plain;
            toggled.r90 ^= toBits.r90;
            toggled.r45 ^= toBits.r45;
            toggled.r315 ^= toBits.r315;
        } else {
            const i64 captured = pos.board[to];
            const i8 delta = static_cast<i8>(-PieceUnits[captured]);
            undo.captured = static_cast<u8>(captured);
            undo.materialDelta = delta;
            pos.materialTotal = static_cast<u8>(pos.materialTotal + delta);
            pos.pieces[captured] &= ~SetMask[to];
            pos.occupiedBy[O] &= ~SetMask[to];
            if (captured == WPawn || captured == BPawn) {
                --pos.pawnCount[O];
                pos.pawnKey ^= LowKey(ZobristKeys[captured][to]);
            } else {
                pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] + delta);
            }
            pos.key ^= ZobristKeys[captured][to];
            if (pos.castleRights) DropCornerRight(to);
            newClock = 0;
        }

        pos.occupied ^= toggled.plain;
        pos.occupiedR90 ^= toggled.r90;
        pos.occupiedR45 ^= toggled.r45;
        pos.occupiedR315 ^= toggled.r315;

        // 4. The moving piece.
        const i64 code = pos.board[from];
        const u64 keys = ZobristKeys[code][from] ^ ZobristKeys[code][to];
        pos.key ^= keys;
        if (code == OwnPawn) {
            newClock = 0;
            undo.oldPieceBoard = pos.pieces[OwnPawn];
            pos.pieces[OwnPawn] ^= fromTo;
            pos.pawnKey ^= LowKey(keys);
            if (from - to == 2 * Behind) {
                const u64 epKey = ZobristKeys[0][to + Behind];
                pos.enPassant = static_cast<u8>(to + Behind);
                pos.key ^= epKey;
                pos.pawnKey ^= LowKey(epKey);
            }
        } else if (code == OwnKing) {
            pos.kingSquare[S] = static_cast<u8>(to);
            if (pos.castleRights & (ShortRight | LongRight)) {
                DropRight(ShortRight);
                DropRight(LongRight);
            }
        } else {
            // Also reached by a piece of the wrong side or an empty square, which only a
            // corrupted move word can name; the updates stay within the tables.
            undo.oldPieceBoard = pos.pieces[code];
            pos.pieces[code] ^= fromTo;
            if (code == OwnRook && pos.castleRights) DropCornerRight(from);
        }

        // 5. Mailbox and the mover's men.
        pos.board[to] = static_cast<u8>(code);
        pos.board[from] = Empty;
        pos.occupiedBy[S] ^= fromTo;
        next->halfmoveClock = newClock;
    }

    // 6. The new position's key and side.
    next->keyLow = LowKey(pos.key);
    next->keyHigh = static_cast<u32>(pos.key >> 32);
    pos.sideToMove = O;
}

template <int S>
inline void UnmakeMoveSide(Move move, UndoRecord& undo) {
    constexpr int O = S ^ 1;
    constexpr int OwnKing = 12 - S;
    // Squares as 64-bit indices: the compiler then keeps one copy of each.
    const i64 from = MoveFrom(move), to = MoveTo(move);
    const int kind = MoveKindOf(move);

    // 1. Snapshot fields.
    pos.occupied = undo.savedOccupied;
    pos.occupiedR90 = undo.savedR90;
    pos.occupiedR45 = undo.savedR45;
    pos.occupiedR315 = undo.savedR315;
    pos.occupiedBy[S] = undo.savedOccupiedByMover;
    pos.key = undo.savedKey;
    pos.pawnKey = undo.savedPawnKey;
    pos.enPassant = undo.savedEnPassant;
    pos.sideToMove = S;

    // 2. By kind.
    if (kind > Capture) {
        UnmakeRareMove<S>(move, undo);
    } else {
        pos.castleRights = undo.savedCastleRights;
        const i64 code = pos.board[to];
        if (code == OwnKing)  // the king has a square instead of a bitboard
            pos.kingSquare[S] = static_cast<u8>(from);
        else
            pos.pieces[code] = undo.oldPieceBoard;
        pos.board[from] = static_cast<u8>(code);
        pos.board[to] = Empty;
        if (kind == Capture) {
            const i64 captured = undo.captured;
            pos.materialTotal = static_cast<u8>(pos.materialTotal - undo.materialDelta);
            if (captured == WPawn || captured == BPawn)
                ++pos.pawnCount[O];
            else
                pos.pieceMaterial[O] = static_cast<u8>(pos.pieceMaterial[O] - undo.materialDelta);
            pos.pieces[captured] |= SetMask[to];
            pos.occupiedBy[O] |= SetMask[to];
            pos.board[to] = static_cast<u8>(captured);
        }
    }

    // 3. Back to the previous history entry.
    --historyTop;
}

}  // namespace board_moves

// Makes a pseudo-legal move of the side to move; the caller has filled undo with SaveSnapshot.
inline void MakeMove(Move move, UndoRecord& undo) {
    if (pos.sideToMove == White)
        board_moves::MakeMoveSide<White>(move, undo);
    else
        board_moves::MakeMoveSide<Black>(move, undo);
}

// Takes back the move just made with the same undo record.
inline void UnmakeMove(Move move, UndoRecord& undo) {
    if (pos.sideToMove == White)  // White to move again means Black made the move
        board_moves::UnmakeMoveSide<Black>(move, undo);
    else
        board_moves::UnmakeMoveSide<White>(move, undo);
}

// The same for a caller that knows the mover at compile time (one instance per side).
template <int S>
inline void MakeMoveBy(Move move, UndoRecord& undo) {
    board_moves::MakeMoveSide<S>(move, undo);
}
template <int S>
inline void UnmakeMoveBy(Move move, UndoRecord& undo) {
    board_moves::UnmakeMoveSide<S>(move, undo);
}

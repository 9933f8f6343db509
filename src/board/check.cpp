// The position check of debug builds: whether the live position's redundant parts agree with
// each other. It asks for consistency, not legality: set-up accepts unplayable positions (no
// king, kings side by side, a second king of one colour) on purpose, and the check accepts them
// as long as every bitboard, counter and key tells the same story as board[].
#include "board/board.h"

u64 PieceKeysOf(const Position& p) {
    u64 key = 0;
    for (int square = 0; square < 64; ++square)
        if (p.board[square] != Empty) key ^= ZobristKeys[p.board[square]][square];
    return key;
}

u32 PawnKeysOf(const Position& p) {
    u32 key = 0;
    for (int square = 0; square < 64; ++square)
        if (p.board[square] == WPawn || p.board[square] == BPawn)
            key ^= static_cast<u32>(ZobristKeys[p.board[square]][square]);
    return key;
}

bool PositionIsOk(bool freshSetUp) {
    const Position& p = pos;
    if (p.sideToMove != White && p.sideToMove != Black) return false;
    if ((p.castleRights & ~(WhiteShort | WhiteLong | BlackShort | BlackLong)) != 0) return false;
    if (p.enPassant != 0 &&
        (p.enPassant < 16 || p.enPassant >= 48 || (p.enPassant >= 24 && p.enPassant < 40)))
        return false;
    if (p.pieces[Empty] != 0 || p.pieces[WKing] != 0 || p.pieces[BKing] != 0) return false;

    // board[] against the piece bitboards and the king squares. A king on board[] that is not
    // its side's kingSquare (a second king from set-up text) is known to no bitboard.
    u64 byCode = 0;
    for (int code = WPawn; code <= BQueen; ++code) {
        if (byCode & p.pieces[code]) return false;  // two codes on one square
        byCode |= p.pieces[code];
    }
    for (int square = 0; square < 64; ++square) {
        const int code = p.board[square];
        if (code > BKing) return false;
        const bool inBitboard = (byCode & SetMask[square]) != 0;
        if (code >= WPawn && code <= BQueen) {
            if ((p.pieces[code] & SetMask[square]) == 0) return false;
        } else if (inBitboard) {
            return false;
        }
    }
    u64 occupiedBy[2] = {0, 0};
    for (int side = Black; side <= White; ++side) {
        const int k = p.kingSquare[side];
        if (k != 100 && (k >= 64 || p.board[k] != WKing + (side ^ 1))) return false;
        for (int kind = 1; kind <= 5; ++kind) occupiedBy[side] |= p.pieces[2 * kind - side];
        if (k < 64) occupiedBy[side] |= SetMask[k];
    }
    if (occupiedBy[Black] & occupiedBy[White]) return false;
    if (p.occupiedBy[Black] != occupiedBy[Black] || p.occupiedBy[White] != occupiedBy[White])
        return false;
    const u64 occupied = occupiedBy[Black] | occupiedBy[White];
    if (p.occupied != occupied || p.occupiedR90 != RotateR90(occupied) ||
        p.occupiedR45 != RotateR45(occupied) || p.occupiedR315 != RotateR315(occupied))
        return false;

    // Material and counts, in the counters' own 8-bit arithmetic.
    u8 total = 0, pieceMaterial[2] = {0, 0}, pawns[2] = {0, 0};
    for (int code = WPawn; code <= BQueen; ++code) {
        const int count = PopCount(p.pieces[code]);
        const int side = code & 1;
        total = static_cast<u8>(total + count * PieceUnits[code]);
        if (code <= BPawn)
            pawns[side] = static_cast<u8>(pawns[side] + count);
        else
            pieceMaterial[side] = static_cast<u8>(pieceMaterial[side] + count * PieceUnits[code]);
    }
    if (p.materialTotal != total || p.pawnCount[0] != pawns[0] || p.pawnCount[1] != pawns[1] ||
        p.pieceMaterial[0] != pieceMaterial[0] || p.pieceMaterial[1] != pieceMaterial[1])
        return false;

    // The keys: right after set-up they are the men's keys alone; later moves add en-passant,
    // castling-right and castling-move keys, which only the moves themselves can account for.
    if (freshSetUp && (p.key != PieceKeysOf(p) || p.pawnKey != PawnKeysOf(p) ||
                       historyTop != history || HistoryKey(history[0]) != p.key))
        return false;
    return true;
}

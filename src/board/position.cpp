// The live position, its history stack and the game position; FEN/EPD reading and writing and
// the board diagram.
#include <cstdio>
#include <cstring>

#include "board/board.h"

ZELMOR_THREAD_STATE Position pos{};
ZELMOR_THREAD_STATE HistoryEntry history[HistorySize]{};
// Set to the stack's start by InitTables and by every set-up (a thread's address is not a
// constant).
ZELMOR_THREAD_STATE HistoryEntry* historyTop = nullptr;
GamePositionRecord GamePosition;

namespace {

int CodeOfPieceChar(char c) {
    const char* at = std::strchr(PieceChars + 1, c);
    return (c != '\0' && at) ? static_cast<int>(at - PieceChars) : 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void SkipBlanks(const char*& p) {
    while (IsBlank(*p)) ++p;
}

void PlacePiece(int code, int square) {
    int side = code & 1;  // White codes are odd
    pos.board[square] = static_cast<u8>(code);
    pos.key ^= ZobristKeys[code][square];
    if (code >= WKing) {
        pos.kingSquare[side] = static_cast<u8>(square);
        return;
    }
    pos.pieces[code] |= SetMask[square];
    pos.materialTotal = static_cast<u8>(pos.materialTotal + PieceUnits[code]);
    if (code <= BPawn) {
        pos.pawnKey ^= static_cast<u32>(ZobristKeys[code][square]);
        ++pos.pawnCount[side];
    } else {
        pos.pieceMaterial[side] = static_cast<u8>(pos.pieceMaterial[side] + PieceUnits[code]);
    }
}

// A castling right is only kept when its king and rook stand on their home squares: a right
// without its rook would let castling conjure a rook out of nothing.
u16 PlausibleCastleRights(u16 rights) {
    auto at = [](int square, int code) { return pos.board[square] == code; };
    if (!at(E1, WKing) || !at(H1, WRook)) rights &= ~WhiteShort;
    if (!at(E1, WKing) || !at(A1, WRook)) rights &= ~WhiteLong;
    if (!at(E8, BKing) || !at(H8, BRook)) rights &= ~BlackShort;
    if (!at(E8, BKing) || !at(A8, BRook)) rights &= ~BlackLong;
    return rights;
}

// Finds an "am"/"bm" operation in the text after the position fields. Only the first 'a' or
// 'b' of that text is considered, as EPD records put the operation first.
void FindEpdMove(const char* p, char (&moveText)[10], char& operation) {
    operation = 0;
    moveText[0] = '\0';
    while (*p && *p != 'a' && *p != 'b') ++p;
    if (!*p || p[1] != 'm' || p[2] != ' ') return;
    char op = *p;
    p += 3;
    int n = 0;
    while (n < 9 && p[n] && p[n] != ';' && p[n] != ' ') {
        moveText[n] = p[n];
        ++n;
    }
    moveText[n] = '\0';
    if (p[n] == ';' || p[n] == ' ') operation = op;
}

// Steps that make even a rejected, half-built position consistent: occupancy and rotated
// boards derived from the pieces placed so far, history entry 0 and the game position.
void FinishSetUp() {
    // 8. Occupancy and the rotated boards.
    for (int side = Black; side <= White; ++side) {
        u64 bb = 0;
        for (int kind = 1; kind <= 5; ++kind) bb |= PiecesOf(kind, side);
        if (pos.kingSquare[side] < 64) bb |= SetMask[pos.kingSquare[side]];
        pos.occupiedBy[side] = bb;
    }
    pos.occupied = pos.occupiedBy[Black] | pos.occupiedBy[White];
    pos.occupiedR90 = RotateR90(pos.occupied);
    pos.occupiedR45 = RotateR45(pos.occupied);
    pos.occupiedR315 = RotateR315(pos.occupied);

    // 9. History entry 0 and the game position.
    history[0].keyLow = static_cast<u32>(pos.key);
    history[0].keyHigh = static_cast<u32>(pos.key >> 32);
    CopyLiveToGamePosition();
}

}  // namespace

bool LoadPosition(const char* text, EpdOperation& epd) {
    epd = EpdOperation{};
    // 1. Clear the position and the history below the current top.
    Position cleared{};
    cleared.kingSquare[0] = cleared.kingSquare[1] = 100;
    cleared.sideToMove = White;
    pos = cleared;
    for (HistoryEntry* e = historyTop; e >= history; --e) *e = HistoryEntry{};
    historyTop = history;
    GamePosition.enPassant = 0;
    GamePosition.kingSquare[0] = GamePosition.kingSquare[1] = 0;
    GamePosition.castleRights = 0;
    GamePosition.sideToMove = White;

    // 2-3. Piece placement, rank 8 first; only the count of 64 squares ends it.
    const char* p = text;
    SkipBlanks(p);
    for (int i = 0; i < 64; ++i) {
        char c = *p;
        if (c != '\0') ++p;
        if (c == '/') {
            --i;
        } else if (c >= '1' && c <= '8') {
            i += c - '1';
        } else if (int code = CodeOfPieceChar(c); code != 0) {
            PlacePiece(code, i);
        } else {
            FinishSetUp();
            return false;
        }
    }

    // 4. Side to move.
    SkipBlanks(p);
    if (*p == 'w' || *p == 'W') {
        pos.sideToMove = White;
    } else if (*p == 'b' || *p == 'B') {
        pos.sideToMove = Black;
    } else {
        FinishSetUp();
        return false;
    }
    ++p;
    SkipBlanks(p);

    // 5. Castling rights: up to four letters; the first other character ends the field.
    u16 rights = 0;
    for (int n = 0; n < 4; ++n) {
        char c = *p;
        if (c == 'K') {
            rights |= WhiteShort;
        } else if (c == 'Q') {
            rights |= WhiteLong;
        } else if (c == 'k') {
            rights |= BlackShort;
        } else if (c == 'q') {
            rights |= BlackLong;
        } else {
            if (c != '\0') ++p;
            break;
        }
        ++p;
    }
    pos.castleRights = PlausibleCastleRights(rights);
    SkipBlanks(p);

    // 6. En-passant square. Only a square on the third or sixth rank can be one; anything else
    // is ignored rather than trusted, since it would index the key and mask tables.
    if (*p != '-' && *p != '\0') {
        char fileChar = p[0], rankChar = p[1];
        if (rankChar != '\0') p += 2;
        if (fileChar >= 'a' && fileChar <= 'h' && (rankChar == '3' || rankChar == '6'))
            pos.enPassant = static_cast<u8>(SquareOf(fileChar, rankChar));
    }

    // 7. The EPD "am"/"bm" operation, if any: its move is read against the new position by
    // the caller, which knows move notation.
    FindEpdMove(p, epd.moveText, epd.kind);

    FinishSetUp();
    return true;
}

char* WriteFen(char* buffer) {
    char* out = buffer;
    int empty = 0;
    auto flushEmpty = [&] {
        if (empty > 0) *out++ = static_cast<char>('0' + empty);
        empty = 0;
    };
    for (int i = 0; i < 64; ++i) {
        bool rowStart = (i % 8) == 0 && i != 0;
        if (pos.board[i] != Empty) {
            flushEmpty();
            if (rowStart) *out++ = '/';
            *out++ = pos.board[i] <= BKing ? PieceChars[pos.board[i]] : '?';
        } else if (i % 8 != 0) {
            ++empty;
        } else {
            flushEmpty();
            if (rowStart) *out++ = '/';
            empty = 1;
        }
    }
    flushEmpty();
    *out++ = ' ';
    *out++ = pos.sideToMove == White ? 'w' : 'b';
    *out++ = ' ';
    if (pos.castleRights == 0) *out++ = '-';
    if (pos.castleRights & WhiteShort) *out++ = 'K';
    if (pos.castleRights & WhiteLong) *out++ = 'Q';
    if (pos.castleRights & BlackShort) *out++ = 'k';
    if (pos.castleRights & BlackLong) *out++ = 'q';
    *out++ = ' ';
    if (pos.enPassant != 0) {
        *out++ = static_cast<char>('a' + File(pos.enPassant));
        *out++ = static_cast<char>('8' - Row(pos.enPassant));
    } else {
        *out++ = '-';
    }
    *out = '\0';
    return out;
}

void PrintBoard(const u8* board) {
    for (int i = 0; i < 64; ++i) {
        if (i % 8 == 0) std::printf("\n%d ", 8 - i / 8);
        std::printf("%c ", board[i] <= BKing ? PieceChars[board[i]] : '?');
    }
    std::printf("\n\n  A B C D E F G H\n");
}

void CopyLiveToGamePosition() {
    std::memcpy(GamePosition.board, pos.board, sizeof GamePosition.board);
    GamePosition.enPassant = pos.enPassant;
    GamePosition.castleRights = pos.castleRights;
    GamePosition.kingSquare[0] = pos.kingSquare[0];
    GamePosition.kingSquare[1] = pos.kingSquare[1];
    GamePosition.sideToMove = pos.sideToMove;
}

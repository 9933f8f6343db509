// SAN move parser: PGN movetext tokens and EPD "am"/"bm" moves to move words of the live
// position. It picks the moving piece from the board but leaves legality to the caller, except
// where two pieces of one kind could reach the destination.
#include <cstring>

#include "board/board.h"
#include "movegen/movegen.h"

namespace {

constexpr Move WhiteShortCastle = 0xDF3E;  // e1g1, kind 13
constexpr Move WhiteLongCastle = 0xFF3A;   // e1c1, kind 15
constexpr Move BlackShortCastle = 0xC106;  // e8g8, kind 12
constexpr Move BlackLongCastle = 0xE102;   // e8c8, kind 14

constexpr u64 Bit(int s) { return u64{1} << (63 - s); }
constexpr u64 FileSquares(int file) { return 0x8080808080808080ull >> file; }
constexpr u64 RowSquares(int row) { return 0xFF00000000000000ull >> (8 * row); }

bool IsFileChar(char c) { return c >= 'a' && c <= 'h'; }
bool IsRankChar(char c) { return c >= '1' && c <= '8'; }
bool IsSquareText(const char* t) { return IsFileChar(t[0]) && IsRankChar(t[1]); }

// Promotion kind for a letter, or -1; the capturing kinds are four above the quiet ones.
int PromotionKind(char c, bool capture) {
    int kind;
    switch (c) {
        case 'Q':
        case 'q': kind = PromoQueen; break;
        case 'N':
        case 'n': kind = PromoKnight; break;
        case 'R':
        case 'r': kind = PromoRook; break;
        case 'B':
        case 'b': kind = PromoBishop; break;
        default: return -1;
    }
    return capture ? kind + 4 : kind;
}

bool IsPromotionLetter(char c) { return PromotionKind(c, false) >= 0; }

Move ShortCastle() {
    if (pos.sideToMove == White) return (pos.castleRights & WhiteShort) ? WhiteShortCastle : 0;
    return (pos.castleRights & BlackShort) ? BlackShortCastle : 0;
}

Move LongCastle() {
    if (pos.sideToMove == White) return (pos.castleRights & WhiteLong) ? WhiteLongCastle : 0;
    return (pos.castleRights & BlackLong) ? BlackLongCastle : 0;
}

// True when the candidate is playable and does not leave the mover's king attacked.
bool IsLegalCandidate(Move move) { return IsMoveValid(move) && KeepsKingSafe(move); }

// The first character names the mover; `allowed` narrows the origins (disambiguation).
Move resolvePieceMove(const char* text, int to, u64 allowed) {
    const int side = pos.sideToMove;
    u64 candidates;
    bool pawn = false;
    switch (text[0]) {
        case 'N': candidates = KnightAttacks[to] & PiecesOf(2, side); break;
        case 'B': candidates = BishopAttacksFrom(to) & PiecesOf(3, side); break;
        case 'R': candidates = RookAttacksFrom(to) & PiecesOf(4, side); break;
        case 'Q': candidates = QueenAttacksFrom(to) & PiecesOf(5, side); break;
        case 'K':
            // The king is named by its square alone; a board without this king has no mover.
            if (pos.kingSquare[side] >= 64) return 0;
            candidates = Bit(pos.kingSquare[side]);
            allowed = ~u64{0};
            break;
        default:
            if (!IsFileChar(text[0])) return 0;
            candidates = PawnAttacks[side ^ 1][to] & PiecesOf(1, side) & FileSquares(text[0] - 'a');
            pawn = true;
            break;
    }
    candidates &= allowed;
    if (candidates == 0) return 0;

    const bool occupied = pos.board[to] != Empty;
    // An empty destination for a pawn capture can only be en passant; the caller's legality
    // test rejects it when it is not the en-passant square.
    const int kind = occupied ? Capture : (pawn ? EnPassant : Quiet);

    if ((candidates & (candidates - 1)) == 0)
        return MakeMoveWord(63 - __builtin_ctzll(candidates), to, kind);

    Move found = 0;
    for (u64 rest = candidates; rest != 0; rest &= rest - 1) {
        const Move move = MakeMoveWord(63 - __builtin_ctzll(rest), to, kind);
        if (!IsLegalCandidate(move)) continue;
        if (found != 0) return 0;  // ambiguous
        found = move;
    }
    return found;
}

// Four characters of coordinate text and an optional fifth (promotion letter or terminator).
Move parseCoordinateText(const char* t) {
    if (!IsSquareText(t) || !IsSquareText(t + 2)) return 0;
    const int from = SquareOf(t[0], t[1]);
    const int to = SquareOf(t[2], t[3]);
    const u16 rights = pos.castleRights;

    // The king's two squares stand for castling whenever the matching right is held.
    if (rights != 0) {
        if (from == E1 && (rights & (WhiteShort | WhiteLong))) {
            if (to == G1 && (rights & WhiteShort)) return WhiteShortCastle;
            if (to == C1 && (rights & WhiteLong)) return WhiteLongCastle;
        }
        if (from == E8 && (rights & (BlackShort | BlackLong))) {
            if (to == G8 && (rights & BlackShort)) return BlackShortCastle;
            if (to == C8 && (rights & BlackLong)) return BlackLongCastle;
        }
    }

    const u8 piece = pos.board[from];
    const bool occupied = pos.board[to] != Empty;
    if (piece == Empty || piece == WPawn || piece == BPawn) {
        const char c4 = t[4];
        if (c4 == '\0' || c4 == '\t' || c4 == ' ') {
            if (pos.enPassant != 0 && pos.enPassant == to) return MakeMoveWord(from, to, EnPassant);
        } else {
            const int promotion = PromotionKind(c4, occupied);
            return MakeMoveWord(from, to, promotion >= 0 ? promotion : Quiet);
        }
    }
    return MakeMoveWord(from, to, occupied ? Capture : Quiet);
}

}  // namespace

Move parseSanMove(const char* text) {
    // 1. Keep at most nine characters, 2. drop capture, check, annotation, '=' and '-' marks.
    char t[10];
    int n = 0;
    for (int i = 0; i < 9 && text[i] != '\0'; ++i) {
        switch (text[i]) {
            case 'x':
            case '+':
            case '#':
            case '!':
            case '?':
            case '=':
            case '-': break;
            default: t[n++] = text[i];
        }
    }
    t[n] = '\0';
    const int forward = pos.sideToMove == White ? 8 : -8;  // from the destination back to the pawn

    // 3. Dispatch on what is left.
    switch (n) {
        case 2: {
            if (std::strcmp(t, "00") == 0 || std::strcmp(t, "OO") == 0) return ShortCastle();
            if (!IsSquareText(t)) return 0;
            const int to = SquareOf(t[0], t[1]);
            int from = to + forward;
            if (from < 0 || from > 63) return 0;
            if (pos.board[from] != WPawn && pos.board[from] != BPawn) {
                from += forward;  // double push
                if (from < 0 || from > 63) return 0;
            }
            return MakeMoveWord(from, to, Quiet);
        }
        case 3: {
            if (std::strcmp(t, "000") == 0 || std::strcmp(t, "OOO") == 0) return LongCastle();
            if (IsPromotionLetter(t[2])) {
                if (!IsSquareText(t)) return 0;
                const int to = SquareOf(t[0], t[1]);
                const int from = to + forward;
                if (from < 0 || from > 63) return 0;
                return MakeMoveWord(from, to, PromotionKind(t[2], false));
            }
            if (!IsSquareText(t + 1)) return 0;
            return resolvePieceMove(t, SquareOf(t[1], t[2]), ~u64{0});
        }
        case 4: {
            if (IsPromotionLetter(t[3])) {
                if (!IsFileChar(t[0]) || !IsSquareText(t + 1)) return 0;
                const int to = SquareOf(t[1], t[2]);
                const bool fromLeft = t[0] < t[1];
                int from;
                if (pos.sideToMove == White)
                    from = fromLeft ? to + 7 : to + 9;
                else
                    from = fromLeft ? to - 9 : to - 7;
                if (from < 0 || from > 63) return 0;
                return MakeMoveWord(from, to, PromotionKind(t[3], pos.board[to] != Empty));
            }
            if (const Move move = parseCoordinateText(t)) return move;
            if (!IsSquareText(t + 2)) return 0;
            u64 allowed;
            if (IsFileChar(t[1]))
                allowed = FileSquares(t[1] - 'a');
            else if (IsRankChar(t[1]))
                allowed = RowSquares('8' - t[1]);
            else
                return 0;
            const char shortened[4] = {t[0], t[2], t[3], '\0'};
            return resolvePieceMove(shortened, SquareOf(t[2], t[3]), allowed);
        }
        case 5: {
            if (const Move move = parseCoordinateText(t + 1)) return move;
            return parseCoordinateText(t);
        }
        default: return 0;
    }
}

// Coordinate move text, the notation the interface and Zelmor exchange ("e2e4", "e7e8q",
// castling as the king's two squares). Parsing reads GamePosition, not the live board, so that
// the opponent's move is understood while a search or ponder search has moves made.
#include "movegen/movegen.h"

namespace {

char* WriteSquare(int square, char* out) {
    *out++ = static_cast<char>('a' + File(square));
    *out++ = static_cast<char>('8' - Row(square));
    return out;
}

bool IsFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool IsRankDigit(char c) { return c >= '1' && c <= '8'; }

}  // namespace

char* MoveToText(Move move, char* buffer) {
    char* out = buffer;
    const int kind = MoveKindOf(move);
    if (kind >= BlackCastleShort) {
        // Castling words are written from the kind alone.
        static constexpr const char* CastleText[4] = {"e8g8", "e1g1", "e8c8", "e1c1"};
        const char* text = CastleText[kind - BlackCastleShort];
        for (int i = 0; i < 4; ++i) *out++ = text[i];
    } else {
        out = WriteSquare(MoveFrom(move), out);
        out = WriteSquare(MoveTo(move), out);
        if (kind >= PromoQueen && kind <= CapPromoBishop) *out++ = "qnrb"[(kind - PromoQueen) & 3];
    }
    *out = '\0';
    return out;
}

Move ParseMove(const char* text) {
    // 1. Two squares as letter-digit pairs; the && chain never reads past a short text's NUL.
    if (!(IsFileLetter(text[0]) && IsRankDigit(text[1]) && IsFileLetter(text[2]) &&
          IsRankDigit(text[3])))
        return 0;
    const int from = SquareOf(text[0], text[1]);
    const int to = SquareOf(text[2], text[3]);
    const Move plain = MakeMoveWord(from, to, Quiet);

    // 3. Castling, judged by the game's rights alone (the piece on the from-square is not looked
    // at; the game-move check rejects a castling word without the king at home).
    const u16 rights = GamePosition.castleRights;
    if (rights != 0) {
        if (from == E8 && (rights & (BlackShort | BlackLong))) {
            if (to == C8 && (rights & BlackLong)) return MakeMoveWord(from, to, BlackCastleLong);
            if (to == G8 && (rights & BlackShort)) return MakeMoveWord(from, to, BlackCastleShort);
        }
        if (from == E1 && (rights & (WhiteShort | WhiteLong))) {
            if (to == C1 && (rights & WhiteLong)) return MakeMoveWord(from, to, WhiteCastleLong);
            if (to == G1 && (rights & WhiteShort)) return MakeMoveWord(from, to, WhiteCastleShort);
        }
    }

    const u8 piece = GamePosition.board[from];
    const bool targetOccupied = GamePosition.board[to] != Empty;
    // 4. A pawn (or an empty square, left for the validity check to refuse).
    if (piece == Empty || piece == WPawn || piece == BPawn) {
        const char suffix = text[4];
        if (suffix == '\0') {
            if (GamePosition.enPassant != 0 && GamePosition.enPassant == to)
                return MakeMoveWord(from, to, EnPassant);
            return MakeMoveWord(from, to, targetOccupied ? Capture : Quiet);
        }
        int promotion;
        switch (suffix) {
            // Capital letters are taken as well: some interfaces and users write "e7e8Q".
            case 'q':
            case 'Q': promotion = 0; break;
            case 'n':
            case 'N': promotion = 1; break;
            case 'r':
            case 'R': promotion = 2; break;
            case 'b':
            case 'B': promotion = 3; break;
            default: return plain;
        }
        return MakeMoveWord(from, to, (targetOccupied ? CapPromoQueen : PromoQueen) + promotion);
    }
    // 5. Any other piece.
    return MakeMoveWord(from, to, targetOccupied ? Capture : Quiet);
}

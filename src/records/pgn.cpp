// PGN reader: one game at a time from a byte stream into a GameRecord, every move replayed and
// checked on the live position, which is back at the initial position when a game is done.
// Only the Result tag matters; a FEN or Variant tag only marks a game Zelmor cannot replay.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/log.h"
#include "board/board.h"
#include "movegen/movegen.h"
#include "records/records.h"

namespace {

constexpr std::size_t StreamBufferSize = std::size_t{1} << 20;
constexpr int TagLineLimit = 510;
constexpr int TokenLimit = 10;

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One make/unmake snapshot per stored ply, so that a game can be taken back at its end.
UndoRecord GameUndo[MaxGamePlies + 1];

void TakeBack(const GameRecord& game, int plies) {
    for (int i = plies; i >= 1; --i) UnmakeMove(game.moves[i], GameUndo[i]);
}

// The value of a tag line `Name "value"`, without the quotes.
std::string TagValue(const char* line, int length) {
    const char* open = static_cast<const char*>(std::memchr(line, '"', length));
    if (open == nullptr) return {};
    const char* stop = line + length;
    const char* close = static_cast<const char*>(std::memchr(open + 1, '"', stop - open - 1));
    return std::string(open + 1, close ? close : stop);
}

bool TagNameIs(const char* line, int length, const char* name) {
    const int n = static_cast<int>(std::strlen(name));
    return length > n && std::memcmp(line, name, n) == 0 && (IsSpace(line[n]) || line[n] == '"');
}

// A FEN tag away from the initial position, or a variant other than chess, cannot be replayed
// from the initial position: its moves would give wrong positions or stop the whole conversion.
bool MarksNonStandardGame(const char* line, int length) {
    if (TagNameIs(line, length, "FEN")) {
        std::string value = TagValue(line, length);
        std::string fields;
        int count = 0;
        for (std::size_t i = 0; i < value.size() && count < 4;) {
            while (i < value.size() && IsSpace(value[i])) ++i;
            const std::size_t start = i;
            while (i < value.size() && !IsSpace(value[i])) ++i;
            if (i == start) break;
            if (count++ > 0) fields += ' ';
            fields.append(value, start, i - start);
        }
        return fields != StartFen;
    }
    if (TagNameIs(line, length, "Variant")) {
        std::string value = TagValue(line, length);
        for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return !(value.empty() || value == "standard" || value == "normal" || value == "chess");
    }
    return false;
}

// Skips a '(' variation or '{' comment whose opening character was just read; nested pairs
// count, and the end of input ends it too.
void SkipNested(PgnStream& in, int open, int close) {
    int depth = 1;
    while (depth > 0) {
        const int c = in.Get();
        if (c == PgnStream::End) return;
        if (c == open)
            ++depth;
        else if (c == close)
            --depth;
    }
}

void SkipRestOfLine(PgnStream& in) {
    for (int c = in.Get(); c != PgnStream::End && c != '\n'; c = in.Get()) {
    }
}

// Whether the generators offer the move in the live position. Generating costs most of a
// conversion, so the common moves are answered without it: outside check, every pseudo-legal
// move is generated except castling, king captures (dropped when the victim is defended), pawn
// moves onto the last rank without a promotion, and en-passant captures from afar; those, and
// all moves in check, are looked up in the generated list.
bool IsGeneratedMove(Move move) {
    CheckInfo checkInfo{};
    FindCheckers(checkInfo);
    const int side = pos.sideToMove;
    if (checkInfo.checkers == 0 && !IsCastling(move) && IsMoveValid(move)) {
        const int from = MoveFrom(move);
        const int to = MoveTo(move);
        const int kind = MoveKindOf(move);
        const u8 piece = pos.board[from];
        const bool pawn = piece == WPawn || piece == BPawn;
        const bool king = piece == WKing || piece == BKing;
        const bool lastRankPush = pawn && kind <= Capture && (Row(to) == 0 || Row(to) == 7);
        const bool farEnPassant =
            kind == EnPassant && (PawnAttacks[side][from] & (u64{1} << (63 - to))) == 0;
        if (!(king && kind == Capture) && !lastRankPush && !farEnPassant) return true;
    }
    // Twice the generators' bound: a corrupted position must not run past the list.
    ScoredMove list[2 * MaxGeneratedMoves];
    ScoredMove* end = GenerateMoves(list, checkInfo);
    for (ScoredMove* m = list; m != end; ++m) {
        if (m->move == move) return true;
    }
    return false;
}

// After a '0' just read: whether "-0" follows, making it castling written with zeros. Nothing
// is consumed.
bool WritesCastlingWithZeros(PgnStream& in, int c) {
    if (c != '0') return false;
    in.Reserve(2);
    const std::size_t at = in.Offset();
    const bool castling = in.Get() == '-' && in.Get() == '0';
    in.Rewind(at);
    return castling;
}

}  // namespace

bool isLegalGameMove(Move move) { return IsGeneratedMove(move) && KeepsKingSafe(move); }

// ---------------------------------------------------------------------------------------------
// PgnStream

PgnStream::PgnStream(std::FILE* file) : file_(file), buffer_(StreamBufferSize) {
    // One character of history always stands before the next one: Unget and the line-start
    // test need it, and a newline makes the first line of the input a line start.
    buffer_[0] = '\n';
    next_ = end_ = 1;
    SkipByteOrderMark();
}

PgnStream::PgnStream(std::string text) : file_(nullptr) {
    buffer_.reserve(text.size() + 1);
    buffer_.push_back('\n');
    buffer_.insert(buffer_.end(), text.begin(), text.end());
    next_ = 1;
    end_ = buffer_.size();
    SkipByteOrderMark();
}

// Editors on Windows often start a UTF-8 file with a byte-order mark; it is not PGN text, and
// left in place it would hide the first tag section.
void PgnStream::SkipByteOrderMark() {
    Reserve(3);
    if (end_ - next_ >= 3 && std::memcmp(buffer_.data() + next_, "\xEF\xBB\xBF", 3) == 0)
        next_ += 3;
    atEnd_ = false;
}

bool PgnStream::Fill(std::size_t wanted) {
    if (file_ != nullptr) {
        // Keep the one character of history, move what is unread behind it, then read on.
        const std::size_t keep = next_ - 1;
        if (keep > 0) {
            std::memmove(buffer_.data(), buffer_.data() + keep, end_ - keep);
            next_ -= keep;
            end_ -= keep;
        }
        while (end_ - next_ < wanted && end_ < buffer_.size()) {
            const std::size_t got =
                std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            if (got == 0) {
                file_ = nullptr;  // end of file or read error: nothing more will come
                break;
            }
            end_ += got;
        }
    }
    if (next_ < end_) return true;
    atEnd_ = true;
    return false;
}

void PgnStream::SkipWhitespace() {
    for (int c = Peek(); c != End && IsSpace(c); c = Peek()) ++next_;
}

void PgnStream::SkipSeparators() {
    for (;;) {
        SkipWhitespace();
        const int c = Peek();
        if (c == ';') {
            SkipRestOfLine(*this);
        } else if (c == '{') {
            // Real collections put remarks such as "{Black loses on time}" after the result.
            Get();
            SkipNested(*this, '{', '}');
        } else {
            return;
        }
    }
}

bool PgnStream::AtLineStart() const {
    const char previous = buffer_[next_ - 1];
    return previous == '\n' || previous == '\r';
}

void PgnStream::SkipToNextTagSection() {
    for (int c = Peek(); c != End; c = Peek()) {
        if (c == '[' && AtLineStart()) return;
        ++next_;
    }
}

// ---------------------------------------------------------------------------------------------
// Tags and movetext

bool readPgnTags(PgnStream& in, GameRecord& game) {
    // 1. No result yet.
    game.resultText[0] = '\0';
    game.resultCode = '?';
    game.nonStandard = false;

    // 2. One tag per line; the rest of an over-long line is passed over.
    in.SkipSeparators();
    int c = in.Get();
    while (c == '[') {
        in.SkipWhitespace();
        char line[TagLineLimit + 1];
        int length = 0;
        for (c = in.Get(); c != PgnStream::End && c != '\n'; c = in.Get()) {
            if (length < TagLineLimit) line[length++] = static_cast<char>(c);
        }
        line[length] = '\0';

        if (length >= 6 && std::memcmp(line, "Result", 6) == 0) {
            int i = 6;
            while (i < length && line[i] == ' ') ++i;
            if (i < length) ++i;  // the opening quotation mark
            const char* value = line + i;
            const int left = length - i;
            auto startsWith = [&](const char* text) {
                const int n = static_cast<int>(std::strlen(text));
                return left >= n && std::memcmp(value, text, n) == 0;
            };
            const char* text;
            if (startsWith("1-0"))
                text = "1-0", game.resultCode = 'W';
            else if (startsWith("0-1"))
                text = "0-1", game.resultCode = 'B';
            else if (startsWith("1/2-1/2"))
                text = "1/2-1/2", game.resultCode = 'D';
            else if (startsWith("*"))
                text = "*", game.resultCode = '*';
            else
                throw RecordError("Result Error 1");
            std::strcpy(game.resultText, text);
        } else if (MarksNonStandardGame(line, length)) {
            game.nonStandard = true;
        }
        in.SkipSeparators();
        c = in.Get();
    }

    // 3. The first character after the tags belongs to the movetext.
    if (c != PgnStream::End) in.Unget();

    // 4. End of input, or a game that must have said how it ended.
    if (in.AtEnd()) return false;
    if (game.resultCode == '?') throw RecordError("Result Error 2");
    return true;
}

Move readSanToken(PgnStream& in, GameRecord& game) {
    int length = 0;
    while (length < TokenLimit) {
        const int c = in.Peek();
        if (c == PgnStream::End || c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '{')
            break;
        game.token[length++] = static_cast<char>(c);
        in.Get();
    }
    game.token[length] = '\0';
    return parseSanMove(game.token);
}

u16 readPgnGame(PgnStream& in, GameRecord& game) {
    // 1. Tags.
    game.moves[0] = 0;
    int p = 1;
    game.token[0] = '\0';
    if (!readPgnTags(in, game)) return 0;
    if (game.nonStandard) {
        debugLog.Line("FEN/Variant game skipped: not chess from the initial position");
        in.SkipToNextTagSection();
        return 0;
    }

    // 2. Movetext, up to the result, a '*', or the end of input.
    bool ended = false;
    while (!ended && !in.AtEnd()) {
        in.SkipWhitespace();
        const int c = in.Get();
        switch (c) {
            case PgnStream::End: ended = true; break;
            case '(': SkipNested(in, '(', ')'); break;
            case '{': SkipNested(in, '{', '}'); break;
            case ';': SkipRestOfLine(in); break;
            case '*':
                if (game.resultCode != '*') {
                    TakeBack(game, p - 1);
                    throw RecordError("Result * error");
                }
                ended = true;
                break;
            case '.':
            case '$':
            case '\t':
            case '\n': break;
            default:
                // Many files write castling with zeros: "0-0" and "0-0-0" (suffixes and all) are
                // moves, not a move number followed by the rest; "0-1" stays a result.
                if (c >= '0' && c <= '9' && !WritesCastlingWithZeros(in, c)) {
                    // A result token starts like the tag's result; other digits are move numbers.
                    if (c == game.resultText[0] && in.Peek() == game.resultText[1]) {
                        for (int i = 1; game.resultText[i] != '\0'; ++i) {
                            if (in.Get() != static_cast<unsigned char>(game.resultText[i])) {
                                TakeBack(game, p - 1);
                                throw RecordError("wrong end result 1");
                            }
                        }
                        ended = true;
                    }
                    break;
                }

                // 3. A move token. A '[' opening a line is the next game's tag section: the
                // result token is missing, and the game is given up there, tags kept.
                in.Unget();
                const bool nextTags = c == '[' && in.AtLineStart();
                in.Reserve(TokenLimit + 1);
                const std::size_t tokenStart = in.Offset();
                const Move move = readSanToken(in, game);
                // Past the 1023 plies a record holds, the moves are read but not replayed.
                if (p > MaxGamePlies && !nextTags) break;
                if (move == 0 || nextTags) {
                    debugLog.Line((std::string(game.token) + "ERROR").c_str());
                    std::printf("move: %s, plyNo:%d\n", game.token, p);
                    TakeBack(game, p - 1);
                    // Resume at the next game rather than read this movetext's rest as one.
                    if (nextTags)
                        in.Rewind(tokenStart);
                    else
                        in.SkipToNextTagSection();
                    return 0;
                }

                const int mover = pos.sideToMove;
                if (!IsGeneratedMove(move)) {
                    PrintBoard(pos.board);
                    std::printf("move: %s, plyNo:%d\n", game.token, p);
                    debugLog.Line((std::string(game.token) + "MOVE NOT LEGAL 1").c_str());
                    TakeBack(game, p - 1);
                    throw RecordError("MOVE NOT LEGAL 1");
                }
                SaveSnapshot(GameUndo[p]);
                MakeMove(move, GameUndo[p]);
                if (LeavesKingAttacked(move, mover)) {
                    PrintBoard(pos.board);
                    std::printf("move: %s, plyNo:%d\n", game.token, p);
                    UnmakeMove(move, GameUndo[p]);
                    TakeBack(game, p - 1);
                    throw RecordError("MOVE NOT LEGAL 2 - check revealed");
                }
                game.moves[p++] = move;
                break;
        }
    }

    // 4. End of the movetext.
    if (p == 1) {
        in.SkipWhitespace();
        return 0;
    }
    TakeBack(game, p - 1);
    u16 result;
    if (std::strcmp(game.resultText, "1-0") == 0)
        result = WhiteWins;
    else if (std::strcmp(game.resultText, "0-1") == 0)
        result = BlackWins;
    else if (std::strcmp(game.resultText, "1/2-1/2") == 0)
        result = DrawnGame;
    else if (std::strcmp(game.resultText, "*") == 0)
        result = 0;
    else
        throw RecordError("wrong end result 2");
    game.moves[0] = static_cast<u16>(result + (p - 1));
    return result;
}

// Game records: the PGN reader, binary game files, position lists and the five
// converters between them ("pgn2pos", "pgn2game", "pgnlist2game", "game2pgn", "game2pos").
// Everything replays games on the one live position, starting from the initial position; the
// converters set it up themselves, after InitEngineTables has run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/types.h"

// ---------------------------------------------------------------------------------------------
// Game record (one per conversion)

inline constexpr int MaxGamePlies = 1023;  // a header word counts at most this many moves

// Result bits of a header word (bits 14-15); bits 0-13 count the plies.
inline constexpr u16 WhiteWins = 0x8000;
inline constexpr u16 BlackWins = 0x4000;
inline constexpr u16 DrawnGame = 0xC000;
constexpr int GamePlies(u16 header) { return header & 0x3FFF; }
constexpr u16 GameResultBits(u16 header) { return header & 0xC000; }

struct GameRecord {
    char token[11];      // the movetext token being read, at most 10 characters
    char resultText[8];  // "1-0", "0-1", "1/2-1/2", "*" or empty
    char resultCode;     // 'W', 'B', 'D', '*', or '?' when no Result tag was seen
    bool nonStandard;    // a FEN or Variant tag says the game is not chess from the start position
    u16 moves[MaxGamePlies + 1];  // [0] the header word, [1..n] the moves in playing order
};

// A failure that ends a conversion; what() is the fixed message the converter prints.
struct RecordError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// PGN text input: a buffered byte reader with stream-like end semantics (the end is noticed when
// a read or a look-ahead finds no more characters). Reads any bytes, NULs included.

class PgnStream {
public:
    explicit PgnStream(std::FILE* file);   // not owned
    explicit PgnStream(std::string text);  // in-memory text, for tools and tests
    PgnStream(const PgnStream&) = delete;
    PgnStream& operator=(const PgnStream&) = delete;

    static constexpr int End = -1;

    int Get() {
        if (next_ == end_ && !Fill(1)) return End;
        return static_cast<unsigned char>(buffer_[next_++]);
    }
    int Peek() {
        if (next_ == end_ && !Fill(1)) return End;
        return static_cast<unsigned char>(buffer_[next_]);
    }
    // Puts back the character just read by Get.
    void Unget() { --next_; }
    void SkipWhitespace();
    // Skips white space, ';' comments that run to the line end and '{' comments.
    void SkipSeparators();
    // After an abandoned movetext: skips to the next '[' that starts a line.
    void SkipToNextTagSection();
    bool AtEnd() const { return atEnd_; }
    bool AtLineStart() const;

    // Makes `count` characters (fewer at the end of input) readable without refilling, so that
    // a reader can go back to a remembered offset among them.
    void Reserve(std::size_t count) {
        if (end_ - next_ < count) Fill(count);
    }
    std::size_t Offset() const { return next_; }
    void Rewind(std::size_t offset) { next_ = offset; }

private:
    bool Fill(std::size_t wanted);
    void SkipByteOrderMark();

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
};

// Reads the tag section; false at the end of input. Only the Result tag is kept, and the FEN and
// Variant tags are looked at to recognise games that do not start from the initial position.
bool readPgnTags(PgnStream& in, GameRecord& game);
// Reads one movetext token into game.token and parses it against the live position.
Move readSanToken(PgnStream& in, GameRecord& game);
// True when the move is generated for the live position and does not leave the mover's king
// attacked (it is made and taken back to find out).
bool isLegalGameMove(Move move);
// Reads one game, replaying it on the live position (which must be the initial position and is
// again on return). Returns the result bits of a decided game with at least one move, else 0.
// Throws RecordError for malformed games.
u16 readPgnGame(PgnStream& in, GameRecord& game);

// ---------------------------------------------------------------------------------------------
// Game files: games of a header word and its moves, 16-bit little-endian, no file header.

class GameFile {
public:
    GameFile() = default;
    ~GameFile();
    GameFile(const GameFile&) = delete;
    GameFile& operator=(const GameFile&) = delete;

    bool Open(const char* name, const char* mode);
    std::FILE* file = nullptr;
};

// Appends the header word and its moves.
bool writeGame(GameFile& out, const GameRecord& game);
// Reads the next game; false at the end of the file. Throws "WRONG RESULT" for a header word
// without a result, "Game file corrupted!" for a game cut short or over 1023 plies.
bool readGame(GameFile& in, GameRecord& game);
// Number of complete games from the start, then back at the start; -k when game k is corrupt.
long countGames(GameFile& in);

// The games of one game file, hashed once, so that each duplicate test costs one look-up.
class GameIndex {
public:
    // Indexes every game of the file from its start; false (and the 1-based number of the bad
    // game) when the file is corrupt, so that nothing is appended behind a damaged game.
    bool Build(GameFile& games, long& corruptGame);
    // True when a game with the same header word and moves is in the file.
    bool isDuplicateGame(GameFile& games, const GameRecord& game);
    // Records a game just appended at byte offset `offset`.
    void Add(const GameRecord& game, u64 offset);

private:
    struct Slot {
        u64 hash;
        u64 offset;  // + 1, so that 0 marks an empty slot
    };
    void Insert(u64 hash, u64 offset);
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// PGN text of one game: a Result tag line and the moves in coordinate text.
void writePgnGame(std::FILE* out, const GameRecord& game);
// Position lines before moves 1 .. min(n, 64), each handed to `sink` with its 64-bit key;
// the live position is back at its start on return. The moves must be legal.
using PositionSink = void (*)(void* context, u64 key, const char* line, std::size_t length);
void writePositions(const GameRecord& game, PositionSink sink, void* context);
// True when moves 1..plies of the game are legal in turn from the live position; otherwise
// badPly is the first illegal one. The live position is unchanged on return.
bool gameReplaysLegally(const GameRecord& game, int plies, int& badPly);

// ---------------------------------------------------------------------------------------------
// Converter commands (called by the command loop with the file-name tokens)

void Pgn2PosCommand(const char* pgnFile);
void Pgn2GameCommand(const char* pgnFile, const char* gameFile);
void PgnList2GameCommand(const char* listFile, const char* gameFile);
void Game2PgnCommand(const char* gameFile, const char* pgnFile);
void Game2PosCommand(const char* gameFile, const char* posFile);

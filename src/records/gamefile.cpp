// Game files and what is written from a game: the binary game records (a header word and the
// moves, 16-bit little-endian), their duplicate index, minimal PGN text and position lines.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "movegen/movegen.h"
#include "records/records.h"

namespace {

constexpr int PositionsPerGame = 64;  // the book and database only look at the opening

u16 ReadWord(const unsigned char* bytes) { return static_cast<u16>(bytes[0] | (bytes[1] << 8)); }

// Reads n words (little-endian) into words; false when the file ends first.
bool ReadWords(std::FILE* file, u16* words, int n) {
    unsigned char bytes[2 * (MaxGamePlies + 1)];
    if (std::fread(bytes, 2, n, file) != static_cast<std::size_t>(n)) return false;
    for (int i = 0; i < n; ++i) words[i] = ReadWord(bytes + 2 * i);
    return true;
}

enum class Next { Game, End, Corrupt, NoResult };

// The next game's words: [0] the header, [1..n] the moves.
Next ReadGameWords(std::FILE* file, u16* words) {
    unsigned char bytes[2];
    const std::size_t got = std::fread(bytes, 1, 2, file);
    if (got == 0) return Next::End;
    if (got == 1) return Next::Corrupt;  // an odd byte at the end
    words[0] = ReadWord(bytes);
    if (GameResultBits(words[0]) == 0) return Next::NoResult;
    const int n = GamePlies(words[0]);
    if (n > MaxGamePlies) return Next::Corrupt;
    return ReadWords(file, words + 1, n) ? Next::Game : Next::Corrupt;
}

void SetResult(GameRecord& game) {
    switch (GameResultBits(game.moves[0])) {
        case BlackWins: game.resultCode = 'B', std::strcpy(game.resultText, "0-1"); break;
        case WhiteWins: game.resultCode = 'W', std::strcpy(game.resultText, "1-0"); break;
        case DrawnGame: game.resultCode = 'D', std::strcpy(game.resultText, "1/2-1/2"); break;
        default: game.resultCode = '*', std::strcpy(game.resultText, "*"); break;
    }
}

char ResultCode(u16 header) {
    switch (GameResultBits(header)) {
        case WhiteWins: return 'W';
        case BlackWins: return 'B';
        default: return 'D';
    }
}

UndoRecord PositionUndo[PositionsPerGame + 1];

// The duplicate index's key: header word and moves mixed word by word (never stored on disk).
u64 GameHash(const u16* words, int count) {
    u64 h = 0x9E3779B97F4A7C15ull ^ static_cast<u64>(count);
    for (int i = 0; i < count; ++i) {
        h = (h ^ words[i]) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    return h;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Game files

GameFile::~GameFile() {
    if (file) std::fclose(file);
}

bool GameFile::Open(const char* name, const char* mode) {
    if (file) std::fclose(file);
    file = std::fopen(name, mode);
    return file != nullptr;
}

bool writeGame(GameFile& out, const GameRecord& game) {
    const int n = GamePlies(game.moves[0]);
    unsigned char bytes[2 * (MaxGamePlies + 1)];
    for (int i = 0; i <= n; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(game.moves[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(game.moves[i] >> 8);
    }
    const std::size_t size = 2 * static_cast<std::size_t>(n + 1);
    return std::fwrite(bytes, 1, size, out.file) == size;
}

bool readGame(GameFile& in, GameRecord& game) {
    switch (ReadGameWords(in.file, game.moves)) {
        case Next::End: return false;
        case Next::NoResult: throw RecordError("WRONG RESULT");
        case Next::Corrupt: throw RecordError("Game file corrupted!");
        case Next::Game: break;
    }
    SetResult(game);
    return true;
}

long countGames(GameFile& in) {
    std::rewind(in.file);
    u16 words[MaxGamePlies + 1];
    long count = 0;
    for (;;) {
        const Next next = ReadGameWords(in.file, words);
        if (next == Next::End) break;
        if (next != Next::Game) {
            count = -(count + 1);
            break;
        }
        ++count;
    }
    std::rewind(in.file);
    return count;
}

// ---------------------------------------------------------------------------------------------
// Duplicate index: open addressing on a 64-bit hash of the header word and moves; a hit is
// confirmed by reading that game back, so a hash collision can never drop a new game.

void GameIndex::Insert(u64 hash, u64 offset) {
    if (2 * (count_ + 1) > slots_.size()) {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{0, 0});
        count_ = 0;
        for (const Slot& slot : old) {
            if (slot.offset != 0) Insert(slot.hash, slot.offset - 1);
        }
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].offset != 0) i = (i + 1) & mask;
    slots_[i] = Slot{hash, offset + 1};
    ++count_;
}

bool GameIndex::Build(GameFile& games, long& corruptGame) {
    slots_.clear();
    count_ = 0;
    std::rewind(games.file);
    u16 words[MaxGamePlies + 1];
    u64 offset = 0;
    for (long number = 1;; ++number) {
        const Next next = ReadGameWords(games.file, words);
        if (next == Next::End) break;
        if (next != Next::Game) {
            corruptGame = number;
            return false;
        }
        const int count = GamePlies(words[0]) + 1;
        Insert(GameHash(words, count), offset);
        offset += 2 * static_cast<u64>(count);
    }
    corruptGame = 0;
    return true;
}

void GameIndex::Add(const GameRecord& game, u64 offset) {
    Insert(GameHash(game.moves, GamePlies(game.moves[0]) + 1), offset);
}

bool GameIndex::isDuplicateGame(GameFile& games, const GameRecord& game) {
    if (slots_.empty()) return false;
    const int count = GamePlies(game.moves[0]) + 1;
    const u64 hash = GameHash(game.moves, count);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask; slots_[i].offset != 0; i = (i + 1) & mask) {
        if (slots_[i].hash != hash) continue;
        u16 stored[MaxGamePlies + 1];
        if (std::fseek(games.file, static_cast<long>(slots_[i].offset - 1), SEEK_SET) != 0)
            continue;
        if (ReadGameWords(games.file, stored) != Next::Game) continue;
        if (stored[0] == game.moves[0] &&
            std::memcmp(stored + 1, game.moves + 1, 2 * static_cast<std::size_t>(count - 1)) == 0)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Game text

void writePgnGame(std::FILE* out, const GameRecord& game) {
    std::fprintf(out, "[Result \"%s\"]\n", game.resultText);
    const int n = GamePlies(game.moves[0]);
    for (int a = 1; a <= n; ++a) {
        if (a & 1) std::fprintf(out, "%d. ", (a + 1) / 2);
        char text[8];
        char* end = MoveToText(game.moves[a], text);
        *end++ = ' ';
        std::fwrite(text, 1, end - text, out);
    }
    std::fprintf(out, "%s\n", game.resultText);
}

void writePositions(const GameRecord& game, PositionSink sink, void* context) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    const int n = GamePlies(game.moves[0]);
    const int last = n < PositionsPerGame ? n : PositionsPerGame;
    const char code = ResultCode(game.moves[0]);
    char line[160];
    for (int i = 1; i <= last; ++i) {
        // key (16 hex digits), FEN without counters, result code, ply number
        const u64 key = pos.key;
        for (int d = 0; d < 16; ++d) line[d] = Hex[(key >> (60 - 4 * d)) & 15];
        line[16] = '\t';
        char* end = WriteFen(line + 17);
        *end++ = '\t';
        *end++ = code;
        *end++ = '\t';
        if (i >= 10) *end++ = static_cast<char>('0' + i / 10);
        *end++ = static_cast<char>('0' + i % 10);
        *end++ = '\n';
        sink(context, key, line, static_cast<std::size_t>(end - line));
        SaveSnapshot(PositionUndo[i]);
        MakeMove(game.moves[i], PositionUndo[i]);
    }
    for (int i = last; i >= 1; --i) UnmakeMove(game.moves[i], PositionUndo[i]);
}

bool gameReplaysLegally(const GameRecord& game, int plies, int& badPly) {
    static UndoRecord undo[MaxGamePlies + 1];
    int made = 0;
    badPly = 0;
    for (int i = 1; i <= plies && i <= MaxGamePlies; ++i) {
        if (!isLegalGameMove(game.moves[i])) {
            badPly = i;
            break;
        }
        SaveSnapshot(undo[i]);
        MakeMove(game.moves[i], undo[i]);
        made = i;
    }
    for (int i = made; i >= 1; --i) UnmakeMove(game.moves[i], undo[i]);
    return badPly == 0;
}

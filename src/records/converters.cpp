// The five converter commands between PGN collections, game files and position lists. They
// replay games on the live position from the initial position and report on standard output;
// the end of each PGN file (or the error that ended it) also goes to the debug log.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "board/board.h"
#include "engine/engine.h"
#include "files/files.h"
#include "records/records.h"

namespace {

constexpr std::size_t OutputBufferSize = std::size_t{1} << 16;

// Closes a C file on every way out of a command.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const char* name, const char* mode) {
        file = std::fopen(name, mode);
        if (file) std::setvbuf(file, nullptr, _IOFBF, OutputBufferSize);
        return file != nullptr;
    }
    // False when anything written was lost.
    bool Close() {
        if (!file) return true;
        const bool ok = std::ferror(file) == 0;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return ok && closed;
    }
    std::FILE* file = nullptr;
};

void LogLine(const std::string& text) { debugLog.Line(text.c_str()); }

void ReportPgnError(const RecordError& error, const char* pgnFile, int converted, int skipped) {
    std::printf("converted: %d games. (skipped: %d)\n", converted, skipped);
    std::printf("ERROR: %s file: %s\n", error.what(), pgnFile);
    LogLine("converted: " + std::to_string(converted) + "\tskipped: " + std::to_string(skipped));
    LogLine(std::string("ERROR: ") + error.what());
}

void ReportPgnFinished(const char* pgnFile, int converted, int skipped) {
    std::printf("converted: %d games. (skipped: %d)\n", converted, skipped);
    std::printf("file: %s \t\tfinished\n", pgnFile);
    LogLine(std::string("<<< OK:\t") + pgnFile + "\t>>>");
}

void WriteToPositionFiles(void* context, u64 key, const char* line, std::size_t length) {
    auto* files = static_cast<std::unique_ptr<ReplacementFile>*>(context);
    files[key >> 60]->Write(line, length);
}

void WriteToOneFile(void* context, u64, const char* line, std::size_t length) {
    std::fwrite(line, 1, length, static_cast<std::FILE*>(context));
}

// The game file that pgn2game and pgnlist2game append to, with its index of games.
struct GameOutput {
    const char* name;
    GameFile file;
    GameIndex index;
    u64 end = 0;  // byte offset of the next game appended
    int total = 0;
};

// Opens the game file and indexes the games it already holds. A damaged file is left alone:
// games appended behind a cut-short game would be read as garbage.
bool OpenGameOutput(GameOutput& out) {
    if (!out.file.Open(out.name, "a+b")) {
        std::printf("Cannot create GAME output file: '%s'\n", out.name);
        return false;
    }
    long corruptGame = 0;
    if (!out.index.Build(out.file, corruptGame)) {
        std::printf("Cannot append to GAME output file: '%s' (corrupted at game: %ld)\n", out.name,
                    corruptGame);
        return false;
    }
    std::fseek(out.file.file, 0, SEEK_END);
    out.end = static_cast<u64>(std::ftell(out.file.file));
    return true;
}

// The pgn2game steps for one PGN file; false when an error ended it (and so the command).
bool ConvertPgnToGames(const char* pgnFile, GameOutput& out, bool openOutput) {
    std::FILE* input = std::fopen(pgnFile, "rb");
    if (input == nullptr) {
        std::printf("Cannot open PGN input file: '%s'\n", pgnFile);
        return true;
    }
    PgnStream in(input);
    if (openOutput && !OpenGameOutput(out)) {
        std::fclose(input);
        return false;
    }
    SetBoard(StartFen);
    int converted = 0;
    int skipped = 0;
    static GameRecord game;
    bool ok = true;
    try {
        in.SkipSeparators();
        while (!in.AtEnd()) {
            const u16 result = readPgnGame(in, game);
            if (result != 0 && !out.index.isDuplicateGame(out.file, game)) {
                std::fseek(out.file.file, 0, SEEK_END);
                // Each game reaches the file before the next is read, so that a failed write
                // can be cut back to the end of the last whole game.
                if (!writeGame(out.file, game) || std::fflush(out.file.file) != 0) {
                    const std::string reason = SystemReason();
                    const bool cut = CutBack(out.file.file, out.end);
                    std::printf("Cannot write GAME output file: '%s': %s; %s\n", out.name,
                                reason.c_str(),
                                cut ? "it ends on its last whole game"
                                    : "it could not be cut back to its last whole game");
                    ReportPgnError(RecordError("GAME FILE NOT WRITTEN"), pgnFile, converted,
                                   skipped);
                    ok = false;
                    break;
                }
                out.index.Add(game, out.end);
                out.end += 2 * static_cast<u64>(GamePlies(game.moves[0]) + 1);
                ++out.total;
                ++converted;
            } else {
                ++skipped;
                std::printf("Warning: game %d (skipped) file: %s\n", converted + skipped, pgnFile);
            }
            in.SkipSeparators();
        }
    } catch (const RecordError& error) {
        ReportPgnError(error, pgnFile, converted, skipped);
        ok = false;
    }
    std::fclose(input);
    if (std::fflush(out.file.file) != 0 && ok) {
        std::printf("Cannot write GAME output file: '%s'\n", out.name);
        ok = false;
    }
    if (ok) ReportPgnFinished(pgnFile, converted, skipped);
    return ok;
}

bool StripLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return !line.empty();
}

// game2pgn and game2pos: the shared walk over a validated game file with its progress line.
template <typename WriteOne>
void ConvertGameFile(const char* gameFile, const char* outputFile, const char* createError,
                     const char* okText, bool setBoard, WriteOne writeOne) {
    GameFile in;
    if (!in.Open(gameFile, "rb")) {
        std::printf("Cannot open GAME input file: '%s'\n", gameFile);
        return;
    }
    OutputFile out;
    if (!out.Open(outputFile, "a")) {
        std::printf(createError, outputFile);
        return;
    }
    // A failed write takes back everything this command appended: the file ends as it did,
    // on a whole game, and the command can simply be run again.
    u64 startLength = 0;
    if (!FileLength(out.file, startLength)) {
        std::printf(createError, outputFile);
        return;
    }
    auto writeFailed = [&](long converted) {
        const std::string reason = SystemReason();
        const bool cut = CutBack(out.file, startLength);
        std::printf("ERROR: cannot write '%s': %s; %s\n", outputFile, reason.c_str(),
                    cut ? "nothing was added to it" : "it could not be cut back to its length");
        std::printf("converted: %ld games.\n", cut ? 0 : converted);
    };
    const long count = countGames(in);
    if (count < 0) {
        std::printf("Game file corrupted! (error on game: %ld)", -count);
        return;
    }
    std::printf("Converting %ld games [  0%%]...", count);
    if (setBoard) SetBoard(StartFen);

    static GameRecord game;
    long converted = 0;
    long lastPercent = 0;
    try {
        while (readGame(in, game)) {
            writeOne(out.file, game, converted + 1);
            if (std::ferror(out.file)) {
                writeFailed(converted);
                return;
            }
            ++converted;
            const long percent = converted * 100 / count;
            if (percent > lastPercent) {
                std::printf("\b\b\b\b\b\b\b\b%3ld%%]...", percent);
                lastPercent = percent;
            }
        }
    } catch (const RecordError& error) {
        std::printf("ERROR: %s\n", error.what());
        std::printf("converted: %ld games.\n", converted);
        return;
    }
    if (std::fflush(out.file) != 0 || std::ferror(out.file)) {
        writeFailed(converted);
        return;
    }
    if (!out.Close()) {
        std::printf("ERROR: cannot write '%s': %s\n", outputFile, SystemReason().c_str());
        std::printf("converted: %ld games.\n", converted);
        return;
    }
    std::printf("%s", okText);
    std::printf("converted: %ld games.\n", converted);
}

}  // namespace

void Pgn2PosCommand(const char* pgnFile) {
    // 1. Input, 2. the sixteen lists by the key's first hex digit, truncated.
    std::FILE* input = std::fopen(pgnFile, "rb");
    if (input == nullptr) {
        std::printf("Cannot open PGN input file: '%s'\n", pgnFile);
        return;
    }
    PgnStream in(input);
    // The new lists replace the old ones together once all sixteen are complete.
    std::unique_ptr<ReplacementFile> files[16];
    for (int i = 0; i < 16; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%X.pos", i);
        files[i] = std::make_unique<ReplacementFile>(name);
        if (!files[i]->Open()) {
            std::printf("Cannot create POS output file: '%s'\n", name);
            std::fclose(input);
            return;
        }
    }
    auto writeFailed = [&](const ReplacementFile& file) {
        std::printf("Cannot write POS output file: '%s': %s; the earlier lists are kept.\n",
                    file.Path().c_str(), file.Reason().c_str());
    };

    // 3. The initial position, 4. every game, 5. the report.
    SetBoard(StartFen);
    int converted = 0;
    int skipped = 0;
    static GameRecord game;
    bool readError = false;
    try {
        in.SkipSeparators();
        while (!in.AtEnd()) {
            if (readPgnGame(in, game) != 0) {
                writePositions(game, WriteToPositionFiles, files);
                for (const auto& file : files) {
                    if (file->Failed()) {
                        std::fclose(input);
                        writeFailed(*file);
                        return;
                    }
                }
                ++converted;
            } else {
                ++skipped;
                std::printf("Warning: game %d (skipped) file: %s\n", converted + skipped, pgnFile);
            }
            in.SkipSeparators();
        }
    } catch (const RecordError& error) {
        // The games before the error are kept, as they always were.
        ReportPgnError(error, pgnFile, converted, skipped);
        readError = true;
    }
    std::fclose(input);
    ReplacementFile* all[16];
    for (int i = 0; i < 16; ++i) all[i] = files[i].get();
    const ReplacementFile* failed = nullptr;
    if (!CommitTogether(all, 16, failed)) {
        writeFailed(*failed);
        return;
    }
    if (!readError) ReportPgnFinished(pgnFile, converted, skipped);
}

void Pgn2GameCommand(const char* pgnFile, const char* gameFile) {
    GameOutput out{gameFile, {}, {}, 0, 0};
    ConvertPgnToGames(pgnFile, out, true);
}

void PgnList2GameCommand(const char* listFile, const char* gameFile) {
    std::FILE* list = std::fopen(listFile, "r");
    if (list == nullptr) {
        std::printf("Cannot open PGN input file: '%s'\n", listFile);
        return;
    }
    GameOutput out{gameFile, {}, {}, 0, 0};
    if (!OpenGameOutput(out)) {
        std::fclose(list);
        return;
    }
    // One PGN file name a line; blank lines and Windows line ends are not part of a name.
    std::string line;
    bool ok = true;
    for (int c = std::fgetc(list); ok && c != EOF; c = std::fgetc(list)) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (StripLineEnd(line)) ok = ConvertPgnToGames(line.c_str(), out, false);
        line.clear();
    }
    if (ok && StripLineEnd(line)) ok = ConvertPgnToGames(line.c_str(), out, false);
    std::fclose(list);
    if (ok) std::printf("\nCONVERTED GAMES: %d\n", out.total);
}

void Game2PgnCommand(const char* gameFile, const char* pgnFile) {
    ConvertGameFile(gameFile, pgnFile, "Cannot create PGN output file: '%s'\n", "OK\n", false,
                    [](std::FILE* out, const GameRecord& game, long) { writePgnGame(out, game); });
}

void Game2PosCommand(const char* gameFile, const char* posFile) {
    ConvertGameFile(gameFile, posFile, "Cannot create DB output file: '%s'\n", "\tOK\n", true,
                    [](std::FILE* out, const GameRecord& game, long number) {
                        // A game file is trusted by nobody: each move is checked before it is made.
                        const int n = GamePlies(game.moves[0]);
                        int badPly = 0;
                        if (!gameReplaysLegally(game, n < 64 ? n : 64, badPly)) {
                            throw RecordError("Illegal move in game " + std::to_string(number) +
                                              " at ply " + std::to_string(badPly));
                        }
                        writePositions(game, WriteToOneFile, out);
                    });
}

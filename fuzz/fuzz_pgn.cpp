// The PGN reader, in memory the way the converters drive it, and then the converter commands
// themselves on the same text as a file: pgn2pos, pgn2game (twice: the second pass meets every
// game as a duplicate), and back with game2pgn and game2pos. A game file pgn2game wrote must
// read back whole, each game legal from the initial position.
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "records/records.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

void CountPositions(void* context, u64, const char*, std::size_t) {
    ++*static_cast<long*>(context);
}

// The live position must be the initial one before a game is read.
void BackToStart() {
    char fen[128];
    WriteFen(fen);
    if (std::string(fen) != std::string(StartFen)) SetBoard(StartFen);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);

    // 1. In memory.
    BackToStart();
    static GameRecord game;
    static std::FILE* sink = std::fopen("/dev/null", "w");
    long positions = 0;
    try {
        PgnStream in(text);
        in.SkipSeparators();
        while (!in.AtEnd()) {
            if (readPgnGame(in, game) != 0) {
                int badPly = 0;
                if (!gameReplaysLegally(game, GamePlies(game.moves[0]), badPly)) __builtin_trap();
                writePositions(game, CountPositions, &positions);
                writePgnGame(sink, game);
            }
            in.SkipSeparators();
        }
    } catch (const RecordError&) {
    }
    BackToStart();

    // 2. The converter commands on files.
    zelmor_fuzz::ClearScratch();
    zelmor_fuzz::WriteBytes("in.pgn", data, size);
    Pgn2PosCommand("in.pgn");
    Pgn2GameCommand("in.pgn", "out.games");
    Pgn2GameCommand("in.pgn", "out.games");
    {
        GameFile games;
        if (!games.Open("out.games", "rb")) __builtin_trap();
        if (countGames(games) < 0) __builtin_trap();
        BackToStart();
        try {
            while (readGame(games, game)) {
                int badPly = 0;
                if (!gameReplaysLegally(game, GamePlies(game.moves[0]), badPly)) __builtin_trap();
            }
        } catch (const RecordError&) {
            __builtin_trap();
        }
    }
    Game2PgnCommand("out.games", "back.pgn");
    Game2PosCommand("out.games", "back.pos");
    return 0;
}

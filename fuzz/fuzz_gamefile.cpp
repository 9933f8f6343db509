// Game files as the converters meet them: counted, read game by game, replayed, converted with
// game2pgn and game2pos, indexed for duplicates, and appended to by pgn2game (which must leave a
// damaged file alone).
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "records/records.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

constexpr const char* SmallPgn =
    "[Result \"1-0\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n\n"
    "[Result \"1/2-1/2\"]\n\n1. d4 d5 1/2-1/2\n";

void BackToStart() {
    char fen[128];
    WriteFen(fen);
    if (std::string(fen) != std::string(StartFen)) SetBoard(StartFen);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
    zelmor_fuzz::WriteBytes("small.pgn", SmallPgn, std::string(SmallPgn).size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    std::remove("in.games");
    std::remove("out.pgn");
    std::remove("out.pos");
    zelmor_fuzz::WriteBytes("in.games", data, size);

    // 1. Count, read, replay, index.
    BackToStart();
    static GameRecord game;
    long count = 0;
    {
        GameFile games;
        if (!games.Open("in.games", "rb")) __builtin_trap();
        count = countGames(games);
        try {
            while (readGame(games, game)) {
                int badPly = 0;
                gameReplaysLegally(game, GamePlies(game.moves[0]), badPly);
            }
        } catch (const RecordError&) {
        }
        GameIndex index;
        long corrupt = 0;
        std::fseek(games.file, 0, SEEK_SET);
        if (index.Build(games, corrupt)) {
            std::fseek(games.file, 0, SEEK_SET);
            try {
                while (readGame(games, game)) {
                    const long at = std::ftell(games.file);
                    if (!index.isDuplicateGame(games, game)) __builtin_trap();
                    std::fseek(games.file, at, SEEK_SET);
                }
            } catch (const RecordError&) {
                __builtin_trap();  // the index was built over the whole file
            }
        }
    }
    BackToStart();

    // 2. The converters.
    Game2PgnCommand("in.games", "out.pgn");
    Game2PosCommand("in.games", "out.pos");
    BackToStart();

    // 3. Appending: refused behind a damaged game, otherwise every game still reads back.
    Pgn2GameCommand("small.pgn", "in.games");
    {
        GameFile games;
        if (!games.Open("in.games", "rb")) __builtin_trap();
        const long after = countGames(games);
        if (count >= 0 && after < 0) __builtin_trap();
    }
    return 0;
}

// zelmor-book-walk: measures how far an opening book carries each side, through the engine's own
// book probe (getBookMove). Reads a PGN collection (file or "-" for standard input) for its
// overall score and its most frequent three-ply lines, loads the book pair of BOOKDIR as the main
// book, and prints:
//   - White's score over the collection's decided games;
//   - White's book moves from the start position and Black's book reply after eight first moves;
//   - whether Black has a book reply after each of the collection's 40 most frequent 3-ply lines;
//   - a self-play walk: GAMES games in which both sides play the book move the seeded choice
//     picks until the book has none (or ply 63 is played), with the median number of book moves
//     per side and the share of games whose first 10 plies another game shares.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "engine/engine.h"
#include "movegen/movegen.h"
#include "records/records.h"
#include "search/search.h"

namespace {

struct Made {
    Move move;
    UndoRecord undo;
};

std::string Text(Move move);

// The generated move of the live position written as `text`, 0 when there is none (ParseMove
// reads moves of the game position, which these walks do not keep).
Move LiveMove(const std::string& text) {
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove generated[MaxGeneratedMoves];
    const int side = pos.sideToMove;
    ScoredMove* end = checkInfo.checkers ? EvasionGenerators[side](generated, checkInfo)
                                         : MoveGenerators[side](generated);
    for (ScoredMove* entry = generated; entry != end; ++entry) {
        if (Text(entry->move) == text) return entry->move;
    }
    return 0;
}

// Plays coordinate moves from the live position; false if one is no move of it.
bool Play(const std::vector<std::string>& texts, std::vector<Made>& made) {
    for (const std::string& text : texts) {
        const Move move = LiveMove(text);
        if (move == 0) return false;
        made.push_back({move, {}});
        SaveSnapshot(made.back().undo);
        MakeMove(move, made.back().undo);
    }
    return true;
}

void TakeBack(std::vector<Made>& made) {
    while (!made.empty()) {
        UnmakeMove(made.back().move, made.back().undo);
        made.pop_back();
    }
}

std::string Text(Move move) {
    char buffer[8];
    MoveToText(move, buffer);
    return buffer;
}

std::string Join(const std::vector<std::string>& texts) {
    std::string line;
    for (const std::string& text : texts) line += (line.empty() ? "" : " ") + text;
    return line;
}

// The book move of the position after `line`, "" when there is none.
std::string ReplyAfter(const std::vector<std::string>& line) {
    std::vector<Made> made;
    std::string reply;
    if (Play(line, made)) {
        const Move move = getBookMove();
        if (move != 0) reply = Text(move);
    }
    TakeBack(made);
    return reply;
}

void Silent(ThinkingKind, int, int, int, u64, const char*) {}

// The engine's move in the live position by a search to a fixed depth, as a game's move would be
// searched but with a clock that never runs out: the same move on every run. The live position
// is set up again from its text, then the moves made so far are replayed by the caller.
Move SearchMove(u32 depth) {
    char fen[128];
    WriteFen(fen);
    SetBoard(fen);
    EngineState = Thinking;
    stopSearch = false;
    commandPending = false;
    searchStart = Now();
    timeForMove = 1 << 30;
    maxDepth = depth;
    firstPoll = UINT32_MAX;
    thinkingPrinter = Silent;
    const SearchResult result = SearchIterative();
    firstPoll = 16384;
    EngineState = Force;
    return result.move;
}

double Median(std::vector<int> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zelmor-book-walk BOOKDIR PGN|- [GAMES [FIRSTSEED [DEPTH]]]\n");
        return 2;
    }
    std::string bookDir = argv[1];
    if (bookDir.back() != '/') bookDir += '/';
    const int games = argc > 3 ? std::atoi(argv[3]) : 100;
    const u64 firstSeed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
    // 0: a game ends when the book has no move; else the search to this depth plays on.
    const u32 searchDepth = argc > 5 ? static_cast<u32>(std::atoi(argv[5])) : 0;

    InitEngineTables();
    if (!SetBoard(StartFen)) return 1;
    if (!mainBook.open(bookDir.c_str())) {
        std::fprintf(stderr, "zelmor-book-walk: %s", mainBook.errorText);
        return 1;
    }
    std::printf("book %s: bookbtm %llu positions, bookwtm %llu positions\n", bookDir.c_str(),
                static_cast<unsigned long long>(mainBook.books[0].recordCount),
                static_cast<unsigned long long>(mainBook.books[1].recordCount));

    // The collection: results and three-ply lines of the games the reader accepts.
    std::FILE* input = std::strcmp(argv[2], "-") == 0 ? stdin : std::fopen(argv[2], "rb");
    if (!input) {
        std::fprintf(stderr, "zelmor-book-walk: cannot open %s\n", argv[2]);
        return 1;
    }
    std::map<std::string, int> lines;
    long wins = 0, losses = 0, draws = 0;
    {
        PgnStream stream(input);
        static GameRecord game;
        while (!stream.AtEnd()) {
            u16 result = 0;
            try {
                result = readPgnGame(stream, game);
            } catch (const RecordError& error) {
                std::fprintf(stderr, "zelmor-book-walk: %s\n", error.what());
                return 1;
            }
            if (result == 0) continue;
            wins += result == WhiteWins;
            losses += result == BlackWins;
            draws += result == DrawnGame;
            if (GamePlies(game.moves[0]) >= 3) {
                lines[Text(game.moves[1]) + " " + Text(game.moves[2]) + " " +
                      Text(game.moves[3])]++;
            }
            stream.SkipWhitespace();
        }
    }
    if (input != stdin) std::fclose(input);
    const long total = wins + losses + draws;
    std::printf("collection: %ld games, +%ld =%ld -%ld, White's score %.4f\n", total, wins, draws,
                losses, total ? (wins + draws / 2.0) / static_cast<double>(total) : 0.0);

    // White's choices at the start: every seed that finds a new move, a few hundred tries.
    std::map<std::string, int> firstMoves;
    for (u64 seed = 1; seed <= 400; ++seed) {
        SeedBookChoice(seed);
        const Move move = getBookMove();
        if (move != 0) firstMoves[Text(move)]++;
    }
    std::printf("White's book moves at the start:");
    for (const auto& [text, count] : firstMoves) std::printf(" %s", text.c_str());
    std::printf("%s\n", firstMoves.empty() ? " none" : "");

    SeedBookChoice(firstSeed);
    int firstCovered = 0;
    const char* const firsts[] = {"e2e4", "d2d4", "g1f3", "c2c4", "g2g3", "b2b3", "f2f4", "b1c3"};
    std::printf("Black's book reply after the first move:\n");
    for (const char* first : firsts) {
        const std::string reply = ReplyAfter({first});
        firstCovered += !reply.empty();
        std::printf("  %s  %s\n", first, reply.empty() ? "-" : reply.c_str());
    }
    std::printf("  covered: %d of 8\n", firstCovered);

    std::vector<std::pair<int, std::string>> frequent;
    for (const auto& [line, count] : lines) frequent.push_back({count, line});
    std::sort(frequent.begin(), frequent.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    if (frequent.size() > 40) frequent.resize(40);
    int lineCovered = 0;
    std::printf("Black's book reply after the %zu most frequent 3-ply lines:\n", frequent.size());
    for (const auto& [count, line] : frequent) {
        std::vector<std::string> moves;
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t blank = line.find(' ', at);
            moves.push_back(line.substr(at, blank - at));
            at = blank == std::string::npos ? line.size() : blank + 1;
        }
        const std::string reply = ReplyAfter(moves);
        lineCovered += !reply.empty();
        std::printf("  %5d  %-16s %s\n", count, line.c_str(), reply.empty() ? "-" : reply.c_str());
    }
    std::printf(
        "  covered: %d of %zu (%.0f %%)\n", lineCovered, frequent.size(),
        frequent.empty() ? 0.0 : 100.0 * lineCovered / static_cast<double>(frequent.size()));

    // Self-play: both sides from the book, each game with its own seed.
    std::vector<int> whiteMoves, blackMoves;
    std::vector<std::vector<std::string>> played;
    for (int g = 0; g < games; ++g) {
        SeedBookChoice(firstSeed + static_cast<u64>(g));
        std::vector<Made> made;
        std::vector<std::string> texts;
        int counts[2] = {0, 0};
        // The game asks the book while its ply counter (1 at the start) is below 64.
        while (made.size() < 63) {
            const int side = pos.sideToMove;
            Move move = getBookMove();
            if (move != 0) {
                counts[side]++;
            } else {
                if (searchDepth == 0) break;
                move = SearchMove(searchDepth);
                if (move == 0 || IsMarker(move)) break;  // the game is over
                // The search set the position up afresh: the moves so far are made again.
                std::vector<std::string> replay = texts;
                made.clear();
                SetBoard(StartFen);
                Play(replay, made);
            }
            texts.push_back(Text(move));
            made.push_back({move, {}});
            SaveSnapshot(made.back().undo);
            MakeMove(move, made.back().undo);
        }
        TakeBack(made);
        whiteMoves.push_back(counts[1]);
        blackMoves.push_back(counts[0]);
        played.push_back(texts);
    }
    UnseedBookChoice();
    // Games leaving the book before ply 10 are decided by what the search plays next; counted as
    // shared when their whole book lines are equal (the search may well repeat itself).
    std::map<std::vector<std::string>, int> openings;
    for (const auto& texts : played) {
        openings[std::vector<std::string>(
            texts.begin(), texts.begin() + std::min<std::size_t>(10, texts.size()))]++;
    }
    int shared = 0;
    for (const auto& texts : played) {
        shared += openings[std::vector<std::string>(
                      texts.begin(), texts.begin() + std::min<std::size_t>(10, texts.size()))] > 1;
    }
    std::printf("self-play, %d games (seeds %llu..%llu), %s:\n", games,
                static_cast<unsigned long long>(firstSeed),
                static_cast<unsigned long long>(firstSeed + static_cast<u64>(games) - 1),
                searchDepth == 0
                    ? "each ending when the book has no move"
                    : ("the search to a fixed depth playing on out of book, to ply 63 (depth " +
                       std::to_string(searchDepth) + ")")
                          .c_str());
    std::printf("  book moves, White: median %.1f, min %d, max %d\n", Median(whiteMoves),
                whiteMoves.empty() ? 0 : *std::min_element(whiteMoves.begin(), whiteMoves.end()),
                whiteMoves.empty() ? 0 : *std::max_element(whiteMoves.begin(), whiteMoves.end()));
    std::printf("  book moves, Black: median %.1f, min %d, max %d\n", Median(blackMoves),
                blackMoves.empty() ? 0 : *std::min_element(blackMoves.begin(), blackMoves.end()),
                blackMoves.empty() ? 0 : *std::max_element(blackMoves.begin(), blackMoves.end()));
    std::printf("  games sharing their first 10 plies with another: %d of %d (%.1f %%)\n", shared,
                games, games ? 100.0 * shared / games : 0.0);
    for (int g = 0; g < std::min(games, 5); ++g)
        std::printf("  e.g. %s\n", Join(played[static_cast<std::size_t>(g)]).c_str());
    return 0;
}

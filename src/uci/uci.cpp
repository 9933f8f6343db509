// The UCI front end. One command per line; a search runs inside "go" on the one thread, and the
// search's poll hands every line that arrives meanwhile to PollUci. The board follows the
// interface's "position" lines by playing only the moves it has not played yet, so that the
// transposition table lives on from move to move as it does under xboard; the last move of a
// list waits until "go" says whether it is a game move or the guess to ponder on.
#include "uci/uci.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "uci/internal.h"

using namespace uci;

namespace {

// ---------------------------------------------------------------------------------------------
// Moves

bool IsLegalMove(Move move) {
    if (move == 0 || IsMarker(move)) return false;
    ScoredMove list[MaxGeneratedMoves];
    ScoredMove* end = GenerateLegalMoves(list);
    for (ScoredMove* m = list; m != end; ++m)
        if (m->move == move) return true;
    return false;
}

// The move a word names in the game position, 0 unless it is legal there and written as Zelmor
// writes it (so "g1f3q" or "e7e8" without its piece is no move).
Move LegalMoveOf(const char* word) {
    char lower[8];
    std::size_t n = 0;
    for (; word[n] && n < 6; ++n) lower[n] = static_cast<char>(std::tolower(word[n]));
    if (n < 4 || n > 5) return 0;
    lower[n] = '\0';
    const Move move = ParseMove(lower);
    char text[8];
    if (move == 0 || !IsLegalMove(move)) return 0;
    MoveToText(move, text);
    return std::strcmp(text, lower) == 0 ? move : 0;
}

// ---------------------------------------------------------------------------------------------
// The game the board holds

constexpr std::size_t BaseLimit = 256;
constexpr int MoveTextSize = 8;

struct Game {
    char base[BaseLimit];  // "startpos" or the FEN text
    int count;             // game moves played on the board from the base
    char moves[HistoryGameLimit][MoveTextSize];
};
Game game;
// The list's last move, legal in the game position and not played yet: "go" plays it, "go ponder"
// makes it the guessed move.
Move staged;
char stagedText[MoveTextSize];
// The text of the guessed move on the board (ponderMove) while a ponder search runs or waits.
char guessText[MoveTextSize];

// Sets up a base position; false (board in an unknown state) when it cannot be played on.
bool SetUpBase(const char* base) {
    ponderMove = 0;  // whatever was guessed is gone with the old board
    staged = 0;
    const bool read = SetBoard(std::strcmp(base, "startpos") == 0 ? StartFen : base);
    SanitizeSetup();
    EngineState = Playing;
    if (!read || !PositionIsPlayable()) return false;
    std::snprintf(game.base, sizeof game.base, "%s", base);
    game.count = 0;
    return true;
}

// Move texts are at most five characters; anything longer is cut.
void CopyMoveText(char* out, const char* text) {
    int n = 0;
    for (; n < MoveTextSize - 1 && text[n]; ++n) out[n] = text[n];
    out[n] = '\0';
}

bool PlayListMove(Move move, const char* text) {
    if (!PlayGameMove(move, false)) return false;
    CopyMoveText(game.moves[game.count++], text);
    return true;
}

// Sets the board up again from the base with the moves it held (after a refused base).
void RestoreGame() {
    static char kept[HistoryGameLimit][MoveTextSize];
    const int count = game.count;
    std::memcpy(kept, game.moves, sizeof kept[0] * static_cast<std::size_t>(count));
    char base[BaseLimit];
    std::snprintf(base, sizeof base, "%s", game.base);
    if (!SetUpBase(base)) SetUpBase("startpos");
    for (int i = 0; i < count; ++i) {
        const Move move = LegalMoveOf(kept[i]);
        if (move == 0 || !PlayListMove(move, kept[i])) break;
    }
}

void PositionCommand(char** w, int n) {
    // 1. The base: "startpos", or "fen" and the fields up to "moves".
    char base[BaseLimit] = "";
    int i = 0;
    if (n > 0 && std::strcmp(w[0], "startpos") == 0) {
        std::snprintf(base, sizeof base, "startpos");
        i = 1;
    } else if (n > 0 && std::strcmp(w[0], "fen") == 0) {
        i = 1;
        while (i < n && std::strcmp(w[i], "moves") != 0) ++i;
        Join(w, 1, i, base, sizeof base);
        const std::size_t length = std::strlen(base);
        if (length == 0 || length + 1 >= sizeof base) {
            InfoString("position: no usable FEN; the position is unchanged");
            return;
        }
    } else {
        InfoString("position needs startpos or fen; the position is unchanged");
        return;
    }
    while (i < n && std::strcmp(w[i], "moves") != 0) ++i;  // stray words are ignored
    if (i < n) ++i;
    char** list = w + i;
    const int count = n - i;

    // 2. A guessed move on the board is taken back; the list tells whether it was right.
    const bool guessed = ponderMove != 0;
    char guess[MoveTextSize];
    CopyMoveText(guess, guessText);
    TakeBackPonderMove();
    const Move keptStaged = staged;
    staged = 0;

    // 3. The same game with more moves plays on; anything else is set up afresh.
    bool samePrefix = std::strcmp(base, game.base) == 0 && game.count <= count;
    for (int k = 0; samePrefix && k < game.count; ++k)
        samePrefix = strcasecmp(list[k], game.moves[k]) == 0;
    int k = game.count;
    if (!samePrefix) {
        if (!SetUpBase(base)) {
            InfoString("position: FEN '%s' is not a playable position; the position is unchanged",
                       base);
            RestoreGame();
            staged = keptStaged;
            return;
        }
        k = 0;
    }
    const int guessAt = samePrefix && guessed ? game.count : -1;

    // 4. The moves, the last one kept back for "go". An illegal move ends the list.
    for (; k < count; ++k) {
        const Move move = LegalMoveOf(list[k]);
        char number[16];
        std::snprintf(number, sizeof number, "%d", k + 1);
        if (move == 0) {
            InfoString("position: move %s (%s) is illegal; the moves before it are played", number,
                       list[k]);
            return;
        }
        char text[8];
        MoveToText(move, text);
        if (k == count - 1) {
            staged = move;
            CopyMoveText(stagedText, text);
            break;
        }
        if (!PlayListMove(move, text)) {
            InfoString("position: move %s (%s) exceeds the game length Zelmor keeps", number,
                       list[k]);
            return;
        }
        // A wrong guess ages the table one step more, as under xboard.
        if (k == guessAt && std::strcmp(text, guess) != 0) ++hashAge;
    }
    if (guessAt >= 0 && guessAt == count - 1 && std::strcmp(stagedText, guess) != 0) ++hashAge;
}

// ---------------------------------------------------------------------------------------------
// Thinking output

// Bitbase wins are held to 8001 and evaluations to 7800: anything above is a mate, 8100 − plies.
constexpr int HighestPlainScore = 8001;
constexpr int MateBase = 8100;
constexpr int NoScore = 8190;
constexpr i16 ExcludedRootMove = -8191;  // the root's mark of a move it does not search

i32 goStart;
int lastDepth;
char lastPv[PvTextSize];
// "go mate N": the search stops once it has proven a mate in N moves or fewer (0: no such goal).
int mateGoal;

// Progress while the search runs: the move under search after the first second, and the node
// count about once a second.
i32 lastProgress;
const ScoredMove* lastCurrent;
u32 lastCurrentDepth;

void ScoreText(int score, char* out, std::size_t size) {
    if (score > HighestPlainScore)
        std::snprintf(out, size, "mate %d", (MateBase - score + 1) / 2);
    else if (score < -HighestPlainScore)
        std::snprintf(out, size, "mate %d", -((MateBase + score + 1) / 2));
    else
        std::snprintf(out, size, "cp %d", score);
}

// The moves of a thinking line, up to the first word that is not a move (a mate or draw mark).
void PvMoves(const char* text, char* out, std::size_t size) {
    std::size_t length = 0;
    out[0] = '\0';
    for (const char* p = text; *p;) {
        while (*p == ' ') ++p;
        const char* start = p;
        while (*p && *p != ' ') ++p;
        const std::size_t n = static_cast<std::size_t>(p - start);
        const bool move = (n == 4 || (n == 5 && std::strchr("qrbn", start[4]))) &&
                          start[0] >= 'a' && start[0] <= 'h' && start[1] >= '1' &&
                          start[1] <= '8' && start[2] >= 'a' && start[2] <= 'h' &&
                          start[3] >= '1' && start[3] <= '8';
        if (!move || length + n + 2 > size) break;
        if (length) out[length++] = ' ';
        std::memcpy(out + length, start, n);
        length += n;
        out[length] = '\0';
    }
}

// Permille of the table's first 999 slots (its first 333 buckets) that hold an entry of the current
// search's age.
int HashFull() {
    constexpr int Sampled = 999;  // 333 buckets of three slots
    const u32 age = std::min<u32>(hashAge, 511);
    int used = 0;
    for (int slot = 0; slot < Sampled; ++slot) {
        // Read whole while search threads write the table.
        const u32 data = __atomic_load_n(
            &hashTable.words[(slot / HashSlots) * HashBucketWords + (slot % HashSlots) * 3 + 2],
            __ATOMIC_RELAXED);
        if (data != 0 && ((data >> 9) & 511u) == age) ++used;
    }
    return used * 1000 / Sampled;
}

i64 SinceGo() {
    const i64 ms = i64{Now()} - goStart;
    return ms < 0 ? 0 : ms;
}

// "nodes N nps N hashfull N time N" for the search so far.
void CountsText(u64 nodes, char* out, std::size_t size) {
    const i64 ms = SinceGo();
    const u64 total = nodes;
    const u64 nps = total * 1000 / static_cast<u64>(ms > 0 ? ms : 1);
    std::snprintf(out, size, "nodes %llu nps %llu hashfull %d time %lld",
                  static_cast<unsigned long long>(total), static_cast<unsigned long long>(nps),
                  HashFull(), static_cast<long long>(ms));
}

// Lines 2 and on of a multi-line search, at the depth of the line above.
void FurtherLine(int number, int score, const char* text) {
    char pv[PvTextSize], scoreText[24], counts[128];
    PvMoves(text, pv, sizeof pv);
    ScoreText(score, scoreText, sizeof scoreText);
    CountsText(SearchNodes(), counts, sizeof counts);
    const int depth = static_cast<int>(worker.iterationDepth);
    std::printf("info depth %d seldepth %d multipv %d score %s %s%s%s\n", depth,
                worker.selDepth > depth ? worker.selDepth : depth, number, scoreText, counts,
                pv[0] ? " pv " : "", pv);
}

void PrintUciThinking(ThinkingKind kind, int depth, int score, int, u64 nodes, const char* text) {
    if (kind == ThinkingKind::Restart || depth < 1 || score >= NoScore || score <= -NoScore) return;
    char pv[PvTextSize];
    PvMoves(text, pv, sizeof pv);
    // The line after the last iteration closes the search before "bestmove"; a stopped iteration
    // never reports less depth than was completed.
    if (kind == ThinkingKind::Final && depth < lastDepth) depth = lastDepth;
    lastDepth = depth;
    std::snprintf(lastPv, sizeof lastPv, "%s", pv);
    char scoreText[24], counts[128];
    ScoreText(score, scoreText, sizeof scoreText);
    CountsText(nodes, counts, sizeof counts);
    std::printf("info depth %d seldepth %d multipv 1 score %s %s%s%s\n", depth,
                worker.selDepth > depth ? worker.selDepth : depth, scoreText, counts,
                pv[0] ? " pv " : "", pv);
    lastProgress = Now();
    if (kind == ThinkingKind::Iteration && multiPv > 1) SearchFurtherLines(multiPv, FurtherLine);
    // A proven mate within the asked number of moves ends the search (a stop of the user's:
    // no restart of a shallow search).
    if (kind == ThinkingKind::Iteration && mateGoal > 0 && score > HighestPlainScore &&
        (MateBase - score + 1) / 2 <= mateGoal) {
        stopSearch = true;
        shallowRestartAllowed = false;
    }
}

// At every poll point of a running search.
void UciProgress() {
    const i32 now = Now();
    const u64 nodes = SearchNodes();
    if (now - goStart < 1000) return;
    const PlyRecord& root = worker.plyRecords[0];
    const ScoredMove* current = root.currentMove;
    const ScoredMove* end = root.moveListEnd;
    if (end && current >= worker.moveStack && current < end &&
        (current != lastCurrent || worker.iterationDepth != lastCurrentDepth)) {
        lastCurrent = current;
        lastCurrentDepth = worker.iterationDepth;
        // The root searches its moves in the order of the list; excluded ones are skipped.
        int number = 0;
        for (const ScoredMove* m = worker.moveStack; m <= current; ++m)
            if (m->score != ExcludedRootMove || m == current) ++number;
        char text[8];
        MoveToText(current->move, text);
        std::printf("info depth %u currmove %s currmovenumber %d\n", worker.iterationDepth, text,
                    number);
    }
    if (now - lastProgress >= 1000) {
        lastProgress = now;
        char counts[128];
        CountsText(nodes, counts, sizeof counts);
        std::printf("info %s\n", counts);
    }
}

// ---------------------------------------------------------------------------------------------
// Input while a search runs

bool stopReceived;
bool quitReceived;

// Acts on one line that arrived during a search, or while a finished infinite or ponder search
// waits for its end. The end of input acts as "quit".
void HandleLineDuringSearch() {
    if (!ReadLine()) {
        std::snprintf(line, sizeof line, "quit");
        debugLog.Line("-M: end of input during a search");
    }
    debugLog << "-cC: ";
    debugLog.Line(line);
    const Verb verb = FirstVerb(line);
    switch (verb) {
        case Verb::IsReady: std::printf("readyok\n"); return;
        case Verb::Uci: PrintIdentity(); return;
        case Verb::PonderHit:
            // The guess was right: the search goes on as the search for the move, under the
            // clock, with the time spent pondering counted as xboard counts it.
            if (EngineState == Pondering) {
                ConfirmPonderGuess(true, false);
                debugLog.Line("--- GOOD PONDER --- ponderhit");
            }
            return;
        case Verb::Quit: quitReceived = true; break;
        case Verb::Stop: break;
        case Verb::Position:
        case Verb::Go:
        case Verb::UciNewGame:
        case Verb::SetOption:
            // Commands that need a resting engine end the search first (its bestmove is sent),
            // then run as if "stop" had come before them.
            InfoString("%s during a search: the search stops first", NameOf(verb));
            linePending = true;
            break;
        default:  // debug, register and unknown words are ignored
            return;
    }
    stopReceived = true;
    stopSearch = true;
    // A stop is the user's: the shallow search's one restart must not undo it.
    shallowRestartAllowed = false;
}

void PollUci() { HandleLineDuringSearch(); }

// ---------------------------------------------------------------------------------------------
// go

struct GoRequest {
    i64 time[2] = {-1, -1};  // by Side: btime, wtime
    i64 increment[2] = {0, 0};
    i64 movesToGo = 0, moveTime = 0, depth = 0, nodes = 0, mate = 0;
    bool infinite = false, ponder = false;
    // The words after "searchmoves", read as moves once the position is complete.
    char** searchMoves = nullptr;
    int searchMoveCount = 0;
};

bool IsGoKeyword(const char* word) {
    for (const char* keyword : {"searchmoves", "ponder", "wtime", "btime", "winc", "binc",
                                "movestogo", "depth", "nodes", "mate", "movetime", "infinite"})
        if (std::strcmp(word, keyword) == 0) return true;
    return false;
}

// "searchmoves": only the listed legal moves are searched; none legal leaves every move.
void RestrictToSearchMoves(const GoRequest& go) {
    if (!go.searchMoves) return;
    Move moves[MaxGeneratedMoves];
    int count = 0;
    for (int i = 0; i < go.searchMoveCount && count < MaxGeneratedMoves; ++i) {
        const Move move = LegalMoveOf(go.searchMoves[i]);
        if (move)
            moves[count++] = move;
        else
            InfoString("go: searchmoves: %s is not a legal move here; left out", go.searchMoves[i]);
    }
    if (count == 0) {
        InfoString("go: searchmoves names no legal move; every move is searched");
        return;
    }
    SearchOnlyRootMoves(moves, count);
}

void ParseGo(char** w, int n, GoRequest& go) {
    struct Number {
        const char* name;
        i64* value;
        bool positive;  // a limit of 0 is no limit; clocks and increments may be 0
    } numbers[] = {
        {"wtime", &go.time[White], false},
        {"btime", &go.time[Black], false},
        {"winc", &go.increment[White], false},
        {"binc", &go.increment[Black], false},
        {"movestogo", &go.movesToGo, true},
        {"movetime", &go.moveTime, true},
        {"depth", &go.depth, true},
        {"nodes", &go.nodes, true},
        {"mate", &go.mate, true},
    };
    for (int i = 0; i < n; ++i) {
        if (std::strcmp(w[i], "infinite") == 0) {
            go.infinite = true;
            continue;
        }
        if (std::strcmp(w[i], "ponder") == 0) {
            go.ponder = true;
            continue;
        }
        if (std::strcmp(w[i], "searchmoves") == 0) {
            // The moves run to the next word of go's own.
            go.searchMoves = w + i + 1;
            while (i + 1 < n && !IsGoKeyword(w[i + 1])) {
                ++i;
                ++go.searchMoveCount;
            }
            continue;
        }
        for (Number& number : numbers) {
            if (std::strcmp(w[i], number.name) != 0) continue;
            i64 value;
            if (i + 1 >= n || !WholeNumber(w[i + 1], value)) {
                InfoString("go: %s needs a number; ignored", number.name);
            } else if (value < 0 || (number.positive && value == 0)) {
                ++i;
                InfoString(number.positive ? "go: %s %s is no limit; ignored"
                                           : "go: %s %s is negative; taken as 0",
                           number.name, w[i]);
                if (!number.positive) *number.value = 0;
            } else {
                *number.value = value;
                ++i;
            }
            break;
        }
    }
}

i32 Clamp32(i64 value) { return value > INT32_MAX ? INT32_MAX : static_cast<i32>(value); }

// Search limits and the clock for the side to move, by the rules the xboard side uses.
void SetUpLimits(const GoRequest& go) {
    searchLimits = SearchLimits{};
    // The first iteration searches two plies: "depth 1" gets that one rather than none.
    searchLimits.depth = go.depth == 1 ? 2 : Clamp32(go.depth);
    searchLimits.nodes = go.nodes > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<u32>(go.nodes);
    const int side = pos.sideToMove;
    const bool clock = go.time[side] >= 0 && !go.infinite;
    // The lag the user set aside comes off the clock and the fixed time (never all of it).
    const auto lessOverhead = [](i64 ms) {
        return ms - moveOverheadMs > ms / 2 ? ms - moveOverheadMs : ms / 2;
    };
    if (go.moveTime > 0 && !go.infinite)
        searchLimits.moveTimeMs = Clamp32(std::max<i64>(lessOverhead(go.moveTime), 1));
    hardTimeLimit = -1;
    if (clock) {
        const i32 own = Clamp32(lessOverhead(go.time[side]) / 10);
        const i32 opponent = Clamp32((go.time[side ^ 1] < 0 ? 0 : go.time[side ^ 1]) / 10);
        incrementMs = Clamp32(go.increment[side]);
        // The interface counts the moves to the next control itself; without a count the whole
        // game is one period.
        movesPerSession = Clamp32(go.movesToGo);
        if (go.movesToGo > 0) {
            movesToGo = movesPerSession;
            SetMoveBudget(own);
        } else {
            SetTimeBudget(own, opponent);
        }
    }
    searchLimits.infinite = !clock && searchLimits.moveTimeMs == 0;
    if (searchLimits.infinite && !go.infinite && !go.ponder && go.time[side ^ 1] >= 0 &&
        go.depth == 0 && go.nodes == 0 && go.mate == 0)
        InfoString("go: no clock for the side to move; searching until stop");
}

// The engine's move after a search: the table's root move, else the search's own, else the
// first legal move (a position already drawn by rule is not searched).
Move ChooseMove(const SearchResult& result, int& depth) {
    const EngineMove chosen = MoveAfterSearch(result);
    depth = chosen.depth;
    if (IsLegalMove(chosen.move)) return chosen.move;
    if (IsLegalMove(result.move)) return result.move;
    HashEntry entry;
    if (ProbeHash(entry) && IsLegalMove(entry.move)) return entry.move;
    ScoredMove list[MaxGeneratedMoves];
    debugLog << "-M: no searched move, first legal move played; search gave "
             << unsigned{result.move};
    debugLog.Line("");
    return GenerateLegalMoves(list) != list ? list[0].move : 0;
}

// The reply the table expects after `best`, when it is legal there.
Move PonderReply(Move best) {
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(best, undo);
    const Move reply = ExpectedReply();
    const bool legal = IsLegalMove(reply);
    UnmakeMove(best, undo);
    return legal ? reply : 0;
}

void SendBestMove(Move best, Move reply) {
    char text[8] = "0000", replyText[8];
    if (best) MoveToText(best, text);
    if (reply) {
        MoveToText(reply, replyText);
        std::printf("bestmove %s ponder %s\n", text, replyText);
    } else {
        std::printf("bestmove %s\n", text);
    }
    debugLog << "-M: bestmove ";
    debugLog.Line(text);
    // "searchmoves" held for this search only; the table it filled speaks for those moves alone.
    EndRootRestriction(true);
}

// An infinite or ponder search never answers before "stop" (or "ponderhit" for a ponder search).
void WaitForStop(bool infinite) {
    while (!stopReceived && (infinite || EngineState == Pondering)) HandleLineDuringSearch();
}

void GoCommand(char** w, int n) {
    GoRequest go;
    ParseGo(w, n, go);
    SettleOptions();

    // 1. The list's last move: a game move, or the guess to ponder on.
    if (staged != 0) {
        if (go.ponder && MakePonderMove(staged)) {
            ponderMove = staged;
            CopyMoveText(guessText, stagedText);
        } else if (!PlayListMove(staged, stagedText)) {
            InfoString("go: move %s exceeds the game length Zelmor keeps", stagedText);
        }
        staged = 0;
    }
    RestrictToSearchMoves(go);
    stopReceived = false;
    EngineState = go.ponder ? Pondering : Thinking;
    const bool infinite = go.infinite;

    // 2. No legal move: nothing to search.
    if (!HasLegalMove()) {
        CheckInfo checkInfo;
        FindCheckers(checkInfo);
        std::printf("info depth 0 score %s\n", checkInfo.checkers ? "mate 0" : "cp 0");
        WaitForStop(infinite);
        SendBestMove(0, 0);
        EngineState = Playing;
        return;
    }

    // 3. The book, for a move that is to be played now.
    if (ownBook && !analyseMode && !infinite && !go.ponder && go.mate == 0) {
        const Move bookMove = GameBookMove();
        if (IsLegalMove(bookMove)) {
            char text[8];
            MoveToText(bookMove, text);
            InfoString("book move %s", text);
            SendBestMove(bookMove, 0);
            EngineState = Playing;
            return;
        }
    }

    // 4. The search, under the limits and the clock.
    SetUpLimits(go);
    goStart = Now();
    lastDepth = 0;
    lastPv[0] = '\0';
    mateGoal = go.mate > 0 ? Clamp32(go.mate) : 0;
    lastProgress = goStart;
    lastCurrent = nullptr;
    worker.selDepth = 0;
    const SearchResult result = RunSearch(SearchStart::OwnMove);
    if (result.move == EndRepetition || result.move == EndFiftyMoves ||
        result.move == EndNoMaterial)
        std::printf("info depth 0 score cp 0\n");  // drawn by rule already: nothing searched
    WaitForStop(infinite);

    // 5. The move, and the reply to ponder on.
    int depth = 0;
    const Move best = ChooseMove(result, depth);
    const Move reply = best ? PonderReply(best) : 0;
    if (EngineState != Pondering) AgeTableAfterMove(depth);
    SendBestMove(best, reply);
    EngineState = Playing;
    searchLimits = SearchLimits{};
}

void UciNewGameCommand() { SetUpBase("startpos"); }

}  // namespace

bool WantsUci(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--uci") == 0) return true;
    if (argc < 1 || !argv[0]) return false;
    const char* slash = std::strrchr(argv[0], '/');
    return std::strcmp(slash ? slash + 1 : argv[0], "zelmor-uci") == 0;
}

void UciLoop() {
    EngineStartup(true);
    UciCommands();
}

void UciCommands() {
    // A session starts as a fresh process would: options at their defaults, nothing staged.
    quitReceived = stopReceived = linePending = false;
    ResetOptions();
    staged = 0;
    mateGoal = 0;
    EndRootRestriction(false);
    thinkingPrinter = PrintUciThinking;
    inputPoller = PollUci;
    searchTicker = UciProgress;
    // The interface ends drawn games itself: a position repeated three times is still searched.
    searchDrawnRoot = true;
    std::snprintf(game.base, sizeof game.base, "startpos");
    game.count = 0;
    while (!quitReceived) {
        if (!linePending && !ReadLine()) break;
        linePending = false;
        debugLog << "::cmd:: ";
        debugLog.Line(line);
        const int n = Split(line, words, WordLimit);
        int at = 0;
        Verb verb = Verb::None;
        while (at < n && (verb = VerbOf(words[at], std::strlen(words[at]))) == Verb::None) ++at;
        char** args = words + at + 1;
        const int count = n - at - 1;
        switch (verb) {
            case Verb::Uci: PrintIdentity(); break;
            case Verb::IsReady:
                SettleOptions();
                std::printf("readyok\n");
                break;
            case Verb::SetOption: SetOptionCommand(args, count); break;
            case Verb::UciNewGame: UciNewGameCommand(); break;
            case Verb::Position: PositionCommand(args, count); break;
            case Verb::Go: GoCommand(args, count); break;
            case Verb::Quit: quitReceived = true; break;
            default:  // debug, register, a stray stop or ponderhit, unknown words
                break;
        }
    }
    EngineState = Quit;
}

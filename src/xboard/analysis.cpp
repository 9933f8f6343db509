// Analysis and the interface's lesser commands. Analysis searches the game position with no clock
// and plays nothing; the loop runs it between commands, and whatever input stops it is handled
// by the loop before the analysis goes on. "ping", "hint", "post", "nopost" and "." need no stop:
// the search's input poll answers them at once.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "xboard/xboard.h"

bool analysing;
bool analysisDue;

namespace {

constexpr i16 ExcludedRootMove = -8191;  // the root's mark of a move it does not search

bool postThinking = true;
bool inSearchPoll;  // the poll of a running search is answering a command

// The analysis search under way or last finished, for "." and "hint".
i32 analysisStart;
i32 lastElapsed;
u32 lastNodes;
int lastDepth;
char analysisBest[8];  // first move of the last finished iteration's line, "" before one

void LogLine() { debugLog.Line(""); }

void FurtherAnalysisLine(int, int score, const char* line) {
    if (postThinking)
        PrintGameThinking(ThinkingKind::Iteration, static_cast<int>(worker.iterationDepth), score,
                          (Now() - analysisStart) / 10, SearchNodes(), line);
}

void AnalysisThinking(ThinkingKind kind, int depth, int score, int centiseconds, u64 nodes,
                      const char* line) {
    // Input stopped the search: its last line is about a position the game is leaving.
    if (kind == ThinkingKind::Final && stopSearch) return;
    if (kind == ThinkingKind::Iteration) {
        lastDepth = depth;
        std::size_t length = std::strcspn(line, " ");
        if (length >= 4 && length < sizeof analysisBest && ParseMove(line) != 0) {
            std::memcpy(analysisBest, line, length);
            analysisBest[length] = '\0';
        }
    }
    if (postThinking) PrintGameThinking(kind, depth, score, centiseconds, nodes, line);
    if (kind == ThinkingKind::Iteration && analysisLines > 1)
        SearchFurtherLines(analysisLines, FurtherAnalysisLine);
}

int CountLegalMoves() {
    ScoredMove list[MaxGeneratedMoves];
    return static_cast<int>(GenerateLegalMoves(list) - list);
}

// The line shown for a position the search has nothing to add to: no move, or drawn by rule.
// nullptr when there is something to search.
const char* FinishedPosition(int& score) {
    score = 0;
    if (!HasLegalMove()) {
        CheckInfo checkInfo;
        FindCheckers(checkInfo);
        if (checkInfo.checkers) {
            score = -8100;
            return "# ";
        }
        return "1/2 - 1/2 (stalemate)";
    }
    worker.currentPly = &worker.plyRecords[0];
    switch (DrawByRule(2)) {
        case EndRepetition: return "1/2 - 1/2 (repetition)";
        case EndFiftyMoves: return "1/2 - 1/2 (50 moves rule)";
        case EndNoMaterial: return "1/2 - 1/2 (insufficient material)";
        default: return nullptr;
    }
}

bool IsLegalHere(Move move) {
    return move != 0 && !IsMarker(move) && IsMoveValid(move) && KeepsKingSafe(move);
}

}  // namespace

void BeginAnalysis() {
    analysing = true;
    analysisDue = true;
    EngineState = Force;
    debugLog.Line("-M: analysis mode");
}

void EndAnalysis() {
    analysing = false;
    analysisDue = false;
    EngineState = Force;
    debugLog.Line("-M: analysis mode ended");
}

void RunAnalysis() {
    analysisDue = false;
    analysisBest[0] = '\0';
    lastDepth = 0;
    lastNodes = 0;
    lastElapsed = 0;
    if (!PositionIsPlayable()) {
        debugLog.Line("-M: analysis waits: the position cannot be searched");
        return;
    }
    int score;
    if (const char* line = FinishedPosition(score)) {
        debugLog << "-M: analysis: " << line;
        LogLine();
        if (postThinking) PrintGameThinking(ThinkingKind::Final, 1, score, 0, 0, line);
        return;
    }

    if (AllowedRootMoves() == 0) {
        debugLog.Line("-M: analysis waits: every move excluded");
        return;
    }
    debugLog.Line("-M: analysis search");
    const SearchLimits saved = searchLimits;
    searchLimits.infinite = true;
    searchLimits.moveTimeMs = 0;
    searchLimits.nodes = 0;
    thinkingPrinter = AnalysisThinking;
    analysisStart = Now();
    RunSearch(SearchStart::Analysis);
    lastElapsed = (Now() - analysisStart) / 10;
    lastNodes = static_cast<u32>(SearchNodes());
    searchLimits = saved;
    thinkingPrinter = postThinking ? PrintGameThinking : nullptr;
    stopSearch = false;

    // Stopped by input: the loop handles it, then the analysis goes on. A search that ended by
    // itself (depth limit, proven mate) waits for the next change.
    analysisDue = commandPending && pendingStopsSearch;
    if (!analysisDue) debugLog.Line("-M: analysis search ended by itself");
}

void PrintAnalysisStatus() {
    if (!analysing) return;
    char text[8] = "";
    if (!inSearchPoll) {
        std::printf("stat01: %d %u %d 0 %d\n", lastElapsed, lastNodes, lastDepth,
                    PositionIsPlayable() ? CountLegalMoves() : 0);
        return;
    }
    // During the search: the root's move list, with the move under search.
    const PlyRecord& root = worker.plyRecords[0];
    const ScoredMove* end = root.moveListEnd ? root.moveListEnd : worker.moveStack;
    const ScoredMove* current = root.currentMove;
    int total = 0, left = 0;
    for (const ScoredMove* m = worker.moveStack; m < end; ++m) {
        if (m->score == ExcludedRootMove) continue;
        ++total;
        if (m > current) ++left;
    }
    if (current >= worker.moveStack && current < end) MoveToText(current->move, text);
    std::printf("stat01: %d %u %u %d %d%s%s\n", (Now() - analysisStart) / 10,
                static_cast<u32>(SearchNodes()), worker.iterationDepth, left, total,
                text[0] ? " " : "", text);
}

void SetPostThinking(bool on) {
    postThinking = on;
    // The analysis keeps its own printer, which asks postThinking.
    if (thinkingPrinter != AnalysisThinking) thinkingPrinter = on ? PrintGameThinking : nullptr;
}

void AnswerPing() {
    i32 number;
    if (!ReadInt(number) || number < 0) {
        std::printf("Error (ping needs a number): ping\n");
        debugLog.Line("-M: ping without a number");
        return;
    }
    std::printf("pong %d\n", number);
}

void AnswerHint() {
    char text[8] = "";
    if (EngineState == Pondering && ponderMove != 0) {
        MoveToText(ponderMove, text);
    } else if (analysing && analysisBest[0] != '\0') {
        std::strcpy(text, analysisBest);
    } else if (!inSearchPoll && PositionIsPlayable()) {
        // No search runs: the live position is the game position.
        const Move reply = ExpectedReply();
        if (IsLegalHere(reply)) MoveToText(reply, text);
    }
    if (text[0] != '\0')
        std::printf("Hint: %s\n", text);
    else
        debugLog.Line("-M: no hint");
}

void PollXboardInput() {
    PollCommand();
    if (!commandPending || pendingStopsSearch) return;
    const char* token = commandBuffer;
    if (std::strcmp(token, "ping") == 0) {
        // On its own move the engine answers after the move: the search stops for it.
        if (!analysing && EngineState != Pondering) {
            stopSearch = pendingStopsSearch = true;
            return;
        }
        AnswerPing();
    } else if (std::strcmp(token, "post") == 0 || std::strcmp(token, "nopost") == 0) {
        SetPostThinking(token[0] == 'p');
    } else if (std::strcmp(token, "hint") == 0) {
        inSearchPoll = true;
        AnswerHint();
        inSearchPoll = false;
    } else if (std::strcmp(token, ".") == 0) {
        inSearchPoll = true;
        PrintAnalysisStatus();
        inSearchPoll = false;
    } else if (std::strcmp(token, "cores") == 0 && (analysing || EngineState == Pondering)) {
        // A new thread count comes before finishing a ponder search; an analysis restarts
        // with it. The loop handles it once the search has stopped.
        stopSearch = pendingStopsSearch = true;
        return;
    } else if (!RunQuietCommand(token)) {
        return;
    }
    commandPending = false;
}

// Time control and input polling: the budget from the interface's clock reports, the time test
// and the search's poll points, which hand waiting input to the front end's reader.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "search/search.h"

bool pendingStopsSearch;
SearchLimits searchLimits;
void (*inputPoller)() = nullptr;
void (*searchTicker)();
i32 moveClockStart;
i64 hardTimeLimit = -1;

namespace {
constexpr u32 PollInterval = 16384;

bool SearchIsPondering() { return EngineState == Pondering; }
// A failed aspiration window may take more time unless the next time control is close.
bool ClockAllowsGrowth() { return movesToGo > 4 || movesPerSession == 0; }
}  // namespace

void PrintXboardThinking(ThinkingKind, int depth, int score, int centiseconds, u64 nodes,
                         const char* line) {
    // Node counts pass 2^31 in long searches: printed unsigned, never negative.
    std::printf("    %d     %d     %d     %u  %s\n", depth, score, centiseconds,
                static_cast<u32>(nodes), line);
}

// The engine's rules for every search: its clock, its input poll, the xboard thinking line.
SearchControl searchControl = {
    .maxDepth = 127,
    .timeForMove = 0,
    .searchStart = 0,
    .shallowRestartAllowed = true,
    .stop = false,
    .firstPoll = PollInterval,
    .tableAge = 1,
    .printer = PrintXboardThinking,
    .timeIsUp = TimeIsUp,
    .pollPoint = PollPoint,
    .pollClock = PollClock,
    .pondering = SearchIsPondering,
    .budgetMayGrow = ClockAllowsGrowth,
    .rootMoveBarred = nullptr,
    .searchDrawnRoot = false,
};

void SetTimeBudget(i32 ownCentiseconds, i32 opponentCentiseconds) {
    (void)opponentCentiseconds;  // logged by the callers; the budget rests on the own clock alone
    // 1. Moves left to the next control. Done in 64 bits so that no clock value can overflow.
    if (movesPerSession != 0)
        movesToGo = static_cast<i32>(movesPerSession - (i64{gamePly} >> 1) % movesPerSession);
    else
        movesToGo = 33;
    SetMoveBudget(ownCentiseconds);
}

void SetMoveBudget(i32 ownCentiseconds) {
    // 2.-3. Per-move share, with a safety margin once it is worth having.
    i64 perMove = i64{ownCentiseconds} / movesToGo;
    if (perMove >= 500)
        perMove -= 100;
    else if (perMove >= 220)
        perMove -= 50;
    // 4. Centiseconds to milliseconds, keeping 10 % back on the last move before the control.
    // Nine budgets of a practically unlimited clock ("test") wrap on purpose, unsigned, to a
    // positive value of over 100 hours.
    u32 factor = movesToGo == 1 ? 9u : 10u;
    timeForMove =
        static_cast<i32>(static_cast<u32>(perMove) * factor + static_cast<u32>(incrementMs));
    // The budget may grow during a search (failed aspiration windows, the one restart of a
    // shallow search), and on a short clock that growth alone can lose the game on time. Whatever
    // the budget says, one move never takes more than the clock minus an eighth of it and a
    // little for the pipe to the interface.
    i64 clockMs = i64{ownCentiseconds} * 10;
    hardTimeLimit = clockMs - clockMs / 8 - 30;
    if (hardTimeLimit < 10) hardTimeLimit = 10;
}

void StartMoveClock(i32 now) { moveClockStart = now; }

bool TimeIsUp() {
    // The first iteration always completes, so there is always a move to play.
    if (worker.iterationDepth <= 2) return false;
    // A search the user limited to a node count stops there, pondering or not.
    if (searchLimits.nodes != 0 && SearchNodes() >= searchLimits.nodes) {
        stopSearch = true;
        return true;
    }
    // A ponder search runs on the opponent's time until input stops it (PollCommand sets
    // stopSearch then). A "?" still waiting from the search for the move it answered is no such
    // input: it must not end the pondering that follows. A search with no clock (analysis) is
    // likewise ended only by input.
    if (EngineState == Pondering || searchLimits.infinite) return false;
    i32 now = Now();
    i64 remaining;
    if (searchLimits.moveTimeMs > 0) {
        // A fixed time for each move is the user's limit, whatever the clock reports say and
        // however the budget grew; a little of it is kept back for the pipe to the interface.
        const i64 margin = std::min<i64>(searchLimits.moveTimeMs / 20, 100);
        remaining = i64{moveClockStart} + searchLimits.moveTimeMs - margin - now;
    } else {
        remaining = i64{searchStart} + timeForMove - now;
        if (hardTimeLimit >= 0 && i64{now} - moveClockStart >= hardTimeLimit) remaining = 0;
    }
    if (remaining > 0 && !(commandPending && pendingStopsSearch)) return false;
    stopSearch = true;
    return true;
}

bool PollPoint() {
    if (worker.nodeCount <= worker.nextPoll) return false;
    // 1.-2. Stopped already, or out of time.
    if (stopSearch || TimeIsUp()) return true;
    if (searchTicker) searchTicker();
    // 3. Waiting input: read one token and act on it.
    if (InputAvailable()) {
        if (stopSearch || TimeIsUp()) return true;
        if (inputPoller) inputPoller();
        if (stopSearch || TimeIsUp()) return true;
    }
    // 4. An aborting node leaves nextPoll alone, so every node above it aborts at once.
    worker.nextPoll += PollInterval;
    return false;
}

bool PollClock() { return stopSearch || (worker.nodeCount > worker.nextPoll && TimeIsUp()); }

void ApplyPonderCredit(i32 now) {
    i64 credit = (2 * i64{timeForMove}) / 3;
    if (i64{now} - searchStart > credit) searchStart = static_cast<i32>(now - credit);
}

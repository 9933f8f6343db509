// The xboard side of input during a search: PollCommand reads one token when the poll point
// finds input waiting and acts on it at once (a confirmed guess, a clock report, "easy"/"hard")
// or hands it to the command loop; and the one reading of a clock report.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "xboard/xboard.h"

bool ReadClockReport(i32& own, char* keyword, i32& opponent) {
    keyword[0] = '\0';
    opponent = 0;
    if (!ReadInt(own)) {
        std::printf("Error (clock report needs a number): %s\n", commandBuffer);
        debugLog.Line("-M: clock report without a number, ignored");
        return false;
    }
    if (!ReadToken(keyword, TokenCapacity)) return true;
    if (!ReadInt(opponent)) {
        // The opponent's clock is only logged: the report still sets the budget.
        std::printf("Error (clock report needs a number): %s\n", commandBuffer);
        opponent = 0;
    }
    return true;
}

void ApplyClockReport(const char* logTail) {
    i32 own, opponent;
    char keyword[TokenCapacity];
    if (!ReadClockReport(own, keyword, opponent)) return;
    debugLog << own << ' ' << keyword << ' ' << opponent << logTail;
    SetTimeBudget(own, opponent);
}

void PollCommand() {
    // 1. One token. The end of input acts as "quit", so a closed pipe ends the engine cleanly.
    if (!ReadToken(commandBuffer, TokenCapacity)) std::strcpy(commandBuffer, "quit");
    debugLog << "-cC: ";
    debugLog.Line(commandBuffer);

    // 2. A move: the guessed one turns pondering into thinking; any other ends the search.
    if (Move move = ParseMove(commandBuffer)) {
        if (EngineState == Pondering && move == ponderMove) {
            // The buffer now holds the move, played here: nothing waits for the loop any more.
            commandPending = pendingStopsSearch = false;
            stopSearch = false;
            ConfirmPonderGuess(true, true);
            debugLog << "--- GOOD PONDER --- cmd:";
            debugLog.Line(commandBuffer);
            return;
        }
        commandPending = stopSearch = pendingStopsSearch = true;
        return;
    }

    // 3. A clock report changes the running search's budget at once.
    // The report is applied here, whole: a token that was waiting for the loop has been
    // replaced by it, and the loop must not read the report a second time.
    if (std::strncmp(commandBuffer, "time", 4) == 0) {
        commandPending = pendingStopsSearch = false;
        ApplyClockReport(" [cC]\n");
        return;
    }

    // Pondering on or off needs no search to stop; applied here it cannot be lost.
    if (std::strcmp(commandBuffer, "easy") == 0 || std::strcmp(commandBuffer, "hard") == 0) {
        ponderEnabled = commandBuffer[0] == 'h';
        commandPending = pendingStopsSearch = false;
        return;
    }

    // 4. "?", "force", "quit" and every other command the loop acts on stop the search: a
    // command left waiting could be overwritten by the next token and lost.
    if (std::strcmp(commandBuffer, "?") == 0 || StopsSearch(commandBuffer)) {
        commandPending = stopSearch = pendingStopsSearch = true;
        return;
    }

    // 5. Anything else waits for the loop, which only logs it; the search goes on.
    commandPending = true;
    pendingStopsSearch = false;
}

// Process-wide engine-control state: the loop's state word, the shared command buffer, the game
// counters and the clock values. Kept apart from the code that changes them so that every
// subsystem (and every test program) can link against them alone.
#include "engine/engine.h"
#include "search/search.h"

i32 EngineState = Force;
char commandBuffer[256];
bool commandPending;
bool ponderEnabled = true;

u16 gamePly = 1;
Move ponderMove;
PlyRecord ponderUndo;

i32 movesPerSession = 35;
i32 incrementMs;
i32 movesToGo = 35;

// A marker word reaching MakeMove is reported with the search's depth and the ponder move.
namespace {
[[maybe_unused]] const bool moveErrorContextSet =
    (moveErrorContext = MoveErrorContext{&worker.iterationDepth, &ponderMove}, true);
}  // namespace

// "test": the fixed middlegame position with a practically unlimited clock, so that a following
// "go" shows how deep and how fast Zelmor searches it.
#include "board/board.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "tools/tools.h"

void TestCommand() {
    // 1. A direct bitbase call, to exercise the library; its answer does not matter.
    if (bitbasesLoaded && bitbaseProbe != nullptr) bitbaseProbe(1, 24, 41, 8, 3, 6, 13, 2, 25);

    // 2. - 5. One move per session, no increment, the fixed position, no pondering.
    movesPerSession = 1;
    incrementMs = 0;
    SetBoard(TestPositionFen);
    EngineState = Playing;
    ponderEnabled = false;
    PrintBoard(pos.board);

    // 6. The budget of an own clock of 999999999 centiseconds on the last move before the time
    // control (one move per session): nine budgets of 999999899 ms wrap on purpose to a positive
    // value over 100 hours, and the clock's own hard limit is as far away.
    SetTimeBudget(999999999, 1);
}

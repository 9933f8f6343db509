#include <csignal>

#include "engine/engine.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

int main(int argc, char** argv) {
    // XBoard interrupts its engines with SIGINT before sending them a move; Zelmor reads its
    // input while it searches, so the signal carries nothing it needs and must not end it.
    std::signal(SIGINT, SIG_IGN);
    if (WantsUci(argc, argv))
        UciLoop();
    else
        CommandLoop();
    return 0;
}

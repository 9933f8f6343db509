#include <csignal>

#include "engine/engine.h"

int main() {
    // XBoard interrupts its engines with SIGINT before sending them a move; Zelmor reads its
    // input while it searches, so the signal carries nothing it needs and must not end it.
    std::signal(SIGINT, SIG_IGN);
    CommandLoop();
    return 0;
}

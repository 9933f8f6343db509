#include "engine/engine.h"

int main() {
    CommandLoop();
    return 0;
}

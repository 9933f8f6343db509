// The engine's millisecond clock: time elapsed since the process started. The start instant is
// taken while static objects are initialised, before the handshake.
#include <chrono>

#include "base/log.h"

namespace {
const auto processStart = std::chrono::steady_clock::now();
}

std::int32_t Now() {
    auto elapsed = std::chrono::steady_clock::now() - processStart;
    return static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

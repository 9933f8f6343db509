// The only operating-system calls on standard input: a blocking read of whatever bytes are there
// and a readiness probe that never blocks.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "engine/input.h"

long ReadStdinBytes(char* buffer, unsigned long capacity) {
    for (;;) {
        ssize_t n = read(0, buffer, capacity);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return -1;
    }
}

bool StdinReadable() {
    pollfd probe{0, POLLIN, 0};
    int ready = poll(&probe, 1, 0);
    if (ready < 0)
        return errno != EINTR;  // a broken descriptor counts as input: the read sees the end
    // Hang-up, error and an invalid descriptor all make the next read report the end.
    return ready > 0 && (probe.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The buffered reader over file descriptor 0. Reads block only when a caller needs more bytes;
// InputAvailable tops the buffer up without blocking and reports waiting input only once a whole
// token (or the end of input) is there, so that PollCommand's read never blocks a search.
#include "engine/input.h"

#include <cstring>

#include "engine/engine.h"

namespace {

constexpr std::size_t BufferSize = 1 << 16;
char buffer[BufferSize];
std::size_t head;  // next unread byte
std::size_t tail;  // end of the bytes read so far
bool endSeen;      // read(2) has reported the end (or an error, which counts as the end)

constexpr bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One read(2) into the free space; false when nothing could be added.
bool FillOnce() {
    if (endSeen) return false;
    if (head == tail) head = tail = 0;
    if (tail == BufferSize && head > 0) {
        std::memmove(buffer, buffer + head, tail - head);
        tail -= head;
        head = 0;
    }
    if (tail == BufferSize) return false;
    long n = ReadStdinBytes(buffer + tail, BufferSize - tail);
    if (n <= 0) {
        endSeen = true;
        return false;
    }
    tail += static_cast<std::size_t>(n);
    return true;
}

// The byte k places ahead, reading (and blocking) as needed; -1 when the input ends first.
int PeekAt(std::size_t k) {
    while (tail - head <= k)
        if (!FillOnce()) return -1;
    return static_cast<unsigned char>(buffer[head + k]);
}

void SkipSpace() {
    int c;
    while ((c = PeekAt(0)) != -1 && IsSpace(c)) ++head;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ReadToken(char* out, std::size_t capacity) {
    SkipSpace();
    if (PeekAt(0) == -1) return false;
    std::size_t n = 0;
    int c;
    while ((c = PeekAt(0)) != -1 && !IsSpace(c)) {
        if (n + 1 < capacity) out[n++] = static_cast<char>(c);
        ++head;
    }
    out[n] = '\0';
    return true;
}

bool PeekToken(char* out, std::size_t capacity) {
    SkipSpace();
    if (PeekAt(0) == -1) return false;
    std::size_t n = 0;
    int c;
    // A token longer than the buffer is seen only as far as the buffer holds it.
    for (std::size_t k = 0; (c = PeekAt(k)) != -1 && !IsSpace(c); ++k)
        if (n + 1 < capacity) out[n++] = static_cast<char>(c);
    out[n] = '\0';
    return true;
}

bool ReadRestOfLine(char* out, std::size_t capacity, bool& truncated) {
    truncated = false;
    if (PeekAt(0) == -1) return false;
    std::size_t n = 0;
    int c;
    while ((c = PeekAt(0)) != -1) {
        ++head;
        if (n + 1 < capacity)
            out[n++] = static_cast<char>(c);
        else
            truncated = true;
        if (c == '\n') break;
    }
    out[n] = '\0';
    return true;
}

bool ReadInt(i32& value, bool dropFraction) {
    SkipSpace();
    std::size_t k = 0;
    int c = PeekAt(0);
    bool negative = c == '-';
    if (c == '-' || c == '+') k = 1;
    if (!IsDigit(PeekAt(k))) return false;
    i64 magnitude = 0;
    while (IsDigit(c = PeekAt(k))) {
        if (magnitude <= (i64{1} << 31)) magnitude = magnitude * 10 + (c - '0');
        ++k;
    }
    head += k;
    if (dropFraction && PeekAt(0) == '.' && IsDigit(PeekAt(1))) {
        ++head;
        while (IsDigit(PeekAt(0))) ++head;
    }
    if (negative) magnitude = -magnitude;
    if (magnitude > INT32_MAX) magnitude = INT32_MAX;
    if (magnitude < INT32_MIN) magnitude = INT32_MIN;
    value = static_cast<i32>(magnitude);
    return true;
}

bool InputEnded() { return endSeen && head == tail; }

void ResetInput() {
    head = tail = 0;
    endSeen = false;
}

i32 InputAvailable() {
    for (;;) {
        while (head < tail && IsSpace(static_cast<unsigned char>(buffer[head]))) ++head;
        if (head < tail) {
            // A token counts once the whitespace after it has arrived, or the buffer is full of it.
            for (std::size_t i = head + 1; i < tail; ++i)
                if (IsSpace(static_cast<unsigned char>(buffer[i])))
                    return static_cast<i32>(tail - head);
            if (head == 0 && tail == BufferSize) return static_cast<i32>(tail);
        }
        if (endSeen) return 1;  // the reader will see the end (or the last, unterminated token)
        if (!StdinReadable()) return 0;
        if (!FillOnce() && !endSeen) return static_cast<i32>(tail - head);
    }
}

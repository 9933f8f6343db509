// The debug log "Zelmor.log": created (truncated) while static objects are initialised, so it is
// open before the handshake, and closed at process exit. A failed open simply discards text.
#include <cstdio>

#include "engine/engine.h"

DebugLog debugLog;

DebugLog::DebugLog() : file_(std::fopen("Zelmor.log", "w")) {}

DebugLog::~DebugLog() {
    if (file_) std::fclose(file_);
}

DebugLog& DebugLog::operator<<(const char* text) {
    if (file_) std::fputs(text, file_);
    return *this;
}
DebugLog& DebugLog::operator<<(char c) {
    if (file_) std::fputc(c, file_);
    return *this;
}
DebugLog& DebugLog::operator<<(int value) {
    if (file_) std::fprintf(file_, "%d", value);
    return *this;
}
DebugLog& DebugLog::operator<<(unsigned value) {
    if (file_) std::fprintf(file_, "%u", value);
    return *this;
}
DebugLog& DebugLog::operator<<(long value) {
    if (file_) std::fprintf(file_, "%ld", value);
    return *this;
}
DebugLog& DebugLog::operator<<(unsigned long value) {
    if (file_) std::fprintf(file_, "%lu", value);
    return *this;
}
DebugLog& DebugLog::operator<<(long long value) {
    if (file_) std::fprintf(file_, "%lld", value);
    return *this;
}
DebugLog& DebugLog::operator<<(unsigned long long value) {
    if (file_) std::fprintf(file_, "%llu", value);
    return *this;
}

void DebugLog::Line(const char* text) {
    if (!file_) return;
    std::fputs(text, file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void DebugLog::Flush() {
    if (file_) std::fflush(file_);
}

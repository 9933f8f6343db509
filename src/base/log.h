// The ground floor under every subsystem: the debug log "Zelmor.log", the user's directories it
// and Zelmor.ini may live in, and the millisecond clock. Nothing here knows about chess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------------------------
// Debug log "Zelmor.log", truncated at every start: in the working directory, or in the user's
// state directory when the working directory takes no files.

class DebugLog {
public:
    DebugLog();
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    DebugLog& operator<<(const char* text);
    DebugLog& operator<<(char c);
    DebugLog& operator<<(int value);
    DebugLog& operator<<(unsigned value);
    DebugLog& operator<<(long value);
    DebugLog& operator<<(unsigned long value);
    DebugLog& operator<<(long long value);
    DebugLog& operator<<(unsigned long long value);
    // A full line: text, newline, flush.
    void Line(const char* text);
    void Flush();
    // Where the log went: "" for the working directory, else the state directory ending in '/'.
    const char* Directory() const { return directory_; }
    // Why no log is written anywhere; "" while it is.
    const char* Failure() const { return failure_; }

private:
    std::FILE* file_ = nullptr;
    char directory_[4096] = "";
    char failure_[8400] = "";
};
extern DebugLog debugLog;

// The user's home directory: $HOME when it is absolute, else the password database's; nullptr
// when there is none.
const char* HomeDirectory();
// Zelmor's own directory of a kind the XDG directory standard names: "$variable/zelmor/" when the
// variable holds an absolute directory, else "$HOME/fallback/zelmor/". False without a home
// directory or when the result does not fit.
bool UserDirectory(const char* variable, const char* fallback, char* out, std::size_t size);

// Milliseconds since the process started.
std::int32_t Now();

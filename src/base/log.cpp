// The debug log "Zelmor.log": created (truncated) while static objects are initialised, so it is
// open before the handshake, and closed at process exit. It goes to the working directory; when
// that takes no files (an installed Zelmor started from a read-only directory), to the user's
// state directory $XDG_STATE_HOME/zelmor/ (~/.local/state/zelmor/ by default) and nowhere else.
// When neither can be written the text is discarded and start-up says so.
#include "base/log.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

DebugLog debugLog;

namespace {

// The absolute directory named by an environment variable, or nullptr: the directory standard
// says relative values are to be ignored.
const char* AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : nullptr;
}

}  // namespace

const char* HomeDirectory() {
    if (const char* home = AbsoluteFromEnvironment("HOME")) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir && user->pw_dir[0] == '/' ? user->pw_dir : nullptr;
}

bool UserDirectory(const char* variable, const char* fallback, char* out, std::size_t size) {
    int length;
    if (const char* base = AbsoluteFromEnvironment(variable))
        length = std::snprintf(out, size, "%s/zelmor/", base);
    else if (const char* home = HomeDirectory())
        length = std::snprintf(out, size, "%s/%s/zelmor/", home, fallback);
    else
        return false;
    return length > 0 && static_cast<std::size_t>(length) < size;
}

DebugLog::DebugLog() {
    file_ = std::fopen("Zelmor.log", "w");
    if (file_) return;
    int workingError = errno;
    if (!UserDirectory("XDG_STATE_HOME", ".local/state", directory_, sizeof directory_)) {
        std::snprintf(failure_, sizeof failure_,
                      "Zelmor.log cannot be written in the working directory (%s) and there is "
                      "no home directory",
                      std::strerror(workingError));
        directory_[0] = '\0';
        return;
    }
    // Every missing level is created private to the user, as the directory standard asks.
    int error = 0;
    for (char* slash = std::strchr(directory_ + 1, '/'); slash;
         slash = std::strchr(slash + 1, '/')) {
        *slash = '\0';
        if (mkdir(directory_, 0700) != 0 && errno != EEXIST && error == 0) error = errno;
        *slash = '/';
    }
    char path[sizeof directory_ + 16];
    std::snprintf(path, sizeof path, "%sZelmor.log", directory_);
    file_ = std::fopen(path, "w");
    if (file_) return;
    if (error == 0) error = errno;
    std::snprintf(failure_, sizeof failure_,
                  "Zelmor.log cannot be written in the working directory (%s) nor in %s (%s)",
                  std::strerror(workingError), directory_, std::strerror(error));
    directory_[0] = '\0';
}

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

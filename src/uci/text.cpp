// The UCI front end's input: lines read whole, cut into words, and the command words UCI knows.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/input.h"
#include "uci/internal.h"

namespace uci {

char line[LineLimit];
bool linePending;
char* words[WordLimit];

// One "info string" line; the texts a and b fill the format's %s.
void InfoString(const char* format, const char* a, const char* b) {
    char text[512];  // a longer text (a stray word of a huge line) is cut
    if (std::snprintf(text, sizeof text, format, a, b) < 0) return;
    std::printf("info string %s\n", text);
}

// The next line that is not blank, without its line end; false at the end of input.
bool ReadLine() {
    for (;;) {
        bool truncated = false;
        if (!ReadRestOfLine(line, sizeof line, truncated)) return false;
        std::size_t length = std::strlen(line);
        while (length > 0 && IsBlank(line[length - 1])) line[--length] = '\0';
        if (truncated) InfoString("input line longer than 131071 characters cut");
        for (const char* p = line; *p; ++p)
            if (!IsBlank(*p)) return true;
    }
}

// Cuts text into words in place; returns their number.
int Split(char* text, char** out, int limit) {
    int n = 0;
    for (char* p = text; *p && n < limit;) {
        while (IsBlank(*p)) *p++ = '\0';
        if (!*p) break;
        out[n++] = p;
        while (*p && !IsBlank(*p)) ++p;
    }
    return n;
}

namespace {

constexpr struct {
    const char* name;
    Verb verb;
} Verbs[] = {
    {"uci", Verb::Uci},           {"debug", Verb::Debug},
    {"isready", Verb::IsReady},   {"setoption", Verb::SetOption},
    {"register", Verb::Register}, {"ucinewgame", Verb::UciNewGame},
    {"position", Verb::Position}, {"go", Verb::Go},
    {"stop", Verb::Stop},         {"ponderhit", Verb::PonderHit},
    {"quit", Verb::Quit},
};

}  // namespace

Verb VerbOf(const char* word, std::size_t length) {
    for (const auto& v : Verbs)
        if (std::strlen(v.name) == length && std::strncmp(v.name, word, length) == 0) return v.verb;
    return Verb::None;
}

const char* NameOf(Verb verb) {
    for (const auto& v : Verbs)
        if (v.verb == verb) return v.name;
    return "";
}

// The first known command word of a line (UCI skips unknown words before it), read without
// changing the line.
Verb FirstVerb(const char* text) {
    for (const char* p = text; *p;) {
        while (IsBlank(*p)) ++p;
        const char* start = p;
        while (*p && !IsBlank(*p)) ++p;
        if (p == start) break;
        if (Verb verb = VerbOf(start, static_cast<std::size_t>(p - start)); verb != Verb::None)
            return verb;
    }
    return Verb::None;
}

// Words [from, to) joined by single blanks into out, cut to its size.
void Join(char** w, int from, int to, char* out, std::size_t size) {
    std::size_t length = 0;
    out[0] = '\0';
    for (int i = from; i < to; ++i) {
        const std::size_t n = std::strlen(w[i]) + (length ? 1 : 0);
        if (length + n >= size) break;
        std::snprintf(out + length, size - length, "%s%s", length ? " " : "", w[i]);
        length += n;
    }
}

// A whole decimal number, saturated to 64 bits; false for anything else.
bool WholeNumber(const char* word, i64& value) {
    if (!word || !*word) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(word, &end, 10);
    if (*end != '\0' || end == word) return false;
    value = parsed;
    return true;
}

}  // namespace uci

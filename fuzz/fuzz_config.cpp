// Zelmor.ini: every line of the input applied as a configuration line, then the whole input
// read as the file, opening the book sets the BOOK_PATH lines name (read-only).
#include <cstdio>
#include <string>

#include "book/book.h"
#include "engine/internal.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    static EngineConfig config;
    config = EngineConfig{};
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        // The reader never hands over more than 4095 characters.
        if (line.size() <= static_cast<std::size_t>(ConfigLineLimit))
            ApplyConfigLine(line.c_str(), config);
        at = end + 1;
    }
    config = EngineConfig{};
    if (size > 0) {
        std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
        if (file) {
            ReadConfig(file, config, true);
            std::fclose(file);
        }
    }
    if (config.bitbaseLoadMode < 0 || config.bitbaseLoadMode > 5) __builtin_trap();
    if (config.bitbaseCacheMb < 0) __builtin_trap();
    mainBook.close();
    secondBook.close();
    return 0;
}

// Shared set-up of the fuzz targets: the fixed tables built once, standard output silenced (the
// converters and commands report a line per game; ZELMOR_FUZZ_STDOUT=1 keeps it for a
// reproducer), a scratch directory of the target's own for the files an input becomes, and
// helpers to write those files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "board/board.h"
#include "engine/engine.h"
#include "search/search.h"

namespace zelmor_fuzz {

// Builds the tables and silences stdout; called from LLVMFuzzerInitialize.
inline void SetUpProcess() {
    InitEngineTables();
    SetBoard(StartFen);
    // "memory" and "Hash" may ask for gigabytes: held to 144 MiB, within the fuzzer's memory limit.
    hashBitsLimit = DefaultHashBits + 1;
    const char* keep = std::getenv("ZELMOR_FUZZ_STDOUT");
    if (keep == nullptr || keep[0] != '1') {
        std::fflush(stdout);
        int sink = open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, 1);
            close(sink);
        }
    }
}

// A fresh directory under the system's temporary directory, made once per process. Never freed,
// so that it outlives every static object that removes it at exit.
inline const std::string& ScratchDir() {
    static const std::string* dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelmor-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return new std::string(pattern);
    }();
    return *dir;
}

// Empties the scratch directory (files left by the previous input).
inline void ClearScratch() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchDir(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

inline void WriteBytes(const std::string& path, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

// Removes the scratch directory at exit (a crash leaves it for inspection).
struct ScratchRemover {
    ~ScratchRemover() {
        std::error_code ignored;
        std::filesystem::remove_all(ScratchDir(), ignored);
    }
};

}  // namespace zelmor_fuzz

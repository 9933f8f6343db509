// Position lists made into database files, as "dbcreate" does. A database written without an
// error must open, hold its keys in order and find each of them.
#include <unistd.h>

#include <string>

#include "database/database.h"
#include "fuzz_support.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    zelmor_fuzz::ClearScratch();
    zelmor_fuzz::WriteBytes("list.pos", data, size);
    for (char side : {'B', 'W'}) {
        const std::string output = side == 'B' ? "base_black.db" : "base_white.db";
        std::string errorText;
        if (!createDatabase("list.pos", output, side, errorText)) continue;
        PositionDatabase database;
        if (!database.open(output, errorText)) __builtin_trap();
        u64 previous = 0;
        for (u64 i = 0; i < database.recordCount; ++i) {
            if (!database.readAt(i)) __builtin_trap();
            const u64 key = database.record.key;
            if (i > 0 && key < previous) __builtin_trap();
            previous = key;
        }
        for (u64 i = 0; i < database.recordCount && i < 64; ++i) {
            if (!database.readAt(i)) __builtin_trap();
            const u64 key = database.record.key;
            if (database.find(key) == nullptr) __builtin_trap();
        }
    }
    DbCreateCommand("list.pos", "cmd");
    return 0;
}

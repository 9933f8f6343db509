// Position database files: the input is the file itself, used as both black.db and white.db.
// It is opened, searched by bisection and by the linear scan for the keys of its own records
// and some made-up ones, shown with "dbshow"/"dbshowlin", and made into a book as "bookcreate"
// does; a book written without an error must then open.
#include <unistd.h>

#include <algorithm>
#include <string>

#include "book/book.h"
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
    if (size > 54 * 512) return 0;
    zelmor_fuzz::ClearScratch();
    zelmor_fuzz::WriteBytes("black.db", data, size);
    zelmor_fuzz::WriteBytes("white.db", data, size);

    // 1. Look-ups.
    {
        PositionDatabase database;
        std::string errorText;
        if (database.open("black.db", errorText)) {
            const std::size_t records = std::min<std::size_t>(size / DbRecordBytes, 64);
            for (std::size_t i = 0; i < records; ++i) {
                DbRecord record;
                DecodeDbRecord(data + i * DbRecordBytes, record);
                database.find(record.key);
                database.find(record.key + 1);
                database.scan(record.key);
                u8 bytes[DbRecordBytes];
                EncodeDbRecord(record, bytes);
                if (!std::equal(bytes, bytes + DbRecordBytes, data + i * DbRecordBytes))
                    __builtin_trap();  // a record must read back bit for bit
            }
            database.find(0);
            database.find(~u64{0});
            database.scan(~u64{0});
        }
    }

    // 2. The commands.
    DbShowCommand(false);
    DbShowCommand(true);
    for (int side = 0; side < 2; ++side) {
        PositionDatabase database;
        std::string errorText;
        if (!database.open(side == 0 ? "black.db" : "white.db", errorText)) continue;
        if (buildBook(BookNames[side], database, side, errorText)) {
            BookFile book;
            if (!book.open(BookNames[side], errorText)) __builtin_trap();
        }
    }
    return 0;
}

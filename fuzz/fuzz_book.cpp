// Opening book files. The 512 KiB index is described compactly so that the fuzzer can shape it:
//   byte 0  flags: bit 0 cut the index short, bit 1 copy the book into "2/" as the second book,
//           bit 2 leave the data files out, bit 3 give bookwtm an empty data file
//   byte 1  number of steps (low four bits); each step is 7 bytes: a 17-bit bucket (3 bytes) and
//           a 32-bit count (4 bytes); a step sets the cumulative count from its bucket on, so
//           steps in any order can also make a decreasing (damaged) index
//   rest    the ".zbk" data (6-byte records)
// Both books are opened as the main (and second) book set, asked for a move in a few positions,
// and probed for the keys of their own records and of some made-up keys.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "book/book.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"

namespace {

zelmor_fuzz::ScratchRemover remover;

u32 Le(const uint8_t* p, int bytes) {
    u32 value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

void WriteBook(const std::string& dir, const std::vector<u8>& index, std::size_t indexSize,
               const uint8_t* recordData, std::size_t dataSize, u8 flags) {
    for (int side = 0; side < 2; ++side) {
        const std::string base = dir + BookNames[side];
        zelmor_fuzz::WriteBytes(base + ".zbx", index.data(), indexSize);
        if (flags & 4) continue;
        const bool empty = side == 1 && (flags & 8);
        zelmor_fuzz::WriteBytes(base + ".zbk", recordData, empty ? 0 : dataSize);
    }
}

void Probe(BookFile& book, const std::vector<u32>& cumulative, const uint8_t* recordData,
           std::size_t dataSize) {
    // Keys of the stored records in the bucket the index puts them in, and a made-up key.
    const std::size_t records = std::min<std::size_t>(dataSize / BookRecordBytes, 64);
    for (std::size_t i = 0; i < records; ++i) {
        const uint8_t* r = recordData + i * BookRecordBytes;
        const u64 stored = u64{Le(r, 4)} | (u64{Le(r + 4, 2)} & 0x7FFF) << 32;
        const u32 bucket = static_cast<u32>(std::upper_bound(cumulative.begin(), cumulative.end(),
                                                             static_cast<u32>(i)) -
                                            cumulative.begin()) &
                           (BookBuckets - 1);
        book.contains(u64{bucket} << 47 | stored);
        book.contains(u64{bucket} << 47 | (stored ^ 1));
    }
    book.contains(0);
    book.contains(~u64{0});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    if (chdir(zelmor_fuzz::ScratchDir().c_str()) != 0) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    const u8 flags = data[0];
    const int steps = data[1] & 15;
    std::size_t at = 2;
    std::vector<u32> cumulative(BookBuckets, 0);
    for (int s = 0; s < steps && at + 7 <= size; ++s, at += 7) {
        const u32 bucket = Le(data + at, 3) & (BookBuckets - 1);
        std::fill(cumulative.begin() + bucket, cumulative.end(), Le(data + at + 3, 4));
    }
    std::vector<u8> index(BookIndexBytes);
    for (int b = 0; b < BookBuckets; ++b)
        for (int k = 0; k < 4; ++k) index[4 * b + k] = static_cast<u8>(cumulative[b] >> (8 * k));
    const uint8_t* recordData = data + std::min(at, size);
    const std::size_t dataSize = size - std::min(at, size);
    const std::size_t indexSize = (flags & 1) ? BookIndexBytes - 1 - data[1] : BookIndexBytes;

    zelmor_fuzz::ClearScratch();
    const std::string dir = zelmor_fuzz::ScratchDir() + "/";
    WriteBook(dir, index, indexSize, recordData, dataSize, flags);
    if (flags & 2) {
        std::filesystem::create_directory(dir + "2");
        WriteBook(dir + "2/", index, indexSize, recordData, dataSize, flags);
    }

    mainBook.open(dir.c_str());
    secondBook.open((dir + "2/").c_str());
    for (BookSet* set : {&mainBook, &secondBook})
        for (BookFile& book : set->books) Probe(book, cumulative, recordData, dataSize);

    // Book moves for both sides to move, and the "bookshow" answers.
    getBookMove();
    BookShowCommand();
    const Move e4 = ParseMove("e2e4");
    UndoRecord undo;
    SaveSnapshot(undo);
    MakeMove(e4, undo);
    getBookMove();
    BookShowCommand();
    UnmakeMove(e4, undo);
    mainBook.close();
    secondBook.close();
    return 0;
}

// Building the two book files from the position database: a position enters "bookbtm" when it
// came early in the games and White scored more than half from it, "bookwtm" when Black did.
// One pass over the key-sorted database writes the records and the per-bucket index.
#include <cstdio>
#include <string>
#include <vector>

#include "book/book.h"
#include "database/database.h"
#include "files/files.h"

namespace {

// Positions reached after at most 40 plies of some game (ply numbers start at 1).
constexpr int LastBookPly = 41;

void PutLe32(u8* p, u32 value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<u8>(value >> (8 * i));
}

}  // namespace

bool buildBook(const char* name, PositionDatabase& database, int side, std::string& errorText,
               long double threshold, u32 minGames) {
    // 1. Both files go to temporaries beside the book: the book in place stays whole until the
    // new one is complete, and a failed build leaves it as it was. The index is built in memory.
    const std::string indexPath = std::string(name) + ".zbx";
    const std::string dataPath = std::string(name) + ".zbk";
    ReplacementFile indexOut(indexPath);
    ReplacementFile dataOut(dataPath);
    if (!indexOut.Open()) {
        errorText = "Cannot create index file: '" + indexPath + "'\n";
        return false;
    }
    if (!dataOut.Open()) {
        errorText = "Cannot create file: '" + dataPath + "'\n";
        return false;
    }
    std::vector<u32> index(BookBuckets, 0);
    auto fail = [&](const std::string& text) {
        errorText = text;
        return false;
    };
    auto writeFailure = [&](const ReplacementFile& file) {
        return fail(
            (&file == &indexOut ? "Writing indexes file error! '" : "Cannot write file: '") +
            file.Path() + "': " + file.Reason() + "; the earlier " + name + " is kept.\n");
    };

    // 2. Totals over the whole database; record numbers count from 1.
    long double whiteWins = 0;
    long double blackWins = 0;
    long double draws = 0;
    u64 kept = 0;
    u64 previousKey = 0;

    // 3. Every record in file order.
    for (u64 at = 0; at < database.recordCount; ++at) {
        if (!database.readAt(at)) {
            return fail("Cannot read the position database for " + std::string(name) + ".\n");
        }
        const DbRecord& record = database.record;
        // The index relies on ascending keys: a disordered file would give a book whose
        // buckets hold other buckets' records.
        if (at > 0 && record.key <= previousKey) {
            return fail("The position database for " + std::string(name) +
                        " is not sorted by key (record " + std::to_string(at + 1) +
                        "); no book written.\n");
        }
        previousKey = record.key;

        // 3.1 Every record counts toward the overall score.
        const long double w = record.whiteWins;
        const long double b = record.blackWins;
        const long double d = record.draws;
        whiteWins += w;
        blackWins += b;
        draws += d;

        // 3.2 Only early positions.
        if ((record.plyAndEp & DbPlyMask) > LastBookPly) continue;

        // 3.3 Only positions that went well for the side that moved into them (measured against
        // an even score, or against the collection's own score for the relative rule).
        const long double games = w + b + d;
        if (games == 0 || games < minGames) continue;
        const long double score = (w + d / 2) / games;
        if (side == 0 ? !(score > threshold) : !(score < threshold)) continue;

        // 3.4 The record, and its bucket's entry as the number of its last record so far.
        if (kept == ~u32{0})
            return fail("Too many book positions for " + std::string(name) + ".\n");
        ++kept;
        index[BookBucket(record.key)] = static_cast<u32>(kept);
        u8 bytes[BookRecordBytes];
        PutLe32(bytes, static_cast<u32>(record.key));
        const u32 high = static_cast<u32>(record.key >> 32) & 0x7FFF;
        bytes[4] = static_cast<u8>(high);
        bytes[5] = static_cast<u8>(high >> 8);
        if (!dataOut.Write(bytes, BookRecordBytes)) return writeFailure(dataOut);
    }

    // 4.-5. Empty buckets take their predecessor's count, making the index cumulative.
    for (int b = 1; b < BookBuckets; ++b) {
        if (index[b] < index[b - 1]) index[b] = index[b - 1];
    }
    static u8 indexBytes[BookIndexBytes];
    for (int b = 0; b < BookBuckets; ++b) PutLe32(indexBytes + 4 * b, index[b]);
    if (!indexOut.Write(indexBytes, BookIndexBytes)) return writeFailure(indexOut);

    // Both files complete before either replaces the old one; the data goes first, and a book
    // opened between the two renames is refused for its count (the index does not match).
    ReplacementFile* const pair[2] = {&dataOut, &indexOut};
    const ReplacementFile* failed = nullptr;
    if (!CommitTogether(pair, 2, failed)) return writeFailure(*failed);

    // 6. White's score over the whole database (0/0 prints as not a number).
    std::printf("%s: %Lf\n", name, (whiteWins + draws / 2) / (whiteWins + blackWins + draws));
    return true;
}

void BuildBookPair(bool relative, u32 minGames) {
    DbPair pair;
    if (!pair.open()) {
        std::printf("%s\n", pair.errorText.c_str());
        return;
    }
    bool built = true;
    for (int side = 0; side < 2; ++side) {
        std::printf("Generating %s...\n", BookNames[side]);
        // The relative rule measures each position against White's score over its own database
        // file; with no games there, nothing is above or below it and the book is written empty.
        long double threshold = 0.5L;
        if (relative && !DatabaseWhiteScore(pair.databases[side], threshold)) {
            std::printf("Cannot read the position database for %s.\n", BookNames[side]);
            built = false;
            continue;
        }
        std::string errorText;
        if (!buildBook(BookNames[side], pair.databases[side], side, errorText, threshold,
                       minGames)) {
            std::printf("%s", errorText.c_str());
            built = false;
        }
    }
    // A failed build is no success: the books are not all new.
    std::printf("%s",
                built ? "created.\n" : "not created: a failed book keeps its earlier files.\n");
}

void BookCreateCommand() { BuildBookPair(false, 1); }

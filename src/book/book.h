// Opening book: the per-side book files (".zbx" index, ".zbk" data), the two book sets opened at
// start-up from BOOK_PATH (mainBook, secondBook: static objects, empty until opened), the choice
// of a book move, and building books from the position database ("bookcreate").
#pragma once

#include <cstdio>
#include <string>

#include "board/types.h"

struct PositionDatabase;

// A 64-bit position key is split into a 17-bit bucket (bits 47..63, an index entry) and the
// 47-bit value a 6-byte data record stores (bits 0..46). Kept: stored book files depend on it.
inline constexpr int BookBuckets = 131072;
inline constexpr int BookIndexBytes = BookBuckets * 4;
inline constexpr int BookRecordBytes = 6;
// "bookcreaterel" without a number keeps every position with a game, as it always has, so that
// books built by scripts stay as they were; the default book asks for 2 (scripts/make-book).
inline constexpr u32 DefaultBookMinGames = 1;
inline constexpr u64 BookStoredMask = (u64{1} << 47) - 1;

constexpr u32 BookBucket(u64 key) { return static_cast<u32>(key >> 47); }
constexpr u64 BookStoredValue(u64 key) { return key & BookStoredMask; }

// The two book names; the side index is the side to move of the listed positions.
inline constexpr const char* BookNames[2] = {"bookbtm", "bookwtm"};

// One book: its whole index in memory, the data file open for 6-byte record reads.
struct BookFile {
    // Entry b = number of records in buckets 0..b (cumulative; 1-based number of the last one).
    u32 index[BookBuckets] = {};
    std::FILE* indexFile = nullptr;  // open only while a book is being written
    std::FILE* dataFile = nullptr;   // open for reading while the book is in use
    // The last record read, with its bucket: answers a repeated probe without a disk read.
    u64 cachedRecord = 0;
    u32 cachedBucket = 0;
    bool cacheValid = false;
    u64 filePosition = 0;  // record number at which the data file's read pointer stands
    u64 recordCount = 0;   // 0: empty or not loaded

    BookFile() = default;
    BookFile(const BookFile&) = delete;
    BookFile& operator=(const BookFile&) = delete;
    ~BookFile() { close(); }

    bool open(const std::string& baseName, std::string& errorText);
    bool contains(u64 key);
    bool create(const std::string& name, std::string& errorText);
    void close();
    // Reads record `target` into the cache; false when the read fails.
    bool readRecord(u64 target);
};

// The two books of one directory; books[side to move]: [0] "bookbtm", [1] "bookwtm".
struct BookSet {
    char directory[301] = {};  // remembered after a failed load, for the one-time retry
    char errorText[513] = {};  // message of the last failed load
    BookFile books[2];

    bool open(const char* directoryText);
    // Tries once per run to load the set from the remembered directory + "zw/" or "zb/".
    void retrySideDirectory(int sideToMove);
    void close();
};

extern BookSet mainBook;
extern BookSet secondBook;

// A move of the live position that leads into a listed position, 0 when there is none.
Move getBookMove();
// Writes book `name` (.zbx/.zbk, working directory) from `database`: side 0 keeps positions where
// White scored above `threshold`, side 1 those where White scored below it; a position met in
// fewer than `minGames` games is left out.
bool buildBook(const char* name, PositionDatabase& database, int side, std::string& errorText,
               long double threshold = 0.5L, u32 minGames = 1);
// White's score over every record of `database`, (W + D/2) / (W + B + D); not a number when it
// holds no games. False when a record cannot be read.
bool DatabaseWhiteScore(PositionDatabase& database, long double& score);
// "bookcreaterel": bookbtm/bookwtm as "bookcreate" builds them, but a position is measured against
// White's score over its whole database file instead of an even score, so that Black gets a book
// in a collection where White scores above half. `minGames` (at least 1): fewest games a position
// must have been met in.
// Both books from black.db/white.db: against an even score, or (relative) against White's score
// over each database file; positions of fewer than minGames games are left out.
void BuildBookPair(bool relative, u32 minGames);
void BookCreateRelativeCommand(u32 minGames = DefaultBookMinGames);
// "bookcreate": builds bookbtm/bookwtm from black.db/white.db in the working directory.
void BookCreateCommand();
// "bookshow": prints whether the live position is in each book set.
void BookShowCommand();

// Test seam: from here on getBookMove draws its choice from a generator seeded with `seed`
// instead of the clock, so that book walks and self-play measures can be repeated.
void SeedBookChoice(u64 seed);
// Back to the clock.
void UnseedBookChoice();

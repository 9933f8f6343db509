// Book files: loading a ".zbx" index and opening its ".zbk" data file, probing by bisection of
// one bucket with 6-byte record reads, creating empty files for the book writer, and the two
// process-wide book sets with their one-time side-directory retry.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "book/book.h"

BookSet mainBook;
BookSet secondBook;

namespace {

// Longest directory a book set accepts; the side-directory retry adds three characters.
constexpr std::size_t MaxBookPathLength = 255;

u32 ReadLe32(const u8* p) {
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

// Size of an open file through the stream itself; false when it cannot be told.
bool StreamSize(std::FILE* file, u64& size) {
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file);
    if (end < 0 || fseeko(file, 0, SEEK_SET) != 0) return false;
    size = static_cast<u64>(end);
    return true;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string Quoted(const char* before, const std::string& path, const char* after) {
    return std::string(before) + path + after;
}

void CopyText(char* target, std::size_t capacity, const std::string& text) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

}  // namespace

void BookFile::close() {
    if (indexFile) std::fclose(indexFile);
    if (dataFile) std::fclose(dataFile);
    indexFile = nullptr;
    dataFile = nullptr;
    cachedRecord = 0;
    cachedBucket = 0;
    cacheValid = false;
    filePosition = 0;
    recordCount = 0;
}

bool BookFile::readRecord(u64 target) {
    if (!dataFile || target >= recordCount) return false;
    if (target != filePosition &&
        fseeko(dataFile, static_cast<off_t>(target * BookRecordBytes), SEEK_SET) != 0) {
        filePosition = ~u64{0};
        cacheValid = false;
        return false;
    }
    u8 bytes[BookRecordBytes];
    if (std::fread(bytes, 1, BookRecordBytes, dataFile) != BookRecordBytes) {
        std::clearerr(dataFile);
        filePosition = ~u64{0};  // unknown: the next read seeks
        cacheValid = false;
        return false;
    }
    filePosition = target + 1;
    const u64 high = (static_cast<u64>(bytes[4]) | static_cast<u64>(bytes[5]) << 8) & 0x7FFF;
    cachedRecord = ReadLe32(bytes) | high << 32;
    cacheValid = true;
    return true;
}

bool BookFile::open(const std::string& baseName, std::string& errorText) {
    // 1. Nothing of an earlier book survives.
    close();
    std::fill(std::begin(index), std::end(index), 0u);

    // 2. The index, whole. Any failure leaves the book empty.
    const std::string indexPath = baseName + ".zbx";
    std::FILE* file = std::fopen(indexPath.c_str(), "rb");
    if (!file) {
        errorText = Quoted("Cannot load file: '", indexPath, "'\n");
        return false;
    }
    u64 size = 0;
    if (!StreamSize(file, size)) {
        std::fclose(file);
        errorText = Quoted("Cannot get file statistics: '", indexPath, "'.\n");
        return false;
    }
    static u8 bytes[BookIndexBytes];
    const bool complete =
        size == BookIndexBytes && std::fread(bytes, 1, BookIndexBytes, file) == BookIndexBytes;
    std::fclose(file);
    if (!complete) {
        errorText = Quoted("Wrong file format '", indexPath, "'.\n");
        return false;
    }
    // Counts are cumulative. A decreasing entry leaves its bucket empty (contains answers no
    // without reading); the other buckets still serve.
    for (int b = 0; b < BookBuckets; ++b) index[b] = ReadLe32(bytes + 4 * b);

    // 3. The data file stays open for the probes.
    const std::string dataPath = baseName + ".zbk";
    dataFile = IsRegularFile(dataPath) ? std::fopen(dataPath.c_str(), "rb") : nullptr;
    if (!dataFile) {
        std::fill(std::begin(index), std::end(index), 0u);
        errorText = Quoted("Cannot open file: '", dataPath, "'\n");
        return false;
    }
    // Each probe reads one 6-byte record: no block of the file is kept behind it.
    std::setvbuf(dataFile, nullptr, _IONBF, 0);
    if (!StreamSize(dataFile, size)) {
        close();
        std::fill(std::begin(index), std::end(index), 0u);
        errorText = Quoted("Cannot get file statistics: '", dataPath, "'.\n");
        return false;
    }

    // 4. A trailing partial record is never read.
    recordCount = size / BookRecordBytes;
    if (index[BookBuckets - 1] > recordCount) {
        close();
        std::fill(std::begin(index), std::end(index), 0u);
        errorText = Quoted("Book data file is shorter than its index: '", dataPath, "'\n");
        return false;
    }
    // The index counts every record of its own data file: more records belong to another index
    // (a build interrupted between its two renames pairs a new data file with an old index).
    if (index[BookBuckets - 1] < recordCount) {
        close();
        std::fill(std::begin(index), std::end(index), 0u);
        errorText = Quoted("Book data file does not match its index (more records than indexed): '",
                           dataPath, "'\n");
        return false;
    }

    // 5. First, last and middle record: the middle one stays cached.
    if (recordCount > 0) {
        const u64 middle = std::min(recordCount - recordCount / 2, recordCount - 1);
        if (!readRecord(0) || !readRecord(recordCount - 1) || !readRecord(middle)) {
            close();
            std::fill(std::begin(index), std::end(index), 0u);
            errorText = Quoted("Cannot read file: '", dataPath, "'\n");
            return false;
        }
        // The cached record's bucket: the first whose records include its position (in a
        // damaged index with a decreasing entry, a range can overlap a later one). Records
        // beyond the last indexed one belong to no bucket and are never answered.
        u32 bucket = 0;
        while (bucket < BookBuckets &&
               !(index[bucket] > middle && (bucket == 0 || index[bucket - 1] <= middle)))
            ++bucket;
        cacheValid = bucket < BookBuckets;
        cachedBucket = bucket;
    }
    return true;
}

bool BookFile::contains(u64 key) {
    if (recordCount == 0) return false;

    // 1. A repeat of the last record read costs no disk access.
    const u64 stored = BookStoredValue(key);
    const u32 bucket = BookBucket(key);
    if (cacheValid && stored == cachedRecord && bucket == cachedBucket) return true;

    // 2. The bucket's records from the cumulative index; an empty bucket reads nothing.
    const u64 first = bucket == 0 ? 0 : index[bucket - 1];
    const u64 end = std::min<u64>(index[bucket], recordCount);
    if (end <= first) return false;

    // 3. Bisection inside the bucket, every probe within the remaining range [low, high).
    u64 low = first;
    u64 high = end;
    while (low < high) {
        const u64 middle = low + (high - low) / 2;
        if (!readRecord(middle)) return false;
        cachedBucket = bucket;
        if (cachedRecord == stored) return true;
        if (stored < cachedRecord) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return false;
}

bool BookFile::create(const std::string& name, std::string& errorText) {
    close();
    std::fill(std::begin(index), std::end(index), 0u);
    const std::string indexPath = name + ".zbx";
    indexFile = std::fopen(indexPath.c_str(), "wb");
    if (!indexFile) {
        errorText = Quoted("Cannot create index file: '", indexPath, "'\n");
        return false;
    }
    const std::string dataPath = name + ".zbk";
    dataFile = std::fopen(dataPath.c_str(), "wb");
    if (!dataFile) {
        close();
        errorText = Quoted("Cannot create file: '", dataPath, "'\n");
        return false;
    }
    return true;
}

void BookSet::close() {
    books[0].close();
    books[1].close();
}

bool BookSet::open(const char* directoryText) {
    // 1. Too long a directory is refused outright and not remembered.
    const std::string given = directoryText;
    if (given.size() > MaxBookPathLength) {
        CopyText(errorText, sizeof errorText,
                 "Book path is too long (max 255 characters accepted).");
        return false;
    }

    // 2. bookbtm first; bookwtm only when it loaded. A book loaded before a failure stays.
    std::string error;
    bool loaded = false;
    std::string bare = given;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    std::error_code fsError;
    if (!bare.empty() && std::filesystem::exists(bare, fsError) &&
        !std::filesystem::is_directory(bare, fsError)) {
        error = Quoted("Book path is not a directory: '", bare, "'\n");
    } else {
        loaded = books[0].open(given + BookNames[0], error) &&
                 books[1].open(given + BookNames[1], error);
    }
    if (loaded) return true;

    // 3. The first failing directory is kept for the one-time retry.
    CopyText(errorText, sizeof errorText, error);
    if (directory[0] == '\0') CopyText(directory, sizeof directory, given);
    return false;
}

void BookSet::retrySideDirectory(int sideToMove) {
    if (directory[0] == '\0') return;
    const std::string retry = std::string(directory) + (sideToMove == White ? "zw/" : "zb/");
    open(retry.c_str());
    directory[0] = '\0';  // never again in this run, whatever the outcome
}

// Building a database file from a key-sorted position list in one streaming pass: each line is
// parsed into a record, equal positions are merged into one pending record, and a record is
// written as soon as a larger key arrives. "dbcreate" runs the pass for Black, then White.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "database/database.h"
#include "files/files.h"

namespace {

// Lines of a well-formed list are about a hundred characters; longer ones cannot be positions.
constexpr std::size_t MaxListLine = 254;
// A line needs at least its 16-digit key and a separator to name a position (line end counted).
constexpr std::size_t MinListLine = 17;
constexpr std::size_t ReadChunk = 1 << 20;
constexpr std::size_t WriteRecords = 8192;

// Reads a text file in large chunks and hands out one line at a time without its line end.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : file_(file), buffer_(new char[ReadChunk + 1]) {}

    // False at the end of the file or on a read error (see failed()). `consumed` is the line's
    // length with its line end. A line too long for the buffer comes back cut, `cut` set.
    bool next(std::string_view& line, std::size_t& consumed, bool& cut) {
        cut = false;
        for (;;) {
            char* start = buffer_.get() + begin_;
            char* newline = static_cast<char*>(std::memchr(start, '\n', end_ - begin_));
            if (newline) {
                const std::size_t length = static_cast<std::size_t>(newline - start);
                begin_ += length + 1;
                consumed = length + 1 + skipped_;
                skipped_ = 0;
                line = Trim(std::string_view(start, length));
                cut = cut_;
                cut_ = false;
                return true;
            }
            if (eof_) {
                if (begin_ == end_ && !cut_) return false;
                line = Trim(std::string_view(start, end_ - begin_));
                consumed = end_ - begin_ + skipped_;
                skipped_ = 0;
                cut = cut_;
                cut_ = false;
                begin_ = end_;
                return true;
            }
            refill();
        }
    }

    bool failed() const { return failed_; }

private:
    static std::string_view Trim(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

    void refill() {
        if (begin_ == 0 && end_ == ReadChunk) {
            // One line fills the whole buffer: keep its start, drop the rest up to its end.
            skipped_ += end_ - MaxListLine;
            end_ = MaxListLine;
            cut_ = true;
        }
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        const std::size_t got = std::fread(buffer_.get() + end_, 1, ReadChunk - end_, file_);
        end_ += got;
        if (got == 0) {
            eof_ = true;
            failed_ = std::ferror(file_) != 0;
        }
    }

    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t skipped_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool cut_ = false;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One position line: key, tab, board, side, castling, en passant, tab, result, tab, ply.
// Fills the record with a count of one for the result; false when the line is malformed.
bool ParseListLine(std::string_view line, DbRecord& record) {
    if (line.size() < MinListLine || line.size() > MaxListLine) return false;
    record = DbRecord{};

    // Key: exactly sixteen hexadecimal digits.
    for (int i = 0; i < 16; ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0) return false;
        record.key = record.key << 4 | static_cast<u64>(digit);
    }
    if (line[16] != '\t') return false;
    std::size_t at = 17;
    auto field = [&](char separator) {
        const std::size_t stop = line.find(separator, at);
        if (stop == std::string_view::npos) return std::string_view();
        std::string_view text = line.substr(at, stop - at);
        at = stop + 1;
        return text;
    };

    const std::string_view board = field(' ');
    if (board.empty() || !PackDbBoard(board.data(), board.size(), record.board)) return false;

    const std::string_view side = field(' ');
    if (side == "w") {
        record.state |= DbWhiteToMove;
    } else if (side != "b") {
        return false;
    }

    const std::string_view castling = field(' ');
    if (castling.empty()) return false;
    if (castling != "-") {
        for (char c : castling) {
            const std::size_t right = std::string_view("KQkq").find(c);
            if (right == std::string_view::npos) return false;
            record.state |= static_cast<u8>(0x40 >> right);
        }
    }

    const std::string_view enPassant = field('\t');
    if (enPassant.size() == 2 && enPassant[0] >= 'a' && enPassant[0] <= 'h' &&
        enPassant[1] >= '1' && enPassant[1] <= '8') {
        record.state |= static_cast<u8>(enPassant[0] - 'a');
        record.plyAndEp |= DbEnPassantGiven;
    } else if (enPassant != "-") {
        return false;
    }

    const std::string_view result = field('\t');
    if (result == "W") {
        record.whiteWins = 1;
    } else if (result == "B") {
        record.blackWins = 1;
    } else if (result == "D") {
        record.draws = 1;
    } else {
        return false;
    }

    // Ply: decimal, limited to the seven bits the record keeps.
    std::string_view ply = line.substr(at);
    while (!ply.empty() && (ply.back() == ' ' || ply.back() == '\t')) ply.remove_suffix(1);
    if (ply.empty()) return false;
    int value = 0;
    for (char c : ply) {
        if (c < '0' || c > '9') return false;
        value = std::min(value * 10 + (c - '0'), 1000);
    }
    record.plyAndEp |= static_cast<u8>(std::min(value, 127));
    return true;
}

u32 SaturatingIncrement(u32 count) { return count == ~u32{0} ? count : count + 1; }

// Buffered record output into the new file's temporary, which remembers whether a write failed.
class RecordWriter {
public:
    explicit RecordWriter(ReplacementFile& output)
        : output_(output), buffer_(new u8[WriteRecords * DbRecordBytes]) {}

    void put(const DbRecord& record) {
        EncodeDbRecord(record, buffer_.get() + used_ * DbRecordBytes);
        if (++used_ == WriteRecords) flush();
    }

    void flush() {
        if (used_) output_.Write(buffer_.get(), used_ * DbRecordBytes);
        used_ = 0;
    }

private:
    ReplacementFile& output_;
    std::unique_ptr<u8[]> buffer_;
    std::size_t used_ = 0;
};

std::string WriteFailure(const ReplacementFile& output) {
    return "Cannot write database file: '" + output.Path() + "': " + output.Reason() +
           "; the earlier file is kept.\n";
}

// One side's pass over the list into an open temporary; the caller finishes and renames it.
bool BuildDatabase(const std::string& listPath, ReplacementFile& output, char side,
                   std::string& errorText);

}  // namespace

bool createDatabase(const std::string& listPath, const std::string& outputPath, char side,
                    std::string& errorText) {
    ReplacementFile output(outputPath);
    if (!output.Open()) {
        errorText = "Cannot create database file: '" + outputPath + "': " + output.Reason() + "\n";
        return false;
    }
    if (!BuildDatabase(listPath, output, side, errorText)) return false;
    if (!output.Finish() || !output.Commit()) {
        errorText = WriteFailure(output);
        return false;
    }
    return true;
}

namespace {

bool BuildDatabase(const std::string& listPath, ReplacementFile& output, char side,
                   std::string& errorText) {
    const std::string& outputPath = output.Path();
    // 1. The side being built.
    if (side != 'W' && side != 'B') {
        errorText = std::string("WRONG STM parameter: ") + side + "\n";
        return false;
    }
    const u8 wantedSide = side == 'W' ? DbWhiteToMove : 0;

    // 2. The list's size for the progress figure, the list itself.
    std::error_code fsError;
    const std::uintmax_t listSize = std::filesystem::file_size(listPath, fsError);
    if (fsError) {
        errorText = "Cannot open file statistics: " + listPath + "\n";
        return false;
    }
    std::FILE* list = std::fopen(listPath.c_str(), "rb");
    if (!list) {
        errorText = "Cannot open position list: '" + listPath + "'\n";
        return false;
    }
    std::printf("creating new database '%s':  0%%", outputPath.c_str());
    std::fflush(stdout);

    // 3. One pending record; counters for the notices and the progress figure.
    LineReader reader(list);
    RecordWriter writer(output);
    DbRecord pending;
    DbRecord current;
    bool havePending = false;
    bool sortError = false;
    long long lineNumber = 0;
    u64 consumed = 0;
    int lastPercent = 0;

    // 4. Every line of the list.
    std::string_view line;
    std::size_t lineBytes = 0;
    bool cut = false;
    while (reader.next(line, lineBytes, cut)) {
        // 4.1 A line too short for a key and a board (line end included) names no position: it
        // is passed over without a word and not counted.
        if (lineBytes < MinListLine) continue;
        ++lineNumber;

        // 4.2-4.4 The line's position, result and ply; a malformed line is reported and dropped.
        if (cut || !ParseListLine(line, current)) {
            const std::string_view shown = line.substr(0, MaxListLine);
            std::printf("\nparse error skipped line: %lld\n%.*s\n", lineNumber,
                        static_cast<int>(shown.size()), shown.data());
            continue;
        }
        // 4.5 The progress figure counts the bytes of the lines read as positions.
        consumed += lineBytes;

        // 4.6 Lines of the other side to move belong to the other file.
        if ((current.state & DbWhiteToMove) != wantedSide) {
            --lineNumber;
            continue;
        }

        // 4.7 The first position kept.
        if (!havePending) {
            pending = current;
            havePending = true;
            continue;
        }

        // 4.8 A new key: the pending record is complete.
        if (current.key != pending.key) {
            if (current.key < pending.key) {
                errorText = "ERROR: input file with positions not sorted by hash!\n" +
                            std::string(line) + "\n";
                sortError = true;
                break;
            }
            writer.put(pending);
            pending = current;
            if (listSize > 0) {
                const int percent = static_cast<int>(std::min<u64>(consumed * 100 / listSize, 100));
                if (percent > lastPercent) {
                    lastPercent = percent;
                    std::printf("\b\b\b\b%3d%%", percent);
                    std::fflush(stdout);
                }
            }
            continue;
        }

        // 4.9 The same position again: one more game, and the lowest ply.
        if (SameDbPosition(current, pending)) {
            const u8 ply = current.plyAndEp & DbPlyMask;
            if (ply < (pending.plyAndEp & DbPlyMask)) {
                pending.plyAndEp = static_cast<u8>((pending.plyAndEp & DbEnPassantGiven) | ply);
            }
            if (current.whiteWins) pending.whiteWins = SaturatingIncrement(pending.whiteWins);
            if (current.blackWins) pending.blackWins = SaturatingIncrement(pending.blackWins);
            if (current.draws) pending.draws = SaturatingIncrement(pending.draws);
            continue;
        }

        // 4.10 Another position under the same key: one record per key, the later one stays.
        pending = current;
    }

    // 5. The last pending record. After an order error nothing is kept: the earlier file stays.
    const bool readFailed = reader.failed();
    std::fclose(list);
    if (sortError) return false;
    if (havePending) writer.put(pending);
    writer.flush();
    if (readFailed) {
        errorText = "Cannot read position list: '" + listPath + "'\n";
        return false;
    }
    if (output.Failed()) {
        errorText = WriteFailure(output);
        return false;
    }

    // 6. Done.
    std::printf("\b\b\b\b100%%... done.\n");
    std::fflush(stdout);
    return true;
}

}  // namespace

void DbCreateCommand(const char* listFile, const char* baseName) {
    DbPair pair;
    const std::string base = baseName;
    // Both files are built beside the earlier pair and replace it together, White only after
    // Black succeeded: a failure anywhere leaves the earlier database whole.
    ReplacementFile black(base + "_black.db");
    ReplacementFile white(base + "_white.db");
    for (ReplacementFile* output : {&black, &white}) {
        if (!output->Open()) {
            std::printf("Cannot create database file: '%s': %s\n", output->Path().c_str(),
                        output->Reason().c_str());
            return;
        }
    }
    bool created = BuildDatabase(listFile, black, 'B', pair.errorText) &&
                   BuildDatabase(listFile, white, 'W', pair.errorText);
    if (created) {
        ReplacementFile* const both[2] = {&black, &white};
        const ReplacementFile* failed = nullptr;
        created = CommitTogether(both, 2, failed);
        if (!created) pair.errorText = WriteFailure(*failed);
    }
    if (created) {
        std::printf("created.\n");
    } else {
        std::printf("%s\n", pair.errorText.c_str());
    }
}

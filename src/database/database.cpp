// Database files: the 54-byte record layout, the packed board codes, opening a per-side file,
// bisection and linear look-ups, and the "dbshow"/"dbshowlin" commands.
#include "database/database.h"

#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "board/board.h"

namespace {

// Four-bit board codes by FEN character; -1 for characters that name no piece.
constexpr int PieceBoardCode(char c) {
    switch (c) {
        case 'B': return 4;
        case 'K': return 5;
        case 'N': return 6;
        case 'P': return 7;
        case 'Q': return 8;
        case 'R': return 9;
        case 'b': return 10;
        case 'k': return 11;
        case 'n': return 12;
        case 'p': return 13;
        case 'q': return 14;
        case 'r': return 15;
        default: return -1;
    }
}

// The code that fills the board field after the last real code.
constexpr u8 FillerCode = 15;

void PutLe32(u8* p, u32 value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<u8>(value >> (8 * i));
}

u32 GetLe32(const u8* p) {
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

}  // namespace

void EncodeDbRecord(const DbRecord& record, u8* bytes) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<u8>(record.key >> (8 * i));
    std::memcpy(bytes + 8, record.board, 32);
    bytes[40] = record.state;
    bytes[41] = record.plyAndEp;
    PutLe32(bytes + 42, record.whiteWins);
    PutLe32(bytes + 46, record.blackWins);
    PutLe32(bytes + 50, record.draws);
}

void DecodeDbRecord(const u8* bytes, DbRecord& record) {
    record.key = 0;
    for (int i = 7; i >= 0; --i) record.key = record.key << 8 | bytes[i];
    std::memcpy(record.board, bytes + 8, 32);
    record.state = bytes[40];
    record.plyAndEp = bytes[41];
    record.whiteWins = GetLe32(bytes + 42);
    record.blackWins = GetLe32(bytes + 46);
    record.draws = GetLe32(bytes + 50);
}

bool SameDbPosition(const DbRecord& a, const DbRecord& b) {
    return std::memcmp(a.board, b.board, 32) == 0 && a.state == b.state &&
           ((a.plyAndEp ^ b.plyAndEp) & DbEnPassantGiven) == 0;
}

bool PackDbBoard(const char* fenBoard, std::size_t length, u8* board) {
    u8 codes[64];
    int count = 0;
    int rank = 0;
    int squares = 0;  // squares covered in the current rank
    auto put = [&](int code) {
        if (count < 64) codes[count++] = static_cast<u8>(code);
    };
    for (std::size_t i = 0; i < length; ++i) {
        const char c = fenBoard[i];
        if (c == '/') {
            if (squares != 8) return false;
            ++rank;
            squares = 0;
        } else if (c >= '1' && c <= '8') {
            const int run = c - '0';
            // A run of five to eight empty squares is four, then the rest.
            if (run > 4) {
                put(3);
                put(run - 5);
            } else {
                put(run - 1);
            }
            squares += run;
        } else {
            const int code = PieceBoardCode(c);
            if (code < 0) return false;
            put(code);
            ++squares;
        }
        if (squares > 8 || rank > 7) return false;
    }
    if (rank != 7 || squares != 8) return false;
    for (int i = count; i < 64; ++i) codes[i] = FillerCode;
    for (int i = 0; i < 32; ++i) board[i] = static_cast<u8>(codes[2 * i] << 4 | codes[2 * i + 1]);
    return true;
}

// ---------------------------------------------------------------------------------------------

void PositionDatabase::close() {
    if (file) std::fclose(file);
    file = nullptr;
    record = DbRecord{};
    recordPosition = 0;
    firstKey = lastKey = 0;
    filePosition = 0;
    recordCount = 0;
}

bool PositionDatabase::readAt(u64 target) {
    u8 bytes[DbRecordBytes];
    const bool seeked = file && target < recordCount &&
                        (target == filePosition ||
                         fseeko(file, static_cast<off_t>(target * DbRecordBytes), SEEK_SET) == 0);
    if (!seeked || std::fread(bytes, 1, DbRecordBytes, file) != DbRecordBytes) {
        if (file) std::clearerr(file);
        record = DbRecord{};
        recordPosition = 0;
        filePosition = ~u64{0};  // unknown: the next read seeks
        return false;
    }
    DecodeDbRecord(bytes, record);
    recordPosition = target;
    filePosition = target + 1;
    return true;
}

bool PositionDatabase::open(const std::string& path, std::string& errorText) {
    // 1. Nothing of an earlier file survives.
    close();

    // 2. A missing database behaves as an empty one.
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        if (std::FILE* created = std::fopen(path.c_str(), "wb")) std::fclose(created);
    }

    // 3. Only a plain file can hold records.
    if (std::filesystem::is_regular_file(path, error)) file = std::fopen(path.c_str(), "rb");
    if (!file) {
        errorText = "Cannot open file: " + path + "\n";
        return false;
    }
    off_t size = -1;
    if (fseeko(file, 0, SEEK_END) == 0) size = ftello(file);
    if (size < 0) {
        close();
        errorText = "Cannot get file statistics: " + path + "\n";
        return false;
    }
    if (size % DbRecordBytes != 0) {
        close();
        errorText = "Database file " + path + " is damaged: its size (" + std::to_string(size) +
                    " bytes) is not a whole number of 54-byte records.\n";
        return false;
    }
    recordCount = static_cast<u64>(size) / DbRecordBytes;
    filePosition = ~u64{0};

    // 4. First and last key, and the middle record as the first bisection step.
    if (recordCount > 0) {
        const u64 middle = std::min(recordCount - recordCount / 2, recordCount - 1);
        const bool read = readAt(0) && ((firstKey = record.key), readAt(recordCount - 1)) &&
                          ((lastKey = record.key), readAt(middle));
        if (!read) {
            close();
            errorText = "Cannot read file: " + path + "\n";
            return false;
        }
    }
    return true;
}

const DbRecord* PositionDatabase::find(u64 key) {
    // 1. Outside the file's key range nothing is read.
    if (recordCount == 0 || key > lastKey || key < firstKey) return nullptr;

    // 2. The record in the buffer may already be the one.
    const bool buffered = filePosition == recordPosition + 1;
    if (buffered && record.key == key) return &record;

    // 3. Bisection of the side of the buffered record that can hold the key.
    u64 low = 0;
    u64 high = recordCount;
    if (buffered) {
        if (key > record.key) {
            low = recordPosition + 1;
        } else {
            high = recordPosition;
        }
    }
    while (low < high) {
        const u64 middle = low + (high - low) / 2;
        if (!readAt(middle)) return nullptr;
        if (record.key == key) return &record;
        if (key < record.key) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return nullptr;
}

const DbRecord* PositionDatabase::scan(u64 key) {
    u64 previous = 0;
    for (u64 target = 0; target < recordCount; ++target) {
        if (!readAt(target)) return nullptr;
        if (previous >= record.key) {
            std::printf("Sort ERROR: current: %" PRIX64 ", prev: %" PRIX64 "\n", record.key,
                        previous);
        }
        if (record.key == key) return &record;
        if (record.key > key) return nullptr;
        previous = record.key;
    }
    return nullptr;
}

bool DbPair::open() {
    return databases[Black].open("black.db", errorText) &&
           databases[White].open("white.db", errorText);
}

void DbShowCommand(bool linear) {
    DbPair pair;
    if (!pair.open()) {
        std::printf("%s\n", pair.errorText.c_str());
        return;
    }
    PrintBoard(pos.board);
    PositionDatabase& database = pair.databases[pos.sideToMove];
    const DbRecord* found = linear ? database.scan(pos.key) : database.find(pos.key);
    if (!found) {
        std::printf("record not found.\n");
        return;
    }
    const double w = found->whiteWins;
    const double b = found->blackWins;
    const double d = found->draws;
    std::printf("w: %.0f, b: %.0f, d: %.0f, score: %f\n", w, b, d, (w + d / 2) / (w + b + d));
}

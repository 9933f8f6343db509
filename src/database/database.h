// Position database: per-side files of 54-byte position records sorted by key, built by
// "dbcreate" from a key-sorted position list, looked up by "dbshow"/"dbshowlin", read by
// "bookcreate". Files are opened per command and closed when it ends.
#pragma once

#include <cstdio>
#include <string>

#include "board/types.h"

// One position of the database; stored as 54 little-endian bytes (DbRecordBytes), written and
// read field by field through EncodeDbRecord/DecodeDbRecord.
struct DbRecord {
    u64 key = 0;
    u8 board[32] = {};  // 64 four-bit codes, the first of each pair in the high half
    u8 state = 0;       // bit 7 White to move, 6 K, 5 Q, 4 k, 3 q, bits 0..2 en-passant file
    u8 plyAndEp = 0;    // bit 7 en-passant square given, bits 0..6 lowest ply (at most 127)
    u32 whiteWins = 0;
    u32 blackWins = 0;
    u32 draws = 0;
};

inline constexpr int DbRecordBytes = 54;
inline constexpr u8 DbWhiteToMove = 0x80;
inline constexpr u8 DbEnPassantGiven = 0x80;
inline constexpr u8 DbPlyMask = 0x7F;

void EncodeDbRecord(const DbRecord& record, u8* bytes);
void DecodeDbRecord(const u8* bytes, DbRecord& record);
// Same position: board, state flags and the en-passant bit agree (counts and ply aside).
bool SameDbPosition(const DbRecord& a, const DbRecord& b);
// Packs a FEN board field into 64 four-bit codes; false when it is not eight ranks of eight
// squares of known pieces (the codes are then unspecified).
bool PackDbBoard(const char* fenBoard, std::size_t length, u8* board);

// An open database file, read one record at a time at tracked positions.
struct PositionDatabase {
    std::FILE* file = nullptr;
    DbRecord record;         // the last record read
    u64 recordPosition = 0;  // where `record` came from
    u64 firstKey = 0;
    u64 lastKey = 0;
    u64 filePosition = 0;  // record number at which the read pointer stands
    u64 recordCount = 0;

    PositionDatabase() = default;
    PositionDatabase(const PositionDatabase&) = delete;
    PositionDatabase& operator=(const PositionDatabase&) = delete;
    ~PositionDatabase() { close(); }

    // Opens (creating a missing file empty); a size that is no whole number of records is
    // refused, as a torn file would silently lose positions.
    bool open(const std::string& path, std::string& errorText);
    // Reads record `target` into `record`; false (key 0) when the read fails.
    bool readAt(u64 target);
    // Bisection; nullptr when the key is not listed.
    const DbRecord* find(u64 key);
    // Linear scan from the start, reporting records out of order; nullptr when not listed.
    const DbRecord* scan(u64 key);
    void close();
};

// The status record of the database commands: [0] "black.db", [1] "white.db".
struct DbPair {
    std::string errorText = "OK";
    PositionDatabase databases[2];

    // Opens black.db then white.db in the working directory; the first failure ends it.
    bool open();
};

// Builds one database file of side 'B' or 'W' from a key-sorted position list.
bool createDatabase(const std::string& listPath, const std::string& outputPath, char side,
                    std::string& errorText);

// "dbshow" (bisection) and "dbshowlin" (linear scan) for the live position.
void DbShowCommand(bool linear);
// "dbcreate": base + "_black.db", then base + "_white.db".
void DbCreateCommand(const char* listFile, const char* baseName);

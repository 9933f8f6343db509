// Position database: per-side files of 54-byte position records sorted by key, built by
// "dbcreate" from a key-sorted position list, looked up by "dbshow"/"dbshowlin", read by
// "bookcreate".
#pragma once

#include <cstdio>

#include "board/types.h"

#pragma pack(push, 1)
struct DbRecord {
    u64 key;
    u8 board[32];
    u8 state;
    u8 plyAndEp;
    u32 whiteWins;
    u32 blackWins;
    u32 draws;
};
#pragma pack(pop)
static_assert(sizeof(DbRecord) == 54);

struct PositionDatabase {
    std::FILE* file = nullptr;
    DbRecord record = {};
    u64 firstKey = 0;
    u64 lastKey = 0;
    u64 filePosition = 0;
    u64 recordCount = 0;

    bool open(const char* path, char* errorText);
    bool readAt(u64 target);  // into record; false (key 0) when the read fails
    const DbRecord* find(u64 key);
    const DbRecord* scan(u64 key);
    void close();
};

struct DbPair {
    char errorText[257] = "OK";
    PositionDatabase databases[2];  // [0] "black.db", [1] "white.db"

    bool open();
    ~DbPair();
};

bool createDatabase(const char* listPath, const char* outputPath, char side, char* errorText);

void DbShowCommand(bool linear);
void DbCreateCommand(const char* listFile, const char* baseName);

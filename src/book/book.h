// Opening book: the per-side book files (".zbx" index, ".zbk" data), the two book sets opened at
// start-up from BOOK_PATH, the choice of a book move, and building books from the database.
#pragma once

#include <cstdio>

#include "board/types.h"

struct PositionDatabase;

struct BookFile {
    u32 index[131072];
    std::FILE* indexFile = nullptr;
    std::FILE* dataFile = nullptr;
    u64 cachedRecord = 0;
    u64 filePosition = 0;
    u64 recordCount = 0;

    bool open(const char* baseName, char* errorText);
    bool contains(u64 key);
    bool create(const char* name, char* errorText);
    void close();
};

struct BookSet {
    char directory[301] = {};
    char errorText[513] = {};
    BookFile books[2];  // [0] "bookbtm", [1] "bookwtm"

    bool open(const char* directoryText);
    void close();
};

extern BookSet mainBook;
extern BookSet secondBook;

Move getBookMove();
bool buildBook(const char* name, PositionDatabase& database, int side, char* errorText);
// "bookcreate": builds bookbtm/bookwtm from black.db/white.db in the working directory.
void BookCreateCommand();
// "bookshow": prints whether the live position is in each book set.
void BookShowCommand();

// Book files written by hand byte by byte: probing, load errors, the book sets with their
// one-time retry, and the choice of a book move in real positions.
#include "book/book.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "movegen/movegen.h"

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "zelmor-book-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

void WriteBytes(const std::string& path, const std::vector<u8>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void PutLe32(std::vector<u8>& bytes, u32 value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<u8>(value >> (8 * i)));
}

std::vector<u8> IndexBytes(const std::vector<u32>& entries) {
    std::vector<u8> bytes;
    for (u32 entry : entries) PutLe32(bytes, entry);
    return bytes;
}

// A book as the book writer lays it out: records ascending by key, cumulative bucket counts.
void WriteBook(const std::string& base, std::vector<u64> keys) {
    std::sort(keys.begin(), keys.end());
    std::vector<u32> index(BookBuckets, 0);
    std::vector<u8> data;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        index[BookBucket(keys[i])] = static_cast<u32>(i + 1);
        PutLe32(data, static_cast<u32>(keys[i]));
        const u32 high = static_cast<u32>(keys[i] >> 32) & 0x7FFF;
        data.push_back(static_cast<u8>(high));
        data.push_back(static_cast<u8>(high >> 8));
    }
    for (int b = 1; b < BookBuckets; ++b) index[b] = std::max(index[b], index[b - 1]);
    WriteBytes(base + ".zbx", IndexBytes(index));
    WriteBytes(base + ".zbk", data);
}

u64 Key(u32 bucket, u64 stored) { return static_cast<u64>(bucket) << 47 | stored; }

class BookFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        book = std::make_unique<BookFile>();
    }
    void TearDown() override {
        book.reset();
        fs::remove_all(dir);
    }
    std::string dir;
    std::unique_ptr<BookFile> book;
    std::string error;
};

TEST_F(BookFileTest, ProbesFindEveryListedKeyAndNoOther) {
    // Buckets with one, several and many records, next to empty ones.
    std::vector<u64> keys = {Key(0, 5), Key(3, 1), Key(3, 0x7FFFFFFFFFFF), Key(131071, 42)};
    std::mt19937_64 random(7);
    for (int i = 0; i < 300; ++i) keys.push_back(Key(1000, random() & BookStoredMask));
    for (int i = 0; i < 300; ++i) keys.push_back(random());
    WriteBook(dir + "bookbtm", keys);
    ASSERT_TRUE(book->open(dir + "bookbtm", error)) << error;
    EXPECT_EQ(book->recordCount, keys.size());

    std::set<u64> listed(keys.begin(), keys.end());
    for (u64 key : keys) EXPECT_TRUE(book->contains(key)) << std::hex << key;
    for (int i = 0; i < 2000; ++i) {
        const u64 probe = i % 2 ? random() : Key(1000, random() & BookStoredMask);
        EXPECT_EQ(book->contains(probe), listed.count(probe) == 1) << std::hex << probe;
    }
    EXPECT_FALSE(book->contains(Key(3, 2)));
    EXPECT_FALSE(book->contains(Key(0, 4)));
}

TEST_F(BookFileTest, SingleRecordBucketIsFoundByOneReadAndEmptyBucketReadsNothing) {
    WriteBook(dir + "bookwtm", {Key(1, 10), Key(2, 20), Key(2, 21), Key(2, 22), Key(9, 90)});
    ASSERT_TRUE(book->open(dir + "bookwtm", error)) << error;

    // Record 4 is bucket 9's only record: one read leaves the pointer just behind it.
    EXPECT_TRUE(book->contains(Key(9, 90)));
    EXPECT_EQ(book->filePosition, 5u);
    EXPECT_TRUE(book->contains(Key(1, 10)));
    EXPECT_EQ(book->filePosition, 1u);

    // Bucket 5 is empty: neither the pointer nor the cached record moves.
    const u64 cached = book->cachedRecord;
    EXPECT_FALSE(book->contains(Key(5, 10)));
    EXPECT_FALSE(book->contains(Key(5, 90)));
    EXPECT_EQ(book->filePosition, 1u);
    EXPECT_EQ(book->cachedRecord, cached);
}

TEST_F(BookFileTest, KeysDifferingOnlyInTheBucketBitsAreToldApart) {
    WriteBook(dir + "bookbtm", {Key(7, 0x123456789ABC), Key(8, 1)});
    ASSERT_TRUE(book->open(dir + "bookbtm", error)) << error;
    ASSERT_TRUE(book->contains(Key(7, 0x123456789ABC)));
    // The same 47 low bits right after the hit, so that the cached record matches them.
    EXPECT_FALSE(book->contains(Key(8, 0x123456789ABC)));
    EXPECT_TRUE(book->contains(Key(7, 0x123456789ABC)));
    EXPECT_FALSE(book->contains(Key(0x1FFFF, 0x123456789ABC)));
    EXPECT_FALSE(book->contains(Key(6, 0x123456789ABC)));
}

TEST_F(BookFileTest, RepeatedProbeIsAnsweredFromTheCachedRecord) {
    WriteBook(dir + "bookbtm", {Key(4, 1), Key(4, 2), Key(4, 3), Key(4, 4), Key(4, 5)});
    ASSERT_TRUE(book->open(dir + "bookbtm", error)) << error;
    ASSERT_TRUE(book->contains(Key(4, 1)));
    // With the data gone from disk only the cached record can still answer.
    fs::resize_file(dir + "bookbtm.zbk", 0);
    EXPECT_TRUE(book->contains(Key(4, 1)));
    EXPECT_FALSE(book->contains(Key(4, 4)));
}

TEST_F(BookFileTest, MiddleRecordIsCachedAfterOpening) {
    WriteBook(dir + "bookbtm", {Key(1, 1), Key(2, 2), Key(3, 3), Key(4, 4)});
    ASSERT_TRUE(book->open(dir + "bookbtm", error)) << error;
    // First, last, then record 4 - 2 = 2.
    EXPECT_EQ(book->cachedRecord, 3u);
    EXPECT_EQ(book->filePosition, 3u);
    fs::resize_file(dir + "bookbtm.zbk", 0);
    EXPECT_TRUE(book->contains(Key(3, 3)));
    EXPECT_FALSE(book->contains(Key(4, 3)));
}

TEST_F(BookFileTest, LoadErrorsNameTheFile) {
    const std::string base = dir + "bookbtm";
    EXPECT_FALSE(book->open(base, error));
    EXPECT_EQ(error, "Cannot load file: '" + base + ".zbx'\n");

    // An index one byte short or long is refused before the data file is looked at.
    for (int size : {BookIndexBytes - 1, BookIndexBytes + 1, 0}) {
        WriteBytes(base + ".zbx", std::vector<u8>(static_cast<std::size_t>(size), 0));
        WriteBytes(base + ".zbk", std::vector<u8>(60, 0));
        EXPECT_FALSE(book->open(base, error)) << size;
        EXPECT_EQ(error, "Wrong file format '" + base + ".zbx'.\n") << size;
        EXPECT_EQ(book->dataFile, nullptr);
        EXPECT_EQ(book->recordCount, 0u);
    }

    WriteBytes(base + ".zbx", std::vector<u8>(BookIndexBytes, 0));
    fs::remove(base + ".zbk");
    EXPECT_FALSE(book->open(base, error));
    EXPECT_EQ(error, "Cannot open file: '" + base + ".zbk'\n");

    fs::create_directory(base + ".zbk");
    EXPECT_FALSE(book->open(base, error));
    EXPECT_EQ(error, "Cannot open file: '" + base + ".zbk'\n");
    EXPECT_FALSE(book->contains(0));
}

TEST_F(BookFileTest, DamagedIndexNeverReadsOutOfRange) {
    const std::string base = dir + "bookbtm";
    WriteBook(base, {Key(1, 1), Key(2, 2), Key(3, 3)});

    // A decreasing cumulative count: that bucket is empty, the book still loads.
    std::vector<u32> entries(BookBuckets, 3);
    entries[0] = 0;
    entries[1] = 1;
    entries[2] = 3;
    entries[3] = 2;
    WriteBytes(base + ".zbx", IndexBytes(entries));
    ASSERT_TRUE(book->open(base, error)) << error;
    EXPECT_FALSE(book->contains(Key(3, 3)));  // the cached middle record, in an empty bucket
    EXPECT_TRUE(book->contains(Key(1, 1)));
    EXPECT_TRUE(book->contains(Key(2, 2)));

    // An index that counts more records than the data file holds.
    entries.assign(BookBuckets, 9);
    entries[0] = 0;
    WriteBytes(base + ".zbx", IndexBytes(entries));
    EXPECT_FALSE(book->open(base, error));
    EXPECT_EQ(error, "Book data file is shorter than its index: '" + base + ".zbk'\n");
    EXPECT_FALSE(book->contains(Key(1, 1)));

    // An index that counts fewer: the data file belongs to another index (a new data file
    // beside an old index after an interrupted build).
    entries.assign(BookBuckets, 2);
    entries[0] = 0;
    WriteBytes(base + ".zbx", IndexBytes(entries));
    EXPECT_FALSE(book->open(base, error));
    EXPECT_EQ(error, "Book data file does not match its index (more records than indexed): '" +
                         base + ".zbk'\n");
    EXPECT_FALSE(book->contains(Key(1, 1)));
}

TEST_F(BookFileTest, EmptyAndRaggedDataFiles) {
    const std::string base = dir + "bookwtm";
    WriteBook(base, {});
    ASSERT_TRUE(book->open(base, error)) << error;
    EXPECT_EQ(book->recordCount, 0u);
    // Zero low bits must not match the empty cache.
    EXPECT_FALSE(book->contains(0));
    EXPECT_FALSE(book->contains(Key(5, 0)));

    // A trailing partial record is ignored.
    WriteBook(base, {Key(2, 7), Key(2, 9)});
    std::ofstream(base + ".zbk", std::ios::binary | std::ios::app).write("abc", 3);
    ASSERT_TRUE(book->open(base, error)) << error;
    EXPECT_EQ(book->recordCount, 2u);
    EXPECT_TRUE(book->contains(Key(2, 9)));
    EXPECT_TRUE(book->contains(Key(2, 7)));
    EXPECT_FALSE(book->contains(Key(2, 8)));
}

// ---------------------------------------------------------------------------------------------
// Book sets and the book move

class BookSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        ResetSet(mainBook);
        ResetSet(secondBook);
        ASSERT_TRUE(SetBoard(StartFen));
    }
    void TearDown() override {
        ResetSet(mainBook);
        ResetSet(secondBook);
        fs::remove_all(dir);
    }
    static void ResetSet(BookSet& set) {
        set.close();
        set.directory[0] = '\0';
        set.errorText[0] = '\0';
    }

    // The key of the live position after a move given in coordinate text.
    static u64 KeyAfter(const char* text) {
        const Move move = ParseMove(text);
        EXPECT_NE(move, 0) << text;
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(move, undo);
        const u64 key = pos.key;
        UnmakeMove(move, undo);
        return key;
    }

    // A book pair in `directory` listing the positions after the given moves of the live position
    // (the side to move then being the opponent's), plus a bookwtm of its own.
    void WriteBooks(const std::string& directory, std::vector<const char*> moves) {
        fs::create_directories(directory);
        std::vector<u64> keys;
        for (const char* move : moves) keys.push_back(KeyAfter(move));
        const int reached = pos.sideToMove ^ 1;
        WriteBook(directory + BookNames[reached], keys);
        WriteBook(directory + BookNames[reached ^ 1], {Key(77, 77)});
    }

    static std::string MoveText(Move move) {
        char text[8];
        MoveToText(move, text);
        return text;
    }

    std::string dir;
};

TEST_F(BookSetTest, PathLimitAndFailuresLeaveTheRightText) {
    const std::string tooLong = dir + std::string(256 - dir.size() - 1, 'x') + "/";
    ASSERT_EQ(tooLong.size(), 256u);
    EXPECT_FALSE(mainBook.open(tooLong.c_str()));
    EXPECT_STREQ(mainBook.errorText, "Book path is too long (max 255 characters accepted).");
    EXPECT_STREQ(mainBook.directory, "");  // not remembered

    const std::string longest = tooLong.substr(1);
    EXPECT_FALSE(mainBook.open(longest.c_str()));
    EXPECT_EQ(std::string(mainBook.errorText), "Cannot load file: '" + longest + "bookbtm.zbx'\n");
    EXPECT_EQ(std::string(mainBook.directory), longest);

    // A directory that is a file is named as such.
    WriteBytes(dir + "plain", {1, 2, 3});
    EXPECT_FALSE(secondBook.open((dir + "plain/").c_str()));
    EXPECT_EQ(std::string(secondBook.errorText),
              "Book path is not a directory: '" + dir + "plain'\n");

    // bookbtm loads, bookwtm is missing: the first stays open.
    ResetSet(secondBook);
    WriteBook(dir + "bookbtm", {Key(1, 1)});
    EXPECT_FALSE(secondBook.open(dir.c_str()));
    EXPECT_EQ(std::string(secondBook.errorText), "Cannot load file: '" + dir + "bookwtm.zbx'\n");
    EXPECT_EQ(secondBook.books[0].recordCount, 1u);
    EXPECT_EQ(std::string(secondBook.directory), dir);

    WriteBook(dir + "bookwtm", {Key(2, 2), Key(3, 3)});
    EXPECT_TRUE(secondBook.open(dir.c_str()));
    EXPECT_EQ(secondBook.books[1].recordCount, 2u);
}

TEST_F(BookSetTest, MainBookAloneGivesOneOfItsMoves) {
    WriteBooks(dir, {"e2e4", "d2d4", "c2c4"});
    ASSERT_TRUE(mainBook.open(dir.c_str())) << mainBook.errorText;
    const std::set<std::string> listed = {"e2e4", "d2d4", "c2c4"};
    std::map<std::string, int> chosen;
    std::mt19937 random(3);
    for (int i = 0; i < 90; ++i) {
        const Move move = getBookMove();
        ASSERT_NE(move, 0);
        chosen[MoveText(move)]++;
        // Different clock values for the choice, not in a fixed rhythm.
        std::this_thread::sleep_for(std::chrono::microseconds(700 + random() % 2500));
    }
    for (const auto& [text, count] : chosen) EXPECT_EQ(listed.count(text), 1u) << text;
    // Every listed move is chosen: the choice is spread over the whole list.
    ASSERT_EQ(chosen.size(), 3u);
    for (const auto& [text, count] : chosen) EXPECT_GE(count, 8) << text;
}

TEST_F(BookSetTest, SecondBookWinsOverMainAndNeedsIt) {
    WriteBooks(dir, {"e2e4", "d2d4", "c2c4"});
    WriteBooks(dir + "2/", {"g1f3", "b1c3"});
    ASSERT_TRUE(secondBook.open((dir + "2/").c_str()));
    // Without a main book there is no book move at all.
    EXPECT_FALSE(mainBook.open((dir + "missing/").c_str()));
    EXPECT_EQ(getBookMove(), 0);

    ASSERT_TRUE(mainBook.open(dir.c_str()));
    for (int i = 0; i < 20; ++i) {
        const std::string text = MoveText(getBookMove());
        EXPECT_TRUE(text == "g1f3" || text == "b1c3") << text;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Black to move uses bookwtm; a position with no listed reply gives none.
    ASSERT_TRUE(SetBoard("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"));
    EXPECT_EQ(getBookMove(), 0);
    ResetSet(mainBook);
    WriteBooks(dir + "black/", {"e7e5"});
    ASSERT_TRUE(mainBook.open((dir + "black/").c_str()));
    EXPECT_EQ(MoveText(getBookMove()), "e7e5");
}

TEST_F(BookSetTest, InCheckOnlyEvasionsAreConsidered) {
    ASSERT_TRUE(SetBoard("rnbqkbnr/ppppp1pp/8/5p1Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq -"));
    WriteBooks(dir, {"g7g6"});
    ASSERT_TRUE(mainBook.open(dir.c_str()));
    EXPECT_EQ(MoveText(getBookMove()), "g7g6");
}

TEST_F(BookSetTest, SideDirectoryIsTriedOnceAfterAFailedLoad) {
    // The main set failed at start-up from dir; White to move reads dir + "zw/".
    EXPECT_FALSE(mainBook.open(dir.c_str()));
    WriteBooks(dir + "zw/", {"e2e4"});
    EXPECT_EQ(MoveText(getBookMove()), "e2e4");
    EXPECT_STREQ(mainBook.directory, "");
    EXPECT_EQ(mainBook.books[0].recordCount, 1u);

    // A second set whose retry finds nothing never tries again, even once the files exist.
    const std::string other = dir + "other/";
    fs::create_directories(other);
    EXPECT_FALSE(secondBook.open(other.c_str()));
    EXPECT_EQ(std::string(secondBook.directory), other);
    EXPECT_EQ(MoveText(getBookMove()), "e2e4");
    EXPECT_STREQ(secondBook.directory, "");
    EXPECT_EQ(std::string(secondBook.errorText),
              "Cannot load file: '" + other + "zw/bookbtm.zbx'\n");
    WriteBooks(other + "zw/", {"d2d4"});
    EXPECT_EQ(MoveText(getBookMove()), "e2e4");
    EXPECT_EQ(secondBook.books[0].recordCount, 0u);

    // Black to move reads "zb/".
    ResetSet(mainBook);
    EXPECT_FALSE(mainBook.open(other.c_str()));
    ASSERT_TRUE(SetBoard("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3"));
    WriteBooks(other + "zb/", {"d7d5"});
    EXPECT_EQ(MoveText(getBookMove()), "d7d5");
}

TEST_F(BookSetTest, BookShowReportsBothSets) {
    // bookwtm lists the initial position (White to move) in the main set only.
    fs::create_directories(dir + "2/");
    WriteBook(dir + "bookwtm", {pos.key});
    WriteBook(dir + "bookbtm", {Key(9, 9)});
    WriteBook(dir + "2/bookwtm", {Key(9, 9)});
    WriteBook(dir + "2/bookbtm", {pos.key});
    ASSERT_TRUE(mainBook.open(dir.c_str()));
    ASSERT_TRUE(secondBook.open((dir + "2/").c_str()));
    testing::internal::CaptureStdout();
    BookShowCommand();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "YES\n2: NO\n");

    ResetSet(mainBook);
    ResetSet(secondBook);
    testing::internal::CaptureStdout();
    BookShowCommand();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "NO\n2: NO\n");
}

}  // namespace

// The seeded choice of the measuring tools: the same seed gives the same moves, and the moves
// still spread over the whole list; unseeded, the clock chooses again.
TEST_F(BookSetTest, SeededChoiceRepeatsAndSpreads) {
    WriteBooks(dir, {"e2e4", "d2d4", "c2c4", "g1f3"});
    ASSERT_TRUE(mainBook.open(dir.c_str())) << mainBook.errorText;
    auto draw = [](u64 seed) {
        SeedBookChoice(seed);
        std::string moves;
        for (int i = 0; i < 40; ++i) moves += MoveText(getBookMove()) + " ";
        return moves;
    };
    const std::string first = draw(7);
    EXPECT_EQ(draw(7), first);
    EXPECT_NE(draw(8), first);
    for (const char* move : {"e2e4", "d2d4", "c2c4", "g1f3"})
        EXPECT_NE(first.find(move), std::string::npos) << move;
    UnseedBookChoice();
    std::set<std::string> chosen;
    for (int i = 0; i < 60 && chosen.size() < 2; ++i) {
        chosen.insert(MoveText(getBookMove()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(chosen.size(), 2u) << "the clock no longer chooses";
}

// "bookcreate": book files written from hand-made database files, read back byte by byte and
// through the probing code.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "book/book.h"
#include "database/database.h"

namespace fs = std::filesystem;

namespace {

std::vector<u8> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<u32> ReadIndex(const std::string& path) {
    const std::vector<u8> bytes = ReadBytes(path);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(BookIndexBytes));
    std::vector<u32> index(bytes.size() / 4);
    for (std::size_t b = 0; b < index.size(); ++b) {
        index[b] = bytes[4 * b] | bytes[4 * b + 1] << 8 | bytes[4 * b + 2] << 16 |
                   static_cast<u32>(bytes[4 * b + 3]) << 24;
    }
    return index;
}

void WriteRecords(const std::string& path, const std::vector<DbRecord>& records) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const DbRecord& record : records) {
        u8 bytes[DbRecordBytes];
        EncodeDbRecord(record, bytes);
        out.write(reinterpret_cast<const char*>(bytes), DbRecordBytes);
    }
}

DbRecord Record(u64 key, int ply, u32 w, u32 b, u32 d) {
    DbRecord record;
    record.key = key;
    record.plyAndEp = static_cast<u8>(ply);
    record.whiteWins = w;
    record.blackWins = b;
    record.draws = d;
    return record;
}

u64 Key(u32 bucket, u64 stored) { return static_cast<u64>(bucket) << 47 | stored; }

class BookCreateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zelmor-bookcreate-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    static std::string Run() {
        testing::internal::CaptureStdout();
        BookCreateCommand();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    std::string dir;
    fs::path previous;
};

// What printf makes of 0/0 on this platform, the text the score line must carry.
std::string NotANumber() {
    volatile double zero = 0;
    char text[16];
    std::snprintf(text, sizeof text, "%f", zero / zero);
    return text;
}

TEST_F(BookCreateTest, EmptyDatabaseGivesEmptyBooks) {
    // Missing databases are created empty.
    const std::string output = Run();
    const std::string nan = NotANumber();
    EXPECT_TRUE(nan == "-nan" || nan == "nan") << nan;
    EXPECT_EQ(output, "Generating bookbtm...\nbookbtm: " + nan +
                          "\nGenerating bookwtm...\nbookwtm: " + nan + "\ncreated.\n");
    EXPECT_EQ(fs::file_size("black.db"), 0u);
    for (const char* name : {"bookbtm", "bookwtm"}) {
        EXPECT_EQ(fs::file_size(std::string(name) + ".zbk"), 0u);
        const std::vector<u8> index = ReadBytes(std::string(name) + ".zbx");
        EXPECT_EQ(index, std::vector<u8>(BookIndexBytes, 0)) << name;
    }
}

TEST_F(BookCreateTest, KeepsEarlyPositionsGoodForTheMoverWithCumulativeIndex) {
    WriteRecords("black.db", {
                                 Record(Key(2, 100), 5, 1, 1, 0),  // s = 0.5: neither book
                                 Record(Key(5, 1), 41, 2, 0, 1),   // kept, ply 41 is eligible
                                 Record(Key(5, 7), 12, 1, 0, 0),   // kept, same bucket
                                 Record(Key(5, 9), 42, 9, 0, 0),   // ply 42: too late
                                 Record(Key(6, 1), 3, 0, 0, 0),    // no games
                                 Record(Key(9, 3), 1, 0, 1, 0),    // good for Black only
                                 Record(Key(700, 4), 2, 3, 1, 1),  // kept
                             });
    WriteRecords("white.db", {
                                 Record(Key(1, 1), 2, 0, 1, 1),   // kept: s = 0.25
                                 Record(Key(1, 2), 2, 1, 0, 1),   // s = 0.75: bookbtm's kind
                                 Record(Key(3, 3), 60, 0, 5, 0),  // too late
                             });
    const std::string output = Run();
    EXPECT_EQ(output,
              "Generating bookbtm...\nbookbtm: 0.809524\nGenerating bookwtm...\n"
              "bookwtm: 0.222222\ncreated.\n");

    const std::vector<u32> btm = ReadIndex("bookbtm.zbx");
    for (int b = 0; b < 5; ++b) EXPECT_EQ(btm[b], 0u) << b;
    for (int b = 5; b < 700; ++b) EXPECT_EQ(btm[b], 2u) << b;
    for (int b = 700; b < BookBuckets; ++b) ASSERT_EQ(btm[b], 3u) << b;
    const std::vector<u8> data = ReadBytes("bookbtm.zbk");
    ASSERT_EQ(data.size(), 18u);
    // Low 32 bits, then bits 32..46 as a word with bit 15 clear.
    const u64 stored = Key(5, 7) & BookStoredMask;
    EXPECT_EQ(data[6], 7);
    EXPECT_EQ(data[6 + 4], static_cast<u8>(stored >> 32));
    EXPECT_EQ(data[6 + 5] & 0x80, 0);

    auto book = std::make_unique<BookFile>();
    std::string error;
    ASSERT_TRUE(book->open("bookbtm", error)) << error;
    EXPECT_TRUE(book->contains(Key(5, 1)));
    EXPECT_TRUE(book->contains(Key(5, 7)));
    EXPECT_TRUE(book->contains(Key(700, 4)));
    for (u64 key : {Key(2, 100), Key(5, 9), Key(6, 1), Key(9, 3)})
        EXPECT_FALSE(book->contains(key));

    ASSERT_TRUE(book->open("bookwtm", error)) << error;
    EXPECT_EQ(book->recordCount, 1u);
    EXPECT_TRUE(book->contains(Key(1, 1)));
    EXPECT_FALSE(book->contains(Key(1, 2)));
    EXPECT_EQ(ReadIndex("bookwtm.zbx")[0], 0u);
    EXPECT_EQ(ReadIndex("bookwtm.zbx")[BookBuckets - 1], 1u);
}

TEST_F(BookCreateTest, DisorderedOrTornDatabaseBuildsNoBook) {
    WriteRecords("black.db", {Record(Key(5, 1), 3, 1, 0, 0), Record(Key(4, 1), 3, 1, 0, 0)});
    WriteRecords("white.db", {Record(Key(1, 1), 2, 0, 1, 0)});
    const std::string output = Run();
    EXPECT_EQ(output,
              "Generating bookbtm...\n"
              "The position database for bookbtm is not sorted by key (record 2); no book "
              "written.\n"
              "Generating bookwtm...\nbookwtm: 0.000000\n"
              "not created: a failed book keeps its earlier files.\n");
    EXPECT_FALSE(fs::exists("bookbtm.zbx"));
    EXPECT_FALSE(fs::exists("bookbtm.zbk"));
    EXPECT_TRUE(fs::exists("bookwtm.zbx"));

    // A database that is no whole number of records is refused before anything is built.
    std::ofstream("white.db", std::ios::app) << "xyz";
    fs::remove("bookwtm.zbx");
    const std::string torn = Run();
    EXPECT_EQ(torn.find("Generating"), std::string::npos);
    EXPECT_NE(torn.find("white.db is damaged"), std::string::npos);
    EXPECT_FALSE(fs::exists("bookwtm.zbx"));
}

TEST_F(BookCreateTest, UnwritableBookIsReportedAndTheOtherStillBuilt) {
    // The new index cannot take the place of a directory: the other book is still built, and
    // nothing is called created.
    fs::create_directory("bookbtm.zbx");
    const std::string output = Run();
    EXPECT_EQ(output,
              "Generating bookbtm...\nWriting indexes file error! 'bookbtm.zbx': Is a directory; "
              "the earlier bookbtm is kept.\n"
              "Generating bookwtm...\nbookwtm: " +
                  NotANumber() + "\nnot created: a failed book keeps its earlier files.\n");
    EXPECT_TRUE(fs::exists("bookwtm.zbk"));
    EXPECT_TRUE(fs::is_directory("bookbtm.zbx"));
    // Only the built book's data may have replaced its earlier file; no temporary is left.
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find(".zb", 8), std::string::npos)
            << entry.path();
}

}  // namespace

// The relative rule measures each position against White's score over its whole database file:
// between that score and one half a position changes sides compared with "bookcreate".
TEST_F(BookCreateTest, RelativeRuleMeasuresAgainstTheWholeDatabase) {
    WriteRecords("black.db", {
                                 Record(Key(1, 1), 1, 6, 2, 2),   // s = 0.7: below the file's
                                 Record(Key(2, 1), 3, 3, 1, 1),   // s = 0.7
                                 Record(Key(3, 1), 3, 3, 0, 0),   // s = 1: kept
                                 Record(Key(4, 1), 42, 9, 0, 0),  // too late
                             });
    // Whole file 0.597: s = 0.55 is above half yet below the file, a position for Black.
    WriteRecords("white.db", {
                                 Record(Key(1, 2), 2, 11, 9, 0),  // s = 0.55: kept
                                 Record(Key(2, 2), 2, 4, 0, 0),   // s = 1: not kept
                                 Record(Key(3, 2), 2, 2, 3, 0),   // s = 0.4: kept
                                 Record(Key(5, 2), 2, 1, 0, 1),   // s = 0.75
                                 Record(Key(6, 2), 2, 0, 0, 0),   // no games
                             });
    testing::internal::CaptureStdout();
    BookCreateRelativeCommand();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Generating bookbtm...\nbookbtm: 0.833333\nGenerating bookwtm...\n"
              "bookwtm: 0.596774\ncreated.\n");
    auto book = std::make_unique<BookFile>();
    std::string error;
    ASSERT_TRUE(book->open("bookbtm", error)) << error;
    EXPECT_EQ(book->recordCount, 1u);
    EXPECT_TRUE(book->contains(Key(3, 1)));
    ASSERT_TRUE(book->open("bookwtm", error)) << error;
    EXPECT_EQ(book->recordCount, 2u);
    EXPECT_TRUE(book->contains(Key(1, 2)));
    EXPECT_TRUE(book->contains(Key(3, 2)));
    EXPECT_FALSE(book->contains(Key(5, 2)));

    // The half rule on the same files: the 0.55 position is White's kind, not Black's.
    Run();
    ASSERT_TRUE(book->open("bookwtm", error)) << error;
    EXPECT_EQ(book->recordCount, 1u);
    EXPECT_TRUE(book->contains(Key(3, 2)));
}

// The relative rule's floor: a position met in fewer games than asked for stays out of the book
// however well it went, and a floor of 1 keeps every position with games.

TEST_F(BookCreateTest, RelativeRuleLeavesOutPositionsOfTooFewGames) {
    const std::vector<DbRecord> records = {
        Record(Key(1, 1), 1, 2, 0, 0),  // s = 1, two games
        Record(Key(2, 1), 1, 3, 0, 0),  // s = 1, three games
        Record(Key(3, 1), 1, 0, 5, 0),  // s = 0; the file scores 0.5
    };
    auto book = std::make_unique<BookFile>();
    std::string error;
    for (u32 floor : {DefaultBookMinGames, 2u, 3u, 4u}) {
        WriteRecords("black.db", records);
        WriteRecords("white.db", records);
        testing::internal::CaptureStdout();
        BookCreateRelativeCommand(floor);
        EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 20), "Generating bookbtm..");
        ASSERT_TRUE(book->open("bookbtm", error)) << error;
        EXPECT_EQ(book->recordCount, (floor <= 2 ? 1u : 0u) + (floor <= 3 ? 1u : 0u)) << floor;
        EXPECT_EQ(book->contains(Key(1, 1)), floor <= 2) << floor;
        EXPECT_EQ(book->contains(Key(2, 1)), floor <= 3) << floor;
    }
}

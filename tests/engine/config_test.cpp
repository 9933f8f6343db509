// Zelmor.ini parsing: keys, values, directories, the rules for numbers, and hostile files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/internal.h"

namespace {

EngineConfig ParseText(const std::string& text) {
    EngineConfig config;
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    ReadConfig(file, config, false);
    std::fclose(file);
    return config;
}

TEST(Config, DefaultsWithoutKeys) {
    EngineConfig config = ParseText("");
    EXPECT_FALSE(config.bookPathSeen);
    EXPECT_STREQ(config.bitbaseDirectory, "");
    EXPECT_EQ(config.bitbaseCacheMb, 4);
    EXPECT_EQ(config.bitbaseLoadMode, 1);
}

TEST(Config, NumbersFollowTheirRanges) {
    struct Case {
        const char* line;
        i32 cache, load;
    } cases[] = {
        {"EGBB_CACHE=16", 16, 1}, {"EGBB_CACHE=-5", 4, 1},
        {"EGBB_CACHE=0", 0, 1},   {"EGBB_CACHE=  32MB", 32, 1},
        {"EGBB_CACHE=abc", 0, 1}, {"EGBB_LOAD=0", 4, 0},
        {"EGBB_LOAD=6", 4, 1},    {"EGBB_LOAD=7", 4, 1},
        {"EGBB_LOAD=-1", 4, 1},   {"EGBB_LOAD=5", 4, 5},
        {"EGBB_LOAD=3x", 4, 3},   {"EGBB_CACHE=99999999999999999999", 2147483647, 1},
    };
    for (const Case& c : cases) {
        EngineConfig config;
        ApplyConfigLine(c.line, config);
        EXPECT_EQ(config.bitbaseCacheMb, c.cache) << c.line;
        EXPECT_EQ(config.bitbaseLoadMode, c.load) << c.line;
    }
}

TEST(Config, TableSizeAndThreadsTakeWholeNumbersOfOneOrMore) {
    struct Case {
        const char* line;
        i32 hashMb, threads;
        bool bad;
    } cases[] = {
        {"HASH_MB=256", 256, 0, false},
        {"HASH_MB= 64 ", 64, 0, false},
        {"HASH_MB=0", 0, 0, true},
        {"HASH_MB=-8", 0, 0, true},
        {"HASH_MB=64MB", 0, 0, true},
        {"HASH_MB=", 0, 0, true},
        {"THREADS=4", 0, 4, false},
        {"THREADS=1000", 0, 256, false},
        {"THREADS=0", 0, 0, true},
        {"THREADS=two", 0, 0, true},
        {"HASH_MB=99999999999", 2147483647, 0, false},
    };
    for (const Case& c : cases) {
        EngineConfig config;
        ApplyConfigLine(c.line, config);
        EXPECT_EQ(config.hashMb, c.hashMb) << c.line;
        EXPECT_EQ(config.threads, c.threads) << c.line;
        EXPECT_EQ(config.hashValueBad || config.threadsValueBad, c.bad) << c.line;
    }
    // A bad line after a good one leaves the good value.
    EngineConfig config = ParseText("HASH_MB=144\nHASH_MB=lots\nTHREADS=2\nTHREADS=-1\n");
    EXPECT_EQ(config.hashMb, 144);
    EXPECT_EQ(config.threads, 2);
}

TEST(Config, DirectoriesAreTrimmedAndEnded) {
    struct Case {
        const char* line;
        const char* directory;
    } cases[] = {
        {"EGBB_PATH=/opt/egbb", "/opt/egbb/"},
        {"EGBB_PATH= \t/opt/egbb/ \t", "/opt/egbb/"},
        {"EGBB_PATH=c:\\egbb\\", "c:\\egbb\\"},
        {"EGBB_PATH=", ""},
        {"EGBB_PATH=  \t ", ""},
        {"EGBB_PATH=with blank inside", "with blank inside/"},
    };
    for (const Case& c : cases) {
        EngineConfig config;
        EXPECT_EQ(ApplyConfigLine(c.line, config), ConfigKey::BitbasePath);
        EXPECT_STREQ(config.bitbaseDirectory, c.directory) << c.line;
    }
    EngineConfig config;
    EXPECT_EQ(ApplyConfigLine("BOOK_PATH= d:\\books", config), ConfigKey::BookPath);
    EXPECT_STREQ(config.bookDirectory, "d:\\books/");
    EXPECT_TRUE(config.bookPathSeen);
}

TEST(Config, KeysAreCaseSensitivePrefixesAndCommentsAreSkipped) {
    EngineConfig config;
    EXPECT_EQ(ApplyConfigLine("#EGBB_CACHE=9", config), ConfigKey::Comment);
    EXPECT_EQ(ApplyConfigLine("  # EGBB_CACHE=9", config), ConfigKey::Comment);
    EXPECT_EQ(ApplyConfigLine("egbb_cache=9", config), ConfigKey::None);
    EXPECT_EQ(ApplyConfigLine("EGBB_CACHE =9", config), ConfigKey::None);
    EXPECT_EQ(ApplyConfigLine("X EGBB_CACHE=9", config), ConfigKey::None);
    EXPECT_EQ(config.bitbaseCacheMb, 4);
}

TEST(Config, FileLinesIndentedBlankAndOverridden) {
    EngineConfig config = ParseText(
        "\n\n   EGBB_CACHE=8\n\t\tEGBB_LOAD=2\r\n# EGBB_LOAD=4\nEGBB_PATH=/a\nEGBB_PATH=/b/\r\n"
        "EGBB_CACHE=12");  // the last line has no newline
    EXPECT_EQ(config.bitbaseCacheMb, 12);
    EXPECT_EQ(config.bitbaseLoadMode, 2);
    EXPECT_STREQ(config.bitbaseDirectory, "/b/");
}

TEST(Config, OverLongAndBinaryLinesAreIgnoredNotFatal) {
    std::string longLine = "EGBB_PATH=" + std::string(5000, 'z');
    std::string binary = std::string("EGBB_LOAD=") + '\0' + "5\n\x01\x02\xff EGBB_CACHE=3\n";
    EngineConfig config =
        ParseText("EGBB_PATH=/kept\n" + longLine + "\n" + binary + "EGBB_CACHE=7\n");
    EXPECT_STREQ(config.bitbaseDirectory, "/kept/");  // the long line was dropped whole
    EXPECT_EQ(config.bitbaseLoadMode, 0);             // value cut at the NUL: no digits
    EXPECT_EQ(config.bitbaseCacheMb, 7);              // reading went on after both
    // Exactly 4095 characters still count as a line.
    std::string fits = "EGBB_PATH=" + std::string(4095 - 10, 'y');
    EXPECT_EQ(std::string(ParseText(fits + "\n").bitbaseDirectory), std::string(4085, 'y') + "/");
}

}  // namespace

// Position database: records built from hand-written position lists (merging, collisions,
// order errors, bad lines), opening and look-ups, and the "dbshow"/"dbshowlin"/"dbcreate"
// commands in a scratch working directory.
#include "database/database.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "zelmor-db-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Line(u64 key, const std::string& fen, char result, int ply) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%016" PRIX64 "\t%s\t%c\t%d\n", key, fen.c_str(), result,
                  ply);
    return buffer;
}

std::vector<DbRecord> ReadRecords(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size() % DbRecordBytes, 0u) << path;
    std::vector<DbRecord> records(bytes.size() / DbRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i) {
        DecodeDbRecord(reinterpret_cast<const u8*>(bytes.data()) + i * DbRecordBytes, records[i]);
    }
    return records;
}

void WriteRecords(const std::string& path, const std::vector<DbRecord>& records) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const DbRecord& record : records) {
        u8 bytes[DbRecordBytes];
        EncodeDbRecord(record, bytes);
        out.write(reinterpret_cast<const char*>(bytes), DbRecordBytes);
    }
}

std::vector<int> Codes(const u8* board) {
    std::vector<int> codes;
    for (int i = 0; i < 32; ++i) {
        codes.push_back(board[i] >> 4);
        codes.push_back(board[i] & 15);
    }
    return codes;
}

const std::string StartBoard = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
const std::string Start = StartBoard + " w KQkq -";
const std::string AfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
const std::string AfterD4 = "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3";
const std::string AfterNf3 = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq -";

class DatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(dir);
    }

    // Builds one side's file from the list text; returns what it printed.
    std::string Build(const std::string& list, char side, bool expectOk = true) {
        WriteText(dir + "list.pos", list);
        testing::internal::CaptureStdout();
        ok = createDatabase(dir + "list.pos", dir + "out.db", side, error);
        std::fflush(stdout);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, expectOk) << error << printed;
        return printed;
    }

    template <typename F>
    static std::string Printed(F&& run) {
        testing::internal::CaptureStdout();
        run();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    std::string dir;
    fs::path previous;
    std::string error = "OK";
    bool ok = false;
};

TEST_F(DatabaseTest, PackedBoardCodes) {
    u8 board[32];
    ASSERT_TRUE(PackDbBoard(StartBoard.data(), StartBoard.size(), board));
    std::vector<int> expected = {15, 12, 10, 14, 11, 10, 12, 15};
    expected.insert(expected.end(), 8, 13);
    expected.insert(expected.end(), 8, 3);
    expected.insert(expected.end(), 8, 7);
    for (int code : {9, 6, 4, 8, 5, 4, 6, 9}) expected.push_back(code);
    expected.insert(expected.end(), 24, 15);
    EXPECT_EQ(Codes(board), expected);

    // Runs of five to eight are four plus the rest; an odd count leaves filler in the low half.
    const std::string sparse = "5k2/8/8/8/8/8/8/K6R";
    ASSERT_TRUE(PackDbBoard(sparse.data(), sparse.size(), board));
    std::vector<int> codes = Codes(board);
    const std::vector<int> head = {3, 0, 11, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 5, 3, 1, 9};
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 20), head);
    EXPECT_EQ(std::vector<int>(codes.begin() + 20, codes.end()), std::vector<int>(44, 15));

    for (const std::string bad :
         {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP", "9/8/8/8/8/8/8/8",
          "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "8/8/8/8/8/8/8/8/8",
          "rnbqxbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "7/8/8/8/8/8/8/8", ""}) {
        EXPECT_FALSE(PackDbBoard(bad.data(), bad.size(), board)) << bad;
    }
}

TEST_F(DatabaseTest, RecordFieldsFromTheLine) {
    Build(Line(0x10, Start, 'W', 1) + Line(0x20, "8/8/8/8/8/8/8/K6k w Kq -", 'D', 300), 'W');
    std::vector<DbRecord> records = ReadRecords(dir + "out.db");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].key, 0x10u);
    EXPECT_EQ(records[0].state, 0x80 | 0x40 | 0x20 | 0x10 | 0x08);
    EXPECT_EQ(records[0].plyAndEp, 1);
    EXPECT_EQ(records[0].whiteWins, 1u);
    EXPECT_EQ(records[0].blackWins + records[0].draws, 0u);
    EXPECT_EQ(records[1].state, 0x80 | 0x40 | 0x08);
    EXPECT_EQ(records[1].plyAndEp, 127);  // limited to seven bits
    EXPECT_EQ(records[1].draws, 1u);

    // En passant on e3 with Black to move: file 4 and the flag.
    Build(Line(0x30, AfterE4, 'B', 2), 'B');
    records = ReadRecords(dir + "out.db");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].state, 0x78 | 4);
    EXPECT_EQ(records[0].plyAndEp, 0x80 | 2);
    EXPECT_EQ(records[0].blackWins, 1u);

    // The byte layout itself: little-endian key and counts at their offsets.
    u8 bytes[DbRecordBytes];
    records[0].whiteWins = 0x01020304;
    EncodeDbRecord(records[0], bytes);
    EXPECT_EQ(bytes[0], 0x30);
    EXPECT_EQ(bytes[7], 0);
    EXPECT_EQ(bytes[40], 0x7C);
    EXPECT_EQ(bytes[41], 0x82);
    EXPECT_EQ(bytes[42], 0x04);
    EXPECT_EQ(bytes[45], 0x01);
    EXPECT_EQ(bytes[46], 1);
    EXPECT_EQ(bytes[50], 0);
}

TEST_F(DatabaseTest, EqualPositionsMergeAndCollisionsKeepTheLaterPosition) {
    const std::string list =
        Line(0x100, AfterE4, 'W', 12) + Line(0x100, AfterE4, 'D', 10) +
        Line(0x100, AfterE4, 'D', 14) +
        // Same key, another board: the pending record is dropped.
        Line(0x200, AfterD4, 'W', 3) + Line(0x200, AfterNf3, 'D', 9) +
        Line(0x200, AfterNf3, 'B', 7) +
        // Same board, en-passant flag differs: another position too.
        Line(0x300, AfterNf3, 'W', 5) +
        Line(0x300, "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq c3", 'B', 6);
    Build(list, 'B');
    const std::vector<DbRecord> records = ReadRecords(dir + "out.db");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].key, 0x100u);
    EXPECT_EQ(records[0].whiteWins, 1u);
    EXPECT_EQ(records[0].draws, 2u);
    EXPECT_EQ(records[0].blackWins, 0u);
    EXPECT_EQ(records[0].plyAndEp, 0x80 | 10);

    u8 nf3[32];
    const std::string nf3Board = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R";
    ASSERT_TRUE(PackDbBoard(nf3Board.data(), nf3Board.size(), nf3));
    EXPECT_EQ(records[1].key, 0x200u);
    EXPECT_EQ(Codes(records[1].board), Codes(nf3));
    EXPECT_EQ(records[1].whiteWins, 0u);
    EXPECT_EQ(records[1].draws, 1u);
    EXPECT_EQ(records[1].blackWins, 1u);
    EXPECT_EQ(records[1].plyAndEp, 7);

    EXPECT_EQ(records[2].key, 0x300u);
    EXPECT_EQ(records[2].plyAndEp, 0x80 | 6);
    EXPECT_EQ(records[2].blackWins, 1u);
    EXPECT_EQ(records[2].whiteWins, 0u);
}

TEST_F(DatabaseTest, ListOrderErrorStopsTheBuild) {
    const std::string bad = Line(0x150, AfterD4, 'D', 2);
    const std::string list = Line(0x100, AfterE4, 'W', 2) + Line(0x200, AfterNf3, 'W', 2) + bad +
                             Line(0x300, AfterE4, 'W', 2);
    WriteText(dir + "out.db", "earlier");
    const std::string printed = Build(list, 'B', false);
    EXPECT_EQ(error, "ERROR: input file with positions not sorted by hash!\n" +
                         bad.substr(0, bad.size() - 1) + "\n");
    EXPECT_EQ(printed.find("done"), std::string::npos);
    // The earlier file is untouched and no temporary is left beside it.
    EXPECT_EQ(ReadText(dir + "out.db"), "earlier");

    // "dbcreate" stops after the failed Black pass: no "created.", neither file replaced.
    WriteText("base_black.db", "old black");
    const std::string output = Printed([] { DbCreateCommand("list.pos", "base"); });
    EXPECT_NE(output.find("ERROR: input file with positions not sorted by hash!\n"),
              std::string::npos);
    EXPECT_EQ(output.find("created."), std::string::npos);
    EXPECT_EQ(ReadText("base_black.db"), "old black");
    EXPECT_FALSE(fs::exists("base_white.db"));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3);

    // Lines of the other side do not take part in the order.
    WriteText("list.pos", Line(0x500, Start, 'W', 1) + Line(0x100, AfterE4, 'W', 2));
    EXPECT_EQ(Printed([] { DbCreateCommand("list.pos", "mixed"); }).substr(0, 4), "crea");
    EXPECT_TRUE(fs::exists("mixed_white.db"));
}

TEST_F(DatabaseTest, DbCreateSplitsBySideWithProgress) {
    // Four lines of equal length: each new key reports the share of the list read so far.
    WriteText("list.pos", Line(0x10, Start, 'W', 1) + Line(0x10, Start, 'B', 1) +
                              Line(0x20, Start, 'D', 1) + Line(0x30, Start, 'D', 1));
    const std::string output = Printed([] { DbCreateCommand("list.pos", "only"); });
    EXPECT_EQ(output,
              "creating new database 'only_black.db':  0%\b\b\b\b100%... done.\n"
              "creating new database 'only_white.db':  0%\b\b\b\b 75%\b\b\b\b100%"
              "\b\b\b\b100%... done.\n"
              "created.\n");
    EXPECT_EQ(fs::file_size("only_black.db"), 0u);
    const std::vector<DbRecord> white = ReadRecords(dir + "only_white.db");
    ASSERT_EQ(white.size(), 3u);
    EXPECT_EQ(white[0].whiteWins, 1u);
    EXPECT_EQ(white[0].blackWins, 1u);
    EXPECT_EQ(white[2].draws, 1u);
}

TEST_F(DatabaseTest, BadLinesAreReportedAndSkipped) {
    const std::string badResult = "0000000000000020\t" + AfterE4 + "\tX\t3";
    const std::string badBoard =
        "0000000000000030\trnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR b - -\tW\t3";
    const std::string badKey = "00000000000000G0\t" + AfterE4 + "\tW\t3";
    const std::string noPly = "0000000000000040\t" + AfterE4 + "\tW\t";
    const std::string badSide = "0000000000000050\t" + StartBoard + " x KQkq -\tW\t3";
    const std::string tooLong = "0000000000000060\t" + std::string(300, 'p');
    const std::string list = Line(0x10, AfterE4, 'W', 2) + "\n   \n" + badResult + "\n" + badBoard +
                             "\r\n" + badKey + "\n" + noPly + "\n" + badSide + "\n" + tooLong +
                             "\n" + "short line\n" + Line(0x70, AfterD4, 'D', 2);
    // CRLF line ends are read as well.
    std::string crlf = Line(0x80, AfterNf3, 'B', 4);
    crlf.back() = '\r';
    crlf += '\n';
    const std::string printed = Build(list + crlf, 'B');
    for (const std::string& line : {badResult, badBoard, badKey, noPly, badSide}) {
        EXPECT_NE(printed.find("\nparse error skipped line: "), std::string::npos);
        EXPECT_NE(printed.find("\n" + line + "\n"), std::string::npos) << line;
    }
    EXPECT_NE(printed.find("\nparse error skipped line: 2\n" + badResult + "\n"),
              std::string::npos);
    EXPECT_NE(printed.find(tooLong.substr(0, 254) + "\n"), std::string::npos);
    EXPECT_EQ(printed.find("short line"), std::string::npos) << "short lines pass in silence";
    EXPECT_NE(printed.find("100%... done.\n"), std::string::npos);
    const std::vector<DbRecord> records = ReadRecords(dir + "out.db");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].key, 0x10u);
    EXPECT_EQ(records[1].key, 0x70u);
    EXPECT_EQ(records[2].key, 0x80u);
    EXPECT_EQ(records[2].blackWins, 1u);
}

TEST_F(DatabaseTest, ProgressCountsTheBytesOfPositionLinesOnly) {
    const std::string a = Line(0x10, Start, 'W', 1), b = Line(0x20, Start, 'D', 1);
    const std::string bad = "0000000000000018\t" + Start + "\tX\t3\n";
    const std::string list = a + "15 characters..\n\n" + bad + b + Line(0x30, Start, 'D', 1);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%",
                  static_cast<int>(2 * a.size() * 100 / list.size()));
    char last[16];
    std::snprintf(last, sizeof last, "%3d%%", static_cast<int>(3 * a.size() * 100 / list.size()));
    EXPECT_EQ(Build(list, 'W'), "creating new database '" + dir + "out.db':  0%" +
                                    "\nparse error skipped line: 2\n" + bad + "\b\b\b\b" + percent +
                                    "\b\b\b\b" + last + "\b\b\b\b100%... done.\n");
}

TEST_F(DatabaseTest, CreateFailuresSayWhy) {
    WriteText("list.pos", Line(0x10, Start, 'W', 1));
    EXPECT_FALSE(createDatabase("list.pos", "x.db", 'w', error));
    EXPECT_EQ(error, "WRONG STM parameter: w\n");
    EXPECT_FALSE(createDatabase("missing.pos", "x.db", 'W', error));
    EXPECT_EQ(error, "Cannot open file statistics: missing.pos\n");
    EXPECT_FALSE(createDatabase("list.pos", "no/such/dir/x.db", 'W', error));
    EXPECT_EQ(error,
              "Cannot create database file: 'no/such/dir/x.db': No such file or directory\n");
    fs::create_directory("adir");
    EXPECT_FALSE(createDatabase("adir", "x.db", 'W', error));
    EXPECT_EQ(error, "Cannot open file statistics: adir\n");
    EXPECT_FALSE(fs::exists("x_white.db"));
}

TEST_F(DatabaseTest, OpeningCreatesMissingFilesAndRefusesTornOnes) {
    PositionDatabase database;
    ASSERT_TRUE(database.open("black.db", error)) << error;
    EXPECT_TRUE(fs::exists("black.db"));
    EXPECT_EQ(database.recordCount, 0u);
    EXPECT_EQ(database.find(0), nullptr);
    EXPECT_EQ(database.scan(0), nullptr);

    WriteText("white.db", std::string(DbRecordBytes * 2 + 5, '\0'));
    EXPECT_FALSE(database.open("white.db", error));
    EXPECT_EQ(error,
              "Database file white.db is damaged: its size (113 bytes) is not a whole number "
              "of 54-byte records.\n");
    EXPECT_EQ(Printed([] { DbShowCommand(false); }), error + "\n");

    fs::remove("white.db");
    fs::create_directory("white.db");
    EXPECT_FALSE(database.open("white.db", error));
    EXPECT_EQ(error, "Cannot open file: white.db\n");
}

TEST_F(DatabaseTest, FindAndScanAgree) {
    std::vector<DbRecord> records;
    for (u64 i = 1; i <= 101; ++i) {
        DbRecord record;
        record.key = i * 0x0123456789ABull;
        record.whiteWins = static_cast<u32>(i);
        records.push_back(record);
    }
    WriteRecords("white.db", records);
    PositionDatabase database;
    ASSERT_TRUE(database.open("white.db", error));
    EXPECT_EQ(database.firstKey, records.front().key);
    EXPECT_EQ(database.lastKey, records.back().key);
    for (const DbRecord& record : records) {
        const DbRecord* found = database.find(record.key);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->whiteWins, record.whiteWins);
        found = database.scan(record.key);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->whiteWins, record.whiteWins);
        EXPECT_EQ(database.find(record.key + 1), nullptr);
        EXPECT_EQ(database.scan(record.key - 1), nullptr);
    }
    // Straight after opening, from the buffered middle record downwards: keys found below it
    // and the gaps between them.
    for (int i = static_cast<int>(records.size()) - 1; i >= 0; --i) {
        ASSERT_TRUE(database.open("white.db", error));
        const DbRecord* found = database.find(records[i].key);
        ASSERT_NE(found, nullptr) << i;
        EXPECT_EQ(found->whiteWins, records[i].whiteWins) << i;
        ASSERT_TRUE(database.open("white.db", error));
        EXPECT_EQ(database.find(records[i].key - 1), nullptr) << i;
    }
    // Beyond the last key nothing is read.
    const u64 position = database.filePosition;
    EXPECT_EQ(database.find(records.back().key + 5), nullptr);
    EXPECT_EQ(database.find(1), nullptr);
    EXPECT_EQ(database.filePosition, position);
}

TEST_F(DatabaseTest, ScanReportsRecordsOutOfOrder) {
    std::vector<DbRecord> records(4);
    records[0].key = 0;
    records[1].key = 0x30;
    records[2].key = 0x20;
    records[3].key = 0x40;
    WriteRecords("black.db", records);
    PositionDatabase database;
    ASSERT_TRUE(database.open("black.db", error));
    std::string printed = Printed([&] { EXPECT_NE(database.scan(0x40), nullptr); });
    EXPECT_EQ(printed, "Sort ERROR: current: 0, prev: 0\nSort ERROR: current: 20, prev: 30\n");
}

TEST_F(DatabaseTest, DbShowPrintsTheRecordOfTheSideToMove) {
    ASSERT_TRUE(SetBoard(StartFen));
    DbRecord record;
    record.key = pos.key;
    record.whiteWins = 3;
    record.blackWins = 1;
    record.draws = 2;
    DbRecord before = record;
    before.key = pos.key - 1;
    WriteRecords("white.db", {before, record});
    WriteRecords("black.db", {record});  // the wrong side's file is not consulted

    const std::string board = Printed([] { PrintBoard(pos.board); });
    for (bool linear : {false, true}) {
        EXPECT_EQ(Printed([&] { DbShowCommand(linear); }),
                  board + "w: 3, b: 1, d: 2, score: 0.666667\n");
    }
    ASSERT_TRUE(SetBoard(AfterE4.c_str()));
    WriteRecords("black.db", {before});
    const std::string afterBoard = Printed([] { PrintBoard(pos.board); });
    for (bool linear : {false, true}) {
        EXPECT_EQ(Printed([&] { DbShowCommand(linear); }), afterBoard + "record not found.\n");
    }
}

}  // namespace

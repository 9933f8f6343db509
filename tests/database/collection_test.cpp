// The database built from the shared collection of real games: every record is found by
// bisection, the linear scan agrees, the counts add up to the list, and "dbshow" and
// "dbshowlin" print the same for positions of those games. Skipped when the collection is absent.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "database/database.h"
#include "engine/engine.h"
#include "records/records.h"

namespace fs = std::filesystem;

namespace {

const fs::path Collection = fs::path(ZELMOR_TEST_DATA) / "../../../shared/data/pgn";

std::vector<DbRecord> ReadRecords(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size() % DbRecordBytes, 0u);
    std::vector<DbRecord> records(bytes.size() / DbRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i) {
        DecodeDbRecord(reinterpret_cast<const u8*>(bytes.data()) + i * DbRecordBytes, records[i]);
    }
    return records;
}

bool SameRecord(const DbRecord& a, const DbRecord& b) {
    return a.key == b.key && std::memcmp(a.board, b.board, 32) == 0 && a.state == b.state &&
           a.plyAndEp == b.plyAndEp && a.whiteWins == b.whiteWins && a.blackWins == b.blackWins &&
           a.draws == b.draws;
}

template <typename F>
std::string Printed(F&& run) {
    testing::internal::CaptureStdout();
    run();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(CollectionDatabase, LookupsAgreeOnEveryPosition) {
    if (!fs::is_directory(Collection)) GTEST_SKIP() << "no game collection at " << Collection;
    InitEngineTables();
    std::string pattern = (fs::temp_directory_path() / "zelmor-collection-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path previous = fs::current_path();
    fs::current_path(pattern);

    // 1. pgn2pos over every collection, lines gathered per first key digit.
    std::array<std::vector<std::string>, 16> lists;
    std::vector<fs::path> pgns;
    for (const auto& entry : fs::directory_iterator(Collection)) {
        if (entry.path().extension() == ".pgn") pgns.push_back(entry.path());
    }
    ASSERT_FALSE(pgns.empty());
    for (const fs::path& pgn : pgns) {
        const std::string output = Printed([&] { Pgn2PosCommand(pgn.string().c_str()); });
        ASSERT_NE(output.find("finished"), std::string::npos) << output;
        for (int digit = 0; digit < 16; ++digit) {
            char name[8];
            std::snprintf(name, sizeof name, "%X.pos", digit);
            std::ifstream in(name);
            for (std::string line; std::getline(in, line);) lists[digit].push_back(line);
        }
    }

    // 2. Sorted as text and joined in digit order; counted per side.
    std::vector<std::string> all;
    u64 lines[2] = {0, 0};
    for (auto& list : lists) {
        std::sort(list.begin(), list.end());
        for (std::string& line : list) {
            const std::size_t side = line.find(' ', 17) + 1;
            ++lines[line[side] == 'w' ? White : Black];
            all.push_back(std::move(line));
        }
    }
    {
        std::ofstream out("positions.lst");
        for (const std::string& line : all) out << line << '\n';
    }
    std::string error;
    Printed([&] {
        EXPECT_TRUE(createDatabase("positions.lst", "black.db", 'B', error)) << error;
        EXPECT_TRUE(createDatabase("positions.lst", "white.db", 'W', error)) << error;
    });

    // 3. Every record found by bisection; the scan agrees on a spread of them and on absent keys.
    for (int side : {Black, White}) {
        const std::string name = side == White ? "white.db" : "black.db";
        const std::vector<DbRecord> records = ReadRecords(name);
        ASSERT_GT(records.size(), 1000u);
        u64 games = 0;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (i > 0) {
                ASSERT_LT(records[i - 1].key, records[i].key);
            }
            games += u64{records[i].whiteWins} + records[i].blackWins + records[i].draws;
            EXPECT_EQ((records[i].state & DbWhiteToMove) != 0, side == White);
        }
        EXPECT_EQ(games, lines[side]) << name;  // no line lost, none counted twice

        PositionDatabase database;
        ASSERT_TRUE(database.open(name, error)) << error;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const DbRecord* found = database.find(records[i].key);
            ASSERT_NE(found, nullptr) << i;
            ASSERT_TRUE(SameRecord(*found, records[i])) << i;
            const bool absent = i + 1 == records.size() || records[i + 1].key != records[i].key + 1;
            if (absent) {
                ASSERT_EQ(database.find(records[i].key + 1), nullptr) << i;
            }
            if (i % 211 == 0 || i + 1 == records.size()) {
                found = database.scan(records[i].key);
                ASSERT_NE(found, nullptr) << i;
                EXPECT_TRUE(SameRecord(*found, records[i])) << i;
                if (absent) {
                    EXPECT_EQ(database.scan(records[i].key + 1), nullptr) << i;
                }
            }
        }
    }

    // 4. The commands on positions of the games, and on one that no game reached.
    for (std::size_t i = 0; i < all.size(); i += all.size() / 150) {
        const std::size_t fenStart = 17;
        const std::string fen = all[i].substr(fenStart, all[i].find('\t', fenStart) - fenStart);
        ASSERT_TRUE(SetBoard(fen.c_str())) << fen;
        // A key made along a game carries the castling rights lost on the way, which a board
        // set up from FEN has not: the position gets the key the game gave it.
        pos.key = std::stoull(all[i].substr(0, 16), nullptr, 16);
        const std::string bisection = Printed([] { DbShowCommand(false); });
        EXPECT_NE(bisection.find("\nw: "), std::string::npos) << fen;
        EXPECT_EQ(bisection, Printed([] { DbShowCommand(true); })) << fen;
    }
    ASSERT_TRUE(SetBoard("8/8/3k4/8/8/3K4/8/7R b - -"));
    const std::string absent = Printed([] { DbShowCommand(false); });
    EXPECT_EQ(absent.substr(absent.size() - 18), "record not found.\n");
    EXPECT_EQ(absent, Printed([] { DbShowCommand(true); }));

    fs::current_path(previous);
    fs::remove_all(pattern);
}

}  // namespace

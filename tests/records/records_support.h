// Shared helpers of the game-record tests: tables set up once, a scratch working directory per
// test (pgn2pos writes into the working directory), files read and written whole, captured
// standard output, and an independent replay of a game file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "records/records.h"

namespace records_test {

inline const std::string DataDir = std::string(ZELMOR_TEST_DATA) + "/records/";
inline const std::string SharedDir = "/work/shared/data/";

inline std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary);
    out << bytes;
}

inline bool Exists(const std::string& name) { return access(name.c_str(), R_OK) == 0; }

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::string LivePositionFen() {
    char buffer[128];
    WriteFen(buffer);
    return buffer;
}

// A game file's games as word lists: [0] the header word, then the moves.
inline std::vector<std::vector<u16>> GamesOf(const std::string& bytes) {
    std::vector<std::vector<u16>> games;
    std::size_t at = 0;
    auto word = [&](std::size_t i) {
        return static_cast<u16>(static_cast<unsigned char>(bytes[i]) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    while (at + 2 <= bytes.size()) {
        std::vector<u16> game{word(at)};
        const int n = GamePlies(game[0]);
        at += 2;
        for (int i = 0; i < n && at + 2 <= bytes.size(); ++i, at += 2) game.push_back(word(at));
        games.push_back(game);
    }
    return games;
}

inline std::string GameBytes(const std::vector<std::vector<u16>>& games) {
    std::string bytes;
    for (const auto& game : games) {
        for (u16 w : game) {
            bytes += static_cast<char>(w & 0xFF);
            bytes += static_cast<char>(w >> 8);
        }
    }
    return bytes;
}

// Replays one game's moves from the live position (the initial one) and takes them back; the
// FEN before each move and at the end.
inline std::vector<std::string> ReplayFens(const std::vector<u16>& game) {
    std::vector<std::string> fens;
    std::vector<UndoRecord> undo(game.size());
    for (std::size_t i = 1; i < game.size(); ++i) {
        fens.push_back(LivePositionFen());
        SaveSnapshot(undo[i]);
        MakeMove(game[i], undo[i]);
    }
    fens.push_back(LivePositionFen());
    for (std::size_t i = game.size() - 1; i >= 1; --i) UnmakeMove(game[i], undo[i]);
    return fens;
}

// Runs a command with standard output captured.
template <typename Command>
std::string Output(Command command) {
    testing::internal::CaptureStdout();
    command();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Every test of these suites runs in a fresh scratch directory, removed afterwards.
class RecordsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }

    void SetUp() override {
        char pattern[] = "/tmp/zelmor-records-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previous_ = cwd;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        SetBoard(StartFen);
    }
    void TearDown() override {
        if (chdir(previous_.c_str()) != 0) std::perror("chdir");
        if (std::system(("rm -rf '" + dir_ + "'").c_str()) != 0) std::perror("rm");
    }

    // The sixteen pgn2pos lists joined, key column kept, sorted.
    static std::vector<std::string> PositionFileLines() {
        std::string all;
        for (const char* hex = "0123456789ABCDEF"; *hex; ++hex)
            all += ReadFile(std::string(1, *hex) + ".pos");
        std::vector<std::string> lines = Lines(all);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    std::string dir_;
    std::string previous_;
};

}  // namespace records_test

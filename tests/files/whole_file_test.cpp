// Every writer under a disk that fills: each command runs in a child process whose files may not
// grow past a limit (SIGXFSZ ignored, so a write past it fails as on a full disk). A replaced
// file must still hold its earlier content, an appended one must end on a whole game, no
// temporary may be left, and the command must not call the failure a success.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "database/database.h"
#include "files/files.h"
#include "records/records.h"

namespace fs = std::filesystem;

namespace {

constexpr rlim_t Limit = 64 * 1024;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Runs `command` in a child whose files may not grow past `limit` bytes; returns its output.
std::string RunLimited(rlim_t limit, const std::function<void()>& command) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "pipe failed";
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        dup2(pipeEnds[1], 1);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        command();
        std::fflush(stdout);
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    return output;
}

std::string RunFree(const std::function<void()>& command) {
    return RunLimited(RLIM_INFINITY, command);
}

// Distinct decided games of growing length (knights out and back), as PGN text.
std::string ShufflePgn(int games) {
    std::string text;
    for (int g = 1; g <= games; ++g) {
        text += "[Result \"1/2-1/2\"]\n\n";
        for (int i = 0; i < g; ++i)
            text +=
                std::to_string(2 * i + 1) + ". Nf3 Nf6 " + std::to_string(2 * i + 2) + ". Ng1 Ng8 ";
        text += "1/2-1/2\n\n";
    }
    return text;
}

const std::string ShortPgn =
    "[Result \"1-0\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n\n"
    "[Result \"0-1\"]\n\n1. f3 e5 2. g4 Qh4# 0-1\n\n";

// The game file's games must all be whole, and start with the earlier ones.
void ExpectWholeGames(const std::string& bytes, const std::string& earlier) {
    ASSERT_GE(bytes.size(), earlier.size());
    EXPECT_EQ(bytes.substr(0, earlier.size()), earlier);
    std::size_t at = 0;
    while (at < bytes.size()) {
        ASSERT_LE(at + 2, bytes.size()) << "odd byte at the end";
        const unsigned header =
            static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
        ASSERT_NE(GameResultBits(static_cast<u16>(header)), 0) << "at byte " << at;
        at += 2 + 2 * static_cast<std::size_t>(GamePlies(static_cast<u16>(header)));
        ASSERT_LE(at, bytes.size()) << "game cut short";
    }
}

std::string DbLine(u64 key, bool whiteToMove) {
    char line[160];
    std::snprintf(line, sizeof line, "%016" PRIX64 "\t%s\t%c\t%d\n", key,
                  whiteToMove ? "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"
                              : "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
                  'W', 3);
    return line;
}

class WholeFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTables(); }
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zelmor-whole-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    // The names in the working directory: a temporary left behind shows up here.
    static std::set<std::string> Names() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(".")) names.insert(entry.path().filename());
        return names;
    }
    std::string dir;
    fs::path previous;
};

TEST_F(WholeFileTest, ReplacedFilesKeepTheirEarlierContentWhenTheDiskFills) {
    // pgn2pos: sixteen lists replaced together or not at all.
    WriteText("games.pgn", ShufflePgn(180));
    for (int i = 0; i < 16; ++i) WriteText(std::string(1, "0123456789ABCDEF"[i]) + ".pos", "old");
    std::set<std::string> before = Names();
    std::string output = RunLimited(Limit, [] { Pgn2PosCommand("games.pgn"); });
    EXPECT_NE(output.find("Cannot write POS output file: '"), std::string::npos) << output;
    EXPECT_NE(output.find("File too large"), std::string::npos) << output;
    EXPECT_EQ(output.find("finished"), std::string::npos) << output;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(ReadText(std::string(1, "0123456789ABCDEF"[i]) + ".pos"), "old") << i;
    EXPECT_EQ(Names(), before);

    // dbcreate: the Black file fits, the White one does not; neither replaces the earlier pair.
    std::string list;
    for (u64 key = 1; key <= 600; ++key) list += DbLine(key << 8, false);
    for (u64 key = 601; key <= 3000; ++key) list += DbLine(key << 8, true);
    WriteText("list.pos", list);
    WriteText("base_black.db", "old black");
    WriteText("base_white.db", "old white");
    before = Names();
    output = RunLimited(Limit, [] { DbCreateCommand("list.pos", "base"); });
    EXPECT_NE(output.find("Cannot write database file: 'base_white.db': File too large"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("created."), std::string::npos) << output;
    EXPECT_EQ(ReadText("base_black.db"), "old black");
    EXPECT_EQ(ReadText("base_white.db"), "old white");
    EXPECT_EQ(Names(), before);

    // Without the limit both are replaced, readable by others as any new file is.
    output = RunFree([] { DbCreateCommand("list.pos", "base"); });
    EXPECT_NE(output.find("created.\n"), std::string::npos) << output;
    EXPECT_EQ(fs::file_size("base_black.db"), 600u * DbRecordBytes);
    EXPECT_EQ(fs::file_size("base_white.db"), 2400u * DbRecordBytes);
    struct stat status;
    ASSERT_EQ(stat("base_white.db", &status), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);

    // bookcreate: a book's index does not fit; the earlier book stays whole.
    fs::rename("base_black.db", "black.db");
    fs::rename("base_white.db", "white.db");
    for (const char* name : {"bookbtm.zbx", "bookbtm.zbk", "bookwtm.zbx", "bookwtm.zbk"})
        WriteText(name, std::string("old ") + name);
    before = Names();
    output = RunLimited(Limit, [] { BookCreateCommand(); });
    EXPECT_NE(output.find("'bookwtm.zbx': File too large"), std::string::npos) << output;
    EXPECT_EQ(output.find("created."), std::string::npos) << output;
    for (const char* name : {"bookbtm.zbx", "bookbtm.zbk", "bookwtm.zbx", "bookwtm.zbk"})
        EXPECT_EQ(ReadText(name), std::string("old ") + name);
    EXPECT_EQ(Names(), before);
}

TEST_F(WholeFileTest, AppendedFilesEndOnAWholeGameWhenTheDiskFills) {
    WriteText("short.pgn", ShortPgn);
    WriteText("games.pgn", ShufflePgn(180));
    RunFree([] { Pgn2GameCommand("short.pgn", "games.bin"); });
    const std::string earlier = ReadText("games.bin");
    ASSERT_EQ(earlier.size(), 2u + 14u + 2u + 8u);

    // pgn2game: the games written before the failure stay, none cut in half.
    std::string output = RunLimited(Limit, [] { Pgn2GameCommand("games.pgn", "games.bin"); });
    EXPECT_NE(output.find("Cannot write GAME output file: 'games.bin': File too large"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("finished"), std::string::npos) << output;
    std::string bytes = ReadText("games.bin");
    ExpectWholeGames(bytes, earlier);
    EXPECT_GT(bytes.size(), Limit - 2000);

    // pgnlist2game, the same through a list of PGN files.
    WriteText("games.bin", earlier);
    WriteText("list.txt", "short.pgn\ngames.pgn\n");
    output = RunLimited(Limit, [] { PgnList2GameCommand("list.txt", "games.bin"); });
    EXPECT_NE(output.find("File too large"), std::string::npos) << output;
    EXPECT_EQ(output.find("CONVERTED GAMES"), std::string::npos) << output;
    ExpectWholeGames(ReadText("games.bin"), earlier);

    // game2pgn and game2pos: the output file is as it was before the command.
    RunFree([] { Pgn2GameCommand("games.pgn", "all.bin"); });
    ASSERT_GT(fs::file_size("all.bin"), Limit / 2);
    WriteText("out.pgn", "[Result \"1-0\"]\n1. e2e4 1-0\n");
    WriteText("out.pos", "earlier line\n");
    const std::set<std::string> before = Names();
    output = RunLimited(Limit, [] { Game2PgnCommand("all.bin", "out.pgn"); });
    EXPECT_NE(output.find("ERROR: cannot write 'out.pgn': File too large"), std::string::npos)
        << output;
    EXPECT_EQ(output.find("OK\n"), std::string::npos) << output;
    EXPECT_EQ(ReadText("out.pgn"), "[Result \"1-0\"]\n1. e2e4 1-0\n");
    output = RunLimited(Limit, [] { Game2PosCommand("all.bin", "out.pos"); });
    EXPECT_NE(output.find("ERROR: cannot write 'out.pos': File too large"), std::string::npos)
        << output;
    EXPECT_EQ(output.find("OK\n"), std::string::npos) << output;
    EXPECT_EQ(ReadText("out.pos"), "earlier line\n");
    EXPECT_EQ(Names(), before);
}

}  // namespace

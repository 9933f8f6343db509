// scripts/make-book end to end with the built engine: a book from a few games, used by the engine
// through Zelmor.ini, and the script's refusals.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

const fs::path Root = fs::path(__FILE__).parent_path().parent_path().parent_path();

struct ShellResult {
    int status;
    std::string output;
};

ShellResult Shell(const std::string& command) {
    ShellResult run{-1, {}};
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class MakeBookTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zelmor-makebook-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        script = (Root / "scripts/make-book").string();
        if (!fs::exists(script)) GTEST_SKIP() << "no make-book script at " << script;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string MakeBook(const std::string& arguments) {
        const ShellResult run = Shell("ZELMOR='" ZELMOR_BINARY "' '" + script + "' " + arguments);
        status = run.status;
        return run.output;
    }
    std::string dir;
    std::string script;
    int status = -1;
};

const char* const Games =
    "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 1-0\n\n"
    "[Event \"b\"]\n[Result \"1-0\"]\n\n1. e4 c5 2. Nf3 d6 1-0\n\n"
    "[Event \"c\"]\n[Result \"0-1\"]\n\n1. d4 d5 2. c4 e6 0-1\n\n"
    "[Event \"d\"]\n[Result \"1/2-1/2\"]\n\n1. d4 Nf6 1/2-1/2\n";

TEST_F(MakeBookTest, BuildsABookTheEngineUses) {
    std::ofstream(dir + "my games.pgn") << Games;
    const std::string output = MakeBook("'" + dir + "book' '" + dir + "my games.pgn'");
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("converted: 4 games. (skipped: 0)"), std::string::npos) << output;
    EXPECT_NE(output.find("Book ready in " + dir + "book"), std::string::npos) << output;
    for (const char* name : {"bookbtm.zbx", "bookbtm.zbk", "bookwtm.zbx", "bookwtm.zbk"}) {
        EXPECT_TRUE(fs::exists(dir + "book/" + name)) << name;
    }
    EXPECT_EQ(fs::file_size(dir + "book/bookbtm.zbx"), 524288u);

    // White's 1. e4 scored 2 of 2: listed; 1. d4 scored 0.25: not; after 1. d4, Black's d5 won.
    std::ofstream(dir + "Zelmor.ini") << "BOOK_PATH=" << dir << "book\n";
    const ShellResult engine =
        Shell("cd '" + dir +
              "' && printf 'xboard\\nprotover 2\\naccepted done\\n"
              "accepted setboard\\nforce\\ne2e4\\nbookshow\\nnew\\nforce\\nd2d4\\n"
              "bookshow\\nd7d5\\nbookshow\\nquit\\n' | '" ZELMOR_BINARY "'");
    EXPECT_EQ(engine.output.find("BOOK ERROR"), std::string::npos) << engine.output;
    EXPECT_NE(engine.output.find("YES\n2: NO\nNO\n2: NO\nYES\n2: NO\n"), std::string::npos)
        << engine.output;
}

TEST_F(MakeBookTest, StopsWithAClearMessage) {
    std::string output = MakeBook("'" + dir + "book' '" + dir + "missing.pgn'");
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("make-book: cannot read PGN file: " + dir + "missing.pgn"),
              std::string::npos)
        << output;

    std::ofstream(dir + "bad.pgn") << "[Result \"1-0\"]\n\n1. e4 e5 2. Ke3 1-0\n";
    output = MakeBook("'" + dir + "book' '" + dir + "bad.pgn'");
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("make-book: pgn2pos failed on " + dir + "bad.pgn"), std::string::npos)
        << output;
    EXPECT_FALSE(fs::exists(dir + "book"));

    output = MakeBook("'" + dir + "book'");
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("make-book: no PGN file given"), std::string::npos) << output;
}

// scripts/book-sim: with one move a ply, a book move needs a position scoring strictly on the
// mover's side of the rule's line, which only "half" gives White (56 % against one half).
TEST(BookSim, OneLineGivesOnlyWhatTheRuleSLineAllows) {
    const std::string script = (Root / "scripts/book-sim").string();
    if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    for (const auto& [rule, expected] :
         {std::pair{"relative", "White 0, Black 0"}, std::pair{"half", "White 1, Black 0"},
          std::pair{"parent", "White 0, Black 0"}}) {
        const ShellResult run = Shell("'" + script + "' --games 300 --radix 1 --rule " + rule);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(std::string("book moves median ") + expected), std::string::npos)
            << rule << ": " << run.output;
        EXPECT_NE(run.output.find("100 of 100 walks share"), std::string::npos) << run.output;
    }
    const ShellResult bad = Shell("'" + script + "' --radix 4,0");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.output.find("take numbers of 1 or more"), std::string::npos) << bad.output;
}

}  // namespace

// What an xboard interface relies on: free-text arguments that are never run as commands, a
// handshake that waits for nothing it may not get, the feature lines, and the command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "engine/engine_process.h"

namespace {

using zelmor_test::Contains;
using zelmor_test::Count;
using zelmor_test::EngineProcess;
using zelmor_test::Handshake;
using zelmor_test::RunSession;
using zelmor_test::ScratchDir;

TEST(Protocol, FreeTextArgumentsAreNeverRunAsCommands) {
    ScratchDir dir;
    // In force mode "gorilla" would search (a prefix of "go"), "quitter" would quit, "time}"
    // would be a clock report and "e2e4" a move.
    auto result = RunSession(
        dir, Handshake +
                 "new\nforce\nname gorilla\nname quitter\nresult 0-1 {Black wins on time}\n"
                 "force\nrating 2000 quit\nics freechess.org go\ncomputer\naccepted e2e4\n"
                 "rejected quit\negtpath scorpio /no where/quit\nvariant crazyhouse\n"
                 "variant normal\nping 5\nsetboard 7k/8/8/8/8/8/8/K7 w - -\n"
                 "result 1/2-1/2 {e2e4 go}\nforce\ne2e4\nping 6\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    const std::string& out = result.output;
    EXPECT_FALSE(Contains(out, "move ")) << out;
    EXPECT_FALSE(Contains(out, "Error (clock report"));
    EXPECT_EQ(Count(out, "Error (variant not supported): crazyhouse\n"), 1) << out;
    EXPECT_EQ(Count(out, "Error"), 1);
    // "result" still resets the board: e2e4 is legal after the bare kings.
    EXPECT_FALSE(Contains(out, "Illegal Move"));
    EXPECT_TRUE(Contains(out, "pong 5\n"));
    EXPECT_TRUE(Contains(out, "pong 6\n"));
    const std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "-M: opponent gorilla\n")) << log;
    EXPECT_TRUE(Contains(log, "-M: game result 0-1 {Black wins on time}\n"));
}

TEST(Protocol, FreeTextDuringASearchIsTakenWhole) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nforce\nanalyze\n");
    ASSERT_TRUE(engine.WaitFor("    4 "));
    // The poll reads these while the analysis runs; the analysis goes on.
    engine.Send("name quitter\naccepted quit\nping 8\n");
    ASSERT_TRUE(engine.WaitFor("pong 8\n"));
    engine.Send("result 1-0 {quit}\nping 9\n");
    ASSERT_TRUE(engine.WaitFor("pong 9\n"));
    engine.Send("exit\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "move "));
}

TEST(Protocol, HandshakeWaitsForNoReplyAndDeclaresTheFeatures) {
    ScratchDir dir;
    // No "accepted" replies at all, or not even "protover": nothing after them is lost.
    for (const std::string& start :
         {std::string("xboard\nprotover 2\n"), std::string("xboard\n")}) {
        auto result = RunSession(dir, start + "new\nping 7\nquit\n", 10000);
        EXPECT_EQ(result.exitCode, 0) << start;
        EXPECT_TRUE(Contains(result.output, "pong 7\n")) << result.output;
    }
    // Replies that arrive late, after "done=1", are taken quietly.
    auto result = RunSession(dir,
                             "xboard\nprotover 2\nnew\naccepted ping\nrejected nps\n"
                             "accepted done\nping 3\nquit\n");
    const std::string& out = result.output;
    EXPECT_TRUE(Contains(out, "pong 3\n"));
    EXPECT_FALSE(Contains(out, "Error"));
    // The two lines every interface has seen come first; "done=1" ends them.
    EXPECT_EQ(out.rfind("\nfeature done=0\nfeature setboard=1\n", 0), 0u) << out;
    const std::size_t done = out.find("feature done=1\n");
    for (const char* line :
         {"feature ping=1\n", "feature myname=\"Zelmor ", "feature colors=0\n",
          "feature sigint=0\n", "feature sigterm=0\n", "feature analyze=1\n", "feature nps=0\n",
          "feature variants=\"normal\"\n", "feature exclude=1\n",
          "feature option=\"MultiPV -spin 1 1 32\"\n", "feature option=\"BookPath -path \"\n",
          "feature option=\"EgbbPath -path \"\n",
          "feature option=\"Mate scores in moves -check 0\"\n"}) {
        const std::size_t at = out.find(line);
        EXPECT_TRUE(at != std::string::npos && at < done) << line;
    }
}

TEST(Protocol, OptionsSetFromTheInterface) {
    ScratchDir dir;
    // Mate in one for White: 8099 by default, the interface's form with the option on.
    const std::string mate = "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\nsd 4\ngo\n";
    auto plain = RunSession(dir, Handshake + "new\n" + mate + "quit\n");
    EXPECT_TRUE(Contains(plain.output, "     8099     ")) << plain.output;
    auto moves = RunSession(dir, Handshake + "new\noption Mate scores in moves=1\n" + mate +
                                     "option Mate scores in moves=maybe\noption No Such=1\n"
                                     "option BookPath=/no such dir\nquit\n");
    EXPECT_TRUE(Contains(moves.output, "     100001     ")) << moves.output;
    EXPECT_FALSE(Contains(moves.output, "     8099     "));
    EXPECT_TRUE(
        Contains(moves.output, "Error (takes 0 or 1): option Mate scores in moves=maybe\n"));
    EXPECT_TRUE(Contains(moves.output, "Error (unknown option): option No Such=1\n"));
    EXPECT_TRUE(Contains(moves.output, "BOOK ERROR: "));
}

// Runs the binary with arguments and no input; stdout and stderr together.
std::string RunCommandLine(const std::string& arguments, int& code) {
    const std::string command =
        std::string("'") + ZELMOR_BINARY + "' " + arguments + " </dev/null 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

TEST(Protocol, CommandLineHelpVersionAndUnknownOptions) {
    ScratchDir dir;
    int code = -1;
    const std::string help = RunCommandLine("--help", code);
    EXPECT_EQ(code, 0);
    for (const char* part : {"--uci", "xboard", "UCI", "Zelmor.ini", "Zelmor.log", "man 6 zelmor"})
        EXPECT_TRUE(Contains(help, part)) << part;
    EXPECT_EQ(RunCommandLine("--version", code), "Zelmor " ZELMOR_VERSION "\n");
    EXPECT_EQ(code, 0);
    const std::string bad = RunCommandLine("--uci --frobnicate", code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(bad.rfind("zelmor: unknown option '--frobnicate'\nUsage: zelmor", 0), 0u) << bad;
}

}  // namespace

namespace {

// White mates with a1a8; every other rook move is no mate.
const std::string MateInOne = "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\n";

TEST(Protocol, ExcludedMovesAreNeverPlayedOrAnalysed) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    // The analysis fills the table with the mate first: an excluded move must not come back
    // from the root's entry when the engine then plays.
    engine.Send(Handshake + "new\nforce\n" + MateInOne + "analyze\n");
    ASSERT_TRUE(engine.WaitFor("    4     8099 "));
    // From the line end before the new lines, so that a line at `before` is seen.
    const std::size_t before = engine.output.size() - 1;
    engine.Send("exclude a1a8\nexclude z9z9\n");
    // The analysis starts again from depth 2 without the mate.
    ASSERT_TRUE(engine.WaitFor("\n    2 ", 10000, before)) << engine.output.substr(before);
    const std::size_t excluded = engine.output.find("\n    2 ", before);
    ASSERT_TRUE(engine.WaitFor("\n    5 ", 10000, excluded));
    engine.Send("exit\nsd 4\ngo\n");
    ASSERT_TRUE(engine.WaitFor("\nmove ", 10000, excluded));
    const std::size_t first = engine.output.find("\nmove ", excluded) + 1;
    engine.Send("new\nforce\n" + MateInOne + "exclude all\ninclude a1b1\nsd 3\ngo\n");
    ASSERT_TRUE(engine.WaitFor("\nmove ", 10000, first));
    const std::size_t second = engine.output.find("\nmove ", first) + 1;
    const std::string restricted = engine.output.substr(excluded, second + 10 - excluded);
    EXPECT_FALSE(Contains(restricted, "  a1a8")) << restricted;
    EXPECT_FALSE(Contains(restricted, "move a1a8\n"));
    EXPECT_TRUE(Contains(restricted, "Error (illegal move): exclude z9z9\n"));
    EXPECT_TRUE(Contains(restricted, "move a1b1\n")) << restricted;

    // Every move excluded: said so, and the engine still moves (the mate, as nothing is left out).
    engine.Send("new\nforce\n" + MateInOne + "exclude all\nsd 3\ngo\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    const std::string last = engine.output.substr(second);
    EXPECT_TRUE(Contains(last, "Error (every move excluded, all included again): go\n"));
    EXPECT_TRUE(Contains(last, "move a1a8\n1-0 {Zelmor mates 1}")) << last;
}

TEST(Protocol, MultiPvAnalysisShowsDistinctLinesPerIteration) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nforce\noption MultiPV=3\noption MultiPV=33\nanalyze\n");
    ASSERT_TRUE(engine.WaitFor("\n    6 "));
    engine.Send("exit\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_TRUE(Contains(engine.output, "Error (takes 1 to 32): option MultiPV=33\n"));
    // Per depth, the first move of each line in the order shown.
    static const std::regex line(R"(\n    (\d+)     -?\d+     \d+     \d+  (\S+))");
    std::map<int, std::vector<std::string>> byDepth;
    for (std::sregex_iterator it(engine.output.begin(), engine.output.end(), line), end; it != end;
         ++it)
        byDepth[std::stoi((*it)[1])].push_back((*it)[2]);
    for (int depth = 3; depth <= 5; ++depth) {
        const auto& firsts = byDepth[depth];
        ASSERT_EQ(firsts.size(), 3u) << depth << engine.output;
        EXPECT_NE(firsts[0], firsts[1]);
        EXPECT_NE(firsts[1], firsts[2]);
        EXPECT_NE(firsts[0], firsts[2]);
    }
}

TEST(Protocol, BookMovesListedThenAnEmptyLine) {
    ScratchDir dir;
    dir.Write("games.pgn",
              "[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n[Result \"1-0\"]\n\n1. d4 d5 1-0\n");
    const std::string make = std::string("ZELMOR='") + ZELMOR_BINARY + "' '" + ZELMOR_TEST_DATA +
                             "/../../scripts/make-book' '" + dir.path() + "/book' '" + dir.path() +
                             "/games.pgn' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    dir.Write("Zelmor.ini", "BOOK_PATH=" + dir.path() + "/book\n");
    auto result = RunSession(dir, Handshake + "new\nbk\nforce\na2a3\nbk\nquit\n");
    const std::string& out = result.output;
    EXPECT_TRUE(Contains(out, "\n d2d4 main book\n e2e4 main book\n\n") ||
                Contains(out, "\n e2e4 main book\n d2d4 main book\n\n"))
        << out;
    EXPECT_TRUE(Contains(out, "\n no book moves\n\n")) << out;
}

}  // namespace

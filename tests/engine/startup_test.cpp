// Start-up as the interface sees it: the handshake bytes, the Zelmor.ini report, the log.
#include <gtest/gtest.h>

#include "engine_process.h"

namespace {

using zelmor_test::RunSession;
using zelmor_test::ScratchDir;

using zelmor_test::Handshake;
const std::string BitbaseError =
    "EGBB ERROR: endgame bitbases not loaded. Check EGBB_PATH in 'Zelmor.ini' file.\n";

TEST(Startup, HandshakeWithoutIniFileIsExact) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output,
              "\nfeature done=0\nfeature setboard=1\nERROR: Zelmor.ini file cannot be opened.\n"
              "feature done=1\nBOOK ERROR: \n" +
                  BitbaseError);
    std::string log = dir.Read("Zelmor.log");
    EXPECT_NE(log.find("ERROR: Zelmor.ini file cannot be opened.\n"), std::string::npos);
    EXPECT_NE(log.find("::cmd:: quit\n"), std::string::npos);
    EXPECT_NE(log.find("BOOK ERROR: \n"), std::string::npos);
    EXPECT_NE(log.find(BitbaseError), std::string::npos);
}

TEST(Startup, OtherFirstTokenIsReportedAndNoRepliesAreAwaited) {
    ScratchDir dir;
    // Nothing but "hello" and "quit": a start-up waiting for replies would eat "quit" and then
    // hit the end of input; the log shows that "quit" reached the loop.
    auto result = RunSession(dir, "hello\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.output.rfind("Engine works only with xboard protocol ver. 2\n\nfeature done=0\n"
                            "feature setboard=1\n",
                            0),
        0u)
        << result.output;
    EXPECT_NE(dir.Read("Zelmor.log").find("::cmd:: quit\n"), std::string::npos);
}

TEST(Startup, EndOfInputActsAsQuit) {
    ScratchDir dir;
    for (const std::string& input : {Handshake, std::string("xboard\n"), std::string()}) {
        auto result = RunSession(dir, input);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(dir.Read("Zelmor.log").find("::cmd:: quit\n"), std::string::npos) << input;
    }
}

TEST(Startup, LogHoldsOnlyTheCurrentRun) {
    ScratchDir dir;
    RunSession(dir, Handshake + "firstrunmarker\nquit\n");
    RunSession(dir, Handshake + "quit\n");
    std::string log = dir.Read("Zelmor.log");
    EXPECT_EQ(log.find("firstrunmarker"), std::string::npos);
    EXPECT_NE(log.find("::cmd:: quit"), std::string::npos);
}

TEST(Startup, IniFileWithoutUsableKeysKeepsDefaults) {
    ScratchDir dir;
    // Comments, indentation, CRLF line ends, an empty bitbase directory, an over-long line and
    // binary bytes: the engine starts, reports both failures and keeps running.
    std::string ini = "# a comment\r\n\n   \t# indented comment\r\nEGBB_PATH=   \r\n";
    ini += "EGBB_PATH=" + std::string(5000, 'x') + "\n";
    ini += std::string("\x00\x01\xff\xfe BOOK", 9) + "\n";
    dir.Write("Zelmor.ini", ini);
    auto result = RunSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.output,
        "\nfeature done=0\nfeature setboard=1\nfeature done=1\nBOOK ERROR: \n" + BitbaseError);
    EXPECT_NE(dir.Read("Zelmor.log").find("line longer than 4095"), std::string::npos);
}

TEST(Startup, MissingBookDirectoryIsReportedWithTheBookText) {
    ScratchDir dir;
    dir.Write("Zelmor.ini",
              "  BOOK_PATH= " + dir.path() + "/nothing-here \nEGBB_PATH=" + dir.path() + "/none\n");
    auto result = RunSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    auto bookLine = result.output.find("feature done=1\nBOOK ERROR: ");
    ASSERT_NE(bookLine, std::string::npos) << result.output;
    EXPECT_NE(result.output.find(BitbaseError), std::string::npos);
    EXPECT_EQ(result.output.find("ERROR: Zelmor.ini"), std::string::npos);
}

}  // namespace

namespace {

// The stand-in bitbase plug-in built next to the engine (it answers 99999 to every probe).
std::string FakeBitbaseDirectory() {
    auto dir = std::filesystem::path(ZELMOR_BINARY).parent_path() / "egbblib" / "fake-recording";
    return std::filesystem::exists(dir / "egbbso64.so") ? dir.string() : "";
}

TEST(Startup, LoadedBitbasesReportTheirSettingsAndWarnings) {
    std::string plugin = FakeBitbaseDirectory();
    if (plugin.empty()) GTEST_SKIP() << "stand-in bitbase plug-in not built";
    ScratchDir dir;
    dir.Write("Zelmor.ini", "EGBB_PATH=" + plugin + "\n\tEGBB_CACHE=0\n  EGBB_LOAD=0\n");
    auto low = RunSession(dir, Handshake + "eval\nquit\n");
    EXPECT_EQ(low.exitCode, 0);
    EXPECT_NE(low.output.find("feature done=1\nBOOK ERROR: \nEGBB_LOAD=0\n"
                              "EGBB WARNING: EGBB_LOAD < 1 in 'Zelmor.ini' file.\nEGBB_CACHE=0\n"
                              "EGBB WARNING: EGBB_CACHE < 4 in 'Zelmor.ini' file.\n"),
              std::string::npos)
        << low.output;
    EXPECT_NE(low.output.find("eval score: "), std::string::npos);  // the plug-in had no answer

    dir.Write("Zelmor.ini", "EGBB_PATH=" + plugin + "/\nEGBB_CACHE=-5\nEGBB_LOAD=6\n");
    auto fixed = RunSession(dir, Handshake + "quit\n");
    EXPECT_NE(fixed.output.find("BOOK ERROR: \nEGBB_LOAD=1\nEGBB_CACHE=4\n"), std::string::npos)
        << fixed.output;
    EXPECT_EQ(fixed.output.find("WARNING"), std::string::npos);
}

}  // namespace

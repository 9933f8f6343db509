// Start-up as the interface sees it: the handshake bytes, the Zelmor.ini report, the log.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "egbb/egbb.h"
#include "engine_process.h"

namespace {

using zelmor_test::ScratchDir;
using zelmor_test::WithoutExtraFeatures;

// These tests look at what surrounds the feature lines; the lines themselves are the protocol
// tests' business.
zelmor_test::SessionResult StartupSession(const ScratchDir& dir, const std::string& input) {
    auto result = zelmor_test::RunSession(dir, input);
    result.output = WithoutExtraFeatures(result.output);
    return result;
}

using zelmor_test::Contains;
using zelmor_test::Handshake;
const std::string BitbaseError =
    "EGBB ERROR: endgame bitbases not loaded. Check EGBB_PATH in 'Zelmor.ini' file.\n";

TEST(Startup, HandshakeWithoutIniFileIsExact) {
    ScratchDir dir;
    auto result = StartupSession(dir, Handshake + "quit\n");
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
    auto result = StartupSession(dir, "hello\nquit\n");
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
        auto result = StartupSession(dir, input);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(dir.Read("Zelmor.log").find("::cmd:: quit\n"), std::string::npos) << input;
    }
}

TEST(Startup, LogHoldsOnlyTheCurrentRun) {
    ScratchDir dir;
    StartupSession(dir, Handshake + "firstrunmarker\nquit\n");
    StartupSession(dir, Handshake + "quit\n");
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
    auto result = StartupSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.output,
        "\nfeature done=0\nfeature setboard=1\nfeature done=1\nBOOK ERROR: \n" + BitbaseError);
    EXPECT_NE(dir.Read("Zelmor.log").find("line longer than 4095"), std::string::npos);
}

TEST(Startup, IniTableSizeAndThreadsAreAppliedAndBadValuesReported) {
    ScratchDir dir;
    dir.Write("Zelmor.ini", "HASH_MB=16\nTHREADS=2\n");
    auto result = StartupSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_FALSE(Contains(result.output, "WARNING")) << result.output;
    EXPECT_TRUE(Contains(dir.Read("Zelmor.log"), "-M: table of 18874368 bytes, 2 search threads"));

    dir.Write("Zelmor.ini", "HASH_MB=big\nTHREADS=0\n");
    result = StartupSession(dir, Handshake + "quit\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.output,
                         "HASH WARNING: HASH_MB in 'Zelmor.ini' file is not a number of 1 or "
                         "more, ignored.\nTHREADS WARNING: THREADS in 'Zelmor.ini' file is not a "
                         "number of 1 or more, ignored.\n"))
        << result.output;
    EXPECT_FALSE(Contains(dir.Read("Zelmor.log"), "-M: table of"));
}

TEST(Startup, MissingBookDirectoryIsReportedWithTheBookText) {
    ScratchDir dir;
    dir.Write("Zelmor.ini",
              "  BOOK_PATH= " + dir.path() + "/nothing-here \nEGBB_PATH=" + dir.path() + "/none\n");
    auto result = StartupSession(dir, Handshake + "quit\n");
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
    auto low = StartupSession(dir, Handshake + "eval\nquit\n");
    EXPECT_EQ(low.exitCode, 0);
    EXPECT_NE(low.output.find("feature done=1\nBOOK ERROR: \nEGBB_LOAD=0\n"
                              "EGBB WARNING: EGBB_LOAD < 1 in 'Zelmor.ini' file.\nEGBB_CACHE=0\n"
                              "EGBB WARNING: EGBB_CACHE < 4 in 'Zelmor.ini' file.\n"),
              std::string::npos)
        << low.output;
    EXPECT_NE(low.output.find("eval score: "), std::string::npos);  // the plug-in had no answer

    dir.Write("Zelmor.ini", "EGBB_PATH=" + plugin + "/\nEGBB_CACHE=-5\nEGBB_LOAD=6\n");
    auto fixed = StartupSession(dir, Handshake + "quit\n");
    EXPECT_NE(fixed.output.find("BOOK ERROR: \nEGBB_LOAD=1\nEGBB_CACHE=4\n"), std::string::npos)
        << fixed.output;
    EXPECT_EQ(fixed.output.find("WARNING"), std::string::npos);
}

}  // namespace

// Where Zelmor.ini and Zelmor.log are found when the working directory has none or takes none.
namespace {

using zelmor_test::EngineProcess;

const std::string Features = "\nfeature done=0\nfeature setboard=1\n";
const std::string NoIniReport =
    "ERROR: Zelmor.ini file cannot be opened.\nfeature done=1\nBOOK ERROR: \n" + BitbaseError;
const std::string NoIniOutput = Features + NoIniReport;

// A session with the environment set in the child: each entry is NAME=value, or NAME alone to
// remove the variable.
zelmor_test::SessionResult RunWithEnvironment(const std::string& directory,
                                              const std::string& input,
                                              const std::vector<std::string>& environment) {
    EngineProcess engine(directory, [&] {
        for (const std::string& entry : environment) {
            auto equals = entry.find('=');
            if (equals == std::string::npos)
                unsetenv(entry.c_str());
            else
                setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
        }
    });
    engine.Send(input);
    int code = engine.Finish(20000);
    return {WithoutExtraFeatures(engine.output), code};
}

TEST(Startup, UserIniIsReadOnlyWhenTheWorkingDirectoryHasNone) {
    std::string plugin = FakeBitbaseDirectory();
    if (plugin.empty()) GTEST_SKIP() << "stand-in bitbase plug-in not built";
    ScratchDir home, work;
    std::filesystem::create_directories(home.path() + "/.config/zelmor");
    // A relative directory in the user's file is one beside the file, wherever Zelmor runs.
    std::filesystem::create_directory_symlink(plugin, home.path() + "/.config/zelmor/egbb");
    home.Write(".config/zelmor/Zelmor.ini", "EGBB_PATH=egbb\nEGBB_CACHE=8\n");
    const std::string asIfHere =
        "\nfeature done=0\nfeature setboard=1\nfeature done=1\n"
        "BOOK ERROR: \nEGBB_LOAD=1\nEGBB_CACHE=8\n";
    auto byDefault = RunWithEnvironment(work.path(), Handshake + "quit\n",
                                        {"XDG_CONFIG_HOME", "HOME=" + home.path()});
    EXPECT_EQ(byDefault.output, asIfHere);
    EXPECT_EQ(byDefault.exitCode, 0);
    auto named =
        RunWithEnvironment(work.path(), Handshake + "quit\n",
                           {"XDG_CONFIG_HOME=" + home.path() + "/.config", "HOME=/nonexistent"});
    EXPECT_EQ(named.output, asIfHere);
    EXPECT_NE(work.Read("Zelmor.log").find("Zelmor.ini read from " + home.path()),
              std::string::npos);

    // The working directory's own file wins, even one that names nothing.
    work.Write("Zelmor.ini", "# mine\n");
    auto own = RunWithEnvironment(work.path(), Handshake + "quit\n", {"HOME=" + home.path()});
    EXPECT_EQ(own.output, "\nfeature done=0\nfeature setboard=1\nfeature done=1\nBOOK ERROR: \n" +
                              BitbaseError);
}

TEST(Startup, UnreadableIniFilesAreReportedAndTheNextPlaceIsTried) {
    std::string plugin = FakeBitbaseDirectory();
    if (plugin.empty()) GTEST_SKIP() << "stand-in bitbase plug-in not built";
    ScratchDir config, work;
    std::filesystem::create_directories(config.path() + "/zelmor");
    config.Write("zelmor/Zelmor.ini", "EGBB_PATH=" + plugin + "\n");
    std::filesystem::create_directory(work.path() + "/Zelmor.ini");
    auto result =
        RunWithEnvironment(work.path(), Handshake + "quit\n", {"XDG_CONFIG_HOME=" + config.path()});
    EXPECT_EQ(result.output,
              "\nfeature done=0\nfeature setboard=1\n"
              "ERROR: Zelmor.ini file cannot be opened: Zelmor.ini (Is a directory)\n"
              "feature done=1\nBOOK ERROR: \nEGBB_LOAD=1\nEGBB_CACHE=4\n");

    // A FIFO would block start-up for good; the user's place is a FIFO here, and nothing follows.
    std::filesystem::remove(work.path() + "/Zelmor.ini");
    std::string fifo = config.path() + "/zelmor/Zelmor.ini";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto blocked =
        RunWithEnvironment(work.path(), Handshake + "quit\n", {"XDG_CONFIG_HOME=" + config.path()});
    EXPECT_EQ(blocked.exitCode, 0);
    EXPECT_EQ(blocked.output, Features + "ERROR: Zelmor.ini file cannot be opened: " + fifo +
                                  " (not a regular file)\n" + NoIniReport);

    // A configuration "directory" that is a file holds no Zelmor.ini: everything as without one.
    config.Write("plain-file", "");
    auto notDirectory = RunWithEnvironment(work.path(), Handshake + "quit\n",
                                           {"XDG_CONFIG_HOME=" + config.path() + "/plain-file"});
    EXPECT_EQ(notDirectory.output, NoIniOutput);
}

TEST(Startup, LogGoesToTheStateDirectoryWhenTheWorkingDirectoryTakesNone) {
    ScratchDir state, work;
    // A directory in the log's place refuses the file even to root.
    std::filesystem::create_directory(work.path() + "/Zelmor.log");
    std::string nested = state.path() + "/new/state";
    auto moved =
        RunWithEnvironment(work.path(), Handshake + "quit\n", {"XDG_STATE_HOME=" + nested});
    EXPECT_EQ(moved.output, NoIniOutput);
    std::string log = nested + "/zelmor/Zelmor.log";
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("::cmd:: quit\n"), std::string::npos) << log;
    EXPECT_EQ(std::filesystem::status(nested + "/zelmor").permissions(),
              std::filesystem::perms::owner_all);

    // No state directory can be made under a file: reported after the start-up report, and the
    // engine plays on without a log.
    state.Write("plain-file", "");
    std::string file = state.path() + "/plain-file";
    EngineProcess engine(work.path(), [&] { setenv("XDG_STATE_HOME", file.c_str(), 1); });
    engine.Send(Handshake + "new\nlevel 0 0:01 0\ntime 20\notim 20\ngo\n");
    EXPECT_TRUE(engine.WaitFor("\nmove ")) << engine.output;
    engine.Send("quit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_NE(engine.output.find(BitbaseError +
                                 "LOG ERROR: Zelmor.log cannot be written in the "
                                 "working directory (Is a directory) nor in " +
                                 file + "/zelmor/ (Not a directory)\n"),
              std::string::npos)
        << engine.output;
}

}  // namespace

// The installed engine: staged with "cmake --install" in a DESTDIR, started the way a user's
// XBoard starts it, from a directory it cannot write to and with a home of its own.
namespace {

using zelmor_test::EngineProcess;

constexpr uid_t Nobody = 65534;

// Root may write anywhere: as root the engine is run as "nobody", for whom a directory of mode
// 0555 is really read-only (the engine asks the file system, so this is the only way to make it
// say no). Children that cannot drop their rights end with 125.
void RunAsUnprivilegedUser() {
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0) _exit(125);
}

TEST(Installed, PlaysFromAReadOnlyDirectoryWithBookBitbasesAndLogInTheStateDirectory) {
    std::string build = ZELMOR_BUILD_DIR;
    if (!std::filesystem::exists(build + "/egbblib/egbbso64.so"))
        GTEST_SKIP() << "bitbase plug-in not built (no Gaviota)";
    ScratchDir root;
    std::filesystem::permissions(
        root.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                         std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                         std::filesystem::perms::others_exec);
    std::string dest = root.path() + "/dest";
    std::string install = "DESTDIR='" + dest + "' '" ZELMOR_CMAKE "' --install '" + build +
                          "' --prefix /usr > '" + root.path() + "/install.txt' 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << root.Read("install.txt");
    for (const char* file :
         {"usr/games/zelmor", "usr/share/zelmor/Zelmor.ini", "usr/share/zelmor/book/bookwtm.zbk",
          "usr/lib/zelmor/egbbso64.so", "usr/share/games/plugins/xboard/zelmor.eng",
          "usr/share/games/plugins/uci/zelmor-uci.eng", "usr/share/man/man6/zelmor.6.gz"})
        EXPECT_TRUE(std::filesystem::exists(dest + "/" + file)) << file;

    std::string home = root.path() + "/home", work = root.path() + "/work";
    std::filesystem::create_directory(home);
    std::filesystem::create_directory(work);
    std::filesystem::permissions(
        work, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                  std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(home.c_str(), Nobody, Nobody), 0);
    }

    auto asUser = [&] {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_STATE_HOME");
        setenv("HOME", home.c_str(), 1);
        RunAsUnprivilegedUser();
    };
    EngineProcess engine(work, asUser, dest + "/usr/games/zelmor");
    engine.Send(Handshake + "new\nlevel 0 1 0\ntime 6000\notim 6000\ngo\n");
    ASSERT_TRUE(engine.WaitFor("\nmove ", 20000)) << engine.output;
    engine.Send("eval\n");
    EXPECT_TRUE(engine.WaitFor(" score: ")) << engine.output;
    engine.Send("quit\n");
    ASSERT_EQ(engine.Finish(), 0) << "125: the test could not drop root's rights";
    // The installed Zelmor.ini was read as if it were here: book and bitbases loaded.
    EXPECT_EQ(WithoutExtraFeatures(engine.output)
                  .rfind(Features + "feature done=1\nEGBB_LOAD=1\nEGBB_CACHE=16\nmove ", 0),
              0u)
        << engine.output;
    // Five men: Debian's tables hold three, so the plug-in has no answer and Zelmor evaluates.
    EXPECT_NE(engine.output.find("\neval score: "), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(work));
    std::string log = home + "/.local/state/zelmor/Zelmor.log";
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("move (book) "), std::string::npos) << log;
    EXPECT_NE(text.str().find("Zelmor.ini read from " + dest + "/usr/share/zelmor/Zelmor.ini"),
              std::string::npos);

    // The UCI side under its installed name finds the same Zelmor.ini, book and bitbases.
    EXPECT_TRUE(std::filesystem::is_symlink(dest + "/usr/games/zelmor-uci"));
    EngineProcess uci(work, asUser, dest + "/usr/games/zelmor-uci");
    uci.Send("uci\nisready\nposition startpos\ngo wtime 6000 btime 6000\n");
    ASSERT_TRUE(uci.WaitFor("bestmove ", 20000)) << uci.output;
    uci.Send("quit\n");
    EXPECT_EQ(uci.Finish(), 0);
    EXPECT_NE(uci.output.find("\nreadyok\ninfo string book move "), std::string::npos)
        << uci.output;

    // A book deleted after installation: reported, and the engine searches its moves instead.
    std::filesystem::remove_all(dest + "/usr/share/zelmor/book");
    auto runInstalled = [&](const std::string& input) {
        EngineProcess again(work, asUser, dest + "/usr/games/zelmor");
        again.Send(Handshake + input);
        again.WaitFor("\nmove ", 20000);
        again.Send("quit\n");
        again.Finish();
        return WithoutExtraFeatures(again.output);
    };
    std::string bookless = runInstalled("new\nlevel 0 0:01 0\ntime 20\notim 20\ngo\n");
    EXPECT_EQ(bookless.rfind(Features + "feature done=1\nBOOK ERROR: ", 0), 0u) << bookless;
    EXPECT_NE(bookless.find("\nEGBB_LOAD=1\nEGBB_CACHE=16\n"), std::string::npos) << bookless;
    EXPECT_NE(bookless.find("\nmove "), std::string::npos) << bookless;
    // An installed Zelmor.ini that cannot be read: reported by its path, then as without one.
    std::string ini = dest + "/usr/share/zelmor/Zelmor.ini";
    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    EXPECT_EQ(runInstalled("quit\n"), Features + "ERROR: Zelmor.ini file cannot be opened: " + ini +
                                          " (Is a directory)\n" + NoIniReport);

    // The installed plug-in answers from Debian's tables: a queen against a bare king is won.
    pid_t child = fork();
    if (child == 0) {
        LoadBitbases((dest + "/usr/lib/zelmor/").c_str(), 4, 1);
        // White to move: king b1, queen d1 against the king on e5 (squares a1 = 0).
        int score = bitbasesLoaded ? bitbaseProbe(0, 1, 36, 2, 3, 0, 0, 0, 0) : BitbaseNoAnswer;
        _exit(score > 0 && score < 17000 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

// Search threads and table size from an xboard interface: the two features, "cores" and
// "memory" with their refusals, and a running analysis that starts again with new threads.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine_process.h"

namespace {

using zelmor_test::Contains;
using zelmor_test::Count;
using zelmor_test::EngineProcess;
using zelmor_test::Handshake;
using zelmor_test::RunSession;
using zelmor_test::ScratchDir;

TEST(Settings, CoresAndMemoryDeclaredSetAndBadValuesRefused) {
    ScratchDir dir;
    auto result = RunSession(dir, Handshake +
                                      "new\ncores 0\ncores -3\ncores two\ncores 2\ncores 100000\n"
                                      "memory 0\nmemory -5\nmemory 64MB\nmemory 256\nmemory 68\n"
                                      "sd 3\ngo\nquit\n");
    EXPECT_EQ(result.exitCode, 0);
    const std::string& out = result.output;
    // After the other features, before "done=1".
    const std::size_t smp = out.find("feature smp=1\nfeature memory=1\n");
    EXPECT_NE(smp, std::string::npos) << out;
    EXPECT_LT(out.find("feature option=\"Mate scores in moves"), smp);
    EXPECT_LT(smp, out.find("feature done=1\n"));
    for (const char* error : {"cores 0\n", "cores -3\n", "cores two\n"})
        EXPECT_TRUE(
            Contains(out, std::string("Error (cores takes a number of 1 or more): ") + error))
            << error;
    for (const char* error : {"memory 0\n", "memory -5\n", "memory 64MB\n"})
        EXPECT_TRUE(Contains(
            out, std::string("Error (memory takes a number of megabytes of 1 or more): ") + error))
            << error;
    EXPECT_EQ(Count(out, "Error"), 6) << out;
    EXPECT_TRUE(Contains(out, "move "));
    const std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "-M: cores 2: 2 search threads from the next search\n")) << log;
    EXPECT_TRUE(Contains(log, "-M: cores 100000: 256 search threads from the next search\n"));
    // 256 MB is nearest to 288 MiB; 68 (XBoard's default 64 + 4) is today's 72 MiB.
    EXPECT_TRUE(Contains(log, "-M: memory 256: table of 301989888 bytes\n"));
    EXPECT_TRUE(Contains(log, "-M: memory 68: table of 75497472 bytes\n"));
}

TEST(Settings, CoresDuringAnAnalysisRestartsIt) {
    ScratchDir dir;
    EngineProcess engine(dir.path());
    engine.Send(Handshake + "new\nforce\nanalyze\n");
    ASSERT_TRUE(engine.WaitFor("    4 "));
    engine.Send("cores 3\nping 4\n");
    ASSERT_TRUE(engine.WaitFor("pong 4\n"));
    engine.Send("exit\nquit\n");
    EXPECT_EQ(engine.Finish(), 0);
    EXPECT_FALSE(Contains(engine.output, "Error"));
    const std::string log = dir.Read("Zelmor.log");
    EXPECT_TRUE(Contains(log, "-M: cores 3: 3 search threads from the next search\n")) << log;
    EXPECT_EQ(Count(log, "-M: analysis search\n"), 2) << log;
}

}  // namespace

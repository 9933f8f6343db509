// The buffered reader over fd 0: token and line limits, number reads, and the readiness test the
// search relies on never to block.
#include "engine/input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "engine/engine.h"

namespace {

// Replaces fd 0 by a pipe for one test; text written later arrives as typed input.
class StdinPipe {
public:
    StdinPipe() {
        saved_ = dup(0);
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        dup2(ends[0], 0);
        close(ends[0]);
        writer_ = ends[1];
        ResetInput();
    }
    ~StdinPipe() {
        Close();
        dup2(saved_, 0);
        close(saved_);
        ResetInput();
    }
    void Write(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(writer_, text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(done, text.size());
    }
    void Close() {
        if (writer_ >= 0) close(writer_);
        writer_ = -1;
    }

private:
    int saved_;
    int writer_;
};

std::string Token() {
    char buffer[TokenCapacity];
    std::memset(buffer, '#', sizeof buffer);
    return ReadToken(buffer, sizeof buffer) ? std::string(buffer) : std::string("<end>");
}

TEST(Input, TokensAreCutAndTheirRestDiscarded) {
    StdinPipe in;
    // More than a pipe holds: written from a second thread while the reader takes it.
    std::thread writer([&in] {
        in.Write("  first\t\tsecond\n" + std::string(255, 'a') + "quit more\n" +
                 std::string(70000, 'b') + " last");
        in.Close();
    });
    EXPECT_EQ(Token(), "first");
    EXPECT_EQ(Token(), "second");
    EXPECT_EQ(Token(), std::string(255, 'a'));  // "quit" was part of the same token: dropped
    EXPECT_EQ(Token(), "more");
    EXPECT_EQ(Token(), std::string(255, 'b'));  // longer than the reader's whole buffer
    EXPECT_EQ(Token(), "last");                 // unterminated at the end of input
    EXPECT_EQ(Token(), "<end>");
    EXPECT_TRUE(InputEnded());
    writer.join();
}

TEST(Input, RestOfLineKeepsBlankAndNewlineAndCutsLongLines) {
    StdinPipe in;
    std::string longLine = " " + std::string(300, 'c') + " go\n";
    in.Write("setboard 8/8/8 w - -\nsetboard" + longLine + "next\n");
    in.Close();
    char line[LineCapacity];
    bool truncated = true;
    EXPECT_EQ(Token(), "setboard");
    ASSERT_TRUE(ReadRestOfLine(line, sizeof line, truncated));
    EXPECT_STREQ(line, " 8/8/8 w - -\n");
    EXPECT_FALSE(truncated);
    EXPECT_EQ(Token(), "setboard");
    ASSERT_TRUE(ReadRestOfLine(line, sizeof line, truncated));
    EXPECT_EQ(std::string(line), longLine.substr(0, 254));
    EXPECT_TRUE(truncated);
    EXPECT_EQ(Token(), "next");  // " go" at the end of the long line was discarded with it
    ASSERT_TRUE(ReadRestOfLine(line, sizeof line, truncated));
    EXPECT_STREQ(line, "\n");
    EXPECT_FALSE(ReadRestOfLine(line, sizeof line, truncated));
}

TEST(Input, NumbersReadLikeScanfAndLeaveNonNumbers) {
    StdinPipe in;
    in.Write(" 300 -25 +7 12abc x -y 99999999999 -99999999999 1.75 9.5 .5\n");
    in.Close();
    i32 value = 0;
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, 300);
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, -25);
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, 7);
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, 12);
    EXPECT_EQ(Token(), "abc");  // stopped at the first non-digit
    value = 55;
    EXPECT_FALSE(ReadInt(value));
    EXPECT_EQ(value, 55);
    EXPECT_EQ(Token(), "x");  // a non-number stays for the next read
    EXPECT_FALSE(ReadInt(value));
    EXPECT_EQ(Token(), "-y");
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, INT32_MAX);
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, INT32_MIN);
    ASSERT_TRUE(ReadInt(value));
    EXPECT_EQ(value, 1);
    EXPECT_EQ(Token(), ".75");  // without dropFraction the fraction is a token of its own
    ASSERT_TRUE(ReadInt(value, true));
    EXPECT_EQ(value, 9);
    EXPECT_EQ(Token(), ".5");
    EXPECT_FALSE(ReadInt(value));
    EXPECT_EQ(Token(), "<end>");
}

TEST(Input, AvailableOnlyForWholeTokensOrTheEnd) {
    StdinPipe in;
    EXPECT_EQ(InputAvailable(), 0);
    in.Write("\n \t\n");
    EXPECT_EQ(InputAvailable(), 0);  // whitespace alone must not make a search block in a read
    in.Write("partial");
    EXPECT_EQ(InputAvailable(), 0);  // the token is still arriving
    in.Write("token\n");
    EXPECT_NE(InputAvailable(), 0);
    EXPECT_EQ(Token(), "partialtoken");
    EXPECT_EQ(InputAvailable(), 0);  // the newline after it is not input
    in.Write("?\n");
    EXPECT_NE(InputAvailable(), 0);
    EXPECT_NE(InputAvailable(), 0);  // asking again consumes nothing
    EXPECT_EQ(Token(), "?");
    in.Write("unfinished");
    in.Close();
    EXPECT_NE(InputAvailable(), 0);  // the end of input counts, so the next read sees it
    EXPECT_EQ(Token(), "unfinished");
    EXPECT_NE(InputAvailable(), 0);
    EXPECT_EQ(Token(), "<end>");
    EXPECT_TRUE(InputEnded());
}

}  // namespace

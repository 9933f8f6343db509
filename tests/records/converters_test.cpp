// The five converters, run in a scratch directory: real collections against independent
// replays, round trips, duplicates, report texts, and damaged game files.
#include <random>

#include "records_support.h"

namespace {

using records_test::DataDir;
using records_test::Exists;
using records_test::GameBytes;
using records_test::GamesOf;
using records_test::Lines;
using records_test::Output;
using records_test::ReadFile;
using records_test::RecordsTest;
using records_test::ReplayFens;
using records_test::SharedDir;
using records_test::WriteFile;

using Games = std::vector<std::vector<u16>>;

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

class ConvertersTest : public RecordsTest {
protected:
    // pgn2game of the file into a fresh game file; its games.
    Games ToGames(const std::string& pgn, const char* gameFile = "out.gam") {
        std::remove(gameFile);
        Output([&] { Pgn2GameCommand(pgn.c_str(), gameFile); });
        return GamesOf(ReadFile(gameFile));
    }

    // Checks a collection against its per-game expectations (result, plies, final position by an
    // independent replay) and checks every pgn2pos line against this replay of the game file.
    void CheckCollection(const std::string& pgn, const std::string& expectedTsv,
                         const std::string& positionsTsv) {
        SCOPED_TRACE(pgn);
        std::vector<std::string> expected = Lines(ReadFile(expectedTsv));
        ASSERT_GT(expected.size(), 1u);
        expected.erase(expected.begin());  // header row

        const std::string report = Output([&] { Pgn2PosCommand(pgn.c_str()); });
        EXPECT_EQ(report, "converted: " + std::to_string(expected.size()) +
                              " games. (skipped: 0)\nfile: " + pgn + " \t\tfinished\n");
        const Games games = ToGames(pgn);
        ASSERT_EQ(games.size(), expected.size());

        std::vector<std::string> replayed;  // key-less position lines of the replay
        for (std::size_t g = 0; g < games.size(); ++g) {
            const std::vector<std::string> row = Fields(expected[g]);
            const int plies = std::stoi(row[2]);
            const std::vector<u16>& game = games[g];
            ASSERT_EQ(GamePlies(game[0]), plies) << "game " << g + 1;
            const char code = row[1] == "1-0" ? 'W' : row[1] == "0-1" ? 'B' : 'D';
            EXPECT_EQ(GameResultBits(game[0]), code == 'W'   ? WhiteWins
                                               : code == 'B' ? BlackWins
                                                             : DrawnGame);
            const std::vector<std::string> fens = ReplayFens(game);
            // The reference names an en-passant square only where a capture is possible; Zelmor
            // names it after every double push.
            const std::vector<std::string> mine = Split(fens.back()), theirs = Split(row[3]);
            ASSERT_EQ(theirs.size(), 4u);
            EXPECT_TRUE(mine[0] == theirs[0] && mine[1] == theirs[1] && mine[2] == theirs[2] &&
                        (theirs[3] == "-" || mine[3] == theirs[3]))
                << "final position of game " << g + 1 << ": " << fens.back() << " vs " << row[3];
            for (int i = 1; i <= std::min(plies, 64); ++i)
                replayed.push_back(fens[i - 1] + '\t' + code + '\t' + std::to_string(i));
        }

        std::vector<std::string> written;
        for (const std::string& line : PositionFileLines()) {
            const std::vector<std::string> fields = Fields(line);
            ASSERT_EQ(fields.size(), 4u) << line;
            ASSERT_EQ(fields[0].size(), 16u) << line;
            EXPECT_EQ(fields[0].find_first_not_of("0123456789ABCDEF"), std::string::npos) << line;
            written.push_back(line.substr(17));
        }
        written = Sorted(written);
        EXPECT_EQ(written, Sorted(replayed));
        if (!positionsTsv.empty()) {
            EXPECT_EQ(written, Lines(ReadFile(positionsTsv)));
        }
    }
};

TEST_F(ConvertersTest, CollectionsConvertToTheRightGamesAndPositions) {
    CheckCollection(DataDir + "tcec_Tournament_4.pgn", DataDir + "tcec_Tournament_4.expected.tsv",
                    "");
    CheckCollection(DataDir + "tcec_Match_3.pgn", DataDir + "tcec_Match_3.expected.tsv",
                    DataDir + "tcec_Match_3.positions.tsv");
}

TEST_F(ConvertersTest, SharedCollectionsConvertToTheRightGamesAndPositions) {
    if (!Exists(SharedDir + "README.md")) GTEST_SKIP() << "shared test data absent";
    for (const char* name :
         {"masters_a", "masters_annotated_a", "tcec_Match_2", "tcec_Season_23_-_4k",
          "tcec_Season_Bonus_-_Division_S15_Glaurung_vs_Fritz_in_Bahrain", "tcec_Tournament_2",
          "tcec_Tournament_4"}) {
        CheckCollection(SharedDir + "pgn/" + name + ".pgn",
                        SharedDir + "pgn/" + name + ".expected.tsv", "");
    }
    for (const char* name : {"masters_annotated_b", "masters_b", "tcec_Match_1", "tcec_Match_3",
                             "tcec_Season_26_-_4k_Iii", "tcec_Tournament_1"}) {
        CheckCollection(SharedDir + "pgn/set-b/" + name + ".pgn",
                        SharedDir + "pgn/set-b/" + name + ".expected.tsv",
                        SharedDir + "pos/" + name + ".expected.tsv");
    }
}

TEST_F(ConvertersTest, QuirkyRealFilesConvertOrStopWithTheirMessage) {
    // 1061 plies: kept as its first 1023 moves.
    const Games longGame = ToGames(DataDir + "over_1023_plies_real_tcec.pgn");
    ASSERT_EQ(longGame.size(), 1u);
    EXPECT_EQ(GamePlies(longGame[0][0]), 1023);
    // Results followed by "; { Game Nr ... }": all ten games.
    EXPECT_EQ(ToGames(DataDir + "semicolon_after_result.pgn").size(), 10u);
    // A repertoire without Result tags stops at its first game.
    const std::string pgn = DataDir + "real_repertoire_no_result_tags_catalan.pgn";
    EXPECT_EQ(Output([&] { Pgn2PosCommand(pgn.c_str()); }),
              "converted: 0 games. (skipped: 0)\nERROR: Result Error 2 file: " + pgn + "\n");
}

TEST_F(ConvertersTest, RoundTripsGiveTheSameGamesAndPositions) {
    const std::string pgn = DataDir + "tcec_Tournament_4.pgn";
    const Games games = ToGames(pgn, "first.gam");
    ASSERT_EQ(games.size(), 30u);
    // One progress step per new whole percentage: thirty games, thirty steps.
    const std::string progress = Output([] { Game2PgnCommand("first.gam", "back.pgn"); });
    EXPECT_EQ(
        progress.rfind(
            "Converting 30 games [  0%]...\b\b\b\b\b\b\b\b  3%]...\b\b\b\b\b\b\b\b  6%]...", 0),
        0u);
    EXPECT_NE(
        progress.find("\b\b\b\b\b\b\b\b 96%]...\b\b\b\b\b\b\b\b100%]...OK\nconverted: 30 games.\n"),
        std::string::npos);
    std::size_t steps = 0;
    for (std::size_t at = 0; (at = progress.find("%]...", at)) != std::string::npos; ++at) ++steps;
    EXPECT_EQ(steps, 31u);
    Output([] { Pgn2GameCommand("back.pgn", "second.gam"); });
    EXPECT_EQ(ReadFile("second.gam"), ReadFile("first.gam"));

    // game2pos equals pgn2pos line for line once sorted.
    Output([&] { Pgn2PosCommand(pgn.c_str()); });
    EXPECT_EQ(Output([] { Game2PosCommand("first.gam", "all.pos"); }).substr(0, 31),
              "Converting 30 games [  0%]...\b\b");
    EXPECT_EQ(Sorted(Lines(ReadFile("all.pos"))), PositionFileLines());
}

TEST_F(ConvertersTest, GameTextAndPositionCountsOfSmallGames) {
    WriteFile("three.pgn", "[Result \"1-0\"]\n1. e4 e5 2. Nf3 1-0\n");
    Output([] { Pgn2GameCommand("three.pgn", "three.gam"); });
    EXPECT_EQ(ReadFile("three.gam"),
              GameBytes({{0x8003, MakeMoveWord(E2, E4, 0), MakeMoveWord(E7, E5, 0),
                          MakeMoveWord(G1, F3, 0)}}));
    EXPECT_EQ(Output([] { Game2PgnCommand("three.gam", "three.out"); }),
              "Converting 1 games [  0%]...\b\b\b\b\b\b\b\b100%]...OK\nconverted: 1 games.\n");
    Output([] { Game2PgnCommand("three.gam", "three.out"); });  // appends
    EXPECT_EQ(
        ReadFile("three.out"),
        "[Result \"1-0\"]\n1. e2e4 e7e5 2. g1f3 1-0\n[Result \"1-0\"]\n1. e2e4 e7e5 2. g1f3 1-0\n");

    // Castling written with zeros comes back as the king's castling moves.
    WriteFile("zeros.pgn",
              "[Result \"0-1\"]\n1. e4 e5 2. Nf3 Nc6 3. Bc4 d6 4. 0-0 Bg4 5. d3 Qd7 "
              "6. Nc3 0-0-0 0-1\n");
    Output([] { Pgn2GameCommand("zeros.pgn", "zeros.gam"); });
    Output([] { Game2PgnCommand("zeros.gam", "zeros.out"); });
    EXPECT_EQ(ReadFile("zeros.out"),
              "[Result \"0-1\"]\n1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 d7d6 "
              "4. e1g1 c8g4 5. d2d3 d8d7 6. b1c3 e8c8 0-1\n");

    // 80 plies give 64 positions, 5 plies give 5.
    std::string moves80;
    for (int i = 0; i < 20; ++i) moves80 += "Nf3 Nf6 Ng1 Ng8 ";
    WriteFile("counts.pgn", "[Result \"1/2-1/2\"]\n" + moves80 +
                                "1/2-1/2\n[Result \"0-1\"]\n1. e4 e5 2. d4 d5 3. c4 0-1\n");
    Output([] { Pgn2PosCommand("counts.pgn"); });
    const std::vector<std::string> lines = PositionFileLines();
    EXPECT_EQ(lines.size(), 69u);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return Fields(l)[2] == "D"; }),
              64);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return Fields(l)[2] == "B"; }),
              5);
    for (const std::string& line : lines) {
        // Each line sits in the file of its key's first digit, and the ply runs 1..64.
        const int ply = std::stoi(Fields(line)[3]);
        EXPECT_TRUE(ply >= 1 && ply <= 64) << line;
        EXPECT_NE(ReadFile(line.substr(0, 1) + ".pos").find(line), std::string::npos);
    }
}

TEST_F(ConvertersTest, DuplicatesAreSkippedWithinAFileAcrossRunsAndAcrossListedFiles) {
    const std::string a = "[Result \"1-0\"]\n1. e4 e5 1-0\n";
    const std::string b = "[Result \"0-1\"]\n1. e4 e5 0-1\n";  // same moves, other result
    const std::string c = "[Result \"1-0\"]\n1. d4 1-0\n";
    WriteFile("games.pgn", a + b + a + c);
    EXPECT_EQ(Output([] { Pgn2GameCommand("games.pgn", "dup.gam"); }),
              "Warning: game 3 (skipped) file: games.pgn\nconverted: 3 games. (skipped: 1)\n"
              "file: games.pgn \t\tfinished\n");
    EXPECT_EQ(GamesOf(ReadFile("dup.gam")).size(), 3u);
    EXPECT_EQ(
        Output([] { Pgn2GameCommand("games.pgn", "dup.gam"); }),
        "Warning: game 1 (skipped) file: games.pgn\nWarning: game 2 (skipped) file: games.pgn\n"
        "Warning: game 3 (skipped) file: games.pgn\nWarning: game 4 (skipped) file: games.pgn\n"
        "converted: 0 games. (skipped: 4)\nfile: games.pgn \t\tfinished\n");
    EXPECT_EQ(GamesOf(ReadFile("dup.gam")).size(), 3u);

    // pgnlist2game: one running total, CRLF list lines, a missing file reported and passed over.
    WriteFile("more.pgn", c + "[Result \"1/2-1/2\"]\n1. c4 1/2-1/2\n" + a);
    WriteFile("list.txt", "games.pgn\r\nmissing.pgn\n\nmore.pgn");
    EXPECT_EQ(
        Output([] { PgnList2GameCommand("list.txt", "list.gam"); }),
        "Warning: game 3 (skipped) file: games.pgn\nconverted: 3 games. (skipped: 1)\n"
        "file: games.pgn \t\tfinished\nCannot open PGN input file: 'missing.pgn'\n"
        "Warning: game 1 (skipped) file: more.pgn\nWarning: game 3 (skipped) file: more.pgn\n"
        "converted: 1 games. (skipped: 2)\nfile: more.pgn \t\tfinished\n\nCONVERTED GAMES: 4\n");
    EXPECT_EQ(GamesOf(ReadFile("list.gam")).size(), 4u);
}

TEST_F(ConvertersTest, ReadErrorsEndTheCommandAndKeepWhatWasWritten) {
    const std::string good = "[Result \"1-0\"]\n1. e4 e5 1-0\n";
    WriteFile("bad.pgn",
              good + "[Result \"1-0\"]\n1. e4 e5 2. Ke3 1-0\n" + "[Result \"1-0\"]\n1. d4 1-0\n");
    std::string printed = Output([] { Pgn2GameCommand("bad.pgn", "bad.gam"); });
    EXPECT_NE(printed.find("move: Ke3, plyNo:3\nconverted: 1 games. (skipped: 0)\nERROR: MOVE NOT "
                           "LEGAL 1 file: bad.pgn\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(GamesOf(ReadFile("bad.gam")).size(), 1u);
    EXPECT_EQ(records_test::LivePositionFen(), StartFen);

    // In a list, the files after the failing one are not converted.
    WriteFile("after.pgn", "[Result \"1-0\"]\n1. c4 1-0\n");
    WriteFile("list.txt", "bad.pgn\nafter.pgn\n");
    printed = Output([] { PgnList2GameCommand("list.txt", "list.gam"); });
    EXPECT_EQ(printed.find("after.pgn"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("CONVERTED GAMES"), std::string::npos) << printed;
    EXPECT_EQ(GamesOf(ReadFile("list.gam")).size(), 1u);

    // The debug log notes the end of each file and each error.
    const std::string log = ReadFile(previous_ + "/Zelmor.log");
    EXPECT_NE(log.find("converted: 1\tskipped: 0\nERROR: MOVE NOT LEGAL 1\n"), std::string::npos);
    EXPECT_NE(log.find("Ke3MOVE NOT LEGAL 1\n"), std::string::npos);
    Output([] { Pgn2GameCommand("after.pgn", "other.gam"); });
    EXPECT_NE(ReadFile(previous_ + "/Zelmor.log").find("<<< OK:\tafter.pgn\t>>>\n"),
              std::string::npos);
}

TEST_F(ConvertersTest, EmptyAndDamagedGameFiles) {
    WriteFile("empty.gam", "");
    EXPECT_EQ(Output([] { Game2PgnCommand("empty.gam", "e.pgn"); }),
              "Converting 0 games [  0%]...OK\nconverted: 0 games.\n");
    EXPECT_EQ(Output([] { Game2PosCommand("empty.gam", "e.pos"); }),
              "Converting 0 games [  0%]...\tOK\nconverted: 0 games.\n");

    const std::vector<u16> one{0x8001, MakeMoveWord(E2, E4, 0)};
    const std::string two = GameBytes({one, one});
    struct Case {
        std::string bytes;
        int game;
    };
    const Case cases[] = {
        {two + "x", 3},                           // odd length
        {two.substr(0, two.size() - 1), 2},       // last move cut short
        {two.substr(0, two.size() - 2), 2},       // a whole move missing
        {GameBytes({one, {0x0001, one[1]}}), 2},  // no result
        {GameBytes({{static_cast<u16>(0x8000 + 1024)}}) + std::string(2048, '\0'),
         1},  // 1024 plies
    };
    for (const Case& c : cases) {
        WriteFile("bad.gam", c.bytes);
        const std::string expected =
            "Game file corrupted! (error on game: " + std::to_string(c.game) + ")";
        EXPECT_EQ(Output([] { Game2PgnCommand("bad.gam", "bad.pgn"); }), expected);
        EXPECT_EQ(Output([] { Game2PosCommand("bad.gam", "bad.pos"); }), expected);
        // Nothing is appended behind a damaged game.
        WriteFile("new.pgn", "[Result \"1-0\"]\n1. c4 1-0\n");
        EXPECT_EQ(Output([] { Pgn2GameCommand("new.pgn", "bad.gam"); }),
                  "Cannot append to GAME output file: 'bad.gam' (corrupted at game: " +
                      std::to_string(c.game) + ")\n");
        EXPECT_EQ(ReadFile("bad.gam"), c.bytes);
    }

    // Well-formed records holding moves that cannot be played: game2pos stops without playing them.
    WriteFile("illegal.gam",
              GameBytes({one, {0x8002, MakeMoveWord(E2, E4, 0), MakeMoveWord(E2, E4, 0)}, one}));
    EXPECT_EQ(Output([] { Game2PosCommand("illegal.gam", "i.pos"); }),
              "Converting 3 games [  0%]...\b\b\b\b\b\b\b\b 33%]...ERROR: Illegal move in game 2 "
              "at ply 2\nconverted: 1 games.\n");
    EXPECT_EQ(Lines(ReadFile("i.pos")).size(), 1u);
    EXPECT_EQ(records_test::LivePositionFen(), StartFen);

    // Random bytes: a report, never a crash.
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const int length = static_cast<int>(random() % 64);
        for (int i = 0; i < length; ++i) bytes += static_cast<char>(random() & 0xFF);
        if (round % 2)
            bytes = GameBytes({{static_cast<u16>(0x4000 | (random() % 6))}}) + bytes.substr(0, 12);
        WriteFile("random.gam", bytes);
        Output([] { Game2PosCommand("random.gam", "r.pos"); });
        Output([] { Game2PgnCommand("random.gam", "r.pgn"); });
        EXPECT_EQ(records_test::LivePositionFen(), StartFen);
    }
}

TEST_F(ConvertersTest, OpenFailuresAndEmptyInputs) {
    EXPECT_EQ(Output([] { Pgn2PosCommand("nothing.pgn"); }),
              "Cannot open PGN input file: 'nothing.pgn'\n");
    EXPECT_EQ(Output([] { Pgn2GameCommand("nothing.pgn", "x.gam"); }),
              "Cannot open PGN input file: 'nothing.pgn'\n");
    EXPECT_EQ(Output([] { PgnList2GameCommand("nothing.txt", "x.gam"); }),
              "Cannot open PGN input file: 'nothing.txt'\n");
    EXPECT_EQ(Output([] { Game2PgnCommand("nothing.gam", "x.pgn"); }),
              "Cannot open GAME input file: 'nothing.gam'\n");
    EXPECT_EQ(Output([] { Game2PosCommand("nothing.gam", "x.pos"); }),
              "Cannot open GAME input file: 'nothing.gam'\n");
    WriteFile("empty.pgn", "");
    WriteFile("g.gam", "");
    EXPECT_EQ(Output([] { Pgn2GameCommand("empty.pgn", "no/such/dir.gam"); }),
              "Cannot create GAME output file: 'no/such/dir.gam'\n");
    EXPECT_EQ(Output([] { Game2PgnCommand("g.gam", "no/such/dir.pgn"); }),
              "Cannot create PGN output file: 'no/such/dir.pgn'\n");
    EXPECT_EQ(Output([] { Game2PosCommand("g.gam", "no/such/dir.pos"); }),
              "Cannot create DB output file: 'no/such/dir.pos'\n");

    // An empty PGN file has no game to skip; pgn2pos truncates the old lists.
    WriteFile("7.pos", "stale\n");
    EXPECT_EQ(Output([] { Pgn2PosCommand("empty.pgn"); }),
              "converted: 0 games. (skipped: 0)\nfile: empty.pgn \t\tfinished\n");
    EXPECT_EQ(ReadFile("7.pos"), "");
    WriteFile("blank.pgn", "\n\r\n  \n");
    EXPECT_EQ(Output([] { Pgn2GameCommand("blank.pgn", "g.gam"); }),
              "converted: 0 games. (skipped: 0)\nfile: blank.pgn \t\tfinished\n");
}

}  // namespace

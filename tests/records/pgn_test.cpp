// The PGN reader on small texts: results and their checks, skipped comments and variations,
// illegal moves, long games, line ends, and broken input of every kind.
#include <random>

#include "movegen/movegen.h"
#include "records_support.h"

namespace {

using records_test::Output;
using records_test::RecordsTest;

std::string Game(const std::string& result, const std::string& movetext) {
    return "[Event \"t\"]\n[Result \"" + result + "\"]\n\n" + movetext + "\n\n";
}

class PgnTest : public RecordsTest {
protected:
    // Reads every game of the text: the result bits of each, or the error that ended it.
    std::vector<std::string> ReadAll(const std::string& text) {
        PgnStream in(text);
        std::vector<std::string> outcomes;
        headers.clear();
        const u64 startKey = pos.key;
        try {
            in.SkipSeparators();
            while (!in.AtEnd()) {
                const u16 result = readPgnGame(in, game);
                char word[16];
                std::snprintf(word, sizeof word, "%04X", result == 0 ? 0 : game.moves[0]);
                outcomes.push_back(word);
                headers.push_back(game.moves[0]);
                EXPECT_EQ(pos.key, startKey)
                    << "board not back at the start after game " << outcomes.size();
                in.SkipSeparators();
            }
        } catch (const RecordError& error) {
            outcomes.push_back(error.what());
        }
        EXPECT_EQ(records_test::LivePositionFen(), StartFen);
        return outcomes;
    }
    using Outcomes = std::vector<std::string>;

    GameRecord game{};
    std::vector<u16> headers;
};

TEST_F(PgnTest, DecidedGamesGiveTheirResultAndHeaderWord) {
    PgnStream in(Game("1-0", "1. e4 e5 2. Nf3 1-0"));
    EXPECT_EQ(readPgnGame(in, game), 0x8000);
    EXPECT_EQ(game.moves[0], 0x8003);
    EXPECT_EQ(game.moves[1], MakeMoveWord(E2, E4, Quiet));
    EXPECT_EQ(game.moves[2], MakeMoveWord(E7, E5, Quiet));
    EXPECT_EQ(game.moves[3], MakeMoveWord(G1, F3, Quiet));
    EXPECT_STREQ(game.resultText, "1-0");
    EXPECT_EQ(game.resultCode, 'W');
    EXPECT_EQ(records_test::LivePositionFen(), StartFen);

    EXPECT_EQ(ReadAll(Game("0-1", "1. f3 e5 2. g4 Qh4# 0-1") + Game("1/2-1/2", "1. d4 d5 1/2-1/2")),
              (Outcomes{"4004", "C002"}));
    // No result token: the movetext ends with the input and takes the tag's result.
    EXPECT_EQ(ReadAll("[Result \"1/2-1/2\"]\n1. c4 c5"), (Outcomes{"C002"}));
    // Castling, en passant and promotion all replay.
    EXPECT_EQ(ReadAll(Game("1-0",
                           "1. e4 Nf6 2. e5 d5 3. exd6 Nc6 4. dxc7 e6 5. cxd8=Q+ Kxd8 6. Nf3 Bd6 "
                           "7. Bc4 Ke7 8. O-O Rd8 1-0")),
              (Outcomes{"8010"}));
}

TEST_F(PgnTest, CastlingWrittenWithZerosIsCastling) {
    const std::string moves = "1. e4 e5 2. Nf3 Nc6 3. Bc4 d6 4. 0-0! Bg4 5. d3 Qd7 6. Nc3 0-0-0+? ";
    PgnStream in(Game("0-1", moves + "0-1"));
    EXPECT_EQ(readPgnGame(in, game), 0x4000);  // "0-1" stays the result
    EXPECT_EQ(game.moves[0], 0x400C);
    EXPECT_EQ(game.moves[7], MakeMoveWord(E1, G1, WhiteCastleShort));
    EXPECT_EQ(game.moves[12], MakeMoveWord(E8, C8, BlackCastleLong));
    EXPECT_EQ(ReadAll(Game("1-0", moves + "7. a3 1-0") + Game("1/2-1/2", moves + "1/2-1/2")),
              (Outcomes{"800D", "C00C"}));
}

TEST_F(PgnTest, UndecidedEmptyAndStarGamesAreNotConverted) {
    EXPECT_EQ(ReadAll(Game("1-0", "")), (Outcomes{"0000"}));
    // Tags without movetext run on into the next game's tags, whose Result comes last.
    EXPECT_EQ(ReadAll(Game("1-0", "") + Game("*", "1. e4 e5 *") + Game("1-0", "1. e4 1-0")),
              (Outcomes{"0000", "8001"}));
    EXPECT_EQ(headers[0], 0x0002);  // the '*' game was read completely
    EXPECT_EQ(ReadAll(Game("*", "*") + Game("0-1", "1. e4 0-1")), (Outcomes{"0000", "4001"}));
}

TEST_F(PgnTest, ResultTokenAndTagMustAgree) {
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 e5 *")), (Outcomes{"Result * error"}));
    EXPECT_EQ(ReadAll(Game("1/2-1/2", "1. e4 e5 1/2 ")), (Outcomes{"wrong end result 1"}));
    EXPECT_EQ(ReadAll(Game("1/2-1/2", "1. e4 e5 1/2-1/3")), (Outcomes{"wrong end result 1"}));
    // "1-0" under a 0-1 tag is no result: "-0" is an unknown move and the game is given up, but
    // the next game is still read.
    std::string printed = Output([&] {
        EXPECT_EQ(ReadAll(Game("0-1", "1. e4 e5 1-0") + Game("1-0", "1. d4 1-0")),
                  (Outcomes{"0000", "8001"}));
    });
    EXPECT_EQ(printed, "move: -0, plyNo:3\n");
}

TEST_F(PgnTest, ResultTagProblemsEndTheInput) {
    EXPECT_EQ(ReadAll("[Event \"x\"]\n\n1. e4 e5 1-0\n"), (Outcomes{"Result Error 2"}));
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 1-0") + "[Event \"x\"]\n\n1. e4 e5 1-0\n"),
              (Outcomes{"8001", "Result Error 2"}));
    EXPECT_EQ(ReadAll(Game("2-0", "1. e4 1-0")), (Outcomes{"Result Error 1"}));
    EXPECT_EQ(ReadAll("[Result \"\"]\n1. e4 1-0\n"), (Outcomes{"Result Error 1"}));
    EXPECT_EQ(ReadAll("[Result]\n1. e4 1-0\n"), (Outcomes{"Result Error 1"}));
    EXPECT_EQ(ReadAll("[Result \"1-0\"]"), (Outcomes{"0000"}));  // tags, then the end
    EXPECT_EQ(ReadAll("[Result    \"0-1 (time)\"]\n1. e4 0-1"), (Outcomes{"4001"}));
}

TEST_F(PgnTest, CommentsVariationsAndAnnotationsAreSkipped) {
    EXPECT_EQ(
        ReadAll(Game("1-0",
                     "{intro {nested} still comment} 1. e4 $1 e5 $14 (1... c5 (1... e6 2. d4) "
                     "2. Nf3 {in {a} variation}) 2. Nf3!? {a 1-0 inside} Nc6?! 3... Bb5 1-0")),
        (Outcomes{"8005"}));
    // Move numbers split over lines, "1.e4" without a blank, NAG digits.
    EXPECT_EQ(ReadAll(Game("0-1", "1.\ne4 1...e5 2.Nf3\n$10 Nc6 10. d4 0-1")), (Outcomes{"4005"}));
    // Remarks after the result, as real collections write them, do not end the input.
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 1-0 {White wins on time}") + "; a trailing remark\n" +
                      Game("0-1", "1. d4 0-1 ; { Game Nr. 2 }")),
              (Outcomes{"8001", "4001"}));
}

TEST_F(PgnTest, IllegalMovesPrintTheBoardAndEndTheInput) {
    std::string printed = Output([&] {
        EXPECT_EQ(ReadAll(Game("1-0", "1. e4 1-0") + Game("1-0", "1. e4 e5 2. Ke3 1-0") +
                          Game("1-0", "1. d4 1-0")),
                  (Outcomes{"8001", "MOVE NOT LEGAL 1"}));
    });
    EXPECT_EQ(printed,
              "\n8 r n b q k b n r \n7 p p p p . p p p \n6 . . . . . . . . \n5 . . . . p . . . "
              "\n4 . . . . P . . . \n3 . . . . . . . . \n2 P P P P . P P P \n1 R N B Q K B N R "
              "\n\n  A B C D E F G H\nmove: Ke3, plyNo:3\n");
    // The debug log names the token after it, and an unreadable one the same way.
    Output([&] { ReadAll(Game("1-0", "1. e4 Zz9 1-0") + Game("1-0", "1. e4 e5 2. Ke3 1-0")); });
    const std::string log = records_test::ReadFile(previous_ + "/Zelmor.log");
    EXPECT_NE(log.find("Zz9ERROR\n"), std::string::npos);
    EXPECT_NE(log.find("Ke3MOVE NOT LEGAL 1\n"), std::string::npos);

    // The d2 knight is pinned by the bishop on b4: naming it moves it anyway, into check.
    printed = Output([&] {
        EXPECT_EQ(ReadAll(Game("0-1", "1. d3 e5 2. Nd2 Bb4 3. Ndf3 0-1")),
                  (Outcomes{"MOVE NOT LEGAL 2 - check revealed"}));
    });
    EXPECT_NE(printed.find("\n1 R . B Q K B N R "), std::string::npos) << printed;
    EXPECT_NE(printed.find("\n3 . . . P . N . . "), std::string::npos) << printed;
    EXPECT_NE(printed.find("move: Ndf3, plyNo:5\n"), std::string::npos) << printed;

    // A pawn capture onto an empty square that is not the en-passant square.
    Output([&] {
        EXPECT_EQ(ReadAll(Game("1-0", "1. e4 d5 2. exf5 1-0")), (Outcomes{"MOVE NOT LEGAL 1"}));
    });
}

TEST_F(PgnTest, LongGamesKeep1023Moves) {
    std::string movetext;
    for (int i = 0; i < 300; ++i) movetext += "Nf3 Nf6 Ng1 Ng8 ";  // 1200 plies
    EXPECT_EQ(ReadAll(Game("1/2-1/2", movetext + "1/2-1/2") + Game("1-0", "1. e4 1-0")),
              (Outcomes{"C3FF", "8001"}));
    // The stored moves are the first 1023 in order.
    PgnStream in(Game("1/2-1/2", movetext + "1/2-1/2"));
    ASSERT_EQ(readPgnGame(in, game), DrawnGame);
    EXPECT_EQ(game.moves[1], MakeMoveWord(G1, F3, Quiet));
    EXPECT_EQ(game.moves[1021], MakeMoveWord(G1, F3, Quiet));  // 1021 = 4 * 255 + 1
    EXPECT_EQ(game.moves[1022], MakeMoveWord(G8, F6, Quiet));
    EXPECT_EQ(game.moves[1023], MakeMoveWord(F3, G1, Quiet));
}

TEST_F(PgnTest, WindowsLineEndsReadLikeUnixOnes) {
    std::string text = Game("1-0", "1. e4 {a\ncomment} e5 2. Nf3 Nc6\n3. Bb5 1-0") +
                       Game("0-1", "1. f3 e5 2. g4 Qh4# 0-1");
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_EQ(ReadAll(crlf), (Outcomes{"8005", "4004"}));
    EXPECT_EQ(ReadAll("\xEF\xBB\xBF" + crlf),
              (Outcomes{"8005", "4004"}));  // with a UTF-8 byte-order mark
}

TEST_F(PgnTest, AGivenUpGameResumesAtTheNextTagSection) {
    std::string printed = Output([&] {
        EXPECT_EQ(ReadAll(Game("1-0", "1. e4 e5 2. Zz9 Nc6 3. Bb5 a6 {x\n[not a tag} 1-0") +
                          Game("0-1", "1. d4 d5 0-1")),
                  (Outcomes{"0000", "4002"}));
    });
    EXPECT_EQ(printed, "move: Zz9, plyNo:3\n");
    // A missing result token: the next game's tags, Result first, are kept for it.
    printed = Output([&] {
        EXPECT_EQ(ReadAll("[Result \"1-0\"]\n1. e4 e5\n[Result \"0-1\"]\n1. d4 d5 0-1\n"),
                  (Outcomes{"0000", "4002"}));
    });
    EXPECT_EQ(printed, "move: [Result, plyNo:3\n");
    // The given-up game is the last one.
    Output([&] { EXPECT_EQ(ReadAll(Game("1-0", "1. e4 ?? e5")), (Outcomes{"0000"})); });
}

TEST_F(PgnTest, GamesThatDoNotStartFromTheInitialPositionAreSkipped) {
    const std::string fenGame =
        "[Result \"1-0\"]\n[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1. e4 Kd7 "
        "2. Kd2 1-0\n\n";
    const std::string standardFen =
        "[Result \"1-0\"]\n[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 "
        "1\"]\n\n1. e4 1-0\n\n";
    const std::string variant = "[Result \"0-1\"]\n[Variant \"Atomic\"]\n\n1. e4 e5 0-1\n\n";
    EXPECT_EQ(ReadAll(fenGame + standardFen + variant + Game("1-0", "1. c4 1-0")),
              (Outcomes{"0000", "8001", "0000", "8001"}));
    EXPECT_EQ(ReadAll("[Result \"1-0\"]\n[Variant \"Standard\"]\n\n1. e4 1-0\n"),
              (Outcomes{"8001"}));
}

TEST_F(PgnTest, BrokenInputNeverOverrunsOrCrashes) {
    const std::string ok = Game("1-0", "1. e4 1-0");
    // 1000-character tokens are read ten characters at a time; the game is given up.
    EXPECT_EQ(Output([&] {
                  EXPECT_EQ(ReadAll(Game("1-0", "1. " + std::string(1000, 'a') + " e5 1-0") + ok),
                            (Outcomes{"0000", "8001"}));
              }),
              "move: aaaaaaaaaa, plyNo:1\n");
    Output([&] {
        EXPECT_EQ(ReadAll(Game("1-0", "1. e4 " + std::string(1000, '9') + " 1-0") + ok),
                  (Outcomes{"8001", "8001"}));
    });
    // Over-long tag lines and Result values.
    EXPECT_EQ(ReadAll("[Result \"1-0" + std::string(500, 'x') + "\"]\n1. e4 1-0\n" + ok),
              (Outcomes{"8001", "8001"}));
    EXPECT_EQ(ReadAll("[Result \"" + std::string(500, 'x') + "\"]\n1. e4 1-0\n"),
              (Outcomes{"Result Error 1"}));
    EXPECT_EQ(ReadAll("[Event \"" + std::string(5000, 'e') + "\"]\n[Result \"0-1\"]\n1. e4 0-1\n"),
              (Outcomes{"4001"}));
    // A 10 MB comment, NUL bytes in tags, comments and tokens.
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 {" + std::string(10 << 20, 'c') + "} e5 1-0") + ok),
              (Outcomes{"8002", "8001"}));
    std::string nuls = Game("1-0", std::string("1. e4 {a\0b} e5 1-0", 18));
    nuls[3] = '\0';
    EXPECT_EQ(ReadAll(nuls + ok), (Outcomes{"8002", "8001"}));
    Output([&] {
        EXPECT_EQ(ReadAll(Game("1-0", std::string("1. e4 e", 7) + '\0' + "5 1-0") + ok),
                  (Outcomes{"0000", "8001"}));
    });
    // Unterminated brackets run to the end of the input.
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 { never closed 1-0") + ok), (Outcomes{"8001"}));
    EXPECT_EQ(ReadAll(Game("1-0", "1. e4 (1. d4 ((( 1-0") + ok), (Outcomes{"8001"}));
    EXPECT_EQ(ReadAll("[Result \"1-0"), (Outcomes{"0000"}));
    EXPECT_EQ(ReadAll("[[[[[["), (Outcomes{"0000"}));

    // Random bytes, and random mixtures of PGN fragments: any outcome, but no crash, no overrun
    // (the sanitizer build checks), and the board always back at the start.
    std::mt19937 random(11);
    const std::string fragments[] = {"[Result \"1-0\"]\n",
                                     "[Result \"*\"]\n",
                                     "1. ",
                                     "e4 ",
                                     "e5 ",
                                     "Nf3 ",
                                     "Nc6 ",
                                     "{",
                                     "}",
                                     "(",
                                     ")",
                                     "1-0",
                                     "*",
                                     "$1 ",
                                     "\n",
                                     "\r\n",
                                     ";",
                                     "O-O ",
                                     "exd5 ",
                                     "0-1",
                                     "1/2-1/2",
                                     std::string(1, '\0'),
                                     "\xff\xfe",
                                     "[FEN \"8/8 w\"]\n",
                                     "Qxf7# "};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int pieces = static_cast<int>(random() % 60);
        for (int i = 0; i < pieces; ++i) {
            if (round % 3 == 0)
                text += static_cast<char>(random() & 0xFF);
            else
                text += fragments[random() % std::size(fragments)];
        }
        Output([&] { ReadAll(text); });
    }
}

TEST_F(PgnTest, LegalityTestAgreesWithTheGeneratedMovesOnRealPositions) {
    // The reader answers most moves without generating; on every position of real games, for
    // every generated move and for random move words, the answer must equal the list look-up.
    PgnStream in(
        records_test::ReadFile(records_test::DataDir + "tcec_Match_3.pgn") +
        Game(
            "1-0",
            "1. e4 d5 2. exd5 c5 3. dxc6 Qb6 4. cxb7 Qxf2+ 5. Kxf2 Kd8 6. bxa8=Q Kc7 7. Qxb8+ Kxb8 "
            "8. d4 1-0"));
    std::mt19937 random(3);
    int positions = 0;
    while (readPgnGame(in, game) != 0) {
        const int n = GamePlies(game.moves[0]);
        std::vector<UndoRecord> undo(n + 1);
        for (int i = 1; i <= n; ++i) {
            ScoredMove list[2 * MaxGeneratedMoves];
            CheckInfo checkInfo{};
            FindCheckers(checkInfo);
            ScoredMove* end = checkInfo.checkers
                                  ? EvasionGenerators[pos.sideToMove](list, checkInfo)
                                  : MoveGenerators[pos.sideToMove](list);
            std::vector<Move> words;
            for (ScoredMove* m = list; m != end; ++m) words.push_back(m->move);
            for (int r = 0; r < 300; ++r) words.push_back(static_cast<Move>(random()));
            std::vector<int> own;
            for (int sq = 0; sq < 64; ++sq) {
                if (pos.board[sq] != Empty && (pos.board[sq] & 1) == pos.sideToMove)
                    own.push_back(sq);
            }
            for (int r = 0; r < 300; ++r) {  // any target and kind for the side's own pieces
                words.push_back(MakeMoveWord(own[random() % own.size()],
                                             static_cast<int>(random() % 64),
                                             static_cast<int>(random() % 16)));
            }
            for (int r = 0; r < 100; ++r) {  // near misses: a generated move with another kind
                words.push_back(static_cast<Move>((list[random() % (end - list)].move & 0x0FFF) |
                                                  ((random() % 16) << 12)));
            }
            for (Move w : words) {
                bool expected = std::find_if(list, end, [w](const ScoredMove& m) {
                                    return m.move == w;
                                }) != end;
                if (expected) {
                    const int mover = pos.sideToMove;
                    UndoRecord check;
                    SaveSnapshot(check);
                    MakeMove(w, check);
                    expected = !LeavesKingAttacked(w, mover);
                    UnmakeMove(w, check);
                }
                ASSERT_EQ(isLegalGameMove(w), expected)
                    << "move word " << w << " in " << records_test::LivePositionFen();
            }
            SaveSnapshot(undo[i]);
            MakeMove(game.moves[i], undo[i]);
            ++positions;
        }
        for (int i = n; i >= 1; --i) UnmakeMove(game.moves[i], undo[i]);
        in.SkipSeparators();
    }
    EXPECT_GT(positions, 3000);
}

}  // namespace

// The command loop: one token, one log line, one look-up in the command table. Searches run
// inside a row's handler; while one runs, PollCommand reads the input and may hand a token back
// through commandBuffer and commandPending.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "database/database.h"
#include "egbb/egbb.h"
#include "engine/engine.h"
#include "engine/input.h"
#include "engine/internal.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "records/records.h"
#include "search/search.h"
#include "tools/tools.h"
#include "xboard/xboard.h"

namespace {

enum class Match { Prefix, Exact, GameMove };

struct Command {
    const char* name;
    Match match;
    void (*handler)();
    // Rows that need the game position first take back a guessed move a ponder search left on
    // the board; rows that need the loop stop a running search (see PollCommand).
    bool needsGamePosition;
    bool stopsSearch;
};

void LogLine() { debugLog.Line(""); }

// Reads a file-name argument; false at the end of input (the loop then quits).
bool ReadName(char* name) { return ReadToken(name, TokenCapacity); }

void RefuseInPosition(const char* command) {
    std::printf("Error (illegal position): %s\n", command);
    debugLog << "-M: refused in an unplayable position: ";
    debugLog.Line(command);
}

void TimeCommand() { ApplyClockReport("\n"); }

void MoveReceived() {
    Move move = ParseMove(commandBuffer);
    if (!PositionIsPlayable()) {
        std::printf("Illegal Move: %s\n", commandBuffer);
        debugLog << "-M: move refused in an unplayable position: ";
        debugLog.Line(commandBuffer);
        return;
    }
    switch (EngineState) {
        case Pondering:
            if (move == ponderMove) {
                // The guess, already on the board, becomes the game move; think counts the time
                // spent pondering because the state stays Pondering.
                debugLog.Line(
                    "-WARNING ------------------------------ ------------- -------- GOOD PONDER");
                ConfirmPonderGuess(false, true);
                think();
                return;
            }
            debugLog.Line("-BAD PONDER");
            TakeBackPonderMove();
            if (!MakeRealMove(move)) return;
            ++hashAge;
            EngineState = Playing;
            think();
            return;
        case Playing:
            if (MakeRealMove(move)) think();
            return;
        default:  // Force
            MakeRealMove(move);
            return;
    }
}

void GoCommand() {
    // Analysis plays nothing: the interface ends it first ("exit", "force").
    if (analysing) {
        std::printf("Error (analysing, send exit first): %s\n", commandBuffer);
        return;
    }
    if (!PositionIsPlayable()) {
        RefuseInPosition(commandBuffer);
        return;
    }
    // With every legal move excluded the engine would have no move: it plays as if none were.
    if (HasLegalMove() && AllowedRootMoves() == 0) {
        std::printf("Error (every move excluded, all included again): %s\n", commandBuffer);
        EndRootRestriction(true);
    }
    think();
}

void ResetGame() {
    SetBoard(StartFen);
    EngineState = analysing ? Force : Playing;
}

// A new game has no depth limit until the interface sends "sd" again.
void NewCommand() {
    ResetGame();
    searchLimits.depth = 0;
}

// "result RESULT {COMMENT}": the comment is free text, never commands.
void ResultCommand() {
    char text[LineCapacity];
    ReadArgumentLine(text, sizeof text);
    debugLog << "-M: game result ";
    debugLog.Line(text);
    ResetGame();
}

// Commands whose argument is free text (names, ratings, server lines, replies to the feature
// lines) take the rest of their line, so that no word of it is ever run as a command.
template <const char* Label>
void FreeTextCommand() {
    char text[LineCapacity];
    ReadArgumentLine(text, sizeof text);
    debugLog << "-M: " << Label << ' ';
    debugLog.Line(text);
}
constexpr char OpponentLabel[] = "opponent";
constexpr char RatingLabel[] = "ratings";
constexpr char IcsLabel[] = "server";
constexpr char AcceptedLabel[] = "feature accepted:";
constexpr char RejectedLabel[] = "feature rejected:";
constexpr char TablebaseLabel[] = "tablebase path (not used)";
constexpr char ComputerLabel[] = "opponent is a computer";

// Zelmor plays normal chess only; any other variant is refused aloud, not played as chess.
void VariantCommand() {
    char text[LineCapacity];
    ReadArgumentLine(text, sizeof text);
    debugLog << "-M: variant ";
    debugLog.Line(text);
    if (std::strcmp(text, "normal") != 0) std::printf("Error (variant not supported): %s\n", text);
}

void OptionCommand() {
    static char text[ConfigLineLimit + 256];
    ReadArgumentLine(text, sizeof text);
    SetXboardOption(text);
    // A running analysis shows the new setting at once.
    if (analysing) analysisDue = true;
}

// The whole number that is the rest of the command's line; false for anything else (the text
// is left in `text` for the error line).
bool ReadWholeArgument(char* text, std::size_t capacity, long long& value) {
    ReadArgumentLine(text, capacity);
    char* end = text;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

// The rest of the line as a count of 1 or more; anything else is refused with an error line
// naming what `command` takes, and logged.
bool ReadCount(char* text, std::size_t capacity, long long& value, const char* command,
               const char* what) {
    if (ReadWholeArgument(text, capacity, value) && value >= 1) return true;
    std::printf("Error (%s takes %s of 1 or more): %s %s\n", command, what, command, text);
    debugLog << "-M: " << command << " refused: " << text;
    LogLine();
    return false;
}

// "cores N": search threads from the next search on; more than Zelmor can run get its most. The
// running search of the engine's own move finishes with the threads it has; a ponder search or
// an analysis stops for it (PollXboardInput), and an analysis starts again with the new count.
void CoresCommand() {
    char text[LineCapacity];
    long long cores = 0;
    if (!ReadCount(text, sizeof text, cores, "cores", "a number")) return;
    requestedSearchThreads = ClampSearchThreads(cores);
    debugLog << "-M: cores " << text << ": " << requestedSearchThreads
             << " search threads from the next search";
    LogLine();
    if (analysing) analysisDue = true;
}

// "memory N": the table from the size rule, capped at what the machine allows. It comes only
// between games; any search stops for it first, so the table never changes under one.
void MemoryCommand() {
    char text[LineCapacity];
    long long megabytes = 0;
    if (!ReadCount(text, sizeof text, megabytes, "memory", "a number of megabytes")) return;
    const u64 before = CurrentHashMegabytes();
    if (!SetHashMegabytes(static_cast<u64>(megabytes))) {
        std::printf("Error (not enough memory, the table stays at %llu MB): memory %s\n",
                    static_cast<unsigned long long>(before), text);
        debugLog << "-M: memory " << text << ": no memory for the table, kept at " << before
                 << " MB";
        LogLine();
        return;
    }
    debugLog << "-M: memory " << text << ": table of " << HashTableBytes() << " bytes";
    LogLine();
    if (analysing) analysisDue = true;
}

// "exclude MOVE", "include MOVE", "exclude all", "include all": the moves the engine may search
// and play in the game position, until the position changes.
template <bool Excluded>
void RootMoveCommand() {
    char text[LineCapacity];
    ReadArgumentLine(text, sizeof text);
    const char* command = Excluded ? "exclude" : "include";
    if (std::strcmp(text, "all") == 0) {
        ExcludeAllRootMoves(Excluded);
    } else {
        const Move move = PositionIsPlayable() ? ParseMove(text) : 0;
        if (move == 0 || IsMarker(move) || !IsMoveValid(move) || !KeepsKingSafe(move)) {
            std::printf("Error (illegal move): %s %s\n", command, text);
            return;
        }
        ExcludeRootMove(move, Excluded);
    }
    debugLog << "-M: " << command << ' ' << text;
    LogLine();
    if (analysing) analysisDue = true;
}

// "bk": the book moves of the game position, one line each, then an empty line.
void BookCommand() {
    if (!PositionIsPlayable()) {
        std::printf(" no book moves\n\n");
        return;
    }
    const int reached = pos.sideToMove ^ 1;
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove list[MaxGeneratedMoves];
    ScoredMove* end = checkInfo.checkers ? EvasionGenerators[pos.sideToMove](list, checkInfo)
                                         : MoveGenerators[pos.sideToMove](list);
    int shown = 0;
    for (ScoredMove* m = list; m != end; ++m) {
        if (!KeepsKingSafe(m->move)) continue;
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(m->move, undo);
        const bool inMain =
            mainBook.books[reached].recordCount > 0 && mainBook.books[reached].contains(pos.key);
        const bool inSecond = secondBook.books[reached].recordCount > 0 &&
                              secondBook.books[reached].contains(pos.key);
        UnmakeMove(m->move, undo);
        if (!inMain && !inSecond) continue;
        char text[8];
        MoveToText(m->move, text);
        std::printf(" %s%s%s\n", text, inMain ? " main book" : "",
                    inSecond ? (inMain ? ", second book" : " second book") : "");
        ++shown;
    }
    if (shown == 0) std::printf(" no book moves\n");
    std::printf("\n");
}

void LevelCommand() {
    i32 moves, increment = 0;
    char baseTime[TokenCapacity] = "";
    if (!ReadInt(moves)) {
        std::printf("Error (level needs a number of moves): level\n");
        debugLog.Line("-M: level without a number of moves, ignored");
        return;
    }
    ReadToken(baseTime, sizeof baseTime);
    // A fractional increment ("0.5") is read whole, so its tail is not taken for a command.
    bool haveIncrement = ReadInt(increment, true);
    debugLog << moves << ' ' << baseTime << ' ' << increment;
    LogLine();
    if (moves < 0) {
        std::printf("Error (level needs a number of moves): level\n");
        return;
    }
    movesPerSession = moves;
    // A clock again: a fixed time a move ends here. A depth limit stays: the two combine.
    searchLimits.moveTimeMs = 0;
    if (!haveIncrement) {
        // The moves per control are still good; the unreadable increment counts as none.
        std::printf("Error (level needs an increment): level\n");
        incrementMs = 0;
        return;
    }
    i64 milliseconds = i64{increment} * 1000;
    incrementMs =
        increment >= 1 ? static_cast<i32>(milliseconds > INT32_MAX ? INT32_MAX : milliseconds) : 0;
}

void ForceCommand() {
    StopEngine();
    if (analysing) EndAnalysis();
}

void SetboardCommand() {
    bool truncated = false;
    if (!ReadRestOfLine(commandBuffer, LineCapacity, truncated)) return;
    // The text keeps its own newline (a cut line has none).
    debugLog << "setboard " << commandBuffer;
    if (truncated) debugLog << "\n-M: setboard line longer than 254 characters, cut\n";
    debugLog.Flush();
    ponderMove = 0;  // a new position: no guessed move can be taken back from it
    if (!SetBoard(commandBuffer)) debugLog.Line("-M: tellusererror Illegal position");
    SanitizeSetup();
}

void EasyCommand() { ponderEnabled = false; }
void HardCommand() { ponderEnabled = true; }
void QuitCommand() { EngineState = Quit; }

void SetSide(int side) {
    pos.sideToMove = side;
    GamePosition.sideToMove = side;
}
void WhiteCommand() { SetSide(White); }
void BlackCommand() { SetSide(Black); }

void EvalCommand() {
    SetBoard("R7/8/8/6p1/8/b7/4k3/K7 w - - 0 1");
    PrintBoard(pos.board);
    int score = BitbaseNoAnswer;
    if (pos.pawnCount[0] + pos.pawnCount[1] <= 3 && bitbasesLoaded && worker.probingEnabled &&
        PopCount(pos.occupied) <= 5)
        score = ProbeBitbase();
    if (score == BitbaseNoAnswer) {
        score = Evaluate();
        std::printf("eval score: ");
    } else {
        std::printf("egbb score: ");
    }
    std::printf("%d\n", score);
}

void Pgn2PosCommandRow() {
    char input[TokenCapacity];
    if (ReadName(input)) Pgn2PosCommand(input);
}

template <void (*Converter)(const char*, const char*)>
void TwoFileCommand() {
    char first[TokenCapacity], second[TokenCapacity];
    if (ReadName(first) && ReadName(second)) Converter(first, second);
}

void BookShowRow() { BookShowCommand(); }
void DbShowRow() { DbShowCommand(false); }
void DbShowLinRow() { DbShowCommand(true); }
void BookCreateRow() { BookCreateCommand(); }
// "bookcreaterel [MINGAMES]": the number is optional, so only the rest of the command's line is
// read; the next command must not be taken for it.
void BookCreateRelativeRow() {
    char rest[TokenCapacity];
    bool truncated = false;
    if (!ReadRestOfLine(rest, sizeof rest, truncated)) rest[0] = '\0';
    char* end = rest;
    const long long minGames = std::strtoll(rest, &end, 10);
    bool blank = true;
    for (const char* p = rest; *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') blank = false;
    if (blank) {
        BookCreateRelativeCommand();
        return;
    }
    bool trailing = false;
    for (const char* p = end; *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') trailing = true;
    if (end == rest || trailing || truncated || minGames < 1 || minGames > UINT32_MAX) {
        std::printf("Error (bookcreaterel needs a number of games of 1 or more): bookcreaterel\n");
        return;
    }
    BookCreateRelativeCommand(static_cast<u32>(minGames));
}

void BenchmarkCommand() {
    char ignored[TokenCapacity];
    i32 count;
    if (!ReadToken(ignored, sizeof ignored)) return;
    ReadInt(count);
    std::printf("Define __STAT\n");
}

void BenchmarkSpeedCommand() {
    char ignored[TokenCapacity];
    if (!ReadToken(ignored, sizeof ignored)) return;
    std::printf("Define __STAT\n");
}

void PerftCommand() {
    i32 depth = 0;
    if (!ReadInt(depth)) depth = 0;
    if (!PositionIsPlayable()) {
        RefuseInPosition(commandBuffer);
        return;
    }
    RunPerft(depth);
}

void TestRow() { TestCommand(); }

void NothingToTakeBack(const char* command) {
    std::printf("Error (no game move to take back): %s\n", command);
    debugLog << "-M: " << command << ": no game move to take back";
    LogLine();
}

// The last game move. The interface sends it in force mode and in analysis.
void UndoCommand() {
    if (TakeBackGameMove(1))
        debugLog.Line("-M: game move taken back");
    else
        NothingToTakeBack("undo");
}

// The user's last move and the engine's reply before it: the user is on move again.
void RemoveCommand() {
    if (TakeBackGameMove(2))
        debugLog.Line("-M: two game moves taken back");
    else
        NothingToTakeBack("remove");
}

void AnalyzeCommand() {
    if (analysing)
        debugLog.Line("-M: analysing already");
    else
        BeginAnalysis();
}

void ExitCommand() {
    if (analysing)
        EndAnalysis();
    else
        std::printf("Error (not analysing): exit\n");
}

// Reads the number after "st" or "sd"; false (with the error line) when there is none or it is
// negative.
bool ReadLimit(const char* command, const char* what, i32& value) {
    if (ReadInt(value, true) && value >= 0) return true;
    std::printf("Error (%s needs %s): %s\n", command, what, command);
    debugLog << "-M: " << command << " without " << what << ", ignored";
    LogLine();
    return false;
}

// A fixed time for each move, whatever the clock says, until the next "level"; 0 ends it.
void StCommand() {
    i32 seconds;
    if (!ReadLimit("st", "a number of seconds", seconds)) return;
    searchLimits.moveTimeMs = seconds > INT32_MAX / 1000 ? INT32_MAX : seconds * 1000;
}

// The last iteration searched, until the next "new"; 0 ends the limit. It combines with any
// clock, "level" or "st".
void SdCommand() {
    i32 depth;
    if (ReadLimit("sd", "a depth", depth)) searchLimits.depth = depth;
}

void PostCommand() { SetPostThinking(true); }
void NopostCommand() { SetPostThinking(false); }
void PingCommand() { AnswerPing(); }
void HintCommand() { AnswerHint(); }
void StatusCommand() { PrintAnalysisStatus(); }

// Tried in order; the first row that matches acts. A prefix row matches any token that begins
// with its name ("gone" acts as "go"); the game-move row is any token ParseMove accepts.
constexpr Command Commands[] = {
    {"time", Match::Prefix, TimeCommand, false, false},
    {nullptr, Match::GameMove, MoveReceived, false, true},
    {"go", Match::Prefix, GoCommand, true, true},
    {"new", Match::Prefix, NewCommand, true, true},
    {"result", Match::Prefix, ResultCommand, true, true},
    {"level", Match::Prefix, LevelCommand, false, true},
    {"force", Match::Prefix, ForceCommand, true, true},
    {"setboard", Match::Prefix, SetboardCommand, true, true},
    {"easy", Match::Exact, EasyCommand, false, false},
    {"hard", Match::Exact, HardCommand, false, false},
    {"quit", Match::Prefix, QuitCommand, false, true},
    {"white", Match::Prefix, WhiteCommand, true, true},
    {"black", Match::Prefix, BlackCommand, true, true},
    {"eval", Match::Exact, EvalCommand, true, true},
    {"pgn2pos", Match::Exact, Pgn2PosCommandRow, true, true},
    {"pgn2game", Match::Exact, TwoFileCommand<Pgn2GameCommand>, true, true},
    {"pgnlist2game", Match::Exact, TwoFileCommand<PgnList2GameCommand>, true, true},
    {"game2pgn", Match::Exact, TwoFileCommand<Game2PgnCommand>, true, true},
    {"game2pos", Match::Exact, TwoFileCommand<Game2PosCommand>, true, true},
    {"bookshow", Match::Exact, BookShowRow, true, true},
    {"dbshow", Match::Exact, DbShowRow, true, true},
    {"dbshowlin", Match::Exact, DbShowLinRow, true, true},
    {"bookcreate", Match::Exact, BookCreateRow, true, true},
    {"bookcreaterel", Match::Exact, BookCreateRelativeRow, true, true},
    {"dbcreate", Match::Exact, TwoFileCommand<DbCreateCommand>, true, true},
    {"benchmark", Match::Exact, BenchmarkCommand, false, true},
    {"benchmarkspeed", Match::Exact, BenchmarkSpeedCommand, false, true},
    {"perft", Match::Exact, PerftCommand, true, true},
    {"test", Match::Exact, TestRow, true, true},
    // What a chess interface sends beyond the above. Whole tokens only; "ping", "hint", "post",
    // "nopost" and "." are answered by a running search's poll as well (PollXboardInput).
    {"undo", Match::Exact, UndoCommand, true, true},
    {"remove", Match::Exact, RemoveCommand, true, true},
    {"analyze", Match::Exact, AnalyzeCommand, true, true},
    {"exit", Match::Exact, ExitCommand, false, true},
    {".", Match::Exact, StatusCommand, false, false},
    {"st", Match::Exact, StCommand, false, true},
    {"sd", Match::Exact, SdCommand, false, true},
    {"post", Match::Exact, PostCommand, false, false},
    {"nopost", Match::Exact, NopostCommand, false, false},
    {"ping", Match::Exact, PingCommand, false, false},
    {"hint", Match::Exact, HintCommand, false, false},
    {"name", Match::Exact, FreeTextCommand<OpponentLabel>, false, false},
    {"rating", Match::Exact, FreeTextCommand<RatingLabel>, false, false},
    {"ics", Match::Exact, FreeTextCommand<IcsLabel>, false, false},
    {"computer", Match::Exact, FreeTextCommand<ComputerLabel>, false, false},
    {"accepted", Match::Exact, FreeTextCommand<AcceptedLabel>, false, false},
    {"rejected", Match::Exact, FreeTextCommand<RejectedLabel>, false, false},
    {"egtpath", Match::Exact, FreeTextCommand<TablebaseLabel>, false, false},
    {"variant", Match::Exact, VariantCommand, true, true},
    {"option", Match::Exact, OptionCommand, false, true},
    {"exclude", Match::Exact, RootMoveCommand<true>, true, true},
    {"include", Match::Exact, RootMoveCommand<false>, true, true},
    {"bk", Match::Exact, BookCommand, true, true},
    {"cores", Match::Exact, CoresCommand, false, false},
    {"memory", Match::Exact, MemoryCommand, false, true},
};

bool Matches(const Command& command, const char* token) {
    switch (command.match) {
        case Match::Prefix:
            return std::strncmp(token, command.name, std::strlen(command.name)) == 0;
        case Match::Exact: return std::strcmp(token, command.name) == 0;
        case Match::GameMove:
            // Only the states in which the loop can meet a move; others fall through.
            return (EngineState == Force || EngineState == Playing || EngineState == Pondering) &&
                   ParseMove(token) != 0;
    }
    return false;
}

const Command* FindCommand(const char* token) {
    for (const Command& command : Commands)
        if (Matches(command, token)) return &command;
    return nullptr;
}

}  // namespace

void ReadArgumentLine(char* out, std::size_t capacity) {
    bool truncated = false;
    if (!ReadRestOfLine(out, capacity, truncated)) out[0] = '\0';
    if (truncated) debugLog.Line("-M: argument line too long, cut");
    std::size_t length = std::strlen(out);
    while (length > 0 && std::strchr(" \t\r\n", out[length - 1])) --length;
    out[length] = '\0';
    std::size_t start = std::strspn(out, " \t");
    std::memmove(out, out + start, length - start + 1);
}

bool RunQuietCommand(const char* token) {
    const Command* command = FindCommand(token);
    if (!command || command->stopsSearch || command->match != Match::Exact) return false;
    command->handler();
    return true;
}

bool StopsSearch(const char* token) {
    for (const Command& command : Commands)
        if (command.match != Match::GameMove && Matches(command, token)) return command.stopsSearch;
    return false;
}

void CommandLoop() {
    ponderEnabled = true;
    EngineState = Force;
    inputPoller = PollXboardInput;
    thinkingPrinter = PrintGameThinking;
    moreFeatureLines = PrintFeatureLines;
    EngineStartup();
    while (EngineState != Quit) {
        // The analysis searches between commands; the input that stops it is handled below.
        if (analysisDue && !commandPending) RunAnalysis();
        // 1. The next token, unless the search handed one back. The end of input acts as "quit".
        if (!commandPending && !ReadToken(commandBuffer, TokenCapacity))
            std::strcpy(commandBuffer, "quit");
        commandPending = false;
        // 2.
        debugLog << "::cmd:: ";
        debugLog.Line(commandBuffer);
        // 3. Tokens that match no row are only logged.
        const Command* command = FindCommand(commandBuffer);
        const u64 keyBefore = pos.key;
        const HistoryEntry* const topBefore = historyTop;
        const i32 sideBefore = pos.sideToMove;
        if (command) {
            if (command->needsGamePosition) TakeBackPonderMove();
            command->handler();
        }
        // A move, a takeback or a new position ends a root restriction.
        ForgetRootRestrictionElsewhere();
        // A move, a takeback or a new position: the analysis starts again.
        if (analysing &&
            (pos.key != keyBefore || historyTop != topBefore || pos.sideToMove != sideBefore ||
             (command && (command->handler == NewCommand || command->handler == ResultCommand ||
                          command->handler == SetboardCommand))))
            analysisDue = true;
    }
}

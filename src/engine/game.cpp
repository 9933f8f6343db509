// The game flow: think (book move or search, the move, the result claim, then pondering on the
// expected reply), the clocked search start and stop, and the game-move operation.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "book/book.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "search/search.h"

i32 ponderSearchEnd;

namespace {

constexpr i16 MateInOne = 8099;  // the move just played mates
constexpr i16 MateScores = 8050;
constexpr i16 PonderScoreLimit = 4999;

void LogLine() { debugLog.Line(""); }

// "1-0 ..." when Black is to move (and lost), "0-1 ..." otherwise.
const char* ByLoser(const char* blackLost, const char* whiteLost) {
    return pos.sideToMove == Black ? blackLost : whiteLost;
}

// The claim for a position the engine was handed and cannot move in, or nullptr.
const char* ClaimWithoutMove(Move m) {
    switch (m) {
        case EndMated: return ByLoser("1-0 {Zelmor mated 0}\n", "0-1 {Zelmor mated 0}\n");
        case EndStalemate: return "1/2-1/2 {Draw by stalemate (1)}\n";
        case EndRepetition: return "1/2-1/2 {Draw by 3 fold repetition (2)}\n";
        case EndFiftyMoves: return "1/2-1/2 {Draw by 50 moves rule (3)}\n";
        case EndNoMaterial: return "1/2-1/2 {Draw by insufficient material to mate (4)}\n";
        default: return nullptr;
    }
}

// The claim after the engine's own move (the opponent now to move), or nullptr.
const char* ClaimAfterMove(i16 score) {
    if (score == MateInOne) return ByLoser("1-0 {Zelmor mates 1}\n", "0-1 {Zelmor mates 1}\n");
    if (score > MateScores) {
        HashEntry entry;
        if (ProbeHash(entry) && entry.move == EndMated)
            return ByLoser("1-0 {Zelmor mates 1#}\n", "0-1 {Zelmor mates 1#}\n");
    } else {
        switch (DrawByRule(2)) {
            case EndRepetition: return "1/2-1/2 {Draw by 3 fold repetition (22)}\n";
            case EndFiftyMoves: return "1/2-1/2 {Draw by 50 moves rule (33)}\n";
            case EndNoMaterial: return "1/2-1/2 {Draw by insufficient material to mate (44)}\n";
            default: break;
        }
    }
    // The table does not always show the game's end (a mate found below a shallower entry, a
    // stalemate, which the draw rules do not cover): the opponent's move list settles it.
    if (!HasLegalMove()) {
        CheckInfo checkInfo;
        FindCheckers(checkInfo);
        if (checkInfo.checkers) return ByLoser("1-0 {Zelmor mates 1}\n", "0-1 {Zelmor mates 1}\n");
        return "1/2-1/2 {Draw by stalemate (11)}\n";
    }
    return nullptr;
}

// A stopping command ("quit", "force", a move, ...) that arrived while the engine thought on its
// own move takes effect before any pondering: the loop handles it at once. "?" only asked for
// the move and does not cancel pondering.
bool StopCommandWaiting() {
    return commandPending && pendingStopsSearch && std::strcmp(commandBuffer, "?") != 0;
}

}  // namespace

// Makes the guessed reply g for pondering; false (board unchanged) when it is not legal.
bool MakePonderMove(Move g) {
    if (!IsMoveValid(g)) return false;
    SaveSnapshot(ponderUndo.undo);
    worker.currentPly = &ponderUndo;
    MakeMove(g, ponderUndo.undo);
    worker.currentPly = &worker.plyRecords[0];
    if (!LeavesKingAttacked(g, pos.sideToMove ^ 1)) {
        // Played by the opponent, the guess stays on the board as a game move: kept for a takeback.
        RecordGameMove(g, ponderUndo.undo);
        return true;
    }
    worker.currentPly = &ponderUndo;
    UnmakeMove(g, ponderUndo.undo);
    worker.currentPly = &worker.plyRecords[0];
    return false;
}

namespace {

// Plays the engine's move: the table's root move, or the search's own result when that fails.
bool PlayEngineMove(Move& m, Move searched) {
    if (m != 0 && !IsMarker(m) && PlayGameMove(m, false)) return true;
    if (searched != 0 && searched != m && !IsMarker(searched) && PlayGameMove(searched, false)) {
        m = searched;
        return true;
    }
    debugLog << "-M: no playable engine move, table " << unsigned{m} << " search "
             << unsigned{searched};
    LogLine();
    return false;
}

// What taking a game move back needs: the move, who made it (the loop's "white" and "black" may
// have changed the side to move since) and the snapshot it was made with, stored by the index of
// the history entry it left. The key of that entry tells a record from a stale one.
struct GameMoveRecord {
    Move move;
    i32 mover;
    u64 keyBefore;
    UndoRecord undo;
};
GameMoveRecord gameMoves[HistoryGameLimit + 1];

}  // namespace

void RecordGameMove(Move move, const UndoRecord& undo) {
    const long index = historyTop - history - 1;
    if (index < 0 || index > HistoryGameLimit) return;
    gameMoves[index] = {move, pos.sideToMove ^ 1, HistoryKey(history[index]), undo};
}

bool TakeBackGameMove(int count) {
    const long top = historyTop - history;
    if (count < 1 || top < count || top > HistoryGameLimit + 1) return false;
    // Only moves the game made, on the board as the game left it: the live position is the top
    // entry's, and each record belongs to the entry it left.
    if (pos.key != HistoryKey(*historyTop)) return false;
    for (long index = top - count; index < top; ++index) {
        const GameMoveRecord& record = gameMoves[index];
        if (record.move == 0 || record.move != history[index].move ||
            record.keyBefore != HistoryKey(history[index]))
            return false;
    }
    for (long index = top - 1; index >= top - count; --index) {
        GameMoveRecord& record = gameMoves[index];
        pos.sideToMove = record.mover ^ 1;
        UnmakeMove(record.move, record.undo);
        record.move = 0;
    }
    // One game ply per history entry above the set-up position: the book is asked again.
    gamePly = static_cast<u16>(top - count + 1);
    CopyLiveToGamePosition();
    ResetMoveOrdering();
    return true;
}

bool PlayGameMove(Move move, bool reportIllegal) {
    char text[8];
    MoveToText(move, text);
    // 1. Refuse what is not a legal move of the live position, and any move once the game part of
    // the history stack is full: the search needs the rest of it.
    bool legal = !IsMarker(move) && historyTop - history < HistoryGameLimit && IsMoveValid(move);
    // A pawn reaching the last rank must promote: a plain push or capture there would leave a
    // pawn on the back rank for good.
    if (legal && MoveKindOf(move) <= Capture) {
        int code = pos.board[MoveFrom(move)], row = Row(MoveTo(move));
        if ((code == WPawn && row == 0) || (code == BPawn && row == 7)) legal = false;
    }
    if (legal && IsCastling(move)) {
        static constexpr u16 RightOfKind[4] = {BlackShort, WhiteShort, BlackLong, WhiteLong};
        legal = (pos.castleRights & RightOfKind[MoveKindOf(move) - BlackCastleShort]) != 0;
    }
    if (legal) {
        // 2. The snapshot is only needed to take back a move that leaves the own king attacked.
        SaveSnapshot(worker.plyRecords[0].undo);
        MakeMove(move, worker.plyRecords[0].undo);
        if (LeavesKingAttacked(move, pos.sideToMove ^ 1)) {
            UnmakeMove(move, worker.plyRecords[0].undo);
            legal = false;
        } else {
            RecordGameMove(move, worker.plyRecords[0].undo);
        }
    }
    if (!legal) {
        if (reportIllegal) {
            PrintBoard(pos.board);
            std::printf("Illegal Move: %s\n", text);
        }
        char fen[128];
        WriteFen(fen);
        debugLog << "-----FEN:\t";
        debugLog.Line(fen);
        debugLog << "*********** MakeRealMove ILLEGAL " << unsigned{move} << " " << text;
        LogLine();
        return false;
    }
    // 3. Game counters.
    ++gamePly;
    ++hashAge;
    // 4. Castling: the king's square and the mover's rights (already done by MakeMove; kept so
    // the game position never depends on it).
    switch (MoveKindOf(move)) {
        case BlackCastleShort:
            pos.kingSquare[Black] = G8;
            pos.castleRights &= ~(BlackShort | BlackLong);
            break;
        case WhiteCastleShort:
            pos.kingSquare[White] = G1;
            pos.castleRights &= ~(WhiteShort | WhiteLong);
            break;
        case BlackCastleLong:
            pos.kingSquare[Black] = C8;
            pos.castleRights &= ~(BlackShort | BlackLong);
            break;
        case WhiteCastleLong:
            pos.kingSquare[White] = C1;
            pos.castleRights &= ~(WhiteShort | WhiteLong);
            break;
        default: break;
    }
    // 5. The game position follows the live one.
    CopyLiveToGamePosition();
    // 6. Move ordering starts afresh for the new position.
    ResetMoveOrdering();
    return true;
}

bool MakeRealMove(Move move) { return PlayGameMove(move, true); }

bool HasLegalMove() {
    ScoredMove list[MaxGeneratedMoves];
    return GenerateLegalMoves(list) != list;
}

void TakeBackPonderMove() {
    if (ponderMove != 0) {
        worker.currentPly = &ponderUndo;
        UnmakeMove(ponderMove, ponderUndo.undo);
        worker.currentPly = &worker.plyRecords[0];
        ponderMove = 0;
        debugLog.Line("-M: guessed move taken back");
    }
    if (EngineState == Pondering) EngineState = Playing;
}

void ApplySearchLimits() {
    // Iterations begin at depth 2: a smaller limit still lets the first one finish, so that
    // there is a move to play.
    maxDepth = searchLimits.depth > 0 && searchLimits.depth < 127
                   ? static_cast<u32>(std::max(searchLimits.depth, 2))
                   : 127;
    shallowRestartAllowed = searchLimits.depth <= 0 && searchLimits.moveTimeMs <= 0 &&
                            searchLimits.nodes == 0 && !searchLimits.infinite;
    // A fixed time for each move is the budget; the clock reports only keep the hard limit.
    if (searchLimits.moveTimeMs > 0) timeForMove = searchLimits.moveTimeMs;
}

void AgeTableAfterMove(int depth) {
    if (historyTop->halfmoveClock > 80)
        AgeHashEntries(depth);
    else
        RenormalizeHashAge();
}

Move GameBookMove() {
    if (gamePly >= 64) return 0;
    debugLog.Line("getBookMove");
    Move bookMove = getBookMove();
    // A move ruled out at the root is not played from the book either.
    if (bookMove && rootMoveBarred && rootMoveBarred(bookMove)) bookMove = 0;
    debugLog << "bookMove " << unsigned{bookMove};
    LogLine();
    return bookMove;
}

EngineMove MoveAfterSearch(const SearchResult& result) {
    if (result.move == EndRepetition || result.move == EndFiftyMoves ||
        result.move == EndNoMaterial)
        return {result.move, 0, 0, 0};
    HashEntry entry;
    if (ProbeHash(entry)) return {entry.move, entry.score, entry.bound, entry.depth};
    return {result.move, result.score, 0, 0};
}

Move ExpectedReply() {
    HashEntry entry;
    if (ProbeHash(entry) && entry.score >= -PonderScoreLimit && entry.score <= PonderScoreLimit)
        return entry.move;
    return 0;
}

SearchResult RunSearch(SearchStart kind) {
    if (kind != SearchStart::Analysis) {
        debugLog << "-M: entered StartEngine, goodPonder: "
                 << (kind == SearchStart::ContinuedPonder ? 1 : 0);
        LogLine();
    }
    ApplySearchLimits();
    if (requestedSearchThreads != 0) {
        searchThreadCount = requestedSearchThreads;
        requestedSearchThreads = 0;
    }
    stopSearch = false;
    // A ponder search runs on the opponent's time: its move clock starts when the guess is
    // confirmed.
    if (kind != SearchStart::Ponder) StartMoveClock(Now());
    if (kind == SearchStart::ContinuedPonder) {
        // The guess was played after the ponder search had ended: the time since then was not
        // spent pondering and is not credited.
        searchStart += Now() - ponderSearchEnd;
        ApplyPonderCredit(Now());
    } else {
        searchStart = Now();
    }
    if (kind != SearchStart::Analysis) {
        debugLog << "*** xxx czas uzyty: " << Now() - searchStart;
        LogLine();
    }
    return SearchIterative();
}

SearchResult StartEngine(bool goodPonder) {
    return RunSearch(goodPonder ? SearchStart::ContinuedPonder : SearchStart::OwnMove);
}

void ConfirmPonderGuess(bool searchRunning, bool countGameMove) {
    if (countGameMove) {
        ++gamePly;
        ++hashAge;
        ponderMove = 0;
    }
    if (searchRunning) {
        // The running ponder search goes on as the search for the move, under the clock.
        const i32 now = Now();
        StartMoveClock(now);
        ApplyPonderCredit(now);
        EngineState = Thinking;
    }
}

void StopEngine() {
    debugLog.Line("-M: entered StopEngine");
    EngineState = Force;
    stopSearch = true;
    searchStart = 0;
    debugLog.Line("-M: exited StopEngine");
}

void think() {
    char text[8];
    // 1. A search that continues a confirmed guess counts the pondering time.
    bool goodPonder = EngineState == Pondering;
    debugLog << "entered think: " << (goodPonder ? 1 : 0);
    LogLine();

    // 2. Book, while the game is young.
    if (Move bookMove = GameBookMove()) {
        if (PlayGameMove(bookMove, false)) {
            MoveToText(bookMove, text);
            std::printf("move %s\n", text);
            debugLog << "move (book) ";
            debugLog.Line(text);
            EngineState = Playing;
            debugLog.Line("- NO ponder move");
            return;
        }
    }

    // 3. Search.
    EngineState = Thinking;
    debugLog.Line("start engine");
    SearchResult result = StartEngine(goodPonder);

    for (;;) {
        // 4. The move and score: a draw marker as returned, else the root's table entry.
        const EngineMove chosen = MoveAfterSearch(result);
        Move m = chosen.move;
        const i16 s = chosen.score;
        const int bound = chosen.bound, depth = chosen.depth;
        debugLog << "\r\n------M: mv" << unsigned{m} << " sc: " << int{s} << " sct: " << bound * 128
                 << " d: " << depth << "\r\n";

        // 5. The engine's move, or the claim in its place.
        const char* claim = ClaimWithoutMove(m);
        if (!claim && !IsMarker(m)) {
            if (PlayEngineMove(m, result.move)) {
                MoveToText(m, text);
                std::printf("move %s\n", text);
                debugLog << "\r\nmove " << text << "\tscore: " << int{s};
                LogLine();
                claim = ClaimAfterMove(s);
            }
        } else if (!claim) {
            debugLog << "-M: search gave no move " << unsigned{m};
            LogLine();
        }

        // 6. The claim ends the game; otherwise the table ages for the next move.
        EngineState = Playing;
        if (claim) {
            std::printf("%s", claim);
        } else {
            AgeTableAfterMove(depth);
        }

        // 7. Ponder on the reply the table expects.
        if (claim || !ponderEnabled || StopCommandWaiting()) break;
        Move guess = ExpectedReply();
        if (guess != 0 && IsMarker(guess)) {
            debugLog << "\n************ WARNING: FIXING PONDERED FROM NOT VALID STATE !!! "
                        "***********************\n";
            std::printf("\n****************_FixingPonderedMove_***************\n\n");
            guess = 0;
        }
        if (guess != 0) {
            MoveToText(guess, text);
            debugLog << "-ponder move: ";
            debugLog.Line(text);
            // A table move can be a stale entry of another position: only a legal guess is made.
            EngineState = Pondering;
            ponderMove = guess;
            if (!MakePonderMove(guess)) {
                EngineState = Playing;
                ponderMove = 0;
                guess = 0;
            }
        }
        if (guess == 0) {
            debugLog << "-************** NO ponder move, clock:" << Now();
            LogLine();
            break;
        }
        result = RunSearch(SearchStart::Ponder);
        // The opponent played the guess while the search ran: it was the search for our move.
        if (EngineState == Thinking) continue;
        ponderSearchEnd = Now();
        return;
    }
    // 8.
    if (EngineState == Playing) debugLog.Line("- NO ponder move");
}

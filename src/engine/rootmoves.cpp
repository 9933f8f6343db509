// The root moves a user rules out (xboard "exclude"/"include", UCI "searchmoves") and the further
// lines of a multi-line search. Both reach the search through its rootMoveBarred hook. A
// restriction belongs to the position it was given for; the table is cleared whenever the set of
// searched moves changes, because the root's entry speaks for the moves it was searched with and
// the engine's move is read from it.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/internal.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

bool restricted;
bool barAll;  // every move ruled out but the listed ones; else the listed ones are ruled out
Move listed[MaxGeneratedMoves];
int listedCount;
u64 restrictedKey;  // the position the restriction was given for

// Moves of the lines a multi-line search has shown already in this iteration.
Move lineMoves[MaxSearchLines];
int lineCount;

bool IsListed(Move move) {
    for (int i = 0; i < listedCount; ++i)
        if (listed[i] == move) return true;
    return false;
}

bool UserBarred(Move move) {
    return restricted && pos.key == restrictedKey && IsListed(move) != barAll;
}

bool Barred(Move move) {
    for (int i = 0; i < lineCount; ++i)
        if (lineMoves[i] == move) return true;
    return UserBarred(move);
}

void Apply() { rootMoveBarred = restricted || lineCount > 0 ? Barred : nullptr; }

// Starts a restriction of the live position, or goes on with the one it has.
void Touch() {
    if (!restricted || restrictedKey != pos.key) {
        restricted = true;
        barAll = false;
        listedCount = 0;
        restrictedKey = pos.key;
    }
}

void SetListed(Move move, bool present) {
    if (present == IsListed(move)) return;
    if (present) {
        if (listedCount < MaxGeneratedMoves) listed[listedCount++] = move;
        return;
    }
    for (int i = 0; i < listedCount; ++i)
        if (listed[i] == move) listed[i] = listed[--listedCount];
}

// The table's root entry speaks for the old set of moves: it must not choose from the new one.
void Changed() {
    if (restricted && !barAll && listedCount == 0) restricted = false;  // nothing ruled out
    ClearHash();
    Apply();
}

// The legal moves of the live position.
int LegalRootMoves(ScoredMove* list) {
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    const int side = pos.sideToMove;
    ScoredMove* end =
        checkInfo.checkers ? EvasionGenerators[side](list, checkInfo) : MoveGenerators[side](list);
    int count = 0;
    for (ScoredMove* m = list; m != end; ++m)
        if (KeepsKingSafe(m->move)) list[count++] = *m;
    return count;
}

}  // namespace

void ExcludeRootMove(Move move, bool excluded) {
    Touch();
    SetListed(move, excluded != barAll);
    Changed();
}

void ExcludeAllRootMoves(bool excluded) {
    Touch();
    barAll = excluded;
    listedCount = 0;
    Changed();
}

void SearchOnlyRootMoves(const Move* moves, int count) {
    Touch();
    barAll = true;
    listedCount = 0;
    for (int i = 0; i < count; ++i) SetListed(moves[i], true);
    Changed();
}

void EndRootRestriction(bool clearTable) {
    if (!restricted) return;
    restricted = false;
    if (clearTable) ClearHash();
    Apply();
}

void ForgetRootRestrictionElsewhere() {
    if (restricted && pos.key != restrictedKey) EndRootRestriction(false);
}

bool RootMoveAllowed(Move move) { return !UserBarred(move); }

int AllowedRootMoves() {
    ScoredMove list[MaxGeneratedMoves];
    const int legal = LegalRootMoves(list);
    int allowed = 0;
    for (int i = 0; i < legal; ++i) allowed += UserBarred(list[i].move) ? 0 : 1;
    return allowed;
}

void SearchFurtherLines(int lines, FurtherLinePrinter print) {
    PlyRecord& root = worker.plyRecords[0];
    ScoredMove* const start = worker.moveStack;
    ScoredMove* const end = root.moveListEnd;
    if (lines <= 1 || !end || end <= start || IsMarker(root.bestMove) || root.bestMove == 0) return;
    // The searched line's scores order the next iteration: kept aside and put back.
    static ScoredMove saved[MaxGeneratedMoves];
    const std::size_t count = static_cast<std::size_t>(end - start);
    std::memcpy(saved, start, count * sizeof *start);
    const Move best = root.bestMove;
    int searchable = 0;
    for (std::size_t i = 0; i < count; ++i) searchable += saved[i].score == -8191 ? 0 : 1;

    lineCount = 0;
    lineMoves[lineCount++] = best;
    for (int line = 2; line <= lines && line <= searchable && !stopSearch; ++line) {
        Apply();
        worker.aspirationState = 0;
        worker.currentPly = &root;
        const int score = SearchRoot(-8100, 8100);
        const Move move = root.bestMove;
        // An interrupted line is not shown; the main search stops next.
        if (stopSearch || move == 0 || IsMarker(move)) break;
        // The line's text: its move, then the table's line from there.
        static char tail[PvTextSize];
        char text[PvTextSize + 8];
        MoveToText(move, text);
        SaveSnapshot(root.undo);
        MakeMove(move, root.undo);
        worker.currentPly = &root + 1;
        const int plies = static_cast<int>(worker.iterationDepth) < PvPlyLimit
                              ? static_cast<int>(worker.iterationDepth)
                              : PvPlyLimit;
        BuildPv(tail, plies - 1);
        worker.currentPly = &root;
        UnmakeMove(move, root.undo);
        std::size_t length = std::strlen(text);
        std::snprintf(text + length, sizeof text - length, " %s", tail);
        print(line, score, text);
        if (lineCount < MaxSearchLines) lineMoves[lineCount++] = move;
    }
    lineCount = 0;
    Apply();
    std::memcpy(start, saved, count * sizeof *start);
    root.moveListEnd = end;
    root.bestMove = best;
    worker.currentPly = &root;
}

// Choosing a book move: every move of the live position is made in turn and the position it
// leads to is looked up in the book of the opponent's side to move. The second book wins when it
// lists any move; the main book is the fallback; the choice among listed moves is uniform.
#include <cstdio>

#include "base/log.h"
#include "board/board.h"
#include "book/book.h"
#include "movegen/movegen.h"

namespace {

// Most listed moves kept per book; no position generates more.
constexpr int MaxBookMoves = 256;

struct BookMoveList {
    Move moves[MaxBookMoves];
    int count = 0;

    void add(Move move) {
        if (count < MaxBookMoves) moves[count++] = move;
    }
};

// The seeded generator of the test seam (SplitMix64); unseeded, the clock chooses.
bool choiceSeeded = false;
u64 choiceState = 0;

u32 ChoiceValue() {
    if (!choiceSeeded) return static_cast<u32>(Now());
    u64 z = (choiceState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<u32>((z ^ (z >> 31)) >> 32);
}

}  // namespace

void SeedBookChoice(u64 seed) {
    choiceSeeded = true;
    choiceState = seed;
}

void UnseedBookChoice() { choiceSeeded = false; }

Move getBookMove() {
    const int side = pos.sideToMove;
    const int reached = side ^ 1;  // side to move in the positions the book lists

    // 1. The second book, retried once from its side directory when empty.
    if (secondBook.books[reached].recordCount == 0) secondBook.retrySideDirectory(side);
    const bool secondUsable = secondBook.books[reached].recordCount > 0;

    // 2. Without the main book there is no book move, whatever the second book holds.
    if (mainBook.books[reached].recordCount == 0) {
        mainBook.retrySideDirectory(side);
        if (mainBook.books[reached].recordCount == 0) return 0;
    }

    // 3. Pseudo-legal moves: a move leaving the king attacked reaches no listed position.
    CheckInfo checkInfo;
    FindCheckers(checkInfo);
    ScoredMove generated[MaxGeneratedMoves];
    ScoredMove* end = GenerateMoves(generated, checkInfo);

    // 4. Last generated first, each move made, looked up and taken back.
    BookMoveList second;
    BookMoveList main;
    for (ScoredMove* entry = end; entry != generated;) {
        --entry;
        const Move move = entry->move;
        UndoRecord undo;
        SaveSnapshot(undo);
        MakeMove(move, undo);
        const u64 key = pos.key;
        if (secondUsable && secondBook.books[reached].contains(key)) second.add(move);
        if (mainBook.books[reached].contains(key)) main.add(move);
        UnmakeMove(move, undo);
    }

    // 5. Uniform choice by the millisecond clock (or the seeded generator of the test seam).
    const u32 clock = ChoiceValue();
    if (second.count > 0) return second.moves[clock % static_cast<u32>(second.count)];
    if (main.count > 0) return main.moves[clock % static_cast<u32>(main.count)];
    return 0;
}

void BookShowCommand() {
    const int side = pos.sideToMove;
    std::printf("%s", mainBook.books[side].contains(pos.key) ? "YES\n" : "NO\n");
    std::printf("%s", secondBook.books[side].contains(pos.key) ? "2: YES\n" : "2: NO\n");
}

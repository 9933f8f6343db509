// Helpers shared by the move-generation and perft tests: set-up, move text, and the legal moves
// of the live position computed through the generators and the after-the-move test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "movegen/movegen.h"

namespace testing_support {

inline void InitOnce() {
    static const bool done = [] {
        InitEngineTables();
        return true;
    }();
    (void)done;
}

// Sets the live position; fails the running test when the text is refused.
inline void Load(const char* fen) {
    InitOnce();
    ASSERT_TRUE(SetBoard(fen)) << fen;
}

inline std::string Text(Move move) {
    char buffer[8];
    MoveToText(move, buffer);
    return buffer;
}

inline std::vector<ScoredMove> Generate(bool captures = false) {
    ScoredMove buffer[MaxGeneratedMoves];
    CheckInfo info{};
    FindCheckers(info);
    ScoredMove* end;
    if (captures)
        end = CaptureGenerators[pos.sideToMove](buffer);
    else if (info.checkers)
        end = EvasionGenerators[pos.sideToMove](buffer, info);
    else
        end = MoveGenerators[pos.sideToMove](buffer);
    return std::vector<ScoredMove>(buffer, end);
}

inline bool IsLegalAfterMaking(Move move) {
    UndoRecord undo{};
    SaveSnapshot(undo);
    const int side = pos.sideToMove;
    MakeMove(move, undo);
    const bool legal = !LeavesKingAttacked(move, side);
    UnmakeMove(move, undo);
    return legal;
}

inline std::vector<Move> LegalMoves(const std::vector<ScoredMove>& generated) {
    std::vector<Move> legal;
    for (const ScoredMove& entry : generated)
        if (IsLegalAfterMaking(entry.move)) legal.push_back(entry.move);
    return legal;
}

inline std::vector<std::string> Texts(const std::vector<ScoredMove>& list) {
    std::vector<std::string> texts;
    for (const ScoredMove& entry : list) texts.push_back(Text(entry.move));
    return texts;
}

}  // namespace testing_support

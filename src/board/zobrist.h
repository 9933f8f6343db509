// Zobrist keys: a fixed table drawn at compile time from a seeded 64-bit generator. Book and
// database files store these keys, so the seed and the draw order must never change.
#pragma once

#include <array>

#include "board/types.h"

namespace zobrist_detail {

// SplitMix64: a bijection of its counter, so distinct draws give distinct values.
constexpr u64 SplitMix(u64& state) {
    u64 z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

constexpr std::array<std::array<u64, 64>, 13> MakeKeys() {
    std::array<std::array<u64, 64>, 13> keys{};
    u64 state = 0x5A454C4D4F52ull;  // Zelmor's seed
    for (auto& row : keys)
        for (auto& key : row) key = SplitMix(state);
    return keys;
}

}  // namespace zobrist_detail

// [piece code][square]. Row 0 doubles as the en-passant keys (by square) and the castling-right
// keys (the king's target squares: right 1 g1, 2 c1, 8 g8, 16 c8).
inline constexpr std::array<std::array<u64, 64>, 13> ZobristKeys = zobrist_detail::MakeKeys();

// Keys XORed into `key` when a castling move itself is made, by kind 12-15.
inline constexpr u64 CastleMoveKeys[4] = {
    0x22692cdaaf02389cull,  // kind 12, Black O-O
    0x9ff1351d4a1c52c3ull,  // kind 13, White O-O
    0x07013b34d7483f81ull,  // kind 14, Black O-O-O
    0xfeadfa9358a94fa6ull,  // kind 15, White O-O-O
};

// Key of a castling right (1, 2, 8 or 16).
constexpr u64 CastleRightKey(int right) {
    switch (right) {
        case WhiteShort: return ZobristKeys[0][G1];
        case WhiteLong: return ZobristKeys[0][C1];
        case BlackShort: return ZobristKeys[0][G8];
        default: return ZobristKeys[0][C8];
    }
}

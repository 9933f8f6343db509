// Set-up text as "setboard" hands it over: FEN or EPD with an "am"/"bm" move. Every text must
// leave a consistent position; an accepted one must read back from its own FEN unchanged, and a
// playable one must survive the engine's own checks, its move generation and a shallow perft.
#include <cstring>
#include <string>

#include "engine/internal.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"
#include "records/records.h"
#include "tools/tools.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The command loop hands over at most 254 characters of one line.
    if (size > 254) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // SetBoard sees text up to the first NUL

    const bool accepted = SetBoard(text.c_str());
    char fen[128];
    WriteFen(fen);
    if (accepted) {
        const Move avoid = pos.epdAvoidMove;
        const Move best = pos.epdBestMove;
        (void)avoid;
        (void)best;
        if (!SetBoard(fen)) __builtin_trap();
        char again[128];
        WriteFen(again);
        if (std::strcmp(fen, again) != 0) __builtin_trap();
    }
    SanitizeSetup();
    ParseMove("e2e4");
    ParseMove("e7e8q");
    parseSanMove("O-O");
    parseSanMove("Nf3");
    if (PositionIsPlayable()) {
        HasLegalMove();
        Perft(2);
    }
    return 0;
}

// SAN text in varied positions. The first line sets the position (FEN); when it is no position,
// its first byte picks one of a fixed list. Every further whitespace-separated token is parsed;
// in a playable position a parsed move that is legal is played, so a line of tokens walks on.
#include <cstring>
#include <string>

#include "engine/internal.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"
#include "records/records.h"

namespace {

constexpr const char* Positions[] = {
    StartFen,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "4k3/1P6/8/8/8/8/6p1/4K3 b - -",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6",
    "1N2k1N1/8/8/8/8/8/8/R3K2R w KQ -",  // two knights and two rooks reach one square
    "8/8/8/8/8/8/8/8 w - -",             // no kings: parsing must still be safe
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zelmor_fuzz::SetUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t lineEnd = text.find('\n');
    std::string first = text.substr(0, lineEnd);
    if (first.size() > 254 || !SetBoard(first.c_str()))
        SetBoard(Positions[data[0] % (sizeof Positions / sizeof *Positions)]);
    SanitizeSetup();
    const bool playable = PositionIsPlayable();
    std::string rest = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd + 1);
    std::size_t at = 0;
    int played = 0;
    while (at < rest.size()) {
        std::size_t end = rest.find_first_of(" \t\r\n", at);
        if (end == std::string::npos) end = rest.size();
        if (end > at) {
            std::string token = rest.substr(at, end - at);
            Move move = parseSanMove(token.c_str());
            if (move != 0 && playable && played < 200 && isLegalGameMove(move)) {
                // Played for good: the tokens after it are read in the new position.
                if (!PlayGameMove(move, false)) __builtin_trap();
                ++played;
            }
        }
        at = end + 1;
    }
    return 0;
}

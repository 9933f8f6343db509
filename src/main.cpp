#include <csignal>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/input.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "Usage: zelmor [--uci]\n"
        "       zelmor --help | --version\n"
        "\n"
        "Zelmor is a chess engine for graphical chess interfaces. It speaks the xboard\n"
        "protocol (version 2) on standard input and output; started with --uci, under the\n"
        "name zelmor-uci, or sent \"uci\" as its first word, it speaks UCI.\n"
        "\n"
        "  --uci       speak UCI from the start\n"
        "  --help      show this help and exit\n"
        "  --version   show the name and version and exit\n"
        "\n"
        "Zelmor.ini is read from the working directory, else from $XDG_CONFIG_HOME/zelmor/\n"
        "(~/.config/zelmor/), else from the installed default. Zelmor.log is written to the\n"
        "working directory, else to $XDG_STATE_HOME/zelmor/ (~/.local/state/zelmor/).\n"
        "See man 6 zelmor.\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    // XBoard interrupts its engines with SIGINT before sending them a move; Zelmor reads its
    // input while it searches, so the signal carries nothing it needs and must not end it.
    std::signal(SIGINT, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Zelmor %s\n", ZELMOR_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--uci") != 0) {
            std::fprintf(stderr, "zelmor: unknown option '%s'\n", argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    // A UCI interface given the plain binary speaks first, with "uci".
    char first[TokenCapacity] = "";
    if (WantsUci(argc, argv) || (PeekToken(first, sizeof first) && std::strcmp(first, "uci") == 0))
        UciLoop();
    else
        CommandLoop();
    return 0;
}

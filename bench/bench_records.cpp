// Converter throughput on a large collection: pgn2pos and pgn2game in games per second, and the
// cost of pgn2game as the number of games doubles (duplicate detection must stay linear).
// The input is built in a scratch directory from the shared PGN collections (or the test copies
// when those are absent), repeated with a distinct 12-ply knight prelude per copy, so that every
// game is new to the game file. Rates are over this thread's CPU time; wall clock beside it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "records/records.h"

namespace {

constexpr int Copies = 18;  // about 100 000 games from the shared collections

std::string SourceDir() {
    const std::string self = __FILE__;
    return self.substr(0, self.rfind('/')) + "/../tests/data/records/";
}

std::vector<std::string> Collections() {
    const std::string shared = "/work/shared/data/pgn/";
    std::vector<std::string> files;
    if (access((shared + "README.md").c_str(), R_OK) == 0) {
        for (const char* name :
             {"masters_a", "masters_annotated_a", "tcec_Match_2", "tcec_Season_23_-_4k",
              "tcec_Season_Bonus_-_Division_S15_Glaurung_vs_Fritz_in_Bahrain", "tcec_Tournament_2",
              "tcec_Tournament_4"})
            files.push_back(shared + name + ".pgn");
        for (const char* name : {"masters_annotated_b", "masters_b", "tcec_Match_1", "tcec_Match_3",
                                 "tcec_Season_26_-_4k_Iii", "tcec_Tournament_1"})
            files.push_back(shared + "set-b/" + name + ".pgn");
    } else {
        files.push_back(SourceDir() + "tcec_Tournament_4.pgn");
        files.push_back(SourceDir() + "tcec_Match_3.pgn");
    }
    return files;
}

// Sixteen knight trips out and back, four plies each; three of them make copy k's prelude.
std::string Prelude(int k) {
    static const char* white[] = {"Nf3", "Nh3", "Nc3", "Na3"};
    static const char* whiteBack[] = {"Ng1", "Ng1", "Nb1", "Nb1"};
    static const char* black[] = {"Nf6", "Nh6", "Nc6", "Na6"};
    static const char* blackBack[] = {"Ng8", "Ng8", "Nb8", "Nb8"};
    std::string text;
    for (int digit = 0; digit < 3; ++digit, k /= 16) {
        const int w = k % 4, b = (k / 4) % 4;
        text +=
            std::string(white[w]) + ' ' + black[b] + ' ' + whiteBack[w] + ' ' + blackBack[b] + ' ';
    }
    return text;
}

struct Collection {
    std::vector<std::string> games;  // each game's full text
};

// Splits the collections into games and prefixes each copy's movetext with its prelude.
Collection BuildGames(int copies) {
    std::vector<std::string> originals;
    for (const std::string& file : Collections()) {
        std::ifstream in(file, std::ios::binary);
        std::string current;
        bool inTags = false;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line[0] == '[' && !inTags) {
                if (!current.empty()) originals.push_back(current);
                current.clear();
                inTags = true;
            } else if (inTags && !line.empty() && line[0] != '[' && line != "\r") {
                inTags = false;
                line = "\x01" + line;  // where the prelude goes
            }
            current += line + '\n';
        }
        if (!current.empty()) originals.push_back(current);
    }
    Collection all;
    for (int k = 0; k < copies; ++k) {
        const std::string prelude = Prelude(k);
        for (const std::string& game : originals) {
            std::string copy = game;
            const std::size_t mark = copy.find('\x01');
            if (mark == std::string::npos) continue;
            copy.replace(mark, 1, prelude);
            all.games.push_back(copy);
        }
    }
    return all;
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/zelmor-bench-records-XXXXXX";
        dir = mkdtemp(pattern);
        char cwd[4096];
        previous = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
        if (chdir(dir.c_str()) != 0) std::perror("chdir");
        static const bool tables = [] {
            InitEngineTables();
            return true;
        }();
        (void)tables;
    }
    ~Scratch() {
        if (chdir(previous.c_str()) != 0) std::perror("chdir");
        if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) std::perror("rm");
    }
    std::string dir, previous;
};

void WriteGames(const Collection& all, std::size_t count, const char* name) {
    std::ofstream out(name, std::ios::binary);
    for (std::size_t i = 0; i < count && i < all.games.size(); ++i) out << all.games[i];
}

// Runs a command with standard output thrown away; CPU and wall seconds.
template <typename Command>
std::pair<double, double> Timed(Command command) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    const auto start = std::chrono::steady_clock::now();
    const double cpu = ThreadSeconds();
    command();
    const double cpuSeconds = ThreadSeconds() - cpu;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return {cpuSeconds, wall};
}

const Collection& Games() {
    static const Collection all = BuildGames(Copies);
    return all;
}

void Throughput(benchmark::State& state, bool positions) {
    Scratch scratch;
    const Collection& all = Games();
    WriteGames(all, all.games.size(), "big.pgn");
    const double games = static_cast<double>(all.games.size());
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        std::remove("big.gam");
        const auto [c, w] = Timed([&] {
            if (positions)
                Pgn2PosCommand("big.pgn");
            else
                Pgn2GameCommand("big.pgn", "big.gam");
        });
        cpu += c;
        wall += w;
    }
    const double rate = games * static_cast<double>(state.iterations()) / cpu;
    state.counters["games_per_s"] = benchmark::Counter(rate);
    state.counters["games"] = games;
    std::printf("%s: %.0f games, %.0f games/s (CPU time), %.0f games/s (wall clock)\n",
                positions ? "pgn2pos" : "pgn2game", games, rate,
                games * static_cast<double>(state.iterations()) / wall);
}

void Pgn2PosThroughput(benchmark::State& state) { Throughput(state, true); }
void Pgn2GameThroughput(benchmark::State& state) { Throughput(state, false); }

// pgn2game of the first N games into a fresh game file, then of all of them again into that
// file (every game a duplicate): both must cost the same per game whatever N is.
void Pgn2GameScaling(benchmark::State& state) {
    Scratch scratch;
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    WriteGames(Games(), n, "part.pgn");
    double fresh = 0, again = 0;
    for (auto _ : state) {
        std::remove("part.gam");
        fresh += Timed([] { Pgn2GameCommand("part.pgn", "part.gam"); }).first;
        again += Timed([] { Pgn2GameCommand("part.pgn", "part.gam"); }).first;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["us_per_game_new"] = 1e6 * fresh / runs / static_cast<double>(n);
    state.counters["us_per_game_duplicate"] = 1e6 * again / runs / static_cast<double>(n);
    std::printf(
        "pgn2game %zu games: %.3f s new (%.2f us/game), %.3f s all duplicates (%.2f us/game)\n", n,
        fresh / runs, 1e6 * fresh / runs / static_cast<double>(n), again / runs,
        1e6 * again / runs / static_cast<double>(n));
}

}  // namespace

BENCHMARK(Pgn2PosThroughput)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(Pgn2GameThroughput)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(Pgn2GameScaling)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Arg(12500)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000);

BENCHMARK_MAIN();

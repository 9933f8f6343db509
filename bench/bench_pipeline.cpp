// Book-making pipeline speed: dbcreate on a generated key-sorted list of three million position
// lines (lines per second per pass), and the whole pipeline, stage by stage, on 100 000+ real
// games replicated from the shared collection (skipped when it is absent).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "database/database.h"
#include "engine/engine.h"
#include "records/records.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ListLines = 3'000'000;

// Progress and reports go to /dev/null while a stage runs, so the figures stay readable.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(1);
        std::FILE* null = std::fopen("/dev/null", "w");
        dup2(fileno(null), 1);
        std::fclose(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

std::string ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "zelmor-bench-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

// A sorted list like pgn2pos makes: about a third of the keys repeat (positions met in several
// games), both sides to move, all three results, plies 1..64.
std::string MakeList(const std::string& dir) {
    static const char* const Fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
        "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2P2N2/PP1P1PPP/RNBQK2R b KQkq -",
        "r2q1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ -",
        "2r2rk1/1p1qbppp/p2pbn2/4p3/4P3/1NN1BP2/PPPQ2PP/2KR1B1R b - -",
    };
    std::mt19937_64 random(2024);
    std::vector<u64> keys;
    keys.reserve(ListLines);
    while (keys.size() < ListLines) {
        const u64 key = random();
        const int repeats =
            1 + static_cast<int>(random() % 3 == 0) * static_cast<int>(random() % 4);
        for (int i = 0; i < repeats && keys.size() < ListLines; ++i) keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    const std::string path = dir + "positions.lst";
    std::FILE* out = std::fopen(path.c_str(), "w");
    for (u64 key : keys) {
        std::fprintf(out, "%016" PRIX64 "\t%s\t%c\t%d\n", key, Fens[key % 6], "WBD"[random() % 3],
                     static_cast<int>(1 + random() % 64));
    }
    std::fclose(out);
    return path;
}

void BM_DbCreate(benchmark::State& state) {
    const std::string dir = ScratchDir();
    const std::string list = MakeList(dir);
    const char side = state.range(0) ? 'W' : 'B';
    std::string error;
    for (auto _ : state) {
        QuietStdout quiet;
        if (!createDatabase(list, dir + "out.db", side, error)) state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(static_cast<i64>(state.iterations() * ListLines));
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(ListLines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["MB"] = static_cast<double>(fs::file_size(list)) / 1e6;
    fs::remove_all(dir);
}
BENCHMARK(BM_DbCreate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_Pipeline(benchmark::State& state) {
    // The repository root from this file's own path; the shared data lies beside it.
    const fs::path root = fs::path(__FILE__).parent_path().parent_path();
    const fs::path collection = root / "../shared/data/pgn/masters_a.pgn";
    if (!fs::exists(collection)) {
        state.SkipWithError("shared game collection not found");
        for (auto _ : state) {
        }
        return;
    }
    InitEngineTables();
    const std::string dir = ScratchDir();
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    // 2431 games, 42 times over.
    constexpr int Copies = 42;
    {
        std::ifstream in(collection, std::ios::binary);
        const std::string games((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::ofstream out("games.pgn", std::ios::binary);
        for (int i = 0; i < Copies; ++i) out << games << "\n";
    }
    for (auto _ : state) {
        QuietStdout quiet;
        auto start = std::chrono::steady_clock::now();
        Pgn2PosCommand("games.pgn");
        state.counters["1 pgn2pos s"] = Seconds(start);

        // Sorting as text in the C locale and joining 0..F, as make-book does.
        start = std::chrono::steady_clock::now();
        std::string command = ": > positions.lst";
        for (const char* digit :
             {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"}) {
            command += std::string(" && LC_ALL=C sort ") + digit + ".pos >> positions.lst";
        }
        if (std::system(command.c_str()) != 0) state.SkipWithError("sort failed");
        state.counters["2 sort s"] = Seconds(start);

        start = std::chrono::steady_clock::now();
        DbCreateCommand("positions.lst", "db");
        state.counters["3 dbcreate s"] = Seconds(start);
        fs::rename("db_black.db", "black.db");
        fs::rename("db_white.db", "white.db");

        start = std::chrono::steady_clock::now();
        BookCreateCommand();
        state.counters["4 bookcreate s"] = Seconds(start);
    }
    std::ifstream list("positions.lst");
    state.counters["games"] = 2431.0 * Copies;
    state.counters["positions"] =
        static_cast<double>(std::count(std::istreambuf_iterator<char>(list), {}, '\n'));
    state.counters["book records"] =
        static_cast<double>((fs::file_size("bookbtm.zbk") + fs::file_size("bookwtm.zbk")) / 6);
    fs::current_path(previous);
    fs::remove_all(dir);
}
BENCHMARK(BM_Pipeline)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

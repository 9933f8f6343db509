// Helper search threads: a pool that grows to searchThreadCount - 1 threads on demand and keeps
// them between searches, each waiting for the next search thread 0 starts. Thread 0 copies its
// position, history and root restriction into the hand-over record before it wakes them; they
// copy it into their own state, so nothing of thread 0's is read while it searches.
#include "search/threads.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

std::atomic<bool> helpersStop{false};

namespace {

// What thread 0 hands over at the start of a search: written before the helpers are woken,
// read-only until every helper is idle again.
struct HandOver {
    Position position;
    HistoryEntry history[HistorySize];
    long historyCount;  // entries up to and including the top
    Move barred[MaxGeneratedMoves];
    int barredCount;
    bool restricted;
    u32 maxDepth;  // a front end may change the limit while the search runs
};
HandOver handOver;

// A cache line each: helpers publish their counts without disturbing one another.
struct alignas(64) Helper {
    std::thread thread;
    std::atomic<u64> nodes{0};
};

// Helpers look at their stop this often: thread 0 waits for every one of them when it stops,
// and with more threads than processors each gets only its share of one.
constexpr u64 HelperPollInterval = 1024;

class HelperPool {
public:
    ~HelperPool() {
        {
            std::lock_guard lock(mutex_);
            quitting_ = true;
        }
        wake_.notify_all();
        for (std::size_t i = 0; i < started_; ++i) helpers_[i].thread.join();
    }

    // Wakes `active` helpers (at most MaxSearchThreads - 1) for a new search, starting threads
    // as needed.
    void Start(int active) {
        std::lock_guard lock(mutex_);
        const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(active), Size);
        for (; started_ < wanted; ++started_) {
            const std::size_t index = started_;
            helpers_[index].thread = std::thread([this, index] { Run(index); });
        }
        for (std::size_t i = 0; i < wanted; ++i)
            helpers_[i].nodes.store(0, std::memory_order_relaxed);
        active_ = static_cast<int>(wanted);
        running_ = active_;
        ++generation_;
        wake_.notify_all();
    }

    // Waits until every helper of the search is idle.
    void Wait() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return running_ == 0; });
    }

    u64 Nodes() const {
        u64 sum = 0;
        for (int i = 0; i < active_; ++i) sum += helpers_[i].nodes.load(std::memory_order_relaxed);
        return sum;
    }

    std::atomic<u64>& NodesOf(int index) { return helpers_[index].nodes; }

private:
    void Run(std::size_t index) {
        StartWorker();
        worker.helper = true;
        u64 seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return quitting_ || generation_ != seen; });
                if (quitting_) return;
                seen = generation_;
                if (index >= static_cast<std::size_t>(active_)) continue;
            }
            ownNodes = &helpers_[index].nodes;
            HelperSearch(static_cast<int>(index) + 1);
            std::lock_guard lock(mutex_);
            if (--running_ == 0) idle_.notify_all();
        }
    }

public:
    static thread_local std::atomic<u64>* ownNodes;

private:
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    static constexpr std::size_t Size = MaxSearchThreads - 1;
    Helper helpers_[Size];
    std::size_t started_ = 0;
    int active_ = 0;   // helpers of the current search
    int running_ = 0;  // of those, still searching
    u64 generation_ = 0;
    bool quitting_ = false;
};

thread_local std::atomic<u64>* HelperPool::ownNodes = nullptr;

// Made on first use, so that it is destroyed, its threads joined, before anything it uses.
HelperPool& Pool() {
    static HelperPool pool;
    return pool;
}

bool poolMade = false;  // the pool exists: some search had helpers
bool helpersRunning = false;

}  // namespace

bool HelperPoll() {
    PublishHelperNodes();
    // A stopping poll leaves nextPoll alone, so that every node above it polls and aborts at
    // once too: none of them may take the aborted child's value for a score and store it.
    if (HelpersStopped()) return true;
    worker.nextPoll += HelperPollInterval;
    return false;
}

void StartHelpers() {
    const int helpers = searchThreadCount - 1;
    if (helpers <= 0) {
        // The node counts of an earlier search's helpers no longer count.
        if (poolMade) Pool().Start(0);
        return;
    }
    handOver.position = pos;
    handOver.historyCount = historyTop - history + 1;
    for (long i = 0; i < handOver.historyCount; ++i) handOver.history[i] = history[i];
    handOver.maxDepth = maxDepth;
    handOver.restricted = rootMoveBarred != nullptr;
    handOver.barredCount = 0;
    if (handOver.restricted) {
        ScoredMove list[MaxGeneratedMoves];
        const ScoredMove* end = GenerateMoves(list, worker.plyRecords[0].checkInfo);
        for (const ScoredMove* p = list; p < end; ++p)
            if (rootMoveBarred(p->move)) handOver.barred[handOver.barredCount++] = p->move;
    }
    helpersStop.store(false, std::memory_order_relaxed);
    Pool().Start(helpers);
    poolMade = true;
    helpersRunning = true;
}

void StopHelpers() {
    if (!helpersRunning) return;
    helpersStop.store(true, std::memory_order_relaxed);
    Pool().Wait();
    helpersRunning = false;
}

u64 HelperNodes() { return poolMade ? Pool().Nodes() : 0; }

void PublishHelperNodes() {
    HelperPool::ownNodes->store(worker.nodeCount, std::memory_order_relaxed);
}

u32 HelperMaxDepth() { return handOver.maxDepth; }

bool HelperRootRestricted() { return handOver.restricted; }

bool HelperRootBarred(Move move) {
    for (int i = 0; i < handOver.barredCount; ++i)
        if (handOver.barred[i] == move) return true;
    return false;
}

// A helper takes over thread 0's position and history.
void TakeHandOver() {
    pos = handOver.position;
    for (long i = 0; i < handOver.historyCount; ++i) history[i] = handOver.history[i];
    historyTop = history + handOver.historyCount - 1;
}

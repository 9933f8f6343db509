// Helper search threads (threads.cpp), internal to the search. Thread 0 is the thread that calls
// SearchIterative: it starts the helpers once its root is set up and stops them before it
// returns. Helpers search the same root with their own position, history and worker, share only
// the table, and stop when thread 0 is done.
#pragma once

#include <atomic>

#include "search/search.h"

// Set while helpers must unwind; read at their polls and root moves.
extern std::atomic<bool> helpersStop;

inline bool HelpersStopped() { return helpersStop.load(std::memory_order_relaxed); }

// A helper that sees its stop outside a poll (after a null move, before a re-search) makes its
// next poll due at once, so that every node above it aborts too, as thread 0's do after the
// engine's stop: none of them may take an aborted value for a score.
inline bool HelperStopSeen() {
    if (!HelpersStopped()) return false;
    worker.nextPoll = 0;
    return true;
}

// Whether the calling thread's search must unwind: thread 0 answers to its stop flag (the
// engine's), helpers to helpersStop.
inline bool SearchStopped() { return worker.helper ? HelperStopSeen() : stopSearch; }

// A helper's poll, every 1024 nodes: publishes its node count and tells whether to stop.
bool HelperPoll();
void PublishHelperNodes();
// A helper takes over thread 0's position and history.
void TakeHandOver();

// Thread 0 at the start of its iterations (root check information found) and before it
// returns; nothing happens with one search thread.
void StartHelpers();
void StopHelpers();

// A helper's whole search of the root thread 0 handed over (root.cpp): iterative deepening from
// a depth of its own until helpersStop or the depth limit. `index` counts helpers from 1.
void HelperSearch(int index);

// The root restriction handed to helpers: thread 0's rootMoveBarred answers, taken once at the
// start, so that a front end may change its lists while helpers search.
bool HelperRootBarred(Move move);
bool HelperRootRestricted();
// Thread 0's depth limit at the start.
u32 HelperMaxDepth();

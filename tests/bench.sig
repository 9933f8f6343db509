# Zelmor's search signature: the summed nodeCount of the positions in
# tests/search/bench_positions.h, each searched from a fresh set-up to a fixed iteration depth
# with no clock and no input. bench_search prints it for the full depth; test_search checks the
# cheaper depth. A change in search behaviour changes both; the commit says why.
depth 8 nodes 3977959
depth 6 nodes 617064

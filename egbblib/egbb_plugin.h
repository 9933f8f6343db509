/* Zelmor's endgame bitbase plug-in, egbbso64.so: the two C entry points the engine looks up
 * with dlsym after loading <EGBB_PATH>egbbso64.so. Answers come from Gaviota endgame tables.
 *
 * Encoding of a probe
 *   side      0 = White to move, 1 = Black to move
 *   squares   a1 = 0, b1 = 1, ..., h1 = 7, a2 = 8, ..., h8 = 63
 *   men       0 none, 2 white queen, 3 white rook, 4 white bishop, 5 white knight, 6 white pawn,
 *             8 black queen, 9 black rook, 10 black bishop, 11 black knight, 12 black pawn;
 *             a slot holding man 0 is empty and its square is ignored. Kings are never men.
 *
 * Answer, from the side to move's point of view
 *   win, mate in n plies    17000 - 10 * n      (n capped at 999, so always above 7000)
 *   loss, mated in n plies  -(17000 - 10 * n)   (-17000 when already mated)
 *   draw                    0
 *   no answer               99999: no table for this material, a failed or damaged table read,
 *                           a probe before load_egbb_5men, or an impossible position (a square
 *                           outside 0..63, an unknown man code, two men on one square, adjacent
 *                           kings, a pawn on the first or last rank, the side not to move in
 * check). The engine compresses every score above 7000 as 7000 + (s - 7000) / 10, so a bitbase win
 * in n plies reads 8000 - n there: one unit per ply, always below the engine's own mate scores.
 *
 * Loading
 *   load_egbb_5men(directory, cacheBytes, loadMode) may be called again to reload; until the
 *   first call every probe answers 99999.
 *   - directory: the configured directory, with or without its trailing '/' (or '\').
 *     The tables are Gaviota files named like kqk.gtb.cp4 lying directly in it. One compression
 *     scheme is read per directory: the scheme with the most files there (cp4 on a tie). When
 *     the directory holds no usable table, the tables installed by Debian's gaviotatb package
 *     (all 3-man endings) are used instead.
 *   - cacheBytes: size of the table cache; zero or negative gives the smallest cache.
 *   - loadMode: accepted and ignored (every table is read on demand through the cache).
 *
 * Damaged tables
 *   When loading, every table file is checked: a complete header with plausible sizes, and a
 *   block index whose offsets run in order inside the file. Files that fail are left out, with
 *   one line on standard error naming each, and their endings answer 99999 (when no sound table
 *   is left, the installed tables are used instead).
 *   Not detectable without decoding every block: offsets that were altered but still run in
 *   order, altered block contents, a sound table renamed to another ending. With cp2, cp3 and
 *   cp4 tables the probing library then reports a failed read (answer 99999) or answers for the
 *   wrong ending; its cp1 (Huffman) decoder, however, can crash on an altered block start or
 *   block index, so damaged cp1 tables must be replaced. Debian ships the same tables in all
 *   four schemes; cp4 is the one read by default.
 */
#ifndef ZELMOR_EGBB_PLUGIN_H
#define ZELMOR_EGBB_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

void load_egbb_5men(const char* directory, int cacheBytes, int loadMode);

int probe_egbb_5men(int side, int whiteKing, int blackKing, int man1, int square1, int man2,
                    int square2, int man3, int square3);

#ifdef __cplusplus
}
#endif

#endif

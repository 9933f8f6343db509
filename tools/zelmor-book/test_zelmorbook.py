"""Tests of zelmor-book: where a collection is cut into parts, and the whole job on a local
cluster of two workers against scripts/make-book, byte for byte (books and databases).

Run: /usr/bin/python3 -m unittest discover -s tools/zelmor-book  (ZELMOR names the engine;
without a built engine the end-to-end tests are skipped)."""

import gzip
import io
import lzma
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import zelmorbook  # noqa: E402

# Games that make cutting hard. Each "#" line marks where a cut is safe (the marker lines are
# removed before use); everywhere else a '[' at a line start must stay with the part before.
AWKWARD = b"""\
[Event "plain (a tag with a { brace and ; too)"]
[Result "1-0"]

1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 1-0
#
[Event "a comment that looks like the next game"]
[Result "0-1"]

1. d4 d5 2. c4 {a long remark
[Event "not a game"]
[Result "1-0"]
1-0 } e6 3. Nc3 Nf6 0-1
#
[Event "a variation holding a result and a tag-like line"]
[Result "1/2-1/2"]

1. c4 (1. e4 c5
[Site "inside"]
1-0) 1... e5 2. Nc3 Nf6 1/2-1/2 ; a remark after the result
#
[Event "no result token: the reader gives it up at the next tags"]
[Result "1-0"]

1. Nf3 d5 2. g3
[Event "so the cut is not here"]
[Result "0-1"]

1. e4 c5 2. Nf3 d6 0-1
#
[Event "an unknown move: the game is skipped"]
[Result "1-0"]

1. e4 Zz9 2. Nf3 1-0
#
[Event "windows line ends"]\r
[Result "1-0"]\r
\r
1. f4 d5 2. Nf3 1-0\r
#
[Event "undecided"]
[Result "*"]

1. b3 e5 *
#
[Event "comment after the result"]
[Result "0-1"]

1. g3 d5 2. Bg2 e5 0-1 {Black wins
[Event "still the comment"] }
#
[Event "last"]
[Result "1/2-1/2"]

1. Nc3 d5 2. e4 d4 1/2-1/2
"""


def awkward_text():
    return AWKWARD.replace(b"#\n", b"")


def expected_parts():
    return [p for p in AWKWARD.split(b"#\n")]


def split_bytes(path, part_size):
    parts = []

    class Part(io.BytesIO):
        def close(self):
            if not self.closed:
                parts.append(self.getvalue())
            super().close()

    zelmorbook.split_pgn(path, part_size, Part)
    return parts


class SplitTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zelmor-book-test-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_cuts_only_where_the_reader_starts_a_new_game(self):
        text = awkward_text()
        plain = self.write("a.pgn", text)
        # Smallest parts: a cut at every safe place and nowhere else; nothing lost or doubled.
        self.assertEqual(split_bytes(plain, 1), expected_parts())
        # Big parts: one part, the whole text.
        self.assertEqual(split_bytes(plain, 1 << 30), [text])
        # Compressed inputs read as the same stream and cut the same way.
        gz = self.write("a.pgn.gz", gzip.compress(text))
        xz = self.write("a.pgn.xz", lzma.compress(text))
        self.assertEqual(split_bytes(gz, 1), expected_parts())
        self.assertEqual(split_bytes(xz, 1), expected_parts())
        # A part runs on to the first safe cut after it reaches its size.
        parts = split_bytes(plain, 200)
        self.assertEqual(b"".join(parts), text)
        self.assertTrue(all(len(p) >= 200 for p in parts[:-1]))
        self.assertLess(len(parts), len(expected_parts()))

    def test_parts_are_the_same_whatever_the_read_blocks(self):
        # Every part is the run of safe pieces that first reaches the part size, whether the
        # reader follows a block line by line or only looks at its last line.
        pieces = expected_parts() * 6
        path = self.write("many.pgn", b"".join(pieces))
        saved = zelmorbook.BLOCK_SIZE
        try:
            for block in (7, 64, 1000, saved):
                zelmorbook.BLOCK_SIZE = block
                for size in (150, 700, 5000):
                    greedy, current = [], b""
                    for piece in pieces:
                        if len(current) >= size:
                            greedy.append(current)
                            current = b""
                        current += piece
                    greedy.append(current)
                    self.assertTrue(split_bytes(path, size) == greedy, (block, size))
        finally:
            zelmorbook.BLOCK_SIZE = saved

    def test_over_long_lines_and_bad_input(self):
        # A line longer than a read is passed on whole and never taken for a cut.
        huge = b"[Result \"1-0\"]\n\n1. e4 {" + b"x" * (3 * zelmorbook.READ_LIMIT) + b"} 1-0\n"
        path = self.write("long.pgn", huge * 2)
        self.assertTrue(split_bytes(path, 1) == [huge, huge])
        with self.assertRaisesRegex(zelmorbook.BookError, "cannot read PGN file"):
            split_bytes(os.path.join(self.dir, "missing.pgn"), 1)
        broken = self.write("broken.pgn.xz", lzma.compress(awkward_text())[:-40])
        with self.assertRaisesRegex(zelmorbook.BookError, "cannot read PGN file"):
            split_bytes(broken, 1)


ZELMOR = os.environ.get("ZELMOR") or os.path.join(ROOT, "build", "zelmor")


@unittest.skipUnless(os.access(ZELMOR, os.X_OK), f"no Zelmor binary at {ZELMOR}")
class ClusterTest(unittest.TestCase):
    """The whole job on a local cluster of two worker processes."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="zelmor-book-cluster-")
        games = os.path.join(ROOT, "books")
        collection = sorted(os.path.join(games, f) for f in os.listdir(games)
                            if f.endswith((".pgn", ".pgn.xz", ".pgn.gz")))
        # A slice of the shipped collection (a few hundred games) and the awkward games, twice
        # over so that positions repeat across parts and key ranges.
        with lzma.open(collection[0]) as f:
            head = f.read(300_000)
        head = head[:head.rindex(b"\n[Event ")]
        cls.inputs = [os.path.join(cls.dir, "head.pgn.gz"), os.path.join(cls.dir, "awkward.pgn")]
        with gzip.open(cls.inputs[0], "wb") as f:
            f.write(head + b"\n\n")
        with open(cls.inputs[1], "wb") as f:
            f.write(awkward_text() * 2)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def zelmor_book(self, *arguments):
        return subprocess.run(
            [sys.executable, os.path.join(HERE, "zelmor-book"), "--zelmor", ZELMOR, "--quiet",
             "--workers", "2", *arguments], capture_output=True, text=True)

    def test_same_book_and_database_as_make_book(self):
        made = os.path.join(self.dir, "make-book")
        run = subprocess.run([os.path.join(ROOT, "scripts", "make-book"), "--zelmor", ZELMOR,
                              "--keep-db", made, *self.inputs], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        for relative in ([], ["--relative"]):
            built = os.path.join(self.dir, "zelmor-book" + "".join(relative))
            run = self.zelmor_book("--keep-db", "--part-size", "30000", *relative, built,
                                   *self.inputs)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertRegex(run.stdout, r"pgn2pos: ([3-9]|\d\d+) parts")
            self.assertFalse(os.path.exists(os.path.join(built, ".zelmor-book-work")))
            if relative:
                continue
            for name in ("bookbtm.zbx", "bookbtm.zbk", "bookwtm.zbx", "bookwtm.zbk", "black.db",
                         "white.db"):
                with open(os.path.join(made, name), "rb") as a, \
                        open(os.path.join(built, name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)
        # The relative rule keeps more for Black than the half rule does.
        self.assertGreater(os.path.getsize(os.path.join(self.dir, "zelmor-book--relative",
                                                        "bookwtm.zbk")),
                           os.path.getsize(os.path.join(made, "bookwtm.zbk")))

    def test_clear_errors(self):
        out = os.path.join(self.dir, "refused")
        run = self.zelmor_book(out, os.path.join(self.dir, "missing.pgn"))
        self.assertEqual(run.returncode, 1)
        self.assertIn("zelmor-book: cannot read PGN file", run.stderr)
        # A game without a Result tag stops Zelmor's conversion: make-book refuses the file,
        # and so does zelmor-book, naming the part.
        bad = os.path.join(self.dir, "no-result.pgn")
        with open(bad, "wb") as f:
            f.write(b"[Event \"x\"]\n\n1. e4 e5 1-0\n")
        run = self.zelmor_book(out, bad)
        self.assertEqual(run.returncode, 1)
        self.assertIn("pgn2pos failed", run.stderr)
        self.assertIn("Result Error 2", run.stderr)


if __name__ == "__main__":
    unittest.main()

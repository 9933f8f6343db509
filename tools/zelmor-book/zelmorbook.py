"""zelmor-book: Zelmor's opening book from large PGN collections, on a Dask cluster.

The job is the one scripts/make-book does on one core, cut where it splits naturally:

1. split: every PGN file (.pgn, .pgn.gz, .pgn.xz) is read once, in order, as a stream, and cut
   into parts of about --part-size bytes at game boundaries (see safe_cut);
2. pgn2pos: Zelmor converts each part into its sixteen position lists, one task a part;
3. sort and dbcreate: for each first key digit 0..F, the lists of all parts are sorted as text
   and turned into that key range's black and white databases, one task a digit;
4. the sixteen databases of each side, concatenated in key order, are the position database;
   "bookcreate" (or "bookcreaterel") reads it once and writes the book.

Because a key range holds whole sets of equal keys and the text sort orders lines the same
whatever the order of its input, the result is byte for byte what scripts/make-book writes.

Intermediate files live in one working directory (--workdir), which every worker must see at the
same path; it is removed at the end.
"""

import argparse
import gzip
import lzma
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

DIGITS = "0123456789ABCDEF"
RESULTS = (b"1-0", b"0-1", b"1/2-1/2", b"*")
SPECIAL = re.compile(rb"[{}();]")


def special_outside_tags(block):
    """Whether a comment, variation or ';' character stands on a line that is not a tag line
    (tag values may hold any of them)."""
    for match in SPECIAL.finditer(block):
        if block[block.rfind(b"\n", 0, match.start()) + 1] != 0x5B:  # '['
            return True
    return False
# Longest piece of a line read at once: a file without line ends still streams.
READ_LIMIT = 1 << 20
# Bytes read at once (then completed to a line end).
BLOCK_SIZE = 1 << 22


class BookError(Exception):
    """A failure the user gets as one clear line."""


# ------------------------------------------------------------------------------------------
# Splitting


class CutTracker:
    """Follows a PGN text line by line closely enough to know where a part may end.

    A cut is safe before a line that starts with '[' when Zelmor's PGN reader, reading the whole
    file, would start a new game's tags exactly there: the previous game's movetext ended with a
    result token and no '{' comment or '(' variation is open. Anywhere else (a game without its
    result, an open comment, a tag section) the line is kept with the part before, so that every
    part reads as the same games the whole file gives. Braces count only inside comments and
    parentheses only inside variations, as the reader counts them; ';' comments run to the line
    end."""

    def __init__(self):
        self.in_tags = True  # before the first movetext line, or among tag lines
        self.braces = 0
        self.parens = 0
        self.last_token = b""

    def cut_before(self, line):
        """Whether a part may end before `line` (a whole line), then takes the line in."""
        stripped = line.strip()
        if not stripped:
            return False
        if self.braces == 0 and self.parens == 0 and line.startswith(b"["):
            safe = not self.in_tags and self.last_token in RESULTS
            self.in_tags = True
            return safe
        self.in_tags = False
        self.scan(stripped)
        return False

    def take_block(self, block):
        """Whole lines without comments, variations or ';' and no cut among them: only the
        last line that is not blank sets the state."""
        text = block[-4096:].rstrip()  # blocks end in a few short lines: no copy of the whole
        if b"\n" not in text:
            text = block.rstrip()
        if not text:
            return
        line = text[text.rfind(b"\n") + 1:]
        if line.startswith(b"["):
            self.in_tags = True
        else:
            self.in_tags = False
            self.last_token = line.split()[-1]

    def take_piece(self, piece):
        """A piece of an over-long line: never a cut, but its text counts."""
        if piece.strip():
            self.in_tags = False
            self.scan(piece.strip())

    def scan(self, text):
        outside = []
        at = 0  # start of the text outside comments and variations not yet taken
        for match in SPECIAL.finditer(text):
            c, i = match.group(), match.start()
            if self.braces:
                self.braces += (c == b"{") - (c == b"}")
                at = i + 1
            elif self.parens:
                self.parens += (c == b"(") - (c == b")")
                at = i + 1
            elif c == b";":
                outside.append(text[at:i])
                at = len(text)
                break
            elif c in (b"{", b"("):
                outside.append(text[at:i])
                self.braces, self.parens = int(c == b"{"), int(c == b"(")
        if not self.braces and not self.parens:
            outside.append(text[at:])
        tokens = b" ".join(outside).split()
        if tokens:
            self.last_token = tokens[-1]
        elif self.braces or self.parens:
            self.last_token = b""


class _CountingReader:
    """A raw file that counts the bytes read, for the progress of a compressed input."""

    def __init__(self, raw):
        self.raw = raw
        self.count = 0

    def read(self, n=-1):
        data = self.raw.read(n)
        self.count += len(data)
        return data

    def readinto(self, buffer):
        n = self.raw.readinto(buffer)
        self.count += n or 0
        return n

    def readable(self):
        return True

    def close(self):
        self.raw.close()


def open_pgn(path):
    """(stream of bytes, counter of raw bytes read) for .pgn, .pgn.gz and .pgn.xz."""
    try:
        raw = _CountingReader(open(path, "rb"))
    except OSError as error:
        raise BookError(f"cannot read PGN file {path}: {error.strerror}") from None
    if path.endswith(".xz"):
        return lzma.LZMAFile(raw), raw
    if path.endswith(".gz"):
        return gzip.GzipFile(fileobj=raw), raw
    return raw.raw, raw


def split_pgn(path, part_size, make_part, progress=None):
    """Reads `path` once and cuts it into parts of about `part_size` bytes at safe game
    boundaries. make_part() gives a new binary file to write a part into; each part is closed
    before the next is opened, and the number of parts is returned. progress(raw bytes read)
    is called as the input goes by.

    The input is read in blocks of whole lines. A block that cannot hold a cut (the part stays
    below its size) and has no comment, variation or ';' outside its tag lines only needs its
    last line looked at; other blocks are followed line by line."""
    stream, counter = open_pgn(path)
    tracker = CutTracker()
    out = None
    written = 0
    parts = 0
    whole_line = True  # the next piece starts a line

    def read(size, line):
        try:
            return stream.readline(size) if line else stream.read(size)
        except (OSError, EOFError, lzma.LZMAError) as error:
            raise BookError(f"cannot read PGN file {path}: {error}") from None

    def take(piece):
        nonlocal out, written, parts, whole_line
        if whole_line and piece.endswith(b"\n"):
            if tracker.cut_before(piece) and written >= part_size:
                out.close()
                out = None
        else:
            tracker.take_piece(piece)
        whole_line = piece.endswith(b"\n")
        if out is None:
            out = make_part()
            parts += 1
            written = 0
        out.write(piece)
        written += len(piece)

    try:
        while True:
            block = read(BLOCK_SIZE, False)
            if not block:
                break
            if not block.endswith(b"\n"):
                block += read(READ_LIMIT, True)  # to the line end, unless the line is huge
            if (out is not None and whole_line and block.endswith(b"\n")
                    and written + len(block) < part_size and tracker.braces == 0
                    and tracker.parens == 0 and not special_outside_tags(block)):
                tracker.take_block(block)
                out.write(block)
                written += len(block)
            else:
                lines = block.split(b"\n")
                last = lines.pop()
                for line in lines:
                    take(line + b"\n")
                if last:
                    take(last)
            if progress:
                progress(counter.count)
    finally:
        if out is not None:
            out.close()
        stream.close()
        counter.close()
    if progress:
        progress(counter.count)
    return parts


# ------------------------------------------------------------------------------------------
# Running Zelmor

HANDSHAKE = "xboard\nprotover 2\naccepted done\naccepted setboard\n"
STARTUP_NOISE = (b"feature ", b"BOOK ERROR", b"EGBB ", b"ERROR: Zelmor.ini")


def run_zelmor(zelmor, directory, *commands):
    """Runs Zelmor in `directory` with the commands given; returns what it printed after its
    start-up report. An empty Zelmor.ini of its own keeps the user's settings out."""
    ini = os.path.join(directory, "Zelmor.ini")
    if not os.path.exists(ini):
        open(ini, "w").close()
    text = HANDSHAKE + "".join(c + "\n" for c in commands) + "quit\n"
    try:
        run = subprocess.run([zelmor], cwd=directory, input=text.encode(),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    except OSError as error:
        raise BookError(f"cannot run Zelmor ({zelmor}): {error.strerror}") from None
    if run.returncode != 0:
        raise BookError(f"Zelmor failed in {directory} (exit code {run.returncode})")
    lines = [line for line in run.stdout.split(b"\n")
             if line and not line.startswith(STARTUP_NOISE)]
    return b"\n".join(lines).decode("latin-1")


def _replace_dir(final, build):
    """Puts the finished directory `build` in place of `final` (a retried task's leftovers go)."""
    if os.path.exists(final):
        shutil.rmtree(final)
    os.rename(build, final)


def pgn2pos_task(zelmor, part, outdir):
    """pgn2pos of one part into outdir/0.pos .. F.pos; returns (converted, skipped)."""
    build = tempfile.mkdtemp(prefix=".build-", dir=os.path.dirname(outdir))
    os.symlink(os.path.abspath(part), os.path.join(build, "games.pgn"))
    output = run_zelmor(zelmor, build, "pgn2pos games.pgn")
    os.remove(os.path.join(build, "games.pgn"))
    os.remove(os.path.join(build, "Zelmor.ini"))
    if "finished" not in output or any(line.startswith(("ERROR: ", "Cannot "))
                                       for line in output.split("\n")):
        shutil.rmtree(build, ignore_errors=True)
        last = [line for line in output.split("\n") if line.startswith(("ERROR: ", "Cannot "))]
        raise BookError(f"pgn2pos failed on {part}: {last[-1] if last else output[-200:]}")
    converted = skipped = 0
    for line in output.split("\n"):
        if line.startswith("converted: "):
            words = line.replace(".", " ").replace(")", " ").split()
            converted, skipped = int(words[1]), int(words[-1])
    _replace_dir(outdir, build)
    return converted, skipped


def range_task(zelmor, digit, posdirs, workdir, sort_memory):
    """Sorts the digit's position lists of every part and builds that key range's databases;
    returns (path of black db, path of white db, positions)."""
    build = tempfile.mkdtemp(prefix=f".range{digit}-", dir=workdir)
    lists = [os.path.join(d, f"{digit}.pos") for d in posdirs]
    missing = [p for p in lists if not os.path.exists(p)]
    if missing:
        raise BookError(f"position list missing: {missing[0]}")
    target = os.path.join(build, "positions.lst")
    env = dict(os.environ, LC_ALL="C")
    # The file list goes through a file: a collection of many parts exceeds a command line.
    with open(os.path.join(build, "lists"), "wb") as f:
        f.write(b"\0".join(p.encode() for p in lists))
    sort = subprocess.run(["sort", "--parallel=1", "-S", sort_memory, "-T", build,
                           "--files0-from", os.path.join(build, "lists"), "-o", target],
                          env=env, stderr=subprocess.PIPE, check=False)
    if sort.returncode != 0:
        raise BookError(f"sorting the {digit} position lists failed: "
                        f"{sort.stderr.decode(errors='replace').strip()}")
    with open(target, "rb") as f:
        positions = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))
    output = run_zelmor(zelmor, build, "dbcreate positions.lst db")
    if not output.rstrip().endswith("created."):
        raise BookError(f"dbcreate failed for key range {digit}: {output[-200:]}")
    os.remove(target)
    final = os.path.join(workdir, f"range{digit}")
    _replace_dir(final, build)
    return (os.path.join(final, "db_black.db"), os.path.join(final, "db_white.db"), positions)


# ------------------------------------------------------------------------------------------
# The job


def find_zelmor(given):
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    zelmor = given or os.environ.get("ZELMOR") or os.path.join(root, "build", "zelmor")
    if not (os.path.isfile(zelmor) and os.access(zelmor, os.X_OK)):
        raise BookError(f"Zelmor binary not found or not executable: {zelmor} (build it first)")
    return os.path.abspath(zelmor)


def concatenate(paths, target):
    with open(target, "wb") as out:
        for path in paths:
            with open(path, "rb") as f:
                shutil.copyfileobj(f, out, 1 << 20)


class Bar:
    """A one-line progress bar on standard error (a line per tenth when it is no terminal)."""

    def __init__(self, title, total, quiet=False):
        self.title, self.total, self.quiet = title, max(total, 1), quiet
        self.tty = sys.stderr.isatty()
        self.shown = -1

    def update(self, done):
        if self.quiet:
            return
        fraction = min(done / self.total, 1.0)
        if self.tty:
            filled = int(fraction * 40)
            sys.stderr.write(f"\r{self.title} [{'#' * filled}{'.' * (40 - filled)}] "
                             f"{fraction * 100:5.1f}%")
            sys.stderr.flush()
        elif int(fraction * 10) > self.shown:
            self.shown = int(fraction * 10)
            print(f"{self.title}: {self.shown * 10}%", file=sys.stderr, flush=True)

    def finish(self):
        self.update(self.total)
        if self.tty and not self.quiet:
            sys.stderr.write("\n")


def wait_all(futures, title, quiet):
    """Results of the futures in order, with a bar; a failed task's error ends the job."""
    from distributed import as_completed
    from distributed.scheduler import KilledWorker

    bar = Bar(title, len(futures), quiet)
    done = 0
    bar.update(0)
    try:
        for future in as_completed(futures):
            if future.status == "error":
                error = future.exception()
                if isinstance(error, KilledWorker):
                    raise BookError(f"{title}: the workers running a task died too often "
                                    f"({error})")
                raise BookError(str(error) if isinstance(error, BookError)
                                else f"{title}: {type(error).__name__}: {error}")
            done += 1
            bar.update(done)
    finally:
        if done == len(futures):
            bar.finish()
        elif not quiet and bar.tty:
            sys.stderr.write("\n")
    return [f.result() for f in futures]


def build_book(args, client, log=print):
    """The whole job on a connected Dask client. Returns a summary dict."""
    zelmor = find_zelmor(args.zelmor)
    for pgn in args.pgn:
        if not (os.path.isfile(pgn) and os.access(pgn, os.R_OK)):
            raise BookError(f"cannot read PGN file: {pgn}")
    outdir = os.path.abspath(args.outdir)
    os.makedirs(outdir, exist_ok=True)
    workdir = os.path.abspath(args.workdir or os.path.join(outdir, ".zelmor-book-work"))
    if os.path.exists(workdir):
        shutil.rmtree(workdir)
    os.makedirs(os.path.join(workdir, "parts"))
    os.makedirs(os.path.join(workdir, "pos"))
    timings = {}
    try:
        # 1+2. Split, each part converted as soon as it is written.
        start = time.monotonic()
        part_futures, posdirs = [], []
        for pgn in args.pgn:
            total = os.path.getsize(pgn)
            bar = Bar(f"reading {os.path.basename(pgn)}", total, args.quiet)

            def make_part():
                number = len(posdirs)
                path = os.path.join(workdir, "parts", f"p{number:06d}.pgn")
                posdirs.append(os.path.join(workdir, "pos", f"p{number:06d}"))
                return _PartFile(path, lambda p=path, d=posdirs[-1]: part_futures.append(
                    client.submit(pgn2pos_task, zelmor, p, d, key=f"pgn2pos-{os.path.basename(d)}",
                                  retries=0)))

            split_pgn(pgn, args.part_size, make_part, bar.update)
            bar.finish()
        timings["split"] = time.monotonic() - start
        counts = wait_all(part_futures, "pgn2pos", args.quiet)
        timings["pgn2pos"] = time.monotonic() - start
        converted = sum(c for c, _ in counts)
        skipped = sum(s for _, s in counts)
        log(f"pgn2pos: {len(posdirs)} parts, converted {converted} games (skipped {skipped})")
        shutil.rmtree(os.path.join(workdir, "parts"))

        # 3. Key ranges.
        range_futures = [client.submit(range_task, zelmor, d, posdirs, workdir, args.sort_memory,
                                       key=f"range-{d}", retries=0) for d in DIGITS]
        ranges = wait_all(range_futures, "sort + dbcreate", args.quiet)
        timings["ranges"] = time.monotonic() - start
        positions = sum(r[2] for r in ranges)
        log(f"sort + dbcreate: {positions} positions in 16 key ranges")
        shutil.rmtree(os.path.join(workdir, "pos"))

        # 4. One database, one book.
        dbdir = os.path.join(workdir, "db")
        os.makedirs(dbdir)
        concatenate([r[0] for r in ranges], os.path.join(dbdir, "black.db"))
        concatenate([r[1] for r in ranges], os.path.join(dbdir, "white.db"))
        for d in DIGITS:
            shutil.rmtree(os.path.join(workdir, f"range{d}"))
        command = "bookcreaterel" if args.relative else "bookcreate"
        output = run_zelmor(zelmor, dbdir, command)
        for name in ("bookbtm", "bookwtm"):
            if f"{name}: " not in output or not all(
                    os.path.exists(os.path.join(dbdir, f"{name}.{ext}")) for ext in ("zbx", "zbk")):
                raise BookError(f"{command} failed for {name}: {output.strip()}")
        log("\n".join("  " + line for line in output.strip().split("\n")))
        names = [f"{n}.{e}" for n in ("bookbtm", "bookwtm") for e in ("zbx", "zbk")]
        if args.keep_db:
            names += ["black.db", "white.db"]
        for name in names:
            shutil.move(os.path.join(dbdir, name), os.path.join(outdir, name))
        timings["total"] = time.monotonic() - start
        for name in ("bookbtm", "bookwtm"):
            size = os.path.getsize(os.path.join(outdir, f"{name}.zbk"))
            log(f"{os.path.join(outdir, name)}: {size // 6} positions")
        log(f"Book ready in {outdir} ({timings['total']:.1f} s: split done at "
            f"{timings['split']:.1f} s, pgn2pos at {timings['pgn2pos']:.1f} s, sort + dbcreate "
            f"at {timings['ranges']:.1f} s)")
        return {"games": converted, "skipped": skipped, "parts": len(posdirs),
                "positions": positions, "timings": timings}
    finally:
        if not args.keep_work:
            shutil.rmtree(workdir, ignore_errors=True)


class _PartFile:
    """A part being written; once closed, its conversion is handed to the cluster."""

    def __init__(self, path, on_close):
        self.file = open(path, "wb")
        self.on_close = on_close

    def write(self, data):
        self.file.write(data)

    def close(self):
        self.file.close()
        self.on_close()


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="zelmor-book",
        description="Builds Zelmor's opening book (bookbtm/bookwtm .zbx/.zbk) from PGN files "
                    "on a Dask cluster; the same book scripts/make-book writes.")
    p.add_argument("outdir", help="directory for the book (and the database with --keep-db)")
    p.add_argument("pgn", nargs="+", help="PGN files: .pgn, .pgn.gz or .pgn.xz")
    p.add_argument("--zelmor", help="Zelmor binary (default $ZELMOR, then build/zelmor)")
    p.add_argument("--scheduler", help="address of a running scheduler (tcp://HOST:8786); "
                   "default: a local cluster of this machine's cores")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                   help="workers of the local cluster (default: the cores)")
    p.add_argument("--workdir", help="working directory for parts, position lists and "
                   "databases; on a cluster one that every worker sees at the same path "
                   "(default OUTDIR/.zelmor-book-work)")
    p.add_argument("--part-size", type=int, default=64 << 20,
                   help="bytes of PGN text per part (default 64 MiB)")
    p.add_argument("--sort-memory", default="256M",
                   help="sort buffer of a key-range task (sort -S; default 256M)")
    p.add_argument("--keep-db", action="store_true",
                   help="also keep the position database (black.db, white.db) in OUTDIR")
    p.add_argument("--relative", action="store_true",
                   help="build the book with bookcreaterel instead of bookcreate")
    p.add_argument("--keep-work", action="store_true", help=argparse.SUPPRESS)
    p.add_argument("--quiet", action="store_true", help="no progress bars")
    args = p.parse_args(argv)
    if args.part_size <= 0 or args.workers <= 0:
        p.error("--part-size and --workers must be positive")
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        import logging
        from distributed import Client, LocalCluster

        # The cluster's own chatter (worker restarts and the like) stays below warnings.
        logging.getLogger("distributed").setLevel(logging.ERROR)
        if args.scheduler:
            try:
                client = Client(args.scheduler, timeout="20s")
            except (OSError, TimeoutError) as error:
                raise BookError(f"cannot reach the scheduler {args.scheduler}: {error}") from None
            cluster = None
        else:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, silence_logs=logging.ERROR)
            client = Client(cluster)
        try:
            try:
                client.wait_for_workers(1, timeout=60)
            except TimeoutError:
                raise BookError("no worker joined the scheduler within 60 s") from None
            # The workers import this module from the copy the client sends them.
            client.upload_file(os.path.abspath(__file__.replace(".pyc", ".py")))
            build_book(args, client)
        finally:
            client.close()
            if cluster is not None:
                cluster.close()
    except BookError as error:
        print(f"zelmor-book: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("zelmor-book: interrupted", file=sys.stderr)
        return 130
    return 0

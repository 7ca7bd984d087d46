#!/usr/bin/env python3
"""tessaly-cli run as a user runs it: cli_test.py Commands|Refusals|Stops.
TESSALY_CLI names the built tool, TESSALY_CLI_SCRATCH a folder on disk for the cases' own folders."""

import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest
from pathlib import Path

CLI = os.environ["TESSALY_CLI"]


def cli(*args, **options):
    return subprocess.run([CLI, *args], capture_output=True, timeout=120, **options)


def index_text(pieces):
    return b"".join(p.encode() + b"\r\n" for p in pieces)


class Case(unittest.TestCase):
    def setUp(self):
        # As the tool sees it: the current folder it reads has no links.
        self.dir = os.path.realpath(tempfile.mkdtemp(dir=os.environ["TESSALY_CLI_SCRATCH"])) + "/"
        self.addCleanup(shutil.rmtree, self.dir)

    def make(self, name, data=b"", size=None):
        """A file of `data` or a sparse one of `size` bytes, or a folder when `name` ends in "/"."""
        path = self.dir + name
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if path.endswith("/"):
            return path
        with open(path, "wb") as f:
            f.write(data)
            f.truncate(len(data) if size is None else size)
        return path

    def tree(self):
        """Every path under the case's folder, with size and time but for folders."""
        paths = sorted(os.path.join(top, n) for top, folders, files in os.walk(self.dir) for n in folders + files)
        return [(p,) if os.path.isdir(p) else (p, os.lstat(p).st_size, os.lstat(p).st_mtime_ns) for p in paths]

    def assertSays(self, result, status, pattern):
        """Exit status, nothing on stdout, and on stderr one line matching "tessaly-cli: " + `pattern`,
        followed by the usage line when the usage was wrong (status 2)."""
        said = result.stderr.decode(errors="surrogateescape").split("\n")
        self.assertEqual(result.returncode, status, said)
        self.assertEqual(result.stdout, b"")
        self.assertRegex(said[0], "^tessaly-cli: " + pattern)
        usage = ["usage: tessaly-cli split FILE SIZE|-n N [-o DIR] [-qv] | join INDEX [-o DIR] [-fqv] (see --help)"]
        self.assertEqual(said[1:], (usage if status == 2 else []) + [""])

    def run_on_terminal(self, args, until=b"", then=None):
        """Runs the tool with stderr on a terminal 100 columns wide, stdout (which stays empty) on a pipe;
        once the terminal shows a match of `until`, `then(process)` runs. Returns the status, what the
        terminal showed and the seconds taken."""
        master, slave = pty.openpty()
        termios.tcsetwinsize(slave, (24, 100))
        started = time.monotonic()
        process = subprocess.Popen([CLI, *args], stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        shown = b""
        try:
            while chunk := os.read(master, 1 << 16):
                shown += chunk
                if then and re.search(until, shown):
                    then(process)
                    then = None
        except OSError:  # EIO: the tool's side of the terminal is closed
            pass
        os.close(master)
        self.assertEqual(process.communicate(timeout=120)[0], b"")
        return process.returncode, shown, time.monotonic() - started


class Commands(Case):
    def test_round_trip_in_each_unit(self):
        """Joined from another folder through the full paths listed. Stderr is no terminal: no progress."""
        for size, piece in [("1000", 1000), ("1k", 1024), ("1KiB", 1024), ("1kB", 1000), ("2b", 1024), ("1M", 1 << 20)]:
            with self.subTest(size=size):
                data = os.urandom(2 * piece + 1)
                source = self.make(size + "/data.bin", data)
                out, back = self.make(size + "/out/"), self.make(size + "/back/")
                index, pieces = out + "data.bin.splt", [f"{out}data.bin_splt{k}" for k in (1, 2, 3)]
                split = cli("split", source, size, "-o", out)
                self.assertSays(split, 0, f"split .*data.bin into 3 pieces, index {re.escape(index)}$")
                self.assertEqual([os.path.getsize(p) for p in pieces], [piece, piece, 1])
                join = cli("join", "../out/data.bin.splt", "-o", back, cwd=back)
                self.assertSays(join, 0, f"joined 3 pieces listed in .* into {re.escape(back)}data.bin$")
                self.assertEqual(Path(back + "data.bin").read_bytes(), data)

    def test_output_folder_is_the_current_one_unless_given_and_listed_absolute(self):
        self.make("work/data", b"12345")
        self.make("work/out/")
        for given, listed in [(None, "work/"), ("out", "work/out/"), ("../work/out", "work/../work/out/")]:
            with self.subTest(given=given):
                result = cli("split", "data", "3", *(["-o", given] if given else []), cwd=self.dir + "work")
                self.assertSays(result, 0, "split data into 2 pieces")
                pieces = [f"{self.dir}{listed}data_splt{k}" for k in (1, 2)]
                self.assertEqual(Path(self.dir + listed + "data.splt").read_bytes(), index_text(pieces))

    def test_n_pieces_of_equal_size_the_last_one_shorter(self):
        for size, count, sizes in [(12, 4, [3, 3, 3, 3]), (10, 4, [3, 3, 3, 1]), (10, 3, [4, 4, 2])]:
            with self.subTest(size=size, count=count):
                data = os.urandom(size)
                source = self.make(f"{size}-{count}/data", data)
                out = os.path.dirname(source) + "/"
                self.assertSays(cli("split", source, "-n", str(count), "-o", out), 0, f"split .* into {count} pieces")
                pieces = [f"{out}data_splt{k}" for k in range(1, count + 1)]
                self.assertEqual([os.path.getsize(p) for p in pieces], sizes)
                self.assertEqual(b"".join(Path(p).read_bytes() for p in pieces), data)

    def test_verbose_names_each_piece_on_stdout(self):
        source = self.make("data", b"0123456789")
        split = cli("split", "--verbose", source, "4", "-o", self.dir)
        self.assertEqual(split.stdout.decode(), "".join(f"wrote {source}_splt{k}\n" for k in (1, 2, 3)))
        join = cli("join", "-v", source + ".splt", "-o", self.make("back/"))
        self.assertEqual(join.stdout.decode(), "".join(f"appended {source}_splt{k}\n" for k in (1, 2, 3)))
        self.assertEqual((split.returncode, join.returncode), (0, 0))

    def test_join_replaces_a_file_at_the_rebuilt_path_only_with_force(self):
        data = os.urandom(100)
        source = self.make("data", data)
        cli("split", source, "40", "-o", self.make("set/"))
        edited = self.make("data", b"edited by hand")
        refused = cli("join", "set/data.splt", cwd=self.dir)
        self.assertSays(refused, 1, f"cannot join set/data.splt: {re.escape(edited)} already exists; give -f to replace it$")
        self.assertEqual(Path(edited).read_bytes(), b"edited by hand")
        self.assertSays(cli("join", "-f", "set/data.splt", cwd=self.dir), 0, "joined 3 pieces")
        self.assertEqual(Path(edited).read_bytes(), data)

    def test_help_and_version_go_to_stdout_and_a_failed_write_is_said(self):
        for args, shown in [(["--help"], rb"^Usage: tessaly-cli split FILE SIZE"), (["--version"], rb"^tessaly-cli \d")]:
            with self.subTest(args=args):
                result = cli(*args)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertRegex(result.stdout, shown)
                with open("/dev/full", "wb") as full:
                    self.assertEqual(subprocess.run([CLI, *args], stdout=full, stderr=subprocess.PIPE).returncode, 1)
                closed = subprocess.run(["sh", "-c", '"$@" >&-', "sh", CLI, *args], capture_output=True)
                self.assertEqual(closed.returncode, 1)
                self.assertEqual(closed.stderr, b"tessaly-cli: cannot write to standard output: Bad file descriptor\n")

    def test_quiet_says_only_failures(self):
        """Not even the progress line on a terminal."""
        source = self.make("data", b"0123456789")
        self.assertEqual(self.run_on_terminal(["-q", "split", source, "4", "-o", self.dir])[:2], (0, b""))
        join = cli("join", "--quiet", source + ".splt", "-o", self.make("back/"))
        self.assertEqual((join.returncode, join.stdout, join.stderr), (0, b"", b""))
        self.assertSays(cli("split", "-q", source + "x", "4"), 1, "cannot split .*: no such file")

    def test_progress_redrawn_in_place_at_most_ten_times_a_second(self):
        # 4096 pieces: the engine reports progress after each one.
        source = self.make("big", size=256 << 20)
        status, shown, seconds = self.run_on_terminal(["split", source, "64K", "-o", self.make("out/")])
        self.assertEqual(status, 0)
        *drawn, blank, said = shown.decode().replace("\r\n", "\n").split("\r")[1:]
        self.assertGreaterEqual(len(drawn), 1)
        self.assertLessEqual(len(drawn), seconds * 10 + 2, f"{len(drawn)} redraws in {seconds:.2f} s")
        for line in drawn:
            self.assertRegex(line, r"^\[[#.]+\] +\d+% .* / 256\.0 MiB .* left *$")
            self.assertLessEqual(len(line), 99, "the last column stays free")
        self.assertEqual(blank, " " * len(drawn[-1].rstrip()), "the line is cleared at the end")
        self.assertRegex(said, r"^tessaly-cli: split .* into 4096 pieces, index .*\n$")


class Refusals(Case):
    def test_refused_and_failed_runs_change_nothing(self):
        """Wrong usage exits with 2, a run that cannot be done with 1. A join that meets a missing piece
        removes what it joined before the gap, but keeps a file that stood there before."""
        for name, size in [("one", 4), ("empty", 0), ("set_splt1", 10), ("older/gap", 5), ("dir/", 0), ("back/", 0),
                           ("ten", 10), ("p/ten_splt2", 5), ("p/ten.splt", 0), ("p/ten", 1)]:
            self.make(name, b"x" * size)
        self.make("gap.splt", index_text([self.dir + "one", self.dir + "gone"]))
        self.make("dir.splt", index_text([self.dir + "one"]))
        rows = [
            ([], 2, "no command given"),
            (["split", "one", "1.5K"], 2, "invalid SIZE 1.5K"),
            (["split", "missing", "4"], 1, "cannot split missing: no such file"),
            (["split", "dir", "4"], 1, "cannot split dir: it is a folder"),
            (["split", "set_splt1", "4"], 1, "cannot split set_splt1: its path holds"),
            (["split", "one", "4"], 1,
             "cannot split one: at 4 bytes it is not larger than one piece of 4 bytes; a SIZE of at most 3 would split it$"),
            (["split", "one", "1K"], 1, "cannot split one: .* of 1024 bytes; a SIZE of at most 3 would split it$"),
            (["split", "empty", "1"], 1,
             "cannot split empty: at 0 bytes it is not larger than one piece of 1 byte; a file under 2 bytes cannot be "
             "split$"),
            (["split", "one", "0"], 2, "invalid SIZE 0: a piece holds at least 1 byte$"),
            (["split", "ten", "-n", "6"], 1, "cannot split ten into 6 pieces: at 10 bytes no piece size gives 6"),
            (["split", "ten", "-n", "11"], 1, "cannot split ten into 11 pieces"),
            (["split", "ten", "4", "-o", "nowhere"], 1, "output folder nowhere does not exist$"),
            (["split", "ten", "4", "-o", "one"], 1, r"output folder one does not exist \(a file of that name"),
            (["join", "p/ten.splt", "-o", "nowhere/deeper"], 1, "output folder nowhere/deeper does not exist$"),
            # -f would not replace a folder either: no call for it.
            (["join", "dir.splt"], 1, "cannot create .*/dir: Is a directory$"),
            (["join", "p/ten_splt2"], 1, "cannot join p/ten_splt2: it is a piece; join its index p/ten.splt$"),
            (["join", "p/ten.splt", "-o", "p"], 1, f"cannot join p/ten.splt: {re.escape(self.dir)}p/ten already exists; "
                                                   "give -f to replace it$"),
            (["join", "dir"], 1, "cannot join dir: it is a folder"),
            (["join", "gap.splt", "-o", "back"], 1, "missing piece .*/gone; the incomplete .*back/gap was removed$"),
            (["join", "gap.splt", "-f", "-o", "older"], 1, "missing piece .*/gone$"),
        ]
        os.symlink("loop", self.dir + "loop")
        rows.append((["split", "loop", "4"], 1, "cannot examine loop: Too many levels of symbolic links$"))
        # A rebuilt path too long for the system: not taken for a free one.
        deep = self.make("/".join(["d" * 200] * 20) + "/")
        long_name = self.make("x" * 100 + ".splt", index_text([self.dir + "one"]))
        rows.append((["join", long_name, "-o", deep], 1, f"cannot examine {re.escape(deep)}x+: File name too long$"))
        before = self.tree()
        for args, status, message in rows:
            with self.subTest(args=args):
                self.assertSays(cli(*args, cwd=self.dir), status, message)
        self.assertEqual(self.tree(), before)


class Stops(Case):
    def run_stopped_mid_way(self, args, sig):
        """Runs the tool with --verbose into a pipe that is already full, so that it waits on the line naming
        its first piece; stops it with `sig` there, then lets the line through. Stderr is on a terminal.
        Returns the status and what the terminal showed."""
        master, slave = pty.openpty()
        termios.tcsetwinsize(slave, (24, 100))
        lines, out = os.pipe()
        os.set_blocking(out, False)
        try:
            while os.write(out, b"." * 4096):
                pass
        except BlockingIOError:
            pass
        os.set_blocking(out, True)
        process = subprocess.Popen([CLI, "--verbose", *args], stdout=out, stderr=slave)
        os.close(out)
        os.close(slave)
        try:
            deadline = time.monotonic() + 60
            while not self.waits_on_a_pipe(process.pid):
                self.assertIsNone(process.poll(), "the run ended before it named its first piece")
                self.assertLess(time.monotonic(), deadline, "the run never waited on its first line")
                time.sleep(0.01)
            process.send_signal(sig)
            # The engine asks whether to go on once some time has passed since it last asked.
            time.sleep(0.1)
            said = b""
            while chunk := os.read(lines, 1 << 16):
                said += chunk
            self.assertEqual(said.lstrip(b".").count(b"\n"), 1, said.lstrip(b"."))
        finally:
            os.close(lines)
        shown = b""
        try:
            while chunk := os.read(master, 1 << 16):
                shown += chunk
        except OSError:  # EIO: the tool's side of the terminal is closed
            pass
        os.close(master)
        return process.wait(timeout=120), shown

    @staticmethod
    def waits_on_a_pipe(pid):
        with open(f"/proc/{pid}/wchan") as wchan:
            return "pipe_write" in wchan.read()

    def test_signals_stop_a_run_and_leave_nothing(self):
        """Stopped after its first piece, while the line naming it waits on a full pipe: however fast the
        copying, the run is caught mid-way."""
        source = self.make("data", os.urandom(4 << 20))
        index = self.make("data.splt", index_text([self.make(f"p/data_splt{k}", os.urandom(1 << 20)) for k in (1, 2, 3, 4)]))
        runs = [
            (["split", source, "1M"], signal.SIGINT, "the pieces written so far were removed"),
            (["join", index], signal.SIGTERM, "nothing was written"),
        ]
        for args, sig, said in runs:
            with self.subTest(command=args[0]):
                out = self.make(args[0] + "/")
                status, shown = self.run_stopped_mid_way([*args, "-o", out], sig)
                self.assertEqual(status, 128 + sig, shown)
                self.assertIn(f"tessaly-cli: {args[0]} stopped by {sig.name}; {said}\r\n".encode(), shown)
                self.assertEqual(os.listdir(out), [])

    def test_full_disk_leaves_nothing(self):
        """A 1 MiB file system of its own, in a mount namespace; what is left in it is listed on stdout,
        which must stay empty."""
        if subprocess.run(["unshare", "--mount", "--map-root-user", "true"], capture_output=True).returncode:
            self.skipTest("cannot mount a small file system here")
        source = self.make("data", os.urandom(3 << 20))
        cli("split", source, "1M", "-o", self.make("set/"))
        full = self.make("full/")
        script = 'mount -t tmpfs -o size=1m tessaly "$1" && shift && "$@"; status=$?; ls -A "$0"; exit $status'
        for args in (["split", source, "512K"], ["join", self.dir + "set/data.splt"]):
            with self.subTest(command=args[0]):
                result = subprocess.run(["unshare", "--mount", "--map-root-user", "sh", "-c", script, full, full,
                                         CLI, *args, "-o", full], capture_output=True, timeout=120)
                self.assertSays(result, 1, r"cannot (write|create) .*: No space left on device$")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], defaultTest=sys.argv[1:], verbosity=2)

#!/usr/bin/env python3
"""tessaly-cli run as a user runs it. One group of cases per ctest test:
    cli_test.py Commands|Refusals|Progress|Stops|Faults
TESSALY_CLI names the built tool, TESSALY_CLI_VERSION its version, and
TESSALY_CLI_SCRATCH a folder on disk that holds each case's own folder."""

import fcntl
import os
import pty
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

CLI = os.environ["TESSALY_CLI"]
GiB = 1 << 30


def cli(*args, **options):
    return subprocess.run([CLI, *args], capture_output=True, timeout=120, **options)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def index_text(pieces):
    return b"".join(p.encode() + b"\r\n" for p in pieces)


def run_on_terminal(args, until=None, then=None):
    """Runs the tool with standard error on a terminal 100 columns wide and
    standard output on a pipe. Once `until` shows on the terminal,
    `then(process)` runs. Returns status, terminal bytes, stdout, seconds."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    started = time.monotonic()
    process = subprocess.Popen([CLI, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    shown = b""
    while True:
        try:
            chunk = os.read(master, 1 << 16)
        except OSError:  # EIO: the tool's side of the terminal is closed
            break
        if not chunk:
            break
        shown += chunk
        if until is not None and until in shown:
            then(process)
            until = None
    os.close(master)
    stdout, _ = process.communicate(timeout=120)
    return process.returncode, shown, stdout, time.monotonic() - started


class Case(unittest.TestCase):
    def setUp(self):
        scratch = os.environ["TESSALY_CLI_SCRATCH"]
        os.makedirs(scratch, exist_ok=True)
        # As the tool sees it: the current folder it reads has no links.
        self.dir = os.path.realpath(tempfile.mkdtemp(dir=scratch)) + "/"
        self.addCleanup(shutil.rmtree, self.dir)

    def make(self, name, data=b""):
        path = self.dir + name
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def sparse(self, name, size):
        path = self.make(name)
        os.truncate(path, size)
        return path

    def folder(self, name):
        os.makedirs(self.dir + name, exist_ok=True)
        return self.dir + name + "/"

    def tree(self):
        """Every path under the case's folder; with size and time but for folders."""
        found = []
        for top, folders, files in os.walk(self.dir):
            found += [(os.path.join(top, name),) for name in folders]
            for name in files:
                status = os.lstat(os.path.join(top, name))
                found.append((os.path.join(top, name), status.st_size, status.st_mtime_ns))
        return sorted(found)

    def assertSays(self, result, status, pattern, lines=1):
        """Exit status, empty stdout, and `lines` lines on stderr, the first
        one "tessaly-cli: " and then matching `pattern`."""
        said = result.stderr.decode(errors="surrogateescape").split("\n")
        self.assertEqual(result.returncode, status, said)
        self.assertEqual(result.stdout, b"")
        if lines == 0:
            self.assertEqual(result.stderr, b"")
            return
        self.assertEqual(len(said), lines + 1, said)
        self.assertEqual(said[-1], "", "the last line ends")
        self.assertRegex(said[0], "^tessaly-cli: " + pattern)


class Commands(Case):
    def test_round_trip_in_each_unit(self):
        """Stderr is not a terminal here: one line is all it gets."""
        rows = [  # SIZE, length of the file, bytes in a piece
            ("1000", 2500, 1000),
            ("1K", 2500, 1024),
            ("1KB", 2500, 1000),
            ("1M", (2 << 20) + 1, 1 << 20),
            ("1MB", 2000001, 1000000),
        ]
        for size, length, piece in rows:
            with self.subTest(size=size):
                data = os.urandom(length)
                source = self.make(size + "/data.bin", data)
                out, back = self.folder(size + "/out"), self.folder(size + "/back")
                count = -(-length // piece)
                index = out + "data.bin.splt"
                split = cli("split", source, size, "-o", out)
                self.assertSays(split, 0, f"split .* into {count} pieces, index {re.escape(index)}$")
                pieces = [f"{out}data.bin_splt{k}" for k in range(1, count + 1)]
                self.assertEqual(read(index), index_text(pieces))
                self.assertEqual([os.path.getsize(p) for p in pieces[:-1]], [piece] * (count - 1))
                # Joined from another folder, through the full paths listed.
                join = cli("join", "../out/data.bin.splt", "-o", back, cwd=back)
                self.assertSays(join, 0, f"joined {count} pieces listed in .* into {re.escape(back)}data.bin$")
                self.assertEqual(read(back + "data.bin"), data)

    def test_joins_a_set_made_elsewhere_into_the_current_folder(self):
        first, second = self.make("p/one", b"first "), self.make("q r/two", b"second")
        index = self.make("set/movie.avi.splt", index_text([second, first]))
        here = self.folder("here")
        self.assertSays(cli("join", index, cwd=here), 0, "joined 2 pieces")
        self.assertEqual(read(here + "movie.avi"), b"secondfirst ")

    def test_output_folder_is_listed_absolute(self):
        work = self.folder("work")
        self.make("work/data", b"12345")
        rows = [  # -o as given (None: not given), the folder the index then lists
            (None, "work/"),
            ("out", "work/out/"),
            ("./out/./", "work/out/"),
            ("../work/out", "work/../work/out/"),
            (self.dir + "work/out", "work/out/"),
        ]
        self.folder("work/out")
        for given, listed in rows:
            with self.subTest(given=given):
                result = cli("split", "data", "3", *(["-o", given] if given else []), cwd=work)
                self.assertSays(result, 0, "split data into 2 pieces")
                pieces = [f"{self.dir}{listed}data_splt{k}" for k in (1, 2)]
                self.assertEqual(read(self.dir + listed + "data.splt"), index_text(pieces))
                for path in pieces + [self.dir + listed + "data.splt"]:
                    os.remove(path)

    def test_quiet_says_only_failures(self):
        source = self.make("data", b"0123456789")
        self.assertSays(cli("-q", "split", source, "4", "-o", self.dir), 0, "", lines=0)
        self.assertSays(cli("join", "--quiet", source + ".splt", "-o", self.folder("back")), 0, "", lines=0)
        self.assertSays(cli("split", "-q", source + "x", "4"), 1, "cannot split .*: no such file")

    def test_odd_names_round_trip(self):
        names = ["my file", " lead", "new\nline", "it's", "-dash", "caf\u00e9", "\x1b[31m"]
        for n, name in enumerate(names):
            with self.subTest(name=name):
                data = os.urandom(100)
                here, out, back = self.folder(f"{n}"), self.folder(f"{n}/out"), self.folder(f"{n}/back")
                self.make(f"{n}/{name}", data)
                self.assertSays(cli("split", "-o", out, "--", name, "40", cwd=here), 0, "split ")
                self.assertSays(cli("join", "-o", back, "--", out + name + ".splt"), 0, "joined 3 pieces")
                self.assertEqual(read(back + name), data)


class Refusals(Case):
    def test_usage_errors_exit_2_and_touch_nothing(self):
        self.make("f", b"0123456789")
        rows = [
            ([], "no command given"),
            (["split", "f", "1.5K"], "invalid SIZE 1.5K"),
            (["split", "f", "8388608T"], "SIZE 8388608T is out of range"),
            (["split", "--", "f", "-1"], "invalid SIZE -1"),
        ]
        before = self.tree()
        for args, message in rows:
            with self.subTest(args=args):
                result = cli(*args, cwd=self.dir)
                self.assertSays(result, 2, re.escape(message), lines=2)
                self.assertRegex(result.stderr.decode(), r"\nusage: tessaly-cli split FILE SIZE .*\n$")
        self.assertEqual(self.tree(), before)

    def test_refused_before_any_file_is_touched(self):
        for name, size in [("big", 10), ("one", 4), ("empty", 0), ("set_splt1", 10), ("x.splt/big", 10)]:
            self.make(name, b"x" * size)
        self.folder("dir")
        os.symlink(self.dir + "gone", self.dir + "dangling")
        rows = [
            (["split", "missing", "4"], "cannot split missing: no such file"),
            (["split", "dangling", "4"], "cannot split dangling: no such file"),
            (["split", "dir", "4"], "cannot split dir: it is a folder"),
            (["split", "/dev/full", "4"], "cannot split /dev/full: not an ordinary file"),
            (["split", "set_splt1", "4"], "cannot split set_splt1: its path holds"),
            (["split", "x.splt/big", "4"], "cannot split x.splt/big: its path holds"),
            (["split", "one", "4"], "cannot split one: at 4 bytes it is not larger than one piece of 4 bytes"),
            (["split", "empty", "1"], "cannot split empty: at 0 bytes it is not larger than one piece of 1 byte"),
            (["join", "missing.splt"], "cannot join missing.splt: no such file"),
            (["join", "dir"], "cannot join dir: it is a folder"),
        ]
        before = self.tree()
        for args, message in rows:
            with self.subTest(args=args):
                self.assertSays(cli(*args, cwd=self.dir), 1, re.escape(message))
        self.assertEqual(self.tree(), before)

    def test_help_and_version_on_stdout(self):
        help = cli("--help")
        self.assertEqual(help.returncode, 0)
        self.assertRegex(help.stdout, rb"^Usage: tessaly-cli split FILE SIZE")
        self.assertEqual(cli("--version").stdout, f"tessaly-cli {os.environ['TESSALY_CLI_VERSION']}\n".encode())
        with open("/dev/full", "wb") as full:
            failed = subprocess.run([CLI, "--help"], stdout=full, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(failed.returncode, 1)
        self.assertEqual(failed.stderr, b"tessaly-cli: cannot write to standard output: No space left on device\n")


class Progress(Case):
    def test_redrawn_in_place_at_most_ten_times_a_second(self):
        # 4096 pieces: the engine reports progress after each one.
        source = self.sparse("big", 256 << 20)
        status, shown, stdout, seconds = run_on_terminal(["split", source, "64K", "-o", self.folder("out")])
        self.assertEqual(status, 0)
        self.assertEqual(stdout, b"")
        *drawn, blank, said = shown.decode().replace("\r\n", "\n").split("\r")[1:]
        self.assertGreaterEqual(len(drawn), 1)
        self.assertLessEqual(len(drawn), seconds * 10 + 2, f"{len(drawn)} redraws in {seconds:.2f} s")
        for line in drawn:
            self.assertRegex(line, r"^\[[#.]+\] +\d+% .* / 256\.0 MiB .* left *$")
            self.assertLessEqual(len(line), 99, "the last column stays free")
        self.assertEqual(blank, " " * len(drawn[-1].rstrip()), "the line is cleared at the end")
        self.assertRegex(said, r"^tessaly-cli: split .* into 4096 pieces, index .*\n$")

    def test_quiet_draws_nothing(self):
        source = self.sparse("big", 1 << 20)
        status, shown, _, _ = run_on_terminal(["split", "-q", source, "64K", "-o", self.folder("out")])
        self.assertEqual(status, 0)
        self.assertEqual(shown, b"")


class Stops(Case):
    def test_signal_stops_a_split_and_removes_its_pieces(self):
        source = self.sparse("big", 8 * GiB)
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig.name):
                out = self.folder(sig.name)
                process = subprocess.Popen([CLI, "split", source, "1G", "-o", out], stderr=subprocess.PIPE)
                while not os.path.exists(out + "big_splt1"):
                    self.assertIsNone(process.poll(), "the split ended before the first piece was seen")
                    time.sleep(0.005)
                process.send_signal(sig)
                _, said = process.communicate(timeout=120)
                self.assertEqual(process.returncode, 128 + sig)
                self.assertEqual(said, f"tessaly-cli: split stopped by {sig.name}; the pieces written so far "
                                       "were removed\n".encode())
                self.assertEqual(os.listdir(out), [])
                self.assertEqual(os.path.getsize(source), 8 * GiB)

    def test_signal_stops_a_join_and_leaves_no_file(self):
        index = self.make("big.splt", index_text([self.sparse(f"p/big_splt{k}", GiB) for k in (1, 2, 3, 4)]))
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig.name):
                back = self.folder(sig.name)
                status, shown, _, _ = run_on_terminal(["join", index, "-o", back], until=b"%",
                                                      then=lambda process: process.send_signal(sig))
                self.assertEqual(status, 128 + sig)
                self.assertIn(f"tessaly-cli: join stopped by {sig.name}; nothing was written\r\n".encode(), shown)
                self.assertEqual(os.listdir(back), [], "no rebuilt or temporary file")


class Faults(Case):
    def test_failed_runs_change_nothing(self):
        """What stood before stays; what a failed run wrote goes, even what
        the engine keeps of a join that met a missing piece."""
        source = self.make("data", b"0123456789")
        self.make("a\r\nb", b"0123456789")
        os.symlink(source, self.folder("out") + "data_splt2")
        gap = self.make("gap.splt", index_text([source, self.dir + "gone"]))
        self.make("older/gap", b"older")
        os.mkfifo(self.dir + "fifo")
        self.make("fifo.splt", index_text([source]))
        rows = [
            (["split", source, "4", "-o", "out"], "cannot split .*data: writing .*out/data_splt2 would overwrite"),
            (["split", "a\r\nb", "4"], r"cannot split \$'a\\r\\nb': the piece path .* holds a line break"),
            (["join", gap, "-o", "back"], "missing piece .*/gone; the incomplete .*back/gap was removed$"),
            (["join", gap, "-o", "older"], "missing piece .*/gone$"),
            (["join", "fifo.splt"], "cannot create .*/fifo: not a regular file"),
        ]
        self.folder("back")
        before = self.tree()
        for args, message in rows:
            with self.subTest(args=args):
                self.assertSays(cli(*args, cwd=self.dir), 1, message)
        self.assertEqual(self.tree(), before)

    def test_full_disk_leaves_nothing(self):
        """A 1 MiB file system of its own, in a mount namespace."""
        if subprocess.run(["unshare", "--mount", "--map-root-user", "true"], capture_output=True).returncode:
            self.skipTest("cannot mount a small file system here")
        source = self.make("data", os.urandom(3 << 20))
        cli("split", source, "1M", "-o", self.folder("set"))
        full = self.folder("full")
        script = 'mount -t tmpfs -o size=1m tessaly "$1" && shift && "$@"; status=$?; ls -A "$0"; exit $status'
        for args in (["split", source, "512K"], ["join", self.dir + "set/data.splt"]):
            with self.subTest(command=args[0]):
                result = subprocess.run(["unshare", "--mount", "--map-root-user", "sh", "-c", script, full, full,
                                         CLI, *args, "-o", full], capture_output=True, timeout=120)
                self.assertSays(result, 1, r"cannot (write|create) .*: No space left on device$")

    def test_file_size_limit_fails_cleanly(self):
        """Beyond the limit a write fails (EFBIG) where SIGXFSZ is ignored,
        and kills the process where it is not."""
        source = self.make("data", os.urandom(1 << 20))
        cli("split", source, "256K", "-o", self.folder("set"))
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100 << 10, resource.RLIM_INFINITY))
        for args in (["split", source, "512K"], ["join", self.dir + "set/data.splt"]):
            with self.subTest(command=args[0]):
                out = self.folder(args[0])
                result = cli(*args, "-o", out, preexec_fn=limit)
                self.assertSays(result, 1, r"cannot write .*: File too large$")
                self.assertEqual(os.listdir(out), [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], defaultTest=sys.argv[1:], verbosity=2)

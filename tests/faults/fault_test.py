#!/usr/bin/env python3
"""Fails each system call of a split and of joins through tessaly-cli, one at a
time (the Nth stat, open, read, write, sync, rename... with EIO, ENOSPC, EDQUOT
or EAGAIN), through the LD_PRELOAD shim faults.c. Each run that fails must exit
with 1 and a message naming a path of the run and the system's reason, and
leave what the README promises: no index after a failed split, nothing kept
after a failed join, a former file and the sources untouched. A run that the
fault did not stop must still give the right bytes; a failed write or sync
never passes.

Environment: TESSALY_CLI (the tool), TESSALY_FAULT_SHIM (the built shim),
TESSALY_FAULT_SCRATCH (a folder for the runs; /dev/shm is used where it
exists, where syncs cost nothing and faults are counted the same)."""
import errno
import os
import shutil
import subprocess
import sys
import tempfile

CLI = os.environ["TESSALY_CLI"]
SHIM = os.environ["TESSALY_FAULT_SHIM"]
CALLS = ["stat", "fstat", "open", "read", "copy", "write", "sync", "rename", "link", "unlink", "truncate", "close"]
ERRORS = [errno.EIO, errno.ENOSPC, errno.EDQUOT, errno.EAGAIN]
# Calls whose failure loses what the run promised: they may never pass unnoticed.
MUST_FAIL = {"write", "sync"}
SOURCE = os.urandom(300_000)
CHUNK = 100_000


def files(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Case:
    """One command run again and again in a fresh copy of its folders."""

    def __init__(self, root, name, args, check_failed, check_passed, prepare=lambda: None):
        self.root, self.name, self.args = root, name, args
        self.check_failed, self.check_passed, self.prepare = check_failed, check_passed, prepare

    def run(self, fault):
        fired = os.path.join(self.root, "..", "fired")
        if os.path.exists(fired):
            os.remove(fired)
        env = dict(os.environ, LD_PRELOAD=SHIM, TESSALY_FAULT=fault, TESSALY_FAULT_ROOT=self.root,
                   TESSALY_FAULT_FIRED=fired, LC_ALL="C")
        done = subprocess.run([CLI] + self.args + ["-q"], env=env, capture_output=True, text=True, timeout=30)
        return done, os.path.exists(fired)


def main():
    memory = "/dev/shm" if os.path.isdir("/dev/shm") else None
    scratch = tempfile.mkdtemp(prefix="tessaly-faults.", dir=memory or os.environ.get("TESSALY_FAULT_SCRATCH"))
    root = os.path.join(scratch, "run")
    src, out, sets, back = (os.path.join(root, n) for n in ("src.bin", "out", "set", "back"))
    index = os.path.join(sets, "src.bin.splt")
    problems = []
    runs = 0

    # The set is split once, untouched by faults, and copied for every run.
    made = os.path.join(scratch, "made")
    os.makedirs(made)
    with open(os.path.join(made, "src.bin"), "wb") as f:
        f.write(SOURCE)
    subprocess.run([CLI, "split", os.path.join(made, "src.bin"), str(CHUNK), "-o", made + "/", "-q"], check=True)

    def fresh():
        shutil.rmtree(root, ignore_errors=True)
        for folder in (out, sets, back):
            os.makedirs(folder)
        shutil.copyfile(os.path.join(made, "src.bin"), src)
        for k in (1, 2, 3):
            shutil.copyfile(os.path.join(made, f"src.bin_splt{k}"), os.path.join(sets, f"src.bin_splt{k}"))
        with open(index, "wb") as f:
            f.write("".join(os.path.join(sets, f"src.bin_splt{k}") + "\r\n" for k in (1, 2, 3)).encode())

    set_files = None

    def sources_untouched():
        return read(src) == SOURCE and files(sets) == set_files and \
            b"".join(read(os.path.join(sets, f"src.bin_splt{k}")) for k in (1, 2, 3)) == SOURCE

    def split_passed():
        pieces = [os.path.join(out, f"src.bin_splt{k}") for k in (1, 2, 3)]
        listed = "".join(p + "\r\n" for p in pieces).encode()
        return files(out) == ["src.bin.splt"] + [os.path.basename(p) for p in pieces] and \
            read(os.path.join(out, "src.bin.splt")) == listed and b"".join(read(p) for p in pieces) == SOURCE

    def former():
        with open(os.path.join(back, "src.bin"), "wb") as f:
            f.write(b"former")
        os.chmod(os.path.join(back, "src.bin"), 0o600)

    def former_kept():
        path = os.path.join(back, "src.bin")
        return files(back) == ["src.bin"] and read(path) == b"former" and os.stat(path).st_mode & 0o777 == 0o600

    def joined(mode=None):
        path = os.path.join(back, "src.bin")
        return files(back) == ["src.bin"] and read(path) == SOURCE and \
            (mode is None or os.stat(path).st_mode & 0o777 == mode)

    # A failed split leaves no index (and here, where it removes its pieces,
    # nothing at all); a failed join keeps nothing, or the former file as it was.
    cases = [
        Case(root, "split", ["split", src, str(CHUNK), "-o", out + "/"], lambda: files(out) == [], split_passed),
        Case(root, "join", ["join", index, "-o", back + "/"], lambda: files(back) == [], joined),
        # Once the result has replaced the former file, a failure to make
        # that name last leaves the complete result rather than neither.
        Case(root, "join over a private file", ["join", index, "-o", back + "/", "-f"],
             lambda: former_kept() or joined(0o600),
             lambda: joined(0o600), former),
    ]
    for case in cases:
        for call in CALLS:
            n = 0
            while True:
                n += 1
                fresh()
                if set_files is None:
                    set_files = files(sets)
                case.prepare()
                error = ERRORS[n % len(ERRORS)]
                done, fired = case.run(f"{call}:{n}:{error}")
                runs += 1
                if not fired:
                    break
                what = f"{case.name}, {call} #{n} failing with {errno.errorcode[error]}"
                said = done.stderr.strip()
                if done.returncode == 0:
                    if call in MUST_FAIL:
                        problems.append(f"{what}: passed although it failed")
                    elif not case.check_passed():
                        problems.append(f"{what}: passed with wrong results")
                elif done.returncode != 1:
                    problems.append(f"{what}: exit status {done.returncode}: {said}")
                elif os.strerror(error) not in said or root not in said:
                    problems.append(f"{what}: message names no path of the run or not the reason: {said}")
                elif not case.check_failed():
                    problems.append(f"{what}: left {files(out)} {files(back)}: {said}")
                if not sources_untouched():
                    problems.append(f"{what}: changed the source or the set")
            if n == 1:
                print(f"note: {case.name} makes no {call} call under the scratch folder")
    shutil.rmtree(scratch, ignore_errors=True)
    for p in problems:
        print("FAIL:", p)
    print(f"{runs} runs, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

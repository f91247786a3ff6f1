"""The POSIX build and the Windows build (under Wine) on twin directories: the
same lines and the same files left.  Twin files are created in the same
wall-clock second, one file per second, so both builds see the same creation
times (a birth time on POSIX, the older of last-write and change time under
Wine)."""

import os
import subprocess
import time

import pytest

from conftest import decode_lines
from wine_run import needs_exe, run as run_windows

POSIX_BIN = os.environ.get("CLEANUP_POSIX_BIN", "")

pytestmark = [needs_exe, pytest.mark.skipif(
    not (POSIX_BIN and os.path.exists(POSIX_BIN)), reason="CLEANUP_POSIX_BIN not built")]

# One file per second: the scan order of equally old files is the platform's
# own and may differ between the builds.
# Trailing dots and blanks belong to a name on both builds; app.logfile and
# x.log2 have short names ending in .LOG on Windows, which never match.
NAMES = [["old1.log"], ["old2.txt"], ["mid1.log"], ["MID2.LOG"], ["new1.log"], ["new2.txt"],
         ["noext"], ["app.log."], ["d.txt "], ["app.logfile"], ["APPLOG~1.LOG"], ["x.log2"]]
SIZES = {"old1.log": 700, "old2.txt": 1500, "mid1.log": 2048, "MID2.LOG": 0, "new1.log": 5,
         "new2.txt": 1024, "noext": 3, "app.log.": 11, "d.txt ": 12, "app.logfile": 13,
         "APPLOG~1.LOG": 14, "x.log2": 15}


def run_posix(args, stdin=None):
    proc = subprocess.run([POSIX_BIN] + args, stdin=subprocess.DEVNULL if stdin is None else None,
                          input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=dict(os.environ), timeout=30)
    assert proc.stderr == b""
    return proc.returncode, decode_lines(proc.stdout)


OPTION_SETS = [
    ["-f", "{d}/*.log"],
    ["-f", "{d}/*.*", "-a", "2"],
    ["-f", "{d}", "-r", "^[a-z]+[12]\\.", "-b"],
    ["-f", "{d}/", "-m", "1"],                       # every file younger: nothing left
    ["-f", "{d}/*.log", "-D", "-b", "-a", "1"],
    ["-f", "{d}/*.txt", "-D"],                       # refused: end of input
    ["-f", "{d}/n*", "-D", "-b", "-r", "(?i)NEW"],
    ["-f", "{d}/*.none", "-D", "-b"],
    ["-f", "{d}", "-r", "[. ]$", "-D", "-b"],
]


@pytest.fixture(scope="module")
def twins(tmp_path_factory):
    """One pair of twin directories per option set, made up front."""
    root = tmp_path_factory.mktemp("twins")
    pairs = []
    for i in range(len(OPTION_SETS)):
        first, second = str(root / ("p%d" % i) / "logs"), str(root / ("w%d" % i) / "logs")
        pairs.append((first, second))
    for first, second in pairs:
        os.makedirs(os.path.dirname(first))
        os.makedirs(os.path.dirname(second))
    # All pairs share the slot seconds, so this costs one second per slot.
    for names in NAMES:
        while True:
            # File times come from the kernel's coarse clock, which may lag a
            # tick behind: keep clear of the start of a second.
            while time.time() % 1 < 0.05:
                time.sleep(0.01)
            start = int(time.time())
            for first, second in pairs:
                for d in (first, second):
                    os.makedirs(d, exist_ok=True)
                    for name in names:
                        with open(os.path.join(d, name), "wb") as f:
                            f.write(b"x" * SIZES[name])
            if int(time.time()) == start:
                break
        while int(time.time()) == start:
            time.sleep(0.05)
    for first, second in pairs:
        os.mkdir(os.path.join(first, "sub.log"))
        os.mkdir(os.path.join(second, "sub.log"))
    return pairs


@pytest.mark.parametrize("index", range(len(OPTION_SETS)))
def test_both_builds_print_the_same_lines_and_leave_the_same_files(twins, index):
    first, second = twins[index]
    options = OPTION_SETS[index]
    posix_code, posix_lines = run_posix([o.format(d=first) for o in options])
    windows = run_windows([o.format(d=second) for o in options])
    assert windows.returncode == posix_code
    # The directory texts differ only in the twin's name.
    posix_lines = [l.replace(first, "DIR") for l in posix_lines]
    windows_lines = [l.replace(second, "DIR") for l in windows.lines]
    assert windows_lines == posix_lines
    assert sorted(os.listdir(second)) == sorted(os.listdir(first))

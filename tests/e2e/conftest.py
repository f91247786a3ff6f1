"""Helpers for the end-to-end tests: run the real binary, decode its output.

The binary comes from CLEANUP_BIN (default: build/release/cleanup).  When its
standard output is not a terminal the tool writes UTF-16LE without a byte-order
mark, every line ending in CR LF; `run` checks that shape on every call and
hands back the decoded lines.

Ageing files: birth times cannot be set, so tests that need files of different
ages take them from `aged_files`, a session-wide stock of files created in five
distinct wall-clock seconds (renaming keeps the inode, and with it the birth
time), and run the tool under libfaketime with a *frozen* clock placed exactly
relative to those seconds.  On a file system without birth times the stock gets
its times through the modification time instead, which the tool then uses.
"""

import os
import pty
import re
import tty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timezone

import pytest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BIN = os.path.abspath(os.environ.get("CLEANUP_BIN",
                                     os.path.join(REPO, "build", "release", "cleanup")))
PROGRAM = os.environ.get("CLEANUP_PROGRAM_NAME", "cleanup")
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

DAY = 86400


def project_version():
    """The version the build hands to the tool: CMake's project version."""
    with open(os.path.join(REPO, "CMakeLists.txt"), encoding="utf-8") as cmake_lists:
        found = re.search(r"\bproject\s*\(\s*cleanup\s+VERSION\s+([0-9.]+)", cmake_lists.read())
    return found.group(1)


VERSION = project_version()
BANNER = [PROGRAM + " Version " + VERSION, ""]
PROMPT = 'Bitte mit "J" oder "Y" bestätigen '
NOTHING_FOUND = "Keine zu löschenden Dateien gefunden"
USAGE = BANNER + [
    "Fehler: Keine Eingangsdatei definiert.",
    "",
    "Usage: " + PROGRAM + " [parameter]",
    "",
    "gültige Parameter:",
    "",
    "  -f <Eingabedatei (mit Wildcards)> - obligatorischer Parameter",
    "  -b                                - aktiviert den Batchmodus",
    "  -D                                - aktiviert den Löschmodus",
    '  -r "<regExp>"                     - regulärer Ausdruck für Dateinamen',
    "  -d <tage>                         - Mindestalter für Dateien in Tagen",
    "  -h <stunden>                      - Mindestalter für Dateien in Stunden",
    "  -m <minuten>                      - Mindestalter für Dateien in Minuten",
    "  -a <anzahl>                       - Anzahl Dateien, die nicht gelöscht werden",
    "  -l                                - Anzeige der Lizenzbedingungen",
    "",
]


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "posix_only: needs POSIX facilities (pty, faketime, symlinks, "
        "byte names, signals, chmod); skipped when CLEANUP_SKIP_POSIX_ONLY is set")


def pytest_collection_modifyitems(config, items):
    if not os.environ.get("CLEANUP_SKIP_POSIX_ONLY"):
        return
    skip = pytest.mark.skip(reason="POSIX-only behaviour (tested in the native stages)")
    for item in items:
        if "posix_only" in item.keywords:
            item.add_marker(skip)


class Result:
    def __init__(self, returncode, raw):
        self.returncode = returncode
        self.raw = raw
        self.lines = decode_lines(raw)

    @property
    def text(self):
        return "\r\n".join(self.lines)

    def __repr__(self):
        # Shown by pytest when an assertion on a result fails.
        return "Result(exit %r, lines %r)" % (self.returncode, self.lines[-12:])


def decode_lines(raw):
    """UTF-16LE, no BOM, every line ended by CR LF; lone surrogates kept."""
    assert len(raw) % 2 == 0, "odd number of output bytes"
    assert not raw.startswith(b"\xff\xfe"), "byte-order mark in output"
    text = raw.decode("utf-16-le", "surrogatepass")
    if not text:
        return []
    assert text.endswith("\r\n"), "output does not end with CR LF: %r" % text[-40:]
    return text[:-2].split("\r\n")


def utf16(*answers):
    """Confirmation answers as redirected input: UTF-16LE lines."""
    return "".join(a + "\r\n" for a in answers).encode("utf-16-le")


def base_env(extra=None):
    env = dict(os.environ)
    env["TZ"] = "UTC"
    env.update(extra or {})
    return env


def faketime_env(now):
    """Environment that freezes the tool's clock at the epoch second `now`."""
    if not os.path.exists(FAKETIME_LIB):
        pytest.skip("libfaketime not installed")
    stamp = datetime.fromtimestamp(now, timezone.utc).strftime("%Y-%m-%d %H:%M:%S")
    preload = os.environ.get("LD_PRELOAD", "")
    asan = os.environ.get("ASAN_OPTIONS", "")
    return {
        "FAKETIME": stamp,  # no "@": the clock stands still
        "NO_FAKE_STAT": "1",
        "LD_PRELOAD": (preload + ":" if preload else "") + FAKETIME_LIB,
        "ASAN_OPTIONS": (asan + ":" if asan else "") + "verify_asan_link_order=0",
    }


def run(args, cwd=None, stdin=None, now=None, timeout=30):
    """Run the tool with redirected output; returns a Result."""
    env = base_env(faketime_env(now) if now is not None else None)
    proc = subprocess.run(
        [BIN] + [os.fsdecode(a) if isinstance(a, bytes) else a for a in args],
        cwd=cwd, env=env, timeout=timeout,
        input=stdin, stdin=None if stdin is not None else subprocess.DEVNULL,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert proc.stderr == b"", "tool wrote to stderr: %r" % proc.stderr[:2000]
    return Result(proc.returncode, proc.stdout)


def settings_of(result):
    """The lines between the banner and the first per-file or summary line."""
    lines = result.lines
    assert lines[:2] == BANNER
    block = []
    for line in lines[2:]:
        if line.startswith("Datei ") or line == NOTHING_FOUND:
            break
        block.append(line)
    return block


def file_lines(result):
    return [l for l in result.lines if l.startswith("Datei ")]


def listed_names(result):
    """Names of the per-file lines, in output order."""
    return [l[len("Datei "):l.index(" wird gelöscht. ")] for l in file_lines(result)]


def make_files(directory, contents):
    """Create files: contents maps name -> size (or bytes content)."""
    os.makedirs(directory, exist_ok=True)
    for name, content in contents.items():
        if isinstance(content, int):
            content = b"x" * content
        with open(os.path.join(directory, name), "wb") as f:
            f.write(content)


def start_until_prompt(args):
    """The tool with piped answers, started and read up to its first prompt."""
    proc = subprocess.Popen([BIN] + args, env=base_env(), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = b""
    while PROMPT.encode("utf-16-le") not in out:
        chunk = os.read(proc.stdout.fileno(), 4096)
        assert chunk, out
        out += chunk
    return proc, out


def answer_and_finish(proc, out, answers):
    proc.stdin.write(answers)
    proc.stdin.close()
    out += proc.stdout.read()
    assert proc.wait(timeout=30) == 0
    assert proc.stderr.read() == b""
    return decode_lines(out)


@pytest.fixture
def ext2_dir():
    """The root of a fresh, loop-mounted ext2 file system with 128-byte
    inodes: no birth times, times in whole seconds. Skipped where it can't
    be had (not root, no mkfs.ext2, no loop devices)."""
    if os.geteuid() != 0 or not shutil.which("mkfs.ext2"):
        pytest.skip("needs root and mkfs.ext2")
    base = tempfile.mkdtemp()
    image, mounted = os.path.join(base, "image"), os.path.join(base, "mnt")
    os.mkdir(mounted)
    with open(image, "wb") as f:
        f.truncate(8 << 20)
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    try:
        if subprocess.run(["mkfs.ext2", "-q", "-F", "-I", "128", image], **quiet).returncode or \
                subprocess.run(["mount", "-o", "loop", image, mounted], **quiet).returncode:
            pytest.skip("no loop-mounted ext2 here")
        try:
            yield mounted
        finally:
            subprocess.run(["umount", "-l", mounted], **quiet)
    finally:
        shutil.rmtree(base)


class PtySession:
    """The tool with a pseudo-terminal as its controlling terminal, stdin and stdout."""

    def __init__(self, args, cwd=None, raw=False):
        env = base_env()
        pid, fd = pty.fork()
        if pid == 0:  # child
            try:
                if cwd:
                    os.chdir(cwd)
                if raw:  # as a crashed full-screen program may leave it
                    tty.setraw(0)
                os.execve(BIN, [BIN] + args, env)
            finally:
                os._exit(127)
        self.pid, self.fd, self.out, self.status = pid, fd, b"", None

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return None
        try:
            data = os.read(self.fd, 4096)
        except OSError:
            data = b""
        self.out += data
        return data

    def expect(self, needle, count=1, timeout=10):
        """Wait until `needle` has appeared `count` times in the output."""
        needle = needle.encode() if isinstance(needle, str) else needle
        end = time.monotonic() + timeout
        while self.out.count(needle) < count:
            left = end - time.monotonic()
            assert left > 0, "timed out waiting for %r in %r" % (needle, self.out)
            if self._read(left) == b"":
                raise AssertionError("EOF before %r in %r" % (needle, self.out))

    def send(self, data):
        os.write(self.fd, data)

    def finish(self, timeout=10):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self._read(0.2) == b"":
                break
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
                while self._read(0.1):
                    pass
                break
        if self.status is None:
            try:
                _, self.status = os.waitpid(self.pid, 0 if time.monotonic() < end else os.WNOHANG)
            except ChildProcessError:
                pass
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
            raise AssertionError("tool did not end: %r" % self.out)
        os.close(self.fd)
        return self.status

    def text(self):
        return self.out.decode("utf-8", "surrogateescape")


def birth_seconds(paths):
    out = subprocess.run(["stat", "-c", "%W"] + list(paths), check=True,
                         stdout=subprocess.PIPE).stdout.split()
    return [int(x) for x in out]


class AgedFiles:
    """Files whose creation seconds are slot[0] < slot[1] < ... (strictly)."""

    SLOTS = 5
    PER_SLOT = 40

    def __init__(self, root):
        self.root = root
        self.stock = [[] for _ in range(self.SLOTS)]
        self.slot = []
        self.mtime_based = False
        last = int(time.time())
        for k in range(self.SLOTS):
            paths, births = self._create_slot(k, last)
            if births[0] == 0:  # no birth time: the tool takes the older of mtime/ctime
                self.mtime_based = True
                births = [last - 100 * (self.SLOTS - k)] * len(paths)
                for p in paths:
                    os.utime(p, (births[0], births[0]))
            self.stock[k] = [(p, b) for p, b in zip(paths, births)]
            self.slot.append(min(births))
            last = max(max(births), int(time.time()))
        for k in range(1, self.SLOTS):
            assert min(b for _, b in self.stock[k]) > max(b for _, b in self.stock[k - 1])

    def _create_slot(self, k, last):
        """Files whose birth second is after `last`. File times come from the
        kernel's coarse clock, which may lag the real one by a tick, so wait a
        little past the second and create again when a birth still fell short."""
        while True:
            while time.time() < last + 1.05:
                time.sleep(0.02)
            paths = []
            for i in range(self.PER_SLOT):
                p = os.path.join(self.root, "s%d_%d" % (k, i))
                open(p, "wb").close()
                paths.append(p)
            births = birth_seconds(paths)
            if births[0] == 0 or min(births) > last:
                return paths, births
            for p in paths:
                os.remove(p)

    def take(self, k, dest, content=b""):
        """Move a file of slot k to `dest` with the given content."""
        src, birth = self.stock[k].pop()
        os.rename(src, dest)
        if isinstance(content, int):
            content = b"x" * content
        with open(dest, "wb") as f:
            f.write(content)
        if self.mtime_based:
            os.utime(dest, (birth, birth))
        return birth


@pytest.fixture(scope="session")
def aged_files(tmp_path_factory):
    if sys.platform != "linux":
        pytest.skip("birth-time stock needs Linux")
    return AgedFiles(str(tmp_path_factory.mktemp("aged")))


def typical_run_lines(directory_line):
    """What the typical run prints: five logs aged 20, 15, 10, 9 and 1 days,
    -d 7 -a 2 -D -b, app1.log of 2048 and app2.log of 1024 bytes."""
    return BANNER + [
        "Eingangspfad: " + directory_line,
        "Eingangsdatei: *.log",
        "Löschmodus: aktiv",
        "Batchmodus: aktiv",
        "Mindestalter der Dateien: 7 Tage, 0 Stunden, 0 Minuten",
        "Datei app2.log wird gelöscht. OK!",
        "Datei app1.log wird gelöscht. OK!",
        "",
        "Es wurden 2 Dateien gelöscht.",
        "Dabei wurden 3 KiB freigegeben.",
    ]

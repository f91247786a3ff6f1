"""cleanup.exe's console under Wine: a parent that reads the output pipe only
after the tool has ended must not wait forever, and the tail of a typed answer
longer than one console read must not answer the next file."""

import os
import pty
import select
import signal
import subprocess
import time
import tty

from conftest import Result, make_files
from wine_retry import run_wine
from wine_run import EXE, LAUNCHER, WINE, needs_exe, needs_launcher, windows_path, wine_env

LATE_READER = os.path.join(os.path.dirname(LAUNCHER), "cleanup_late_reader.exe")
TIMED_OUT = 124


@needs_exe
@needs_launcher
def test_output_read_only_after_the_exit(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 1})
    command_line = "cleanup.exe -f %s -D -b" % windows_path(os.path.join(d, "*.log"))
    proc = run_wine([WINE, LATE_READER, windows_path(EXE), command_line], env=wine_env(),
                    stdin=subprocess.DEVNULL, timeout=120)
    assert proc.returncode != TIMED_OUT, "the tool waited for its reader"
    assert proc.stderr == b""
    result = Result(proc.returncode, proc.stdout)
    assert result.returncode == 0
    assert sorted(l for l in result.lines if l.startswith("Datei ")) == [
        "Datei a.log wird gelöscht. OK!", "Datei b.log wird gelöscht. OK!"]
    assert os.listdir(d) == []


def read_until(fd, needle, count, timeout=60):
    """Console output until `needle` has appeared `count` times."""
    out, end = b"", time.monotonic() + timeout
    while out.count(needle) < count:
        assert time.monotonic() < end, "timed out waiting for %r in %r" % (needle, out[-400:])
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready:
            try:
                data = os.read(fd, 65536)
            except OSError:
                data = b""
            assert data, "console closed: %r" % out[-400:]
            out += data
    return out


@needs_exe
def test_tail_of_a_long_typed_answer_is_dropped(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 1})
    pid, fd = pty.fork()  # Wine gives the exe a console on this terminal
    if pid == 0:
        try:
            tty.setraw(0)  # keys reach Wine's console as typed, Enter as CR
            os.execvpe(WINE, [WINE, EXE, "-f", windows_path(d), "-D"], wine_env())
        finally:
            os._exit(127)
    prompt = 'Bitte mit "J" oder "Y" bestätigen'.encode()
    try:
        read_until(fd, prompt, 1)
        os.write(fd, b"N" + b"x" * 4095 + b"Y\r")
        read_until(fd, prompt, 2)
        time.sleep(1)  # a tail that answered the second question would delete now
        assert sorted(os.listdir(d)) == ["a.log", "b.log"]
        os.write(fd, b"n\r")
        out = read_until(fd, "Löschvorgang abgebrochen".encode(), 1)
        _, status = os.waitpid(pid, 0)
        pid = 0
    finally:
        if pid:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        os.close(fd)
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, out[-400:]
    assert sorted(os.listdir(d)) == ["a.log", "b.log"]


# Output to a full disk: nothing is deleted and the run fails.
@needs_exe
def test_unwritable_log_stops_the_deletions(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 1})
    with open("/dev/full", "wb") as full:
        status = subprocess.run([WINE, EXE, "-f", windows_path(d), "-D", "-b"], env=wine_env(),
                                stdin=subprocess.DEVNULL, stdout=full, timeout=120).returncode
    assert status == 1
    assert sorted(os.listdir(d)) == ["a.log", "b.log"]

"""Running cleanup.exe under Wine for the Windows-only end-to-end tests.

CLEANUP_EXE names cleanup.exe and CLEANUP_LAUNCHER the launcher that starts it
with an exact command-line text (CreateProcessW); both are Unix paths.  The
Wine prefix comes from WINEPREFIX.  Without CLEANUP_EXE the tests skip.
"""

import os
import select
import string
import subprocess
import time

import pytest

from conftest import Result
from wine_retry import run_wine

EXE = os.environ.get("CLEANUP_EXE", "")
LAUNCHER = os.environ.get("CLEANUP_LAUNCHER", "")
WINE = os.environ.get("CLEANUP_WINE", "wine")

needs_exe = pytest.mark.skipif(not EXE, reason="CLEANUP_EXE not set (Windows build not tested)")
needs_launcher = pytest.mark.skipif(not LAUNCHER, reason="CLEANUP_LAUNCHER not set")


def windows_path(path):
    """The Wine name of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_env(extra=None):
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    env.update(extra or {})
    return env


def _finish(proc):
    assert proc.stderr == b"", "wrote to stderr: %r" % proc.stderr[:2000]
    return Result(proc.returncode, proc.stdout)


def run(args, cwd=None, stdin=None, timeout=60):
    """cleanup.exe with the given parameters, quoted by Wine's usual rules."""
    proc = run_wine([WINE, EXE] + list(args), cwd=cwd, env=wine_env(), timeout=timeout,
                    input=stdin, stdin=None if stdin is not None else subprocess.DEVNULL)
    return _finish(proc)


def launch(command_line, program=None, cwd=None, timeout=60, variables=None, at_prompt=None,
           answer="j", started=None):
    """cleanup.exe (or `program`, a Windows path) started with exactly `command_line`.
    `variables` ("name=value" texts) are set for it first.  With `at_prompt`,
    the first confirmation prompt is awaited, at_prompt() called, and `answer`
    given to it and every later prompt; otherwise input is empty.  A program
    that writes no output tells by started() whether Wine started it."""
    program = program or windows_path(EXE)
    env = wine_env({
        "CLEANUP_LAUNCH_EXE": program.encode("utf-8").hex(),
        "CLEANUP_LAUNCH_COMMAND_LINE": command_line.encode("utf-8").hex(),
        "CLEANUP_LAUNCH_VARIABLES": "\n".join(variables or []).encode("utf-8").hex(),
    })
    if at_prompt is None:
        proc = run_wine([WINE, LAUNCHER], started, cwd=cwd, env=env, timeout=timeout,
                        stdin=subprocess.DEVNULL)
    else:
        proc = _converse([WINE, LAUNCHER], cwd, env, timeout, at_prompt, answer)
    assert proc.returncode != 125, "launcher could not start %s" % program
    return _finish(proc)


def _converse(command, cwd, env, timeout, at_prompt, answer):
    """Runs a command, waits for the tool's first prompt, calls at_prompt(),
    then answers every prompt with `answer`."""
    prompt = 'bestätigen '.encode("utf-16-le")
    proc = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = b""
    deadline = time.monotonic() + timeout
    while prompt not in out:
        ready, _, _ = select.select([proc.stdout], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(proc.stdout.fileno(), 65536) if ready else b""
        if not chunk:
            break
        out += chunk
    if prompt in out:
        at_prompt()
    rest, err = proc.communicate(input=((answer + "\r\n") * 100).encode("utf-16-le"),
                                 timeout=max(1, deadline - time.monotonic()))
    return subprocess.CompletedProcess(command, proc.returncode, out + rest, err)


def missing_drive():
    """A drive letter that the Wine prefix does not map, as "X:"."""
    devices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    mapped = {name[0].upper() for name in os.listdir(devices) if len(name) == 2}
    for letter in reversed(string.ascii_uppercase[3:]):
        if letter not in mapped:
            return letter + ":"
    pytest.skip("every drive letter is mapped")


def set_age(path, days, now):
    """Last-write (and access) time `days` days before `now`; under Wine the
    creation time is the older of the last-write and change times."""
    seconds = now - days * 86400
    os.utime(path, (seconds, seconds))

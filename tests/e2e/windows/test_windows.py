"""Behaviour of cleanup.exe that only the Windows build has, run under Wine:
the command-line text as the process gets it, drive forms, and that only the
files listed are deleted (backslash paths among them). The typical run and
real file times are the differential test's, against the POSIX build."""

import os
import shutil
import time

import pytest

from conftest import BANNER, NOTHING_FOUND, PROMPT, USAGE, make_files
from wine_run import (EXE, launch, missing_drive, needs_exe, needs_launcher, run, set_age,
                      windows_path)

pytestmark = needs_exe

SIMULATION = ["Löschmodus: nur Simulation", "Batchmodus: nicht aktiv"]


def settings(result, count):
    assert result.lines[:2] == BANNER
    return result.lines[2:2 + count]


def make(directory, names, size=1):
    make_files(directory, dict.fromkeys(names, size))


@needs_launcher
@pytest.mark.parametrize("after_name, path_line, file_line, modes", [
    # {d} is a Windows path to a directory holding a.log; {s} the same with a space.
    # How the text splits is the command line's unit table; here the text as
    # the process gets it.
    ("-f {d}\\*.log -D", "{d}\\", "*.log", ["Löschmodus: aktiv", "Batchmodus: nicht aktiv"]),
    ('-f "{s}\\*.log"', "{s}\\", "*.log", SIMULATION),
    ('-f"{s}\\*.log" -D -b', "{s}\\", "*.log", ["Löschmodus: aktiv", "Batchmodus: aktiv"]),
    ('-f "{s}"\\*.log -D -b', "{s}\\", "*.log", ["Löschmodus: aktiv", "Batchmodus: aktiv"]),
])
def test_command_line_text_is_split_by_the_tools_rules(tmp_path, after_name, path_line,
                                                         file_line, modes):
    d = str(tmp_path / "logs")
    s = str(tmp_path / "My Logs")
    make(d, ["a.log"])
    make(s, ["a.log", "b.txt"])
    fill = {"d": windows_path(d), "s": windows_path(s)}
    result = launch("cleanup.exe " + after_name.format(**fill), cwd=str(tmp_path))
    assert result.returncode == 0
    expected = ["Eingangspfad: " + path_line.format(**fill), "Eingangsdatei: " + file_line]
    expected += modes
    assert settings(result, len(expected)) == expected
    assert os.path.exists(os.path.join(s, "b.txt"))  # *.log never lost its pattern
    if "-D -b" in after_name:  # the quoted path with a space reached the deletion
        assert not os.path.exists(os.path.join(s, "a.log"))
    else:
        assert os.path.exists(os.path.join(s, "a.log"))
        assert os.path.exists(os.path.join(d, "a.log"))


@needs_launcher
@pytest.mark.parametrize("command_line", [
    "",                      # no token at all: count -1
    "cleanup.exe",           # no parameters
    "C:\\My Tools\\cleanup.exe -f",  # token 0 is C:\My, then Tools\cleanup.exe, -f
])
def test_command_lines_without_input_show_the_usage(tmp_path, command_line):
    result = launch(command_line, cwd=str(tmp_path))
    assert result.returncode == 99
    assert result.lines == USAGE


@needs_launcher
@pytest.mark.parametrize("token0", [
    '"C:\\My Tools\\cleanup.exe"',
    '""',
])
def test_token_zero_is_never_a_parameter_and_the_name_comes_from_the_module(tmp_path, token0):
    d = str(tmp_path)
    make(d, ["x.log"])
    result = launch(token0 + " -f x.log -b", cwd=d)
    assert result.returncode == 0
    assert settings(result, 4) == ["Eingangspfad: ", "Eingangsdatei: x.log",
                                   "Löschmodus: nur Simulation", "Batchmodus: aktiv"]
    assert result.lines[-1] == "Datei x.log wird gelöscht. (Simulation!)"


@pytest.mark.parametrize("value, path_line, file_line", [
    ("C:", "C:\\", "*.*"),          # a bare drive is its root
    ("{missing}\\*.log", "{missing}\\", "*.log"),
])
def test_drive_forms(tmp_path, value, path_line, file_line):
    missing = missing_drive()
    value = value.format(missing=missing)
    # Simulation only: nothing may be deleted on a drive root.
    result = run(["-f", value, "-b"], cwd=str(tmp_path))
    assert result.returncode == 0
    assert settings(result, 4) == [
        "Eingangspfad: " + path_line.format(missing=missing),
        "Eingangsdatei: " + file_line.format(missing=missing),
        "Löschmodus: nur Simulation", "Batchmodus: aktiv"]
    if missing in value:  # a drive that is not there cannot be read
        assert result.lines[6:] == ["Fehler: Verzeichnis kann nicht gelesen werden: "
                                    + path_line.format(missing=missing), NOTHING_FOUND]
    else:
        assert all(l.endswith("(Simulation!)") for l in result.lines[6:-1])


def files_under(directory):
    """Every file below `directory` as a relative "/" path, links not followed."""
    found = []
    for top, _, names in os.walk(directory):
        found += [os.path.relpath(os.path.join(top, n), directory).replace(os.sep, "/")
                  for n in names]
    return sorted(found)


def swap_directory_for_link(d):
    os.rename(os.path.join(d, "logs"), os.path.join(d, "logs.old"))
    os.symlink(os.path.join(d, "other"), os.path.join(d, "logs"))


def recreate_file(d):
    os.rename(os.path.join(d, "app.log"), os.path.join(d, "app.old"))
    make(d, ["app.log"])


def swap_file_for_link(d):
    os.rename(os.path.join(d, "logs", "app.log"), os.path.join(d, "logs", "app.old"))
    os.symlink("../victim/target.txt", os.path.join(d, "logs", "app.log"))


@needs_launcher
@pytest.mark.parametrize("names, command, at_prompt, listed, left", [
    # Trailing dots and blanks belong to the name; nothing normalises them away.
    (["app.log", "app.log.", "d.txt", "d.txt "], '-f {d} -r "[. ]$" -D -b', None,
     ["app.log. OK!", "d.txt  OK!"], ["app.log", "d.txt"]),
    # C:*.tmp is drive C's current directory, for the scan and the deletion.
    (["x.tmp", "y.txt"], "-f C:*.tmp -D -b", None, ["x.tmp OK!"], ["y.txt"]),
    # A bare C: is the root of drive C (which holds no file), never its
    # current directory.
    (["x.tmp"], "-f C: -b", None, [], ["x.tmp"]),
    # A link swapped in for the directory at the prompt leads nowhere: the
    # file the link reaches stays. (Wine deletes by path when the handle
    # closes and keeps a path that now leads to another file, so the listed
    # file stays too and the run says so; Windows deletes it in logs.old.)
    (["logs/app.log", "other/app.log"], "-f {d}\\logs\\*.log -D", swap_directory_for_link,
     ["app.log PROMPT Fehler!"], ["logs.old/app.log", "other/app.log"]),
    # A new file under the listed name is not the file listed.
    (["app.log"], "-f {d}\\app.log -d 30 -D", recreate_file,
     ["app.log PROMPT Fehler!"], ["app.log", "app.old"]),
    # Long names only: the short names of these end in .LOG.
    (["a.log", "app.logfile", "report.log_old", "x.log2"], "-f {d}\\*.log -D -b", None,
     ["a.log OK!"], ["app.logfile", "report.log_old", "x.log2"]),
    # "<", ">" and '"' are plain characters, not the search's DOS wildcards.
    (["a.log", "b.txt"], "-f {d}\\>.log -D -b", None, [], ["a.log", "b.txt"]),
    (["a.log", "b.log", "c.txt"], "-f \\\\?\\{d}\\*.log -D -b", None,
     ["a.log OK!", "b.log OK!"], ["c.txt"]),
    # A device name is no entry of the directory; a file of that name is.
    (["nul.txt", "a.log"], "-f {d}\\nul.txt -D -b", None, ["nul.txt OK!"], ["a.log"]),
    (["a.log"], "-f {d}\\con.log -D -b", None, [], ["a.log"]),
    # Wine follows a Unix symbolic link and reports its target's ID; the
    # target stays, in the directory or outside it, also when the link is
    # swapped in at the prompt.
    (["app-2024.txt", "current.log -> app-2024.txt"], "-f {d}\\*.log -D -b", None,
     ["current.log Fehler!"], ["app-2024.txt", "current.log"]),
    (["victim/target.txt", "logs/a.txt", "logs/far.log -> ../victim/target.txt"],
     "-f {d}\\logs\\*.log -D -b", None, ["far.log Fehler!"],
     ["logs/a.txt", "logs/far.log", "victim/target.txt"]),
    (["victim/target.txt", "logs/app.log"], "-f {d}\\logs\\*.log -D", swap_file_for_link,
     ["app.log PROMPT Fehler!"], ["logs/app.log", "logs/app.old", "victim/target.txt"]),
    # A link never leads past the listed name: not to a twin that differs in
    # letter case or in trailing dots (Wine's paths don't show them), nor to
    # an excluded file beside it. A real app.log. alone still goes.
    (["LOGS/victim.log", "Logs/a.txt", "Logs/victim.log -> ../LOGS/victim.log"],
     "-f {d}\\Logs\\*.log -D -b", None, ["victim.log Fehler!"],
     ["LOGS/victim.log", "Logs/a.txt", "Logs/victim.log"]),
    (["Logs./victim.log", "Logs/a.txt", "Logs/victim.log -> ../Logs./victim.log"],
     "-f {d}\\Logs\\*.log -D -b", None, ["victim.log Fehler!"],
     ["Logs./victim.log", "Logs/a.txt", "Logs/victim.log"]),
    (["keep", "keep. -> keep"], '-f {d} -r "\\.$" -D -b', None, ["keep. Fehler!"],
     ["keep", "keep."]),
    (["app.log", "APP.LOG -> app.log"], '-f {d}\\*.log -r "^APP" -D -b', None,
     ["APP.LOG Fehler!"], ["APP.LOG", "app.log"]),
    (["app.log."], "-f {d} -D -b", None, ["app.log. OK!"], []),
    # Layout characters are shown as "?"; the exact name is deleted.
    (["a\u202Eb.log", "c\u2028d\u200B.log"], "-f {d}\\*.log -D -b", None,
     ["a?b.log OK!", "c?d?.log OK!"], []),
    # Names that hold a separator (Linux shows them to Wine) are no candidates.
    (["..\\victim.log", "a\\b.log"], "-f {d}\\*.log -D -b", None, [],
     ["..\\victim.log", "a\\b.log"]),
])
def test_only_the_listed_file_is_deleted(tmp_path, names, command, at_prompt, listed, left):
    # DIR lies on drive C and is C's current directory; the working directory
    # holds the same names as decoys, and none of them may go.
    d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "cleanup_e2e_" + tmp_path.name)
    work = str(tmp_path / "work")
    now = int(time.time())
    try:
        for top in (d, work):
            for name in names:
                name, _, target = name.partition(" -> ")  # a Unix symbolic link
                if target:
                    os.symlink(target, os.path.join(top, name))
                else:
                    make(os.path.join(top, os.path.dirname(name)), [os.path.basename(name)])
                set_age(os.path.join(top, name), 40, now)
        w = "C:\\" + os.path.basename(d)
        result = launch("cleanup.exe " + command.format(d=w), cwd=work,
                        variables=["=C:=" + w], at_prompt=at_prompt and (lambda: at_prompt(d)))
        assert result.returncode == 0
        lines = sorted(l[len("Datei "):].replace(" wird gelöscht. ", " ").replace(PROMPT, "PROMPT ")
                       for l in result.lines if l.startswith("Datei "))
        assert lines == listed
        assert files_under(d) == left
        assert files_under(work) == sorted(n.partition(" -> ")[0] for n in names)
    finally:
        shutil.rmtree(d, ignore_errors=True)


def test_a_long_value_is_judged_whole_and_its_file_deleted(tmp_path):
    # The value's first 260 units name the directory B...; the whole value
    # names the file beside it, under a path beyond 260 units.
    d = str(tmp_path / ("A" * 150))
    w = windows_path(d)
    b = "B" * (260 - len(w) - 1)
    make(os.path.join(d, b), ["x.log"])
    make(d, [b + "extra.log"])
    result = run(["-f", w + "\\" + b + "extra.log", "-D", "-b"])
    assert settings(result, 2) == ["Eingangspfad: " + w + "\\", "Eingangsdatei: " + b + "extra.log"]
    assert "Datei %sextra.log wird gelöscht. OK!" % b in result.lines
    assert os.listdir(d) == [b]


def test_deletion_time_grows_linearly(tmp_path):
    # Ten times the files in less than thirty times the time (a lookup of each
    # removed name made Wine read the whole directory: about a hundred times).
    seconds = {}
    for count in (2000, 20000):
        d = str(tmp_path / str(count))
        make(d, ["f%06d.log" % i for i in range(count)], size=0)
        start = time.monotonic()
        assert run(["-f", windows_path(d) + "\\*.log", "-D", "-b"], timeout=300).returncode == 0
        seconds[count] = time.monotonic() - start
        assert os.listdir(d) == []
    assert seconds[20000] < 30 * seconds[2000], seconds


# The task wrapper (with CR LF, beside cleanup.exe, as the zip holds it) under
# Wine's cmd, started as a task's /tr starts it: its result is the tool's own
# exit code, or 1 when a line of the log says "Fehler".
@needs_launcher
@pytest.mark.parametrize("options, status, left", [
    ('-f "{d}\\*.log" -D -b', 0, ["keep.txt", "ro.txt"]),
    ('-f "{d}" -D -b', 1, ["ro.txt"]),                 # read-only: "Fehler!"
    ('-f "{d}\\missing\\*.log" -D -b', 1, ["a.log", "keep.txt", "ro.txt"]),  # "Fehler: ..."
    ('-f "{d}" -D -b -x', 99, ["a.log", "keep.txt", "ro.txt"]),               # refused
])
def test_task_wrapper_fails_when_the_log_says_so(tmp_path, options, status, left):
    d, bin_dir, log = (str(tmp_path / n) for n in ("My Logs", "Program Files", "run log.txt"))
    make(d, ["a.log", "keep.txt", "ro.txt"])
    os.chmod(os.path.join(d, "ro.txt"), 0o444)
    packaging = os.path.join(os.path.dirname(__file__), "..", "..", "..", "packaging")
    os.makedirs(bin_dir)
    with open(os.path.join(packaging, "cleanup-task.cmd"), "rb") as wrapper:
        text = wrapper.read().replace(b"\n", b"\r\n")
    with open(os.path.join(bin_dir, "cleanup-task.cmd"), "wb") as wrapper:
        wrapper.write(text)
    for name in (os.path.join(packaging, "utf16le-bom.bin"), EXE):
        shutil.copy(name, bin_dir)
    command = 'cmd /c ""%s\\cleanup-task.cmd" "%s" %s"' % (
        windows_path(bin_dir), windows_path(log), options.format(d=windows_path(d)))
    result = launch(command, program="C:\\windows\\system32\\cmd.exe",
                    started=lambda: os.path.exists(log))
    assert result.returncode == status
    with open(log, "rb") as f:
        assert f.read().startswith(b"\xff\xfe" + BANNER[0].encode("utf-16-le"))
    assert sorted(os.listdir(d)) == left

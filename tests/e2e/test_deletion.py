"""Deletion pass: simulation, batch mode, confirmations, summary, safety."""

import os
import resource
import shutil
import signal
import subprocess
import tempfile
import time

import pytest

from conftest import (BIN, DAY, PROMPT, answer_and_finish, base_env, file_lines, listed_names,
                      make_files, run, start_until_prompt, typical_run_lines, utf16)


@pytest.mark.parametrize("sizes, count_line, size_line", [
    ([3 * 2 ** 29, 7], "Es wurden 2 Dateien gelöscht.", "Dabei wurden 1 GiB freigegeben."),
    ([4096, "f0"], "Es wurden 2 Dateien gelöscht.", "Dabei wurden 4 KiB freigegeben."),  # a hard link
])
def test_batch_deletion_reports_count_and_freed_size(tmp_path, sizes, count_line, size_line):
    d = str(tmp_path)
    for i, size in enumerate(sizes):
        if isinstance(size, str):  # another name of that file
            os.link(os.path.join(d, size + ".tmp"), os.path.join(d, "f%d.tmp" % i))
            continue
        with open(os.path.join(d, "f%d.tmp" % i), "wb") as f:
            f.truncate(size)  # sparse: large sizes cost nothing
    result = run(["-f", os.path.join(d, "*.tmp"), "-D", "-b"])
    assert result.returncode == 0
    assert sorted(file_lines(result)) == [
        "Datei f%d.tmp wird gelöscht. OK!" % i for i in range(len(sizes))]
    assert result.lines[-3:] == ["", count_line, size_line]
    assert os.listdir(d) == []


@pytest.mark.parametrize("stdin, deleted", [
    # The answer words and the line ends are the unit tables' (pass, input lines).
    ("j\r\nn\ny\r".encode("utf-16-le"), 2),
    (utf16("\ufeffj", "\ufeffj", "\ufeffj"), 0),
    ("j".encode("utf-16-le"), 1),  # end of input refuses the rest
    # 8-bit input: UTF-8 lines on POSIX; the Windows build reads UTF-16LE only
    (b"j\r\n", 0 if os.environ.get("CLEANUP_SKIP_POSIX_ONLY") else 1),
])
def test_confirmations_read_redirected_utf16_lines(tmp_path, stdin, deleted):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 1, "c.log": 1})
    result = run(["-f", d, "-D"], stdin=stdin)
    lines = file_lines(result)
    assert len(lines) == 3
    done = [l for l in lines if l.endswith(PROMPT + "OK!")]
    assert len(done) == deleted
    assert len(os.listdir(d)) == 3 - deleted
    assert all(l.endswith(PROMPT + "Löschvorgang abgebrochen") for l in lines if l not in done)
    if deleted:
        assert result.lines[-1] == "Dabei wurden %d B freigegeben." % deleted


@pytest.mark.posix_only
def test_invalid_utf8_name_is_deleted_exactly(tmp_path, aged_files):
    d = os.fsencode(str(tmp_path))
    bad, lookalike = b"bad\xff.log", b"bad\xef\xbf\xbd.log"
    aged_files.take(0, os.path.join(d, bad), b"12")
    aged_files.take(1, os.path.join(d, lookalike), b"1")  # newer: spared by -a 1
    result = run(["-f", str(tmp_path), "-a", "1", "-D", "-b"])
    assert file_lines(result) == ["Datei bad\ufffd.log wird gelöscht. OK!"]
    assert os.listdir(d) == [lookalike]


@pytest.mark.posix_only
def test_reader_closing_early_does_not_stop_deletion(tmp_path):
    d = str(tmp_path)
    names = ["%03d_" % i + "n" * 120 + ".log" for i in range(300)]  # > 64 KiB of output
    make_files(d, {n: 1 for n in names})
    proc = subprocess.Popen([BIN, "-f", d, "-D", "-b"], env=base_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    assert len(proc.stdout.read(1)) == 1
    proc.stdout.close()
    assert proc.wait(timeout=30) == 0
    assert proc.stderr.read() == b""
    assert os.listdir(d) == []


def limit_files_to_4_kib():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # writes fail with EFBIG instead
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


# A log that cannot be written (a full disk, a file size limit) ends the
# deletions and fails the run: only the file whose line was cut is deleted
# without a whole line.
@pytest.mark.posix_only
@pytest.mark.parametrize("log, limit", [("/dev/full", None), ("run.log", limit_files_to_4_kib)])
def test_unwritable_log_stops_the_deletions(tmp_path, log, limit):
    d, log = os.path.join(str(tmp_path), "logs"), os.path.join(str(tmp_path), log)
    make_files(d, {"%03d.log" % i: 1 for i in range(300)})
    with open(log, "wb") as out:
        assert subprocess.run([BIN, "-f", d, "-D", "-b"], env=base_env(), stdin=subprocess.DEVNULL,
                              stdout=out, preexec_fn=limit, timeout=30).returncode == 1
    logged = open(log, "rb").read().decode("utf-16-le", "replace").count(" OK!\r\n") if limit else 0
    assert limit is None or logged > 0
    assert 300 - logged - 1 <= len(os.listdir(d)) <= 300 - logged


@pytest.mark.posix_only
def test_directory_swapped_at_prompt_keeps_other_directory(tmp_path):
    base = str(tmp_path)
    d, moved, other = (os.path.join(base, n) for n in ("logs", "logs.orig", "other"))
    make_files(d, {"a.log": 1, "b.log": 2})
    make_files(other, {"a.log": 3, "b.log": 4})
    proc, out = start_until_prompt(["-f", os.path.join(d, "*.log"), "-D"])
    os.rename(d, moved)
    os.symlink(other, d)
    lines = answer_and_finish(proc, out, utf16("j", "j"))
    assert sorted(os.listdir(other)) == ["a.log", "b.log"]
    # The deletions stay in the directory that was scanned.
    assert sum(l.endswith(" wird gelöscht. %sOK!" % PROMPT) for l in lines) == 2
    assert os.listdir(moved) == []


def recreate_on_freed_inode(path, content, same_second=False):
    """Delete the file and make a new one under its name, on the same inode
    number when the file system hands it out again (it usually does); with
    `same_second`, also within the second of the old file's change time."""
    old = os.stat(path)
    os.remove(path)
    for _ in range(50):
        make_files(os.path.dirname(path), {os.path.basename(path): content})
        if os.stat(path).st_ino == old.st_ino:
            break
        os.remove(path)
    else:
        make_files(os.path.dirname(path), {os.path.basename(path): content})
    if same_second:
        new = os.stat(path)
        assert (new.st_ino, new.st_ctime_ns) == (old.st_ino, old.st_ctime_ns)


@pytest.mark.posix_only
@pytest.mark.parametrize("replace, left, where", [
    (lambda p: (os.rename(p, p + ".1"), make_files(os.path.dirname(p), {"app.log": 20})),
     ["app.log", "app.log.1"], "tmp_path"),
    (lambda p: recreate_on_freed_inode(p, 20), ["app.log"], "tmp_path"),
    # No birth time, whole seconds, the freed inode at once: only the
    # file handle's generation is new.
    (lambda p: recreate_on_freed_inode(p, 20, same_second=True), ["app.log"], "ext2_dir"),
], ids=["renamed", "deleted", "deleted and made anew within its second on ext2"])
def test_file_replaced_at_prompt_is_not_deleted(request, replace, left, where):
    d = str(request.getfixturevalue(where))
    # All within one second, and not in its first ticks: the file times come
    # from a clock that may still show the second before.
    while where == "ext2_dir" and not 0.05 < time.time() % 1 < 0.2:
        time.sleep(0.01)
    make_files(d, {"app.log": 10})
    proc, out = start_until_prompt(["-f", d, "-D"])
    replace(os.path.join(d, "app.log"))  # another file under the listed name
    lines = answer_and_finish(proc, out, utf16("J"))
    assert [l for l in lines if l.startswith("Datei ")] == [
        "Datei app.log wird gelöscht. " + PROMPT + "Fehler!"]
    assert lines[-1].endswith("Fehler!")  # nothing deleted: no summary
    assert sorted(n for n in os.listdir(d) if n != "lost+found") == left
    assert os.path.getsize(os.path.join(d, "app.log")) == 20


@pytest.mark.posix_only
def test_typical_run(tmp_path, aged_files):
    d = os.path.join(str(tmp_path), "logs")
    os.mkdir(d)
    sizes = [2048, 1024, 10, 20, 30]
    births = [aged_files.take(k, os.path.join(d, "app%d.log" % (k + 1)), sizes[k])
              for k in range(5)]
    make_files(d, {"notes.txt": 99})
    os.mkdir(os.path.join(d, "old.log"))
    result = run(["-f", os.path.join(d, "*.log"), "-d", "7", "-a", "2", "-D", "-b"],
                 now=births[4] + 7 * DAY)  # app5 is just under seven days old
    assert result.returncode == 0
    assert result.lines == typical_run_lines(d + os.sep)
    assert sorted(os.listdir(d)) == ["app3.log", "app4.log", "app5.log", "notes.txt", "old.log"]



@pytest.mark.posix_only
@pytest.mark.skipif(os.geteuid() != 0 or not shutil.which("runuser"), reason="needs root")
@pytest.mark.parametrize("link, value, user, deleted", [
    ("app.log.1", "app.log.1", "nobody", []),
    ("archive", "archive/*.*", "nobody", []),
    ("app.log.1", "app.log.1", "root", ["important.db", "passwd"]),
    ("archive", "archive/*.db", "root", ["important.db"]),
])
def test_planted_link_leads_nowhere(link, value, user, deleted):
    with tempfile.TemporaryDirectory() as base:  # pytest's directories are root's alone
        os.chmod(base, 0o755)
        victim, cleaned = os.path.join(base, "victim"), os.path.join(base, "cleaned")
        make_files(victim, {"passwd": 1, "important.db": 2})
        os.mkdir(cleaned)
        os.chmod(cleaned, 0o777)  # the helper user may write the cleaned directory
        subprocess.run(["runuser", "-u", user, "--", "ln", "-s", "../victim",
                        os.path.join(cleaned, link)], check=True)
        result = run(["-f", os.path.join(cleaned, value), "-D", "-b"])
        assert sorted(listed_names(result)) == deleted
        refused = "Fehler: Verzeichnis kann nicht gelesen werden: " + os.path.join(cleaned, link)
        assert (refused + "/" in result.lines) == (link == "archive" and user == "nobody")
        assert sorted(os.listdir(victim) + deleted) == ["important.db", "passwd"]

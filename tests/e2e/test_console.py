"""Console on POSIX: terminal output and typed confirmations, Ctrl+C,
UTF-8 answers from a pipe, names shown safely, output written line by line."""

import os
import resource
import select
import signal
import subprocess
import termios
import time

import pytest

from conftest import BIN, PROMPT, PtySession, base_env, decode_lines, file_lines, make_files, run

pytestmark = pytest.mark.posix_only


def answer_prompts(session, keys):
    """Wait for each prompt in turn and type the next answer. The tool sets
    the terminal to line mode just after its prompt; keys typed before that
    on a terminal left raw would stay raw, so wait for line mode first."""
    for n, key in enumerate(keys, start=1):
        session.expect(PROMPT, count=n)
        end = time.monotonic() + 10
        while not termios.tcgetattr(session.fd)[3] & termios.ICANON:
            assert time.monotonic() < end, "terminal never set to line mode"
            time.sleep(0.01)
        session.send(key)


def terminal_lines(session):
    return [l.rstrip("\r") for l in session.text().split("\n")]


@pytest.mark.parametrize("raw", [False, True])  # True: as a crashed full-screen program left it
def test_typed_answers_stand_between_prompt_and_result(tmp_path, raw):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 2})
    session = PtySession(["-f", os.path.join(d, "*.log"), "-D"], raw=raw)
    answer_prompts(session, [b"j\r", b"n\r"])
    status = session.finish()
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    lines = terminal_lines(session)
    files = [l for l in lines if l.startswith("Datei ")]
    first, second = (l.split(" ")[1] for l in files)
    assert files == ["Datei %s wird gelöscht. %sj" % (first, PROMPT),
                     "Datei %s wird gelöscht. %sn" % (second, PROMPT)]
    i = lines.index(files[0])
    assert lines[i + 1:] == [
        "OK!", files[1], "Löschvorgang abgebrochen", "", "Es wurde 1 Datei gelöscht.",
        "Dabei wurden %d B freigegeben." % (1 if first == "a.log" else 2), ""]
    assert "Löschmodus: aktiv" in lines  # umlauts arrive as UTF-8
    assert os.listdir(d) == [second]


def test_ctrl_c_at_prompt_ends_tool_at_once(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 2, "c.log": 3})
    session = PtySession(["-f", d, "-D"])
    session.expect(PROMPT)
    session.send(b"\x03")
    status = session.finish()
    assert os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT
    after = session.out.split(PROMPT.encode(), 1)[1]
    assert b"Datei" not in after and b"OK!" not in after and b"Es wurde" not in after
    assert sorted(os.listdir(d)) == ["a.log", "b.log", "c.log"]


@pytest.mark.parametrize("answers, deleted", [
    ("yes", 3),                      # an endless stream of "y" lines
    (b"j\nn\n", 1),                  # two answers, then end of input
])
def test_utf8_answers_from_a_pipe(tmp_path, answers, deleted):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 2, "c.log": 3})
    if answers == "yes":
        yes = subprocess.Popen(["yes"], stdout=subprocess.PIPE)
        try:
            out = subprocess.run([BIN, "-f", d, "-D"], env=base_env(), stdin=yes.stdout,
                                 stdout=subprocess.PIPE, timeout=30).stdout
        finally:
            yes.kill()
            yes.wait()
        lines = [l for l in decode_lines(out) if l.startswith("Datei ")]
    else:
        lines = file_lines(run(["-f", d, "-D"], stdin=answers))
    assert len(lines) == 3
    assert sum(l.endswith(PROMPT + "OK!") for l in lines) == deleted
    assert len(os.listdir(d)) == 3 - deleted


def test_names_on_a_terminal_are_shown_safely(tmp_path):
    d = os.fsencode(str(tmp_path))
    names = [b"\x1b[2J.log", b"bad\x9b.log", b"c1\xc2\x9b.log", "gol.\u202egol.exe".encode(),
             "app\u200b.log".encode(), "x\u2028y.log".encode()]
    for name in names:
        open(os.path.join(d, name), "wb").close()
    session = PtySession(["-f", str(tmp_path), "-D", "-b"])
    status = session.finish()
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    assert b"\x1b" not in session.out and b"\x9b" not in session.out
    for shown in ("?[2J.log", "bad?.log", "c1?.log", "gol.?gol.exe", "app?.log", "x?y.log"):
        assert ("Datei " + shown + " wird gelöscht. OK!").encode() in session.out
    assert os.listdir(d) == []


def test_run_killed_at_a_prompt_leaves_every_line_and_the_prompt(tmp_path):
    d = os.path.join(str(tmp_path), "logs")
    make_files(d, {"a.log": 1, "b.log": 2})
    log = os.path.join(str(tmp_path), "out")
    with open(log, "wb") as out:
        proc = subprocess.Popen([BIN, "-f", d, "-D"], env=base_env(),
                                stdin=subprocess.PIPE, stdout=out)
    proc.stdin.write("j\r\n".encode("utf-16-le"))
    proc.stdin.flush()
    prompt = PROMPT.encode("utf-16-le")
    end = time.monotonic() + 10
    while open(log, "rb").read().count(prompt) < 2 and time.monotonic() < end:
        time.sleep(0.05)
    proc.kill()
    proc.wait()
    proc.stdin.close()
    raw = open(log, "rb").read()
    assert raw.endswith(prompt), raw
    lines = decode_lines(raw + "\r\n".encode("utf-16-le"))
    assert lines[2:6] == ["Eingangspfad: " + d, "Eingangsdatei: *.*", "Löschmodus: aktiv",
                          "Batchmodus: nicht aktiv"]
    first, second = (l.split(" ")[1] for l in lines[6:])
    assert lines[6:] == ["Datei %s wird gelöscht. %sOK!" % (first, PROMPT),
                         "Datei %s wird gelöscht. %s" % (second, PROMPT)]


def test_bare_enter_from_a_pipe_is_answered_at_once(tmp_path):
    d = os.path.join(str(tmp_path), "logs")
    make_files(d, {"a.log": 1, "b.log": 2})
    proc = subprocess.Popen([BIN, "-f", d, "-D"], env=base_env(), bufsize=0,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    proc.stdin.write(b"\n")  # one byte, then the responder waits for the next question
    prompt = PROMPT.encode("utf-16-le")
    out, end = b"", time.monotonic() + 1
    while out.count(prompt) < 2 and select.select([proc.stdout], [], [], end - time.monotonic())[0]:
        out += os.read(proc.stdout.fileno(), 4096)
    proc.stdin.close()
    proc.wait(timeout=10)
    assert out.count(prompt) == 2


def without_core_dumps():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


# Every signal that ends a process waits for the file being removed; one
# ignored when the tool started (nohup) stays ignored.
@pytest.mark.parametrize("number", [signal.SIGTERM, signal.SIGQUIT, signal.SIGUSR1,
                                    signal.SIGALRM, signal.SIGXFSZ],
                         ids=lambda number: signal.Signals(number).name)
def test_stopped_batch_run_names_every_file_it_removed(tmp_path, number):
    d = os.path.join(str(tmp_path), "logs")
    names = ["f%05d" % i for i in range(10000)]
    make_files(d, {n: 0 for n in names})
    log = os.path.join(str(tmp_path), "out")
    for attempt in range(10):
        with open(log, "wb") as out:
            proc = subprocess.Popen([BIN, "-f", d, "-D", "-b"], env=base_env(), stdout=out,
                                    preexec_fn=without_core_dumps)
        while os.path.getsize(log) < 4000 + 400 * attempt and proc.poll() is None:
            pass  # into the deletion pass, somewhere in its first files
        proc.send_signal(number)
        assert proc.wait() == -number
        lines = open(log, "rb").read().decode("utf-16-le").split("\r\n")
        ok = {l.split(" ")[1] for l in lines if l.endswith(" wird gelöscht. OK!")}
        assert ok == set(names) - set(os.listdir(d)), "attempt %d" % attempt
        make_files(d, {n: 0 for n in ok})
    proc = subprocess.Popen([BIN, "-f", d, "-D", "-b"], env=base_env(), stdout=subprocess.DEVNULL,
                            preexec_fn=lambda: signal.signal(number, signal.SIG_IGN))
    proc.send_signal(number)
    assert proc.wait() == 0 and os.listdir(d) == []

"""Terminal behaviour: UTF-8 output, typed confirmations, Ctrl+C, Ctrl+D."""

import os
import signal

import pytest

from conftest import PROMPT, PtySession, make_files

pytestmark = pytest.mark.posix_only


def answer_prompts(session, keys):
    """Wait for each prompt in turn and type the next answer."""
    for n, key in enumerate(keys, start=1):
        session.expect(PROMPT, count=n)
        session.send(key)


def terminal_lines(session):
    return [l.rstrip("\r") for l in session.text().split("\n")]


def test_typed_answers_stand_between_prompt_and_result(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 2})
    session = PtySession(["-f", os.path.join(d, "*.log"), "-D"])
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


def test_ctrl_d_at_prompt_refuses_that_file(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 2, "c.log": 3})
    session = PtySession(["-f", d, "-D"])
    answer_prompts(session, [b"\x04", b"\x04", b"y\r"])
    status = session.finish()
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    lines = terminal_lines(session)
    assert sum(l.endswith("Löschvorgang abgebrochen") for l in lines) == 2
    assert len(os.listdir(d)) == 2


def test_enter_ends_the_answer_on_a_terminal_left_raw(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a.log": 1})
    session = PtySession(["-f", os.path.join(d, "*.log"), "-D"], raw=True)
    answer_prompts(session, [b"j\r"])
    status = session.finish()
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    assert "OK!" in session.text()
    assert os.listdir(d) == []

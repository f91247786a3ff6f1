"""Licence display (-l)."""

import pytest

from conftest import BANNER, PROGRAM, run


@pytest.mark.parametrize("args", [
    ["-l"],
    ["-f", "x", "-l", "-D"],          # -D after -l is never read
    ["-D", "-x", "-d", "seven", "-l"],  # -l acts before a delete run is refused
])
def test_licence_shows_83_lines_and_exits_0(tmp_path, args):
    result = run(args, cwd=str(tmp_path))
    assert result.returncode == 0
    assert result.lines[:2] == BANNER
    body = result.lines[2:]
    assert len(body) == 83
    line = lambda n: body[n - 1]  # the shape of every line: the licence unit test
    assert line(24) == 'Diese Software verwendet PCRE, wobei es sich um eine "Open Source"'
    assert line(25) == "Umsetzung der regulären Ausdrücke von Perl handelt. Alle in PCRE"
    assert line(26) == ("unterstützten regulären Ausdrücke werden auch in " + PROGRAM
                        + " unterstützt.")
    assert line(27) == ('Um eine komplette Liste der unterstützten Suchmuster (englisch '
                        '"pattern")')
    assert line(28) == "und Argumente zu erhalten, besuchen Sie bitte die"
    assert line(29).startswith("PCRE-Seite: ") and len(line(29)) > len("PCRE-Seite: ")
    assert line(31) == "PCRE LICENCE"
    assert not any(l.startswith("Eingangspfad") or l.startswith("Datei ") for l in body)


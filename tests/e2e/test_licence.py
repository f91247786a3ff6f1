"""Licence display (-l)."""

import pytest

from conftest import BANNER, PROGRAM, run


@pytest.mark.parametrize("args", [
    ["-l"],
    ["-f", "x", "-l", "-D"],          # -D after -l is never read
    ["-d", "3", "-l", "-f"],
    ["-x", "-l"],
    ["-D", "-x", "-d", "seven", "-l"],  # -l acts before a delete run is refused
])
def test_licence_shows_83_lines_and_exits_0(tmp_path, args):
    result = run(args, cwd=str(tmp_path))
    assert result.returncode == 0
    assert result.lines[:2] == BANNER
    body = result.lines[2:]
    assert len(body) == 83
    line = lambda n: body[n - 1]
    empty = {2, 12, 21, 23, 30, 33} | {36, 38, 41, 43, 47, 51, 56, 60, 64, 66, 72, 75, 80, 83}
    for n in range(1, 84):
        assert (line(n) == "") == (n in empty), "line %d: %r" % (n, line(n))
    assert line(22) == "-" * 79
    assert line(24) == 'Diese Software verwendet PCRE, wobei es sich um eine "Open Source"'
    assert line(25) == "Umsetzung der regulären Ausdrücke von Perl handelt. Alle in PCRE"
    assert line(26) == ("unterstützten regulären Ausdrücke werden auch in " + PROGRAM
                        + " unterstützt.")
    assert line(27) == ('Um eine komplette Liste der unterstützten Suchmuster (englisch '
                        '"pattern")')
    assert line(28) == "und Argumente zu erhalten, besuchen Sie bitte die"
    assert line(29).startswith("PCRE-Seite: ") and len(line(29)) > len("PCRE-Seite: ")
    assert line(31) == "PCRE LICENCE"
    assert line(32) == "-" * 12
    assert all(len(line(n)) <= 79 for n in range(3, 12))
    assert all(line(n) == line(n).upper() for n in range(13, 21))
    assert all(len(line(n)) <= 77 for n in range(34, 84))
    assert line(57).startswith("     ") and line(65).startswith("     ")
    assert not any(l.startswith("Eingangspfad") or l.startswith("Datei ") for l in body)


"""Input resolution, the settings block, and inputs that find nothing."""

import os

import pytest

from conftest import BANNER, NOTHING_FOUND, listed_names, make_files, run, settings_of

SIM = ["Löschmodus: nur Simulation", "Batchmodus: nicht aktiv"]


@pytest.mark.parametrize("value, in_cwd, expected_path, expected_pattern, expected_names", [
    ("{d}/*.log", False, "{d}/", "*.log", ["a.log", "B.LOG"]),
    ("{d}", False, "{d}", "*.*", ["a.log", "B.LOG", "c.txt", "noext"]),
    ("{d}/", False, "{d}/", "*.*", ["a.log", "B.LOG", "c.txt", "noext"]),
    ("{d}/c.txt", False, "{d}/", "c.txt", ["c.txt"]),
    ("*.log", True, "", "*.log", ["a.log", "B.LOG"]),
    ("{d}/*.none", False, "{d}/", "*.none", []),
])
def test_input_resolves_into_directory_and_pattern(
        tmp_path, value, in_cwd, expected_path, expected_pattern, expected_names):
    d = os.path.join(str(tmp_path), "logs")
    make_files(d, {"a.log": 1, "B.LOG": 2, "c.txt": 3, "noext": 4})
    os.mkdir(os.path.join(d, "sub.log"))
    result = run(["-f", value.format(d=d)], cwd=d if in_cwd else None)
    assert result.returncode == 0
    assert settings_of(result) == [
        "Eingangspfad: " + expected_path.format(d=d),
        "Eingangsdatei: " + expected_pattern] + SIM
    assert sorted(listed_names(result)) == sorted(expected_names)
    if not expected_names:
        assert result.lines[-1] == NOTHING_FOUND
    assert sorted(os.listdir(d)) == ["B.LOG", "a.log", "c.txt", "noext", "sub.log"]


# A directory that cannot be read is said; a name that matches nothing is not.
@pytest.mark.parametrize("make_input, unreadable", [
    (lambda d: os.path.join(d, "missing", "*.log"), True),
    (lambda d: os.path.join(d, "missing"), False),
])
def test_unusable_input_finds_nothing(tmp_path, make_input, unreadable):
    d = str(tmp_path)
    make_files(d, {"file.txt": 5})
    value = make_input(d)
    result = run(["-f", value, "-D", "-b"], cwd=d)
    assert result.returncode == 0
    directory = settings_of(result)[0][len("Eingangspfad: "):]
    said = ["Fehler: Verzeichnis kann nicht gelesen werden: " + directory] if unreadable else []
    assert result.lines[len(BANNER) + 4:] == said + [NOTHING_FOUND]
    assert os.listdir(d) == ["file.txt"]


@pytest.mark.posix_only  # Windows searches "/\\*.*", a network name: nothing found
def test_separator_only_input_is_the_root_without_pattern():
    result = run(["-f", "/"])  # simulation only
    assert result.returncode == 0
    assert settings_of(result) == ["Eingangspfad: /", "Eingangsdatei: "] + SIM
    assert all(l.endswith("(Simulation!)") for l in result.lines[6:])


@pytest.mark.posix_only
def test_unreadable_directory_finds_nothing(tmp_path):
    if os.geteuid() == 0:
        pytest.skip("root reads every directory")
    d = os.path.join(str(tmp_path), "locked")
    make_files(d, {"a.log": 1})
    os.chmod(d, 0)
    try:
        result = run(["-f", os.path.join(d, "*.log"), "-D", "-b"])
    finally:
        os.chmod(d, 0o755)
    assert result.lines[-2:] == [
        "Fehler: Verzeichnis kann nicht gelesen werden: " + d + "/", NOTHING_FOUND]
    assert os.listdir(d) == ["a.log"]


@pytest.mark.posix_only
def test_odd_names_are_listed_and_untouched_in_simulation(tmp_path):
    d = os.fsencode(str(tmp_path))
    names = [b"a\nb.log", b"bad\xff.log", b"bad\xef\xbf\xbd.log", b"tab\t.log"]
    for n in names:
        open(os.path.join(d, n), "wb").close()
    result = run(["-f", os.path.join(str(tmp_path), "*.log")])
    assert result.returncode == 0
    assert sorted(listed_names(result)) == sorted(
        ["a?b.log", "bad\ufffd.log", "bad\ufffd.log", "tab?.log"])
    assert sorted(os.listdir(d)) == sorted(names)


@pytest.mark.posix_only  # "|" and '"' can't stand in Windows names
@pytest.mark.parametrize("inner, pattern, left", [
    ("a|b", "*.log", ["keep.txt"]),
    ("q", 'x"*.log', ["inner.log", "keep.txt"]),
])
def test_bar_and_quote_keep_to_the_named_directory(tmp_path, inner, pattern, left):
    d = str(tmp_path)
    make_files(d, {"outer.log": 1, "x": 2})
    make_files(os.path.join(d, inner), {"inner.log": 3, 'x"1.log': 4, "keep.txt": 5})
    result = run(["-f", os.path.join(d, inner, pattern), "-D", "-b"])
    assert settings_of(result)[:2] == [
        "Eingangspfad: " + os.path.join(d, inner) + os.sep, "Eingangsdatei: " + pattern]
    assert sorted(os.listdir(d)) == sorted([inner, "outer.log", "x"])
    assert sorted(os.listdir(os.path.join(d, inner))) == left


@pytest.mark.posix_only  # on Windows "\" separates and quotes enclose the value
@pytest.mark.parametrize("value, deleted", [
    ("a\\b.log", ["a\\b.log"]),  # not b.log in the directory "a\"
    ('""', ['""']),              # a name, never the current directory
])
def test_backslash_and_quotes_are_name_characters(tmp_path, value, deleted):
    d = str(tmp_path)
    files = {"a\\b.log": 1, '""': 2, "keep.log": 3}
    make_files(d, files)
    make_files(os.path.join(d, "a\\"), {"b.log": 4})
    result = run(["-f", value, "-D", "-b"], cwd=d)
    assert result.returncode == 0
    assert listed_names(result) == deleted
    assert sorted(os.listdir(d)) == sorted(set(files) - set(deleted) | {"a\\"})
    assert os.listdir(os.path.join(d, "a\\")) == ["b.log"]

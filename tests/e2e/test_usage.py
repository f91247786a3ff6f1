"""Banner, option pass and usage text."""

import os

import pytest

from conftest import BANNER, USAGE, make_files, run, settings_of


@pytest.mark.parametrize("args", [
    [],
    ["-f", ""],
    ["-d", "-l"],               # -l is the value of -d here
])
def test_missing_input_file_prints_usage_and_exits_99(args):
    result = run(args)
    assert result.returncode == 99
    expected = "".join(line + "\r\n" for line in USAGE).encode("utf-16-le")
    assert result.raw == expected


@pytest.mark.parametrize("args, expected_pattern", [
    (["-x", "-f", "*.log"], "*.log"),
    (["stray", "-f", "*.log", "-d"], "*.log"),  # -d last: value 0, no age line
])
def test_option_pass_reads_every_word_once(tmp_path, args, expected_pattern):
    result = run(args, cwd=str(tmp_path))
    assert result.returncode == 0
    assert settings_of(result) == [
        "Eingangspfad: ", "Eingangsdatei: " + expected_pattern,
        "Löschmodus: nur Simulation", "Batchmodus: nicht aktiv"]


# A value attached to its option (or a huge count) must keep its filter: taken
# as unknown words, or wrapped to a negative count, the run deleted everything.
@pytest.mark.parametrize("options, extra_lines, kept", [
    (["-f{d}", "-r\\.log$"], ["regulärer Ausdruck: \\.log$"], ["c.txt"]),
    (["-f", "{d}", "-d7", "-h\t1", "-m30", "-a5"],
     ["Mindestalter der Dateien: 7 Tage, 1 Stunden, 30 Minuten"], ["a.log", "b.log", "c.txt"]),
    (["-f", "{d}", "-a", "10000000000000000000"], [], ["a.log", "b.log", "c.txt"]),
])
def test_attached_values_and_huge_counts_keep_their_filter(tmp_path, options, extra_lines, kept):
    d = os.path.join(str(tmp_path), "logs")
    make_files(d, {"a.log": 1, "b.log": 1, "c.txt": 1})
    result = run([o.format(d=d) for o in options] + ["-D", "-b"])
    assert result.returncode == 0
    assert settings_of(result) == ["Eingangspfad: " + d, "Eingangsdatei: *.*",
                                   "Löschmodus: aktiv", "Batchmodus: aktiv"] + extra_lines
    assert sorted(os.listdir(d)) == kept


# A delete run reads the whole command line or deletes nothing (every fault
# line is the option pass's unit table; here the refusal of the real binary).
@pytest.mark.parametrize("options, faults", [
    (["--days", "7"], ["Unbekannter Parameter: --days", "Unbekannter Parameter: 7"]),
    (["-d", "seven"], ["Keine Zahl bei -d: seven"]),
    (["{d}/b.log", "-d", "7"], ["Unbekannter Parameter: {d}/b.log"]),  # an unquoted glob
    (["-r", "("], ["Ungültiger regulärer Ausdruck: missing )"]),
    (["-d", "-7", "-a", "-2"], ["Negativer Wert bei -a: -2", "Negativer Wert bei -d: -7"]),
    (["-d", "$10000000000000000"], ["Keine Zahl bei -d: $10000000000000000"]),  # wrapped to 0
    # -a %3 -D with %3 empty: -a takes -D, and even the simulation is refused.
    (["-d", "2", "-a", "-D", "-b"], ["Keine Zahl bei -a: -D"]),
])
def test_delete_run_refuses_what_it_cannot_read(tmp_path, options, faults):
    d = str(tmp_path)
    make_files(d, {"a.log": 1, "b.log": 1})
    delete = [] if "-D" in options else ["-D", "-b"]
    result = run(["-f", d + "/a.log"] + delete + [o.format(d=d) for o in options])
    assert result.returncode == 99
    assert result.lines == BANNER + ["Fehler: " + f.format(d=d) for f in faults] + USAGE[4:]
    assert sorted(os.listdir(d)) == ["a.log", "b.log"]

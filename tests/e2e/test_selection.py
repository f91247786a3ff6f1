"""Which files become candidates: pattern, expression, age, spare count."""

import os
import subprocess
import time

import pytest

from conftest import DAY, NOTHING_FOUND, listed_names, make_files, run

NAMES = ["a.log", "B.LOG", "c.txt", "noext", "d.log.bak", ".hidden", "März.txt", "(x).log"]


@pytest.mark.parametrize("pattern, expected", [
    ("*.log", ["a.log", "B.LOG", "(x).log"]),
    ("?.log", ["a.log", "B.LOG"]),
    ("*", NAMES),
    ("MÄRZ.TX?", ["März.txt"]),
    ("*.", ["noext"]),  # a final dot stands for an empty extension
])
def test_pattern_matches_by_windows_rules_and_skips_directories(tmp_path, pattern, expected):
    d = str(tmp_path)
    make_files(d, {n: 1 for n in NAMES})
    os.mkdir(os.path.join(d, "dir.log"))
    result = run(["-f", os.path.join(d, pattern)])
    assert sorted(listed_names(result)) == sorted(expected)
    assert len(os.listdir(d)) == len(NAMES) + 1  # a simulation


@pytest.mark.posix_only  # Windows names ignore letter case
@pytest.mark.parametrize("name, deleted", [
    ("app.log", ["app.log"]),
    ("APP.LOG", ["APP.LOG"]),
    ("app.Log", []),
    ("app.", []),     # a name, not a pattern: "app" is another file
    ("x.ıni", []),  # dotless i: no file of that name
])
def test_name_without_wildcards_is_exact(tmp_path, name, deleted):
    d = str(tmp_path)
    names = ["app.log", "APP.LOG", "App.Log", "app", "x.ini"]
    make_files(d, {n: 1 for n in names})
    result = run(["-f", os.path.join(d, name), "-D", "-b"])
    assert listed_names(result) == deleted
    assert sorted(os.listdir(d)) == sorted(set(names) - set(deleted))


@pytest.mark.parametrize("expression, expected", [
    (r"\.log$", ["a.log", "(x).log"]),
    ("^M.rz", ["März.txt"]),
    ("(", []),          # does not compile: a simulation lists nothing
])
def test_expression_filters_names(tmp_path, expression, expected):
    d = str(tmp_path)
    make_files(d, {n: 1 for n in NAMES})
    result = run(["-f", d, "-r", expression])  # a delete run refuses "(" (test_usage)
    assert sorted(listed_names(result)) == sorted(expected)
    if not expected:
        assert result.lines[-1] == NOTHING_FOUND
        assert sorted(os.listdir(d)) == sorted(NAMES)


# 128 nested lazy groups on a 250-character name took the matcher's whole
# stack; now the match stops at its limit and the name does not match.
def test_deeply_nested_expression_ends_the_run(tmp_path):
    d = str(tmp_path)
    make_files(d, {"a" * 250: 1})
    result = run(["-f", d, "-r", "(" * 128 + "." + ")*?" * 128 + "$"])
    assert result.returncode == 0
    assert result.lines[-1] == NOTHING_FOUND


# Files f0..f4 are created in five successive seconds b0 < ... < b4.  The clock
# is frozen at b[slot] + offset, so the thresholds fall exactly between them.
@pytest.mark.posix_only
@pytest.mark.parametrize("options, clock, expected", [
    (["-d", "1"], (2, DAY), ["f1", "f0"]),             # created exactly 1 day ago: spared
    (["-d", "1"], (2, DAY + 1), ["f2", "f1", "f0"]),   # one second older: a candidate
    (["-h", "24"], (2, DAY), ["f1", "f0"]),
    (["-m", "1440"], (2, DAY), ["f1", "f0"]),
    (["-a", "2"], None, ["f2", "f1", "f0"]),
    (["-d", "1", "-a", "1"], (3, DAY), ["f1", "f0"]),
    (["-d", "5000"], (2, 5000 * DAY), ["f1", "f0"]),  # a clock in 2040
])
def test_age_and_spare_select_oldest_first(tmp_path, aged_files, options, clock, expected):
    d = str(tmp_path)
    births = [aged_files.take(k, os.path.join(d, "f%d" % k)) for k in range(5)]
    now = births[clock[0]] + clock[1] if clock else None
    result = run(["-f", d] + options, now=now)
    assert result.returncode == 0
    assert listed_names(result) == expected



# Files of one second go by their finer creation time: -a 1 spares the newest.
def test_files_of_one_second_sort_newest_first(tmp_path):
    d, names = str(tmp_path), ["a.log", "b.log", "c.log"]  # made in this order
    while True:
        time.sleep(1.2 - time.time() % 1)  # early in a second, each 30 ms after the last
        for name in names:
            open(os.path.join(d, name), "wb").close()
            time.sleep(0.03)
        stamps = subprocess.run(["stat", "-c", "%W %Y"] + [os.path.join(d, n) for n in names],
                                check=True, stdout=subprocess.PIPE, text=True).stdout.split()
        if len(set(stamps[0::2] if stamps[0] != "0" else stamps[1::2])) == 1:
            break
    assert listed_names(run(["-f", d, "-a", "1"])) == ["b.log", "a.log"]

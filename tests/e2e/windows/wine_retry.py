"""Starting a program under Wine, again when Wine failed to start it.

Now and then Wine fails to start a process at all: it ends without a byte of
output.  cleanup.exe writes its banner before it looks at anything, so a run
without output did nothing and is started again.  Each such retry is noted in
the file CLEANUP_WINE_LOG names, when set.

Kept free of pytest so that cleanup-wine, which runs once per tool run of the
shared suite, starts quickly.
"""

import os
import subprocess

ATTEMPTS = 3


def run_wine(command, started=None, **options):
    """subprocess.run(command, **options) with standard output and error
    captured, started again while a run ends without output (or, for a program
    that writes none, while started() says it did not start). Input given as
    `input` reaches every attempt."""
    log = os.environ.get("CLEANUP_WINE_LOG")
    for attempt in range(1, ATTEMPTS + 1):
        proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **options)
        if (started() if started else proc.stdout) or attempt == ATTEMPTS:
            return proc
        if log:
            with open(log, "a", encoding="utf-8") as notes:
                notes.write("attempt %d ended with status %d and no output: %s\n"
                            % (attempt, proc.returncode, " ".join(command[2:])))
    return proc

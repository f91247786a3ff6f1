#!/usr/bin/env python3
"""Makes a zip that is the same bytes for the same files.

Usage: make-zip.py ZIP DIRECTORY EPOCH

Stores every file under DIRECTORY (paths relative to it) in name order, each
stamped with EPOCH (seconds, taken as UTC) and with no owner or extra fields,
so neither the file system's order, the files' times, the time zone nor the
user who builds it shows in the result.
"""
import os
import sys
import time
import zipfile


def main(zip_path, directory, epoch):
    # A zip's dates are DOS dates: 1980 at the earliest, two-second steps.
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]
    files = []
    for root, _dirs, names in os.walk(directory):
        for name in names:
            path = os.path.join(root, name)
            files.append(os.path.relpath(path, directory).replace(os.sep, "/"))
    with zipfile.ZipFile(zip_path + ".part", "w") as out:
        for name in sorted(files):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the mode below is read
            mode = 0o755 if name.endswith(".exe") else 0o644
            info.external_attr = (0o100000 | mode) << 16
            with open(os.path.join(directory, name), "rb") as source:
                out.writestr(info, source.read(), compresslevel=9)
    os.replace(zip_path + ".part", zip_path)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[2])
    main(*sys.argv[1:])

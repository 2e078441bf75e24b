#!/usr/bin/env python3
"""Compares the documents the XML tests wrote in write-stream mode with what
iconv makes of the same text: each WRITTEN_DIR/ENCODING.xml must be the text
of ENCODING.utf16 (UTF-16LE) converted to ENCODING, after the byte-order mark
that UTF-16 files get.

    compare_with_iconv.py WRITTEN_DIR
"""
import os
import subprocess
import sys

MARKS = {"utf-16le": b"\xFF\xFE", "utf-16be": b"\xFE\xFF"}


def main():
    folder = sys.argv[1]
    names = sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".xml"))
    assert len(names) >= 7, names
    failed = 0
    for name in names:
        with open(os.path.join(folder, name + ".utf16"), "rb") as f:
            source = f.read()
        expected = subprocess.run(["iconv", "-f", "UTF-16LE", "-t", name.upper()], input=source,
                                  stdout=subprocess.PIPE, check=True).stdout
        expected = MARKS.get(name, b"") + expected
        with open(os.path.join(folder, name + ".xml"), "rb") as f:
            written = f.read()
        if written != expected:
            at = next((i for i, (a, b) in enumerate(zip(written, expected)) if a != b),
                      min(len(written), len(expected)))
            print("%s: differs from iconv at byte %d (%d against %d bytes)"
                  % (name, at, len(written), len(expected)))
            failed += 1
        else:
            print("%s: %d bytes as iconv writes them" % (name, len(written)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

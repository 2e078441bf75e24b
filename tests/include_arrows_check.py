#!/usr/bin/env python3
"""Includes run one way: the user interface over the worker's pipeline,
the pipeline over its stages, the stages over the seams and the formats.

Fails on any include of a product folder that the including folder may not
use. Usage: include_arrows_check.py SOURCE_ROOT
"""
import pathlib
import re
import sys

BASE = {"common"}
SEAMS = BASE | {"report", "disk", "xml", "zip", "encoding", "crypto"}
ALLOWED = {
    "common": BASE,
    "crypto": BASE,
    "encoding": BASE,
    "xml": BASE | {"encoding"},
    "zip": BASE,
    "report": BASE,
    "disk": BASE,
    "fetch": SEAMS,
    "verify": SEAMS,
    "update": SEAMS,
    "apply": SEAMS | {"update"},
    # A package fetched by difference from the one kept before.
    "delta": SEAMS | {"fetch"},
    "worker": SEAMS | {"fetch", "delta", "verify", "update", "apply"},
    # At start-up the setup finishes an update that a run left unfinished,
    # and at its end it asks whether the folder is an installation.
    "app": SEAMS | {"worker", "update", "apply", "verify", "res"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)


def main():
    root = pathlib.Path(sys.argv[1])
    wrong = []
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).glob("*.[ch]*")):
            text = path.read_text(encoding="utf-8")
            for match in INCLUDE.finditer(text):
                target = match.group(1)
                if target != folder and target not in allowed:
                    line = text.count("\n", 0, match.start()) + 1
                    wrong.append(f"{path.relative_to(root).as_posix()}:{line}: {folder} -> {target}")
    for entry in wrong:
        print(entry)
    print(f"{len(wrong)} includes against the arrows")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())

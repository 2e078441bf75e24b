#!/usr/bin/env python3
"""Writes a realistic application package for the extraction benchmark: about
1,500 files of mixed kinds in nested folders (text and configuration that
compress well, program files that compress somewhat, media that does not),
zipped by Info-ZIP zip. Deterministic; kept when it is already there.

    make_package.py OUT.zip
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile


def main():
    out = os.path.abspath(sys.argv[1])
    if os.path.exists(out):
        return
    rng = random.Random(2026)
    words = [w.encode() for w in "quelda training course lesson trainer room schedule "
             "record export import <item id=\"%d\"/> \r\n".split(" ")]
    tree = tempfile.mkdtemp(prefix="zip_bench_src_")
    try:
        folders = ["app"] + ["app/%s" % a for a in ("bin", "lang", "help", "media", "data")]
        folders += ["%s/%s%d" % (f, "part", i) for f in folders[1:] for i in range(4)]
        folders += ["%s/deep/er" % f for f in folders[6:12]]
        for folder in folders:
            os.makedirs(os.path.join(tree, folder), exist_ok=True)

        def write(kind, index, size):
            folder = folders[rng.randrange(len(folders))]
            path = os.path.join(tree, folder, "%s%04d.%s" % (kind, index, kind))
            if kind == "txt":
                data = bytearray()
                while len(data) < size:
                    data += rng.choice(words) + b" "
                data = bytes(data[:size])
            elif kind == "dll":
                # Program code: repeated patterns with noise, about 2:1.
                chunk = rng.randbytes(256)
                data = bytearray()
                while len(data) < size:
                    data += chunk if rng.random() < 0.5 else rng.randbytes(256)
                data = bytes(data[:size])
            else:
                data = rng.randbytes(size)
            with open(path, "wb") as f:
                f.write(data)

        for i in range(1000):
            write("txt", i, rng.randrange(200, 24000))
        for i in range(420):
            write("dll", i, rng.randrange(4000, 60000))
        for i in range(80):
            write("png", i, rng.randrange(60000, 750000))
        made = subprocess.run(["zip", "-q", "-r", "-9", out + ".part", "app"], cwd=tree)
        if made.returncode != 0:
            sys.exit("zip failed")
        os.replace(out + ".part", out)
    finally:
        shutil.rmtree(tree)


if __name__ == "__main__":
    main()

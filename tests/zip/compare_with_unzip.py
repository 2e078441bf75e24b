#!/usr/bin/env python3
"""Extracts the fixture archives with the installer's code under Wine and with
Debian's Info-ZIP unzip natively, and compares the two trees: the same files
and folders, the same bytes, the same modification and access times, and the
same owner write permission (read-only attribute on the Windows side).

    compare_with_unzip.py WINE_RUN EXTRACT_TOOL FIXTURE_DIR WORK_DIR
"""
import os
import shutil
import stat
import subprocess
import sys

ARCHIVES = ["py_basic.zip", "py_dos.zip", "py_many.zip", "infozip.zip", "infozip_stream.zip",
            "stub_front.zip", "stub_adjusted.zip", "comment_near.zip", "times.zip",
            "crafted_ok.zip", "bsdtar_dot.zip"]
# Where the installer departs from unzip on purpose, by archive and path:
# what is not compared.
KNOWN = {
    # unzip gives an impossible DOS date a time of its own; the installer
    # leaves the file's time as it is.
    ("times.zip", "bad_dos_date.txt"): {"mtime", "atime"},
    # Without an access time in the block unzip takes the modification time;
    # the installer keeps the DOS time.
    ("times.zip", "ut_after_other.txt"): {"atime"},
    ("times.zip", "ut_short_block.txt"): {"atime"},
    ("times.zip", "empty_with_time.txt"): {"atime"},
    # unzip ignores a time before 1970 and takes the DOS time.
    ("times.zip", "ut_negative.txt"): {"mtime", "atime"},
    # Host 10 (NTFS): unzip reads the DOS attribute byte, the installer reads
    # every host outside the FAT family as Unix modes.
    ("py_dos.zip", "ntfs.txt"): {"write"},
}


def snapshot(root):
    """Path -> (kind, mtime, atime, owner-writable, bytes), stat taken before
    any read so that reading cannot move an access time."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            rel = os.path.relpath(path, root)
            kind = "dir" if stat.S_ISDIR(st.st_mode) else "file"
            entries[rel] = [kind, int(st.st_mtime), int(st.st_atime),
                            bool(st.st_mode & stat.S_IWUSR), None]
    for rel, entry in entries.items():
        if entry[0] == "file":
            with open(os.path.join(root, rel), "rb") as f:
                entry[4] = f.read()
    return entries


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    wine_run, tool, fixtures, work = sys.argv[1:5]
    failures = []
    for archive in ARCHIVES:
        source = os.path.join(fixtures, archive)
        ours = os.path.join(work, archive + ".ours")
        theirs = os.path.join(work, archive + ".unzip")
        for folder in (ours, theirs):
            if os.path.exists(folder):
                subprocess.run(["chmod", "-R", "u+w", folder], check=True)
                shutil.rmtree(folder)
        os.makedirs(ours)
        subprocess.run(["unzip", "-qq", "-o", source, "-d", theirs], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run = subprocess.run([wine_run, tool, windows_path(source), windows_path(ours)],
                             capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if run.returncode != 0 or run.stdout.strip():
            failures.append("%s: extraction reported %d %s" % (archive, run.returncode,
                                                               run.stdout.strip()))
        a, b = snapshot(ours), snapshot(theirs)
        if set(a) != set(b):
            failures.append("%s: only ours %s, only unzip %s" % (
                archive, sorted(set(a) - set(b))[:5], sorted(set(b) - set(a))[:5]))
        for rel in sorted(set(a) & set(b)):
            mine, ref = a[rel], b[rel]
            if mine[0] != ref[0]:
                failures.append("%s %s: %s against %s" % (archive, rel, mine[0], ref[0]))
                continue
            if mine[0] == "dir":
                continue
            if mine[4] != ref[4]:
                failures.append("%s %s: bytes differ" % (archive, rel))
            skip = KNOWN.get((archive, rel), set())
            for field, i in (("mtime", 1), ("atime", 2)):
                if field not in skip and mine[i] != ref[i]:
                    failures.append("%s %s: %s %d against %d" % (archive, rel, field, mine[i],
                                                                  ref[i]))
            if "write" not in skip and mine[3] != ref[3]:
                failures.append("%s %s: owner write %s against %s" % (archive, rel, mine[3],
                                                                      ref[3]))
        print("%-22s %5d paths compared" % (archive, len(set(a) & set(b))))
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes the zip archives that the zip tests read, into the given folder.

Real tools make the ordinary archives (Python's zipfile, Info-ZIP zip,
libarchive's bsdtar); small
byte-level edits of them, and a tiny writer for entries no tool makes, give
the damaged and hostile variants. Everything is deterministic: fixed
contents, fixed times.

    make_fixtures.py OUT_DIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

# Fixed times of the source files (Unix seconds) and of Python's entries.
MTIME = 1600000000  # 2020-09-13 12:26:40 UTC
ATIME = 1500000000  # 2017-07-14 02:40:00 UTC
DOS_TIME = (2021, 6, 15, 13, 45, 32)
PASSWORD = "secret"


def text_bytes(seed, size):
    """Compressible text of a fixed seed."""
    rng = random.Random(seed)
    words = [b"quelda", b"training", b"manager", b"lesson", b"course", b"\r\n", b"2026"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])


def random_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def write_source_tree(src):
    """Plain files that the Info-ZIP archives are made from; the tests read
    them back to compare the extracted bytes."""
    files = {
        "readme.txt": text_bytes(1, 3000),
        "bin/app.dll": random_bytes(2, 70000),
        "bin/data/table.dat": text_bytes(3, 150000),
        "empty.txt": b"",
        "docs/locked.txt": b"read-only on the Unix side\n",
    }
    for name, data in files.items():
        path = os.path.join(src, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.chmod(os.path.join(src, "docs/locked.txt"), 0o444)
    os.makedirs(os.path.join(src, "emptydir"), exist_ok=True)
    for root, dirs, names in os.walk(src):
        for name in names + dirs:
            os.utime(os.path.join(root, name), (ATIME, MTIME))
    os.utime(src, (ATIME, MTIME))


def py_entry(zf, name, data, method=zipfile.ZIP_DEFLATED, host=3, external=0o644 << 16,
             date_time=DOS_TIME):
    info = zipfile.ZipInfo(name, date_time)
    info.compress_type = method
    info.create_system = host
    info.external_attr = external
    zf.writestr(info, data)


def make_python_archives(out):
    with zipfile.ZipFile(os.path.join(out, "py_basic.zip"), "w") as zf:
        py_entry(zf, "stored.txt", text_bytes(10, 40000), zipfile.ZIP_STORED)
        py_entry(zf, "deflated.txt", text_bytes(11, 200000))
        py_entry(zf, "random.bin", random_bytes(12, 50000))
        py_entry(zf, "empty.txt", b"")
        py_entry(zf, "empty_stored.txt", b"", zipfile.ZIP_STORED)
        py_entry(zf, "folder/", b"", zipfile.ZIP_STORED, external=(0o40755 << 16) | 0x10)
        py_entry(zf, "folder/sub/", b"", zipfile.ZIP_STORED, external=(0o40755 << 16) | 0x10)
        py_entry(zf, "folder/sub/deep.txt", text_bytes(13, 5000))
        py_entry(zf, "missing/parents/file.txt", text_bytes(14, 100))
        py_entry(zf, "readonly.txt", b"no owner write\n", external=0o444 << 16)
        py_entry(zf, "groupwrite.txt", b"group may write, owner not\n", external=0o464 << 16)
    with zipfile.ZipFile(os.path.join(out, "py_dos.zip"), "w") as zf:
        py_entry(zf, "normal.txt", b"archive bit\n", host=0, external=0x20)
        py_entry(zf, "readonly.txt", b"read-only\n", host=0, external=0x21)
        py_entry(zf, "hidden.txt", b"hidden\n", host=0, external=0x22)
        py_entry(zf, "system.txt", b"system\n", host=0, external=0x24)
        py_entry(zf, "plain.txt", b"no bits\n", host=0, external=0x00)
        py_entry(zf, "dosdir/", b"", zipfile.ZIP_STORED, host=0, external=0x10)
        py_entry(zf, "vfat.txt", b"vfat host\n", host=14, external=0x21)
        py_entry(zf, "ntfs.txt", b"ntfs host reads as Unix\n", host=10, external=0x22)
    with zipfile.ZipFile(os.path.join(out, "py_many.zip"), "w") as zf:
        for i in range(3000):
            py_entry(zf, "d%02d/e%02d/f%04d.txt" % (i % 7, i % 13, i), b"item %d\n" % i)
    with zipfile.ZipFile(os.path.join(out, "py_empty.zip"), "w"):
        pass
    comment_fixed = 65535 - 22  # the largest comment whose end record is in the window
    for name, length in (("comment_near.zip", comment_fixed),
                         ("comment_beyond.zip", comment_fixed + 1)):
        with zipfile.ZipFile(os.path.join(out, name), "w") as zf:
            py_entry(zf, "inside.txt", b"found the end record\n")
            zf.comment = b"c" * length


def run(args, **kw):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)


def make_infozip_archives(out, src):
    env = dict(os.environ, TZ="UTC")
    run(["zip", "-q", "-r", os.path.join(out, "infozip.zip"), "."], cwd=src, env=env)
    run(["zip", "-q", "-r", "-P", PASSWORD, os.path.join(out, "infozip_encrypted.zip"),
         "readme.txt", "bin/app.dll"], cwd=src, env=env)
    # Streamed through pipes: zip cannot seek back in its output, so sizes
    # and CRC follow the data in a descriptor (flag bit 3).
    data = text_bytes(20, 60000)
    for name, extra in (("infozip_stream.zip", []),
                        ("infozip_stream_encrypted.zip", ["-P", PASSWORD])):
        made = subprocess.run(["zip", "-q"] + extra + ["-", "-"], input=data,
                              capture_output=True, check=True, env=env)
        with open(os.path.join(out, name), "wb") as f:
            f.write(made.stdout)
    with open(os.path.join(out, "stream_input.bin"), "wb") as f:
        f.write(data)
    # A program stub in front: once as it is (offsets relative to the
    # archive), once adjusted by zip -A (offsets relative to the file).
    stub = b"MZ" + random_bytes(30, 4094)
    base = open(os.path.join(out, "py_basic.zip"), "rb").read()
    with open(os.path.join(out, "stub_front.zip"), "wb") as f:
        f.write(stub + base)
    adjusted = os.path.join(out, "stub_adjusted.zip")
    with open(adjusted, "wb") as f:
        f.write(stub + open(os.path.join(out, "infozip.zip"), "rb").read())
    run(["zip", "-q", "-A", adjusted])


def make_bsdtar_archives(out):
    """bsdtar, started in the folder it packs, names every item from "./"
    on, the folder itself too, as Windows' tar.exe does."""
    src = os.path.join(out, "dot_src")
    files = {
        "readme.txt": text_bytes(50, 4000),
        "bin/tool.dll": random_bytes(51, 3000),
        "a/b/c.txt": text_bytes(52, 700),
    }
    for name, data in files.items():
        path = os.path.join(src, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for root, dirs, names in os.walk(src):
        for name in names + dirs:
            os.utime(os.path.join(root, name), (ATIME, MTIME))
    os.utime(src, (ATIME, MTIME))
    run(["bsdtar", "-a", "-cf", os.path.join(out, "bsdtar_dot.zip"), "."], cwd=src)
    empty = os.path.join(out, "dot_empty")
    os.makedirs(empty)
    os.utime(empty, (ATIME, MTIME))
    run(["bsdtar", "-a", "-cf", os.path.join(out, "bsdtar_empty.zip"), "."], cwd=empty)


class Entry:
    """One entry for the byte-level writer, with fields that may lie."""

    def __init__(self, name, data=b"", method=8, **kw):
        self.name = name if isinstance(name, bytes) else name.encode("latin-1")
        self.data = data
        self.method = method
        self.host = kw.get("host", 3)
        self.external = kw.get("external", 0o644 << 16)
        self.dos = kw.get("dos", 0x52CF6DB0)  # 2021-06-15 13:45:32
        self.flags = kw.get("flags", 0)
        self.local_extra = kw.get("local_extra", b"")
        if method == 8:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
            self.payload = c.compress(data) + c.flush()
        else:
            self.payload = data
        self.payload = kw.get("payload", self.payload)
        self.crc = kw.get("crc", zlib.crc32(data))
        self.csize = kw.get("csize", len(self.payload))
        self.usize = kw.get("usize", len(data))
        self.local_method = kw.get("local_method", method)
        self.local_crc = kw.get("local_crc", self.crc)
        self.local_name = kw.get("local_name", self.name)
        self.local_sig = kw.get("local_sig", 0x04034B50)
        self.central_sig = kw.get("central_sig", 0x02014B50)


def build_zip(entries, disk=0, dir_disk=0, disk_entries=None, total_entries=None,
              central=None):
    """central: (entry, local header offset) pairs for the central directory
    instead of one for each entry where it was written."""
    out = bytearray()
    offsets = []
    for e in entries:
        offsets.append(len(out))
        out += struct.pack("<IHHHIIIIHH", e.local_sig, 20, e.flags, e.local_method, e.dos,
                           e.local_crc, e.csize, e.usize, len(e.local_name),
                           len(e.local_extra))
        out += e.local_name + e.local_extra + e.payload
    dir_offset = len(out)
    for e, offset in central if central is not None else zip(entries, offsets):
        out += struct.pack("<IHHHHIIIIHHHHHII", e.central_sig, (e.host << 8) | 20, 20, e.flags,
                           e.method, e.dos, e.crc, e.csize, e.usize, len(e.name), 0, 0, 0, 0,
                           e.external, offset)
        out += e.name
    dir_size = len(out) - dir_offset
    n = len(entries) if central is None else len(central)
    out += struct.pack("<IHHHHIIH", 0x06054B50, disk, dir_disk,
                       n if disk_entries is None else disk_entries,
                       n if total_entries is None else total_entries, dir_size, dir_offset, 0)
    return bytes(out)


def ut_field(flags, *times, size=None):
    data = bytes([flags]) + b"".join(struct.pack("<i", t) for t in times)
    return struct.pack("<HH", 0x5455, len(data) if size is None else size) + data


HOSTILE_NAMES = [
    "C:\\x.txt", "/abs.txt", "\\\\server\\share\\unc.txt", "x/../y/../z.txt", "../b.txt",
    "a/../../b.txt", "..\\..\\win.txt", "a\\..\\b\\..\\..\\c.txt", "ok/./dot.txt", ".../x.txt",
    "CON", "sub/aux.txt", "x:y.txt", "C:/C:/dd.txt", "a/..\\..\\e.txt", "..", "a/..",
    "..\\", ".. /f.txt", "D:..\\g.txt", "/\\/h.txt", "lpt1", "com9.log", "console.txt",
]


def make_crafted_archives(out):
    text = text_bytes(40, 30000)

    def save(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    good = Entry("good.txt", text)
    save("crafted_ok.zip", build_zip([Entry("first.txt", b"first\n"), good]))
    save("two_disks.zip", build_zip([good], disk=1, dir_disk=1))
    save("dir_on_other_disk.zip", build_zip([good], dir_disk=1))
    save("counts_differ.zip", build_zip([good], disk_entries=1, total_entries=2))
    save("method12.zip", build_zip([Entry("bzip2.txt", text, method=0, payload=text),
                                    Entry("m12.txt", text, method=0)]))
    with open(os.path.join(out, "method12.zip"), "r+b") as f:
        data = bytearray(f.read())
        # The first entry's method becomes 12 in both headers.
        struct.pack_into("<H", data, 8, 12)
        central = data.index(b"PK\x01\x02")
        struct.pack_into("<H", data, central + 10, 12)
        f.seek(0)
        f.write(data)
    save("local_mismatch.zip", build_zip([
        Entry("method.txt", text, local_method=0),
        Entry("crc.txt", text, local_crc=0x12345678),
        Entry("namelen.txt", text, local_name=b"namelen.txtx"),
        Entry("signature.txt", text, local_sig=0x08074B50),
        Entry("descriptor.txt", text, flags=8, local_crc=0),
        Entry("fine.txt", text)]))
    save("truncated.zip", build_zip([
        Entry("short_stored.txt", text, method=0, payload=text[:1000], csize=1000),
        Entry("short_deflate.txt", text, csize=200,
              payload=zlib.compressobj(9, zlib.DEFLATED, -15).compress(text)[:200]),
        Entry("long_declared.txt", text, usize=len(text) + 500)]))
    payload = bytearray(Entry("x", text).payload)
    for i in range(40, 60):
        payload[i] ^= 0x5A
    save("corrupt_deflate.zip", build_zip([Entry("corrupt.txt", text, payload=bytes(payload))]))
    save("bad_crc.zip", build_zip([Entry("bad_crc.txt", text, crc=zlib.crc32(text) ^ 1),
                                   Entry("bad_crc_stored.txt", text, method=0,
                                         crc=zlib.crc32(text) ^ 0x80000000),
                                   Entry("fine.txt", b"fine\n")]))
    save("names.zip", build_zip([Entry(n, b"name %d\n" % i) for i, n in enumerate(HOSTILE_NAMES)]))
    save("long_name.zip", build_zip([Entry("n" * 259, b"259\n"), Entry("m" * 260, b"260\n")]))
    # The second central header is damaged: the walk cannot pass it. The
    # count also promises entries that are not there.
    broken = build_zip([Entry("a.txt", b"a\n"), Entry("b.txt", b"b\n", central_sig=0x02014B51),
                        Entry("c.txt", b"c\n")])
    save("walk_stuck.zip", broken)
    save("count_too_high.zip", build_zip([Entry("a.txt", b"a\n"), Entry("b.txt", b"b\n")],
                                         disk_entries=5, total_entries=5))
    # Entries that share their data, each whole and with a sound CRC: two
    # central headers for one local header, and one whose local header and
    # data lie inside the stored data of another.
    shared = Entry("a.txt", text)
    save("overlap_shared.zip", build_zip([shared], central=[(shared, 0), (shared, 0)]))
    inner = Entry("b.txt", b"inner\n", method=0)
    inner_bytes = struct.pack("<IHHHIIIIHH", 0x04034B50, 20, 0, 0, inner.dos, inner.crc,
                              inner.csize, inner.usize, 5, 0) + b"b.txt" + inner.data
    outer = Entry("a.txt", b"x" * 10 + inner_bytes + b"y" * 10, method=0)
    save("overlap_inside.zip", build_zip([outer], central=[(outer, 0), (inner, 30 + 5 + 10)]))
    # Names that clash where Windows compares them: one file twice, in
    # another case; a file where another item needs a folder.
    save("same_name.zip", build_zip([Entry("Data/Note.txt", b"first\n"),
                                     Entry("data/NOTE.TXT", b"second\n")]))
    # "./a.txt" is "a.txt"; "." as a file has nowhere to go.
    save("dot_clash.zip", build_zip([Entry("./a.txt", b"first\n"), Entry("a.txt", b"second\n")]))
    save("dot_file.zip", build_zip([Entry(".", b"a file\n")]))
    save("file_as_folder.zip", build_zip([Entry("app/lib", b"a file\n"),
                                          Entry("app/lib/deep/x.dll", b"below it\n")]))
    folder = (0o40755 << 16) | 0x10
    save("folder_twice.zip", build_zip([Entry("app/", b"", external=folder),
                                        Entry("App/", b"", external=folder),
                                        Entry("app/x.txt", b"x\n"),
                                        Entry("app.txt", b"beside\n"),
                                        # A folder as some tools write it: no
                                        # folder attribute, only the separator.
                                        Entry("lib/", b"", host=0, external=0),
                                        Entry("lib/x.dll", b"x\n")]))
    # A deflated entry that declares more than deflate can make of its data.
    save("size_lies.zip", build_zip([Entry("big.txt", text, usize=len(Entry("x", text).payload)
                                           * 1100)]))
    save("times.zip", build_zip([
        Entry("dos_only.txt", b"dos\n"),
        Entry("ut_all.txt", b"ut\n", local_extra=ut_field(7, MTIME, ATIME, MTIME - 86400)),
        Entry("ut_after_other.txt", b"ut\n",
              local_extra=struct.pack("<HH", 0x7875, 3) + b"\x01\x00\x00" + ut_field(1, MTIME)),
        # Flags promise three times, the block holds one: only that one is taken.
        Entry("ut_short_block.txt", b"ut\n",
              local_extra=ut_field(7, MTIME, size=5) + struct.pack("<HH", 0x9999, 4) + b"\x01\x02\x03\x04"),
        Entry("ut_negative.txt", b"ut\n", local_extra=ut_field(1, -86400)),
        Entry("bad_dos_date.txt", b"month 0\n", dos=(41 << 25) | (0 << 21) | (1 << 16)),
        Entry("empty_with_time.txt", b"", local_extra=ut_field(1, MTIME))]))


def make_delta_archives(out):
    """Releases of one package for the update fetched by difference, made
    by Info-ZIP zip from folders as a vendor builds them: delta_old.zip;
    delta_new.zip with Quelda.exe and two other files changed, one added,
    one removed; delta_touched.zip with the old files but every time
    changed; delta_renamed.zip with the old data under other names;
    delta_streamed.zip with the old files and data descriptors;
    delta_old_accessed.zip and delta_accessed.zip, the old files zipped
    without -X at two times of last access."""
    env = dict(os.environ, TZ="UTC")
    files = {f"data/part{i:02}.txt": text_bytes(100 + i, 2000 + 997 * i) for i in range(30)}
    files.update({f"bin/lib{i}.dll": random_bytes(200 + i, 20000 + 3001 * i) for i in range(6)})
    files["Quelda.exe"] = random_bytes(300, 90000)

    def release(name, contents, mtime, atime=ATIME, extra="-X"):
        tree = os.path.join(out, "delta_src_" + name)
        for path, data in contents.items():
            full = os.path.join(tree, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(data)
            os.utime(full, (atime, mtime))
        run(["zip", "-q", extra, "-r", os.path.join(out, f"delta_{name}.zip")] +
            sorted(contents), cwd=tree, env=env)
        shutil.rmtree(tree)

    release("old", files, MTIME)
    changed = dict(files)
    changed["Quelda.exe"] = random_bytes(301, 91000)
    changed["data/part03.txt"] = text_bytes(903, 5000)
    changed["bin/lib2.dll"] = random_bytes(902, 26003)
    changed["data/added.txt"] = text_bytes(904, 7000)
    del changed["data/part07.txt"]
    release("new", changed, MTIME)
    release("touched", files, MTIME + 86400)
    # Without -X zip keeps each file's time of last access in its local
    # header alone: the same files, read again, give other headers.
    release("old_accessed", files, MTIME, ATIME, "-q")
    release("accessed", files, MTIME, ATIME + 3600, "-q")
    # The same data under other names; and the old files streamed, as zip
    # writes them into a pipe: it cannot seek back, so data descriptors
    # follow the data, and what it could not shrink stays deflated.
    tree = os.path.join(out, "delta_src_renamed")
    for path, data in files.items():
        full = os.path.join(tree, "renamed", path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        os.utime(full, (ATIME, MTIME))
    run(["zip", "-q", "-X", "-r", os.path.join(out, "delta_renamed.zip"), "renamed"],
        cwd=tree, env=env)
    made = subprocess.run(["zip", "-q", "-X", "-r", "-", "."], cwd=os.path.join(tree, "renamed"),
                          env=env, capture_output=True, check=True)
    with open(os.path.join(out, "delta_streamed.zip"), "wb") as f:
        f.write(made.stdout)
    shutil.rmtree(tree)


def main():
    out = sys.argv[1]
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    src = os.path.join(out, "src")
    os.makedirs(src)
    write_source_tree(src)
    make_python_archives(out)
    make_infozip_archives(out, src)
    make_bsdtar_archives(out)
    make_crafted_archives(out)
    make_delta_archives(out)


if __name__ == "__main__":
    main()

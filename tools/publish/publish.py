#!/usr/bin/env python3
"""Publishes a Quelda Manager folder as the update server's files.

    publish.py APP_FOLDER OUT_FOLDER [--demo-database FILE] [--build DIR]
               [--signing-key KEY [--signing-key-password-file FILE]] [--serial N]
    publish.py --make-keys KEY PUBLIC_KEY [--signing-key-password-file FILE]

Writes OUT_FOLDER/zirorov.zip (every file of APP_FOLDER, deflated, with its
time; a folder entry only for an empty folder), OUT_FOLDER/quelda.xml (the
version manifest: lastversion is the product version of APP_FOLDER/Quelda.exe,
with the package's size and SHA-256, the demo database's as mdbsize and
mdbsha256, and serial, which rises with every publication: the time of
publication in seconds, or one more than the serial already in OUT_FOLDER)
and, when given, OUT_FOLDER/quelda.mdb.

With --signing-key (an ECDSA P-256 private key, PKCS#8 PEM, encrypted or not;
its password only ever from a file), OUT_FOLDER/quelda.xml.sig is the
signature of the manifest's bytes, as `openssl dgst -sha256 -sign KEY` writes
it. A setup built with update keys installs only what a manifest signed by one
of them declares. Without --signing-key no signature is written, and one left
from an earlier publication is removed.

--make-keys writes a new key pair: KEY, the private key (PKCS#8 PEM, readable
by its owner alone; encrypted with the password file's first line when one is
given), and PUBLIC_KEY (SubjectPublicKeyInfo PEM), which the setup is built
with (scripts/release --update-key).

Item names are written in code page 936 without the UTF-8 flag: the setup
reads them in the system's ANSI code page, which is 936 on the users' Chinese
Windows. A folder without Quelda.exe or its version, or with a name that code
page 936 cannot write or that the setup would refuse, is refused whole.

Everything is made in a temporary folder inside OUT_FOLDER, and the package
is read back by the setup's own zip layer (tools/publish/check_package.exe of
the build, under Wine in code page 936) and extracted into a scratch folder,
where every file must match its source. Only then do the files take their
places, the signature before the manifest, the manifest last; on any failure
OUT_FOLDER is left as it was.
"""

import argparse
import hashlib
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
APP_NAME = "Quelda.exe"
PACKAGE, MANIFEST, DATABASE = "zirorov.zip", "quelda.xml", "quelda.mdb"
SIGNATURE = MANIFEST + ".sig"
# The setup keeps its downloads and backups in these, and the user's own
# database under that name: a package must not write over them.
SETUP_OWN = {"download": "the setup's download folder", "update": "the setup's backup folder",
             "quelda.mdb": "the user's database (give a demo database with --demo-database)"}
DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}
DEVICE_DIGITS = set("0123456789\u00b9\u00b2\u00b3")
ILLEGAL = set('<>:"/\\|?*') | {chr(c) for c in range(32)}
NAME_BYTES = 259  # the setup's name buffer holds 259 bytes and a terminator
FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_ARCHIVE = 0x10, 0x20
READ_SIZE = 1 << 20


class Refused(Exception):
    pass


def product_version(app):
    """The fixed product version of the Quelda.exe, as the setup reads it."""
    try:
        import pefile
    except ImportError:
        raise Refused("python3-pefile is missing: run scripts/setup")
    try:
        pe = pefile.PE(app, fast_load=True)
        pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except pefile.PEFormatError as e:
        raise Refused(f"{app} is not a Windows program ({e})")
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        raise Refused(f"{app} has no version resource: the setup could not tell its version")
    ms, ls = fixed[0].ProductVersionMS, fixed[0].ProductVersionLS
    parts = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    text = ".".join(map(str, parts))
    # The setup keeps 8 bits of each part, and takes 0 for no version.
    if max(parts) > 255 or not any(parts):
        raise Refused(f"{app} has product version {text}: each part must be 0 to 255, "
                      "not all 0")
    return text


def component_problem(c):
    """Why the setup (or Windows) would not take this name component."""
    if not c:
        return "an empty name"
    bad = sorted({ch for ch in c if ch in ILLEGAL})
    if bad:
        return "characters Windows does not allow in names: " + " ".join(
            repr(ch) for ch in bad)
    if c[-1] in ". ":
        return "a name ending in a dot or a blank"
    base = c.split(".", 1)[0].rstrip(" ").upper()
    if base in DEVICES or (len(base) == 4 and base[:3] in ("COM", "LPT")
                           and base[3] in DEVICE_DIGITS):
        return "a device name"
    return None


def encode_name(name):
    """The name's bytes in code page 936; Windows' table there has the euro
    sign at 0x80, which Python's lacks."""
    return b"\x80".join(part.encode("cp936") for part in name.split("\u20ac"))


def collect(app):
    """The package's items as (name, source path, is folder), Quelda.exe
    first, each folder's files before its subfolders; refuses the folder
    with every problem found."""
    items, problems, seen, parents = [], [], {}, set()
    for folder, dirs, files in os.walk(app, onerror=lambda e: problems.append(str(e))):
        dirs.sort()
        files.sort(key=lambda n: (n.lower() != APP_NAME.lower() or folder != app, n))
        relative = os.path.relpath(folder, app)
        prefix = "" if relative == "." else relative.replace(os.sep, "/") + "/"
        for name in files + dirs:
            path = os.path.join(folder, name)
            mode = os.lstat(path).st_mode
            if name in files and not stat.S_ISREG(mode) or name in dirs and stat.S_ISLNK(mode):
                problems.append(f"{prefix}{name}: neither a plain file nor a folder")
                continue
            if name in dirs and os.listdir(path):
                continue  # its files name it
            items.append((prefix + name + ("/" if name in dirs else ""), path, name in dirs))
        # A link to a folder is refused above, and not walked into.
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(folder, d))]
    for name, _, _ in items:
        parts = name.rstrip("/").split("/")
        for part in parts:
            problem = component_problem(part)
            if problem:
                problems.append(f"{name}: {problem} ({part!r})")
        if parts[0].lower() in SETUP_OWN:
            problems.append(f"{name}: {SETUP_OWN[parts[0].lower()]}")
        try:
            raw = encode_name(name)
            if len(raw) > NAME_BYTES:
                problems.append(f"{name}: {len(raw)} bytes in code page 936, the setup takes "
                                f"at most {NAME_BYTES}")
        except UnicodeEncodeError as e:
            problems.append(f"{name}: code page 936 cannot write {e.object[e.start:e.end]!r}")
        # Windows does not tell names apart by case: one would land on the
        # other, or a file on a folder.
        key = name.rstrip("/").upper()
        if key in seen:
            problems.append(f"{name}: the same name as {seen[key]} on Windows")
        seen[key] = name
        parents.update("/".join(parts[:i]).upper() for i in range(1, len(parts)))
    for name, _, is_folder in items:
        if not is_folder and name.upper() in parents:
            problems.append(f"{name}: a folder of the same name on Windows")
    if problems:
        raise Refused("names the setup cannot install:\n  " + "\n  ".join(problems))
    return items


def dos_time(mtime):
    t = time.localtime(mtime)
    if t.tm_year < 1980:
        return 0, (1 << 5) | 1  # 1980-01-01 00:00:00
    if t.tm_year > 2107:
        return (23 << 11) | (59 << 5) | 29, (127 << 9) | (12 << 5) | 31
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def write_package(items, path):
    """A single-disk zip archive (APPNOTE): deflated files, stored empty
    files and folders, MS-DOS attributes, the DOS time and an extended
    timestamp (exact modification time, which the setup restores) per item.
    The sizes go into each local header once its data is written. Returns
    (files, folders, unpacked bytes)."""
    central = []
    files = folders = unpacked = 0
    with open(path, "wb") as out:
        for name, source, is_folder in items:
            raw = encode_name(name)
            mtime = int(os.stat(source).st_mtime)
            mod_time, mod_date = dos_time(mtime)
            extra = struct.pack("<HHBi", 0x5455, 5, 1, mtime) if -2**31 <= mtime < 2**31 else b""
            offset = out.tell()
            out.write(b"\0" * 30 + raw + extra)
            crc = size = 0
            method = 0
            if not is_folder and os.path.getsize(source) > 0:
                method = 8
                deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
                with open(source, "rb") as f:
                    while chunk := f.read(READ_SIZE):
                        crc = zlib.crc32(chunk, crc)
                        size += len(chunk)
                        out.write(deflater.compress(chunk))
                out.write(deflater.flush())
            packed = out.tell() - offset - 30 - len(raw) - len(extra)
            if size >= 2**31 or out.tell() >= 2**32:
                raise Refused(f"{name}: too large for a package without ZIP64")
            fields = struct.pack("<HHHHHIIIHH", 20, 0, method, mod_time, mod_date, crc, packed,
                                 size, len(raw), len(extra))
            end = out.tell()
            out.seek(offset)
            out.write(b"PK\3\4" + fields)
            out.seek(end)
            attributes = FILE_ATTRIBUTE_DIRECTORY if is_folder else FILE_ATTRIBUTE_ARCHIVE
            central.append(b"PK\1\2" + struct.pack("<H", 20) + fields +
                           struct.pack("<HHHII", 0, 0, 0, attributes, offset) + raw + extra)
            folders += is_folder
            files += not is_folder
            unpacked += size
        directory = b"".join(central)
        if len(central) > 0xFFFF or out.tell() + len(directory) + 22 >= 2**32:
            raise Refused("too many items or bytes for a package without ZIP64")
        start = out.tell()
        out.write(directory)
        out.write(b"PK\5\6" + struct.pack("<HHHHIIH", 0, 0, len(central), len(central),
                                          len(directory), start, 0))
        out.flush()
        os.fsync(out.fileno())
    return files, folders, unpacked


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(READ_SIZE):
            digest.update(chunk)
    return digest.hexdigest()


def write_manifest(path, version, size, sha256, serial, database=None):
    """database: (size, sha256) of the demo database, when one is published."""
    fields = f'lastversion="{version}" size="{size}" sha256="{sha256}"'
    if database:
        fields += f' mdbsize="{database[0]}" mdbsha256="{database[1]}"'
    fields += f' serial="{serial}"'
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(f'<?xml version="1.0" encoding="utf-8"?>\n<quelda>\n  <files {fields}/>\n'
                "</quelda>\n")


def next_serial(out):
    """The time in seconds, or more than the serial the folder's manifest has."""
    serial = int(time.time())
    try:
        with open(os.path.join(out, MANIFEST), encoding="utf-8", errors="replace") as f:
            found = re.search(r'\bserial="(\d{1,19})"', f.read())
        if found:
            serial = max(serial, int(found.group(1)) + 1)
    except OSError:
        pass
    return serial


def cryptography_modules():
    try:
        from cryptography.hazmat.primitives import hashes, serialization
        from cryptography.hazmat.primitives.asymmetric import ec
    except ImportError:
        raise Refused("python3-cryptography is missing: run scripts/setup")
    return hashes, serialization, ec


def read_password(path):
    """The first line of the file, as bytes; None without a file."""
    if not path:
        return None
    with open(path, "rb") as f:
        line = f.read().splitlines()
    if not line or not line[0]:
        raise Refused(f"{path} holds no password")
    return line[0]


def load_signing_key(path, password_file):
    hashes, serialization, ec = cryptography_modules()
    try:
        with open(path, "rb") as f:
            key = serialization.load_pem_private_key(f.read(), read_password(password_file))
    except (ValueError, TypeError) as e:
        raise Refused(f"{path} is no usable private key: {e}")
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise Refused(f"{path} is no ECDSA P-256 (prime256v1) key")
    return key


def sign(key, data):
    """The DER signature of data's SHA-256, as openssl dgst -sha256 -sign writes it,
    checked against the key's own public half."""
    hashes, _, ec = cryptography_modules()
    signature = key.sign(data, ec.ECDSA(hashes.SHA256()))
    key.public_key().verify(signature, data, ec.ECDSA(hashes.SHA256()))
    return signature


def make_keys(key_path, public_path, password_file):
    hashes, serialization, ec = cryptography_modules()
    for path in (key_path, public_path):
        if os.path.exists(path):
            raise Refused(f"{path} exists: a key is never written over")
    password = read_password(password_file)
    key = ec.generate_private_key(ec.SECP256R1())
    encryption = (serialization.BestAvailableEncryption(password) if password
                  else serialization.NoEncryption())
    private = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                encryption)
    public = key.public_key().public_bytes(serialization.Encoding.PEM,
                                           serialization.PublicFormat.SubjectPublicKeyInfo)
    descriptor = os.open(key_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(descriptor, "wb") as f:
        f.write(private)
    with open(public_path, "xb") as f:
        f.write(public)
    print(f"publish: key pair made: {key_path} (private{', encrypted' if password else ''}; "
          f"keep it off the update server) and {public_path} (public: build the setup with it)")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check_package(build, items, package):
    """Reads and extracts the package with the setup's zip layer; every item
    must come out under its name, each file with its bytes and time."""
    # A scratch folder whose path is about as long as the setup's default
    # install folder, C:\Quelda Manager\: a name must fit beneath it.
    with tempfile.TemporaryDirectory(prefix="qp") as scratch:
        listing = os.path.join(scratch, "listing.txt")
        os.mkdir(os.path.join(scratch, "c"))
        compare_extracted(build, items, package, os.path.join(scratch, "c"), listing)


def compare_extracted(build, items, package, scratch, listing):
    # Wine takes the ANSI code page from each process's locale.
    env = dict(os.environ, LC_ALL="zh_CN.UTF-8")
    # A build whose tests never ran has no prefix yet: the harness makes it
    # as the tests have it, and its server ends with the check.
    harness = os.path.join(ROOT, "tests", "support", "harness")
    fresh = not os.path.isfile(os.path.join(build, "wineprefix", ".quelda-ready"))
    try:
        if fresh:
            subprocess.run([harness, "prefix-start", build], check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        run = subprocess.run([os.path.join(build, "wine-run"),
                              os.path.join(build, "tools", "publish", "check_package.exe"),
                              windows_path(package), windows_path(scratch),
                              windows_path(listing)],
                             env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, errors="replace")
    finally:
        if fresh:
            subprocess.run([harness, "prefix-stop", build], stdin=subprocess.DEVNULL)
    if run.returncode != 0:
        text = run.stderr.strip()
        item = re.search(r"item (\d+) does not extract \((0x[0-9A-F]+)\)", text)
        if item and int(item.group(1)) < len(items):
            text += f": {items[int(item.group(1))][0]}"
            if item.group(2) == "0x200":
                text += " cannot be created: beneath a folder as long as C:\\Quelda Manager\\ " \
                        "its path would pass 259 characters"
        raise Refused("the setup's zip layer does not take the package:\n" + text)
    with open(listing, encoding="utf-8") as f:
        seen = [tuple(line.rstrip("\n").split("\t", 2)) for line in f]
    intended = [("D" if is_folder else "F", "0" if is_folder else str(os.path.getsize(source)),
                 name) for name, source, is_folder in items]
    if seen != intended:
        wrong = [f"{a} read as {b}" for a, b in zip(intended, seen) if a != b]
        raise Refused("the setup reads the package otherwise than it was written:\n  " +
                      "\n  ".join(wrong or [f"{len(seen)} items, not {len(intended)}"]))
    for name, source, is_folder in items:
        out = os.path.join(scratch, *name.rstrip("/").split("/"))
        if is_folder:
            same = os.path.isdir(out)
        else:
            mtime = int(os.stat(source).st_mtime)
            # Beyond 2038 the package holds the DOS time alone.
            same = (os.path.isfile(out) and files_equal(out, source) and
                    (int(os.stat(out).st_mtime) == mtime or not -2**31 <= mtime < 2**31))
        if not same:
            raise Refused(f"{name} does not come out of the package as it went in")


def files_equal(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        while True:
            u, v = x.read(READ_SIZE), y.read(READ_SIZE)
            if u != v:
                return False
            if not u:
                return True


def publish(app, out, database, build, signing_key=None, serial=None):
    exe = next((n for n in (os.listdir(app) if os.path.isdir(app) else [])
                if n.lower() == APP_NAME.lower() and os.path.isfile(os.path.join(app, n))), None)
    if not exe:
        raise Refused(f"{app} holds no {APP_NAME}: it is no Quelda Manager folder")
    if os.path.commonpath([app, out]) == app:
        raise Refused(f"{out} lies inside the folder to publish")
    version = product_version(os.path.join(app, exe))
    items = collect(app)
    if database and not (os.path.isfile(database) and os.path.getsize(database) > 0):
        raise Refused(f"{database} is no demo database (no file, or an empty one)")
    for tool in ("wine-run", os.path.join("tools", "publish", "check_package.exe")):
        if not os.path.isfile(os.path.join(build, tool)):
            raise Refused(f"{os.path.join(build, tool)} is missing: build the project first "
                          f"(cmake --build {build} --target check_package)")

    made_out = not os.path.isdir(out)
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".publish-", dir=out)
    try:
        package = os.path.join(work, PACKAGE)
        files, folders, unpacked = write_package(items, package)
        size, sha256 = os.path.getsize(package), sha256_of(package)
        declared_database = None
        if database:
            shutil.copyfile(database, os.path.join(work, DATABASE))
            copy = os.path.join(work, DATABASE)
            declared_database = (os.path.getsize(copy), sha256_of(copy))
        if serial is None:
            serial = next_serial(out)
        manifest = os.path.join(work, MANIFEST)
        write_manifest(manifest, version, size, sha256, serial, declared_database)
        if signing_key:
            with open(manifest, "rb") as f:
                signature = sign(signing_key, f.read())
            with open(os.path.join(work, SIGNATURE), "wb") as f:
                f.write(signature)
        check_package(build, items, package)
        # The manifest last: it announces what the others hold; its
        # signature just before it.
        names = ([DATABASE] if database else []) + [PACKAGE]
        names += ([SIGNATURE] if signing_key else []) + [MANIFEST]
        for name in names:
            os.replace(os.path.join(work, name), os.path.join(out, name))
        if not signing_key and os.path.exists(os.path.join(out, SIGNATURE)):
            os.remove(os.path.join(out, SIGNATURE))
    except BaseException:
        shutil.rmtree(work, ignore_errors=True)
        if made_out:
            shutil.rmtree(out, ignore_errors=True)
        raise
    shutil.rmtree(work, ignore_errors=True)
    print(f"publish: Quelda Manager {version} in {out}")
    print(f"  {MANIFEST:<12} lastversion {version}, serial {serial}")
    if signing_key:
        print(f"  {SIGNATURE:<12} ECDSA P-256 signature of the manifest")
    else:
        print(f"  {'':<12} NOT signed: setups built with update keys will refuse it")
    print(f"  {PACKAGE:<12} {files} files, {folders} empty folders, "
          f"{unpacked:,} bytes unpacked, {size:,} bytes packed")
    print(f"  {'':<12} SHA-256 {sha256}")
    if database:
        print(f"  {DATABASE:<12} {os.path.getsize(os.path.join(out, DATABASE)):,} bytes")
    print("  checked: the setup's zip layer (code page 936) reads and extracts every item")


def main():
    # pefile comes from Debian's package (scripts/setup), which only Debian's
    # own Python sees; another python3 first on the PATH hands over to it.
    try:
        import pefile  # noqa: F401
    except ImportError:
        debian = "/usr/bin/python3"
        if os.path.exists(debian) and os.path.realpath(sys.executable) != os.path.realpath(debian):
            os.execv(debian, [debian, os.path.abspath(__file__)] + sys.argv[1:])
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n", 2)[2])
    parser.add_argument("app_folder", nargs="?")
    parser.add_argument("out_folder", nargs="?")
    parser.add_argument("--demo-database", metavar="FILE")
    parser.add_argument("--signing-key", metavar="KEY", help="sign the manifest with this key")
    parser.add_argument("--signing-key-password-file", metavar="FILE",
                        help="the key's password, on the file's first line")
    parser.add_argument("--serial", type=int, help="the manifest's serial (default: the time)")
    parser.add_argument("--make-keys", nargs=2, metavar=("KEY", "PUBLIC_KEY"),
                        help="write a new key pair, and nothing else")
    parser.add_argument("--build", default=os.environ.get("QUELDA_BUILD_DIR",
                                                          os.path.join(ROOT, "build")),
                        help="the build folder with check_package.exe and wine-run")
    options = parser.parse_args()
    try:
        if options.make_keys:
            make_keys(*options.make_keys, options.signing_key_password_file)
            return 0
        if not options.app_folder or not options.out_folder:
            parser.error("APP_FOLDER and OUT_FOLDER are needed")
        if options.signing_key_password_file and not options.signing_key:
            parser.error("--signing-key-password-file goes with --signing-key")
        if options.serial is not None and not 0 <= options.serial < 10**19:
            parser.error("--serial takes 0 to 19 digits")
        key = (load_signing_key(options.signing_key, options.signing_key_password_file)
               if options.signing_key else None)
        publish(os.path.abspath(options.app_folder), os.path.abspath(options.out_folder),
                options.demo_database, os.path.abspath(options.build), key, options.serial)
    except (Refused, OSError) as e:
        print(f"publish: refused, nothing written: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

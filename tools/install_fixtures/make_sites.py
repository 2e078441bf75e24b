#!/usr/bin/env python3
"""Update-server folders for the installation tests, each with quelda.xml,
zirorov.zip and quelda.mdb:

  app/           version 2.0.0.0: the stand-in Quelda.exe 2.0.0.0 and a tree
                 of data files and folders (two config.ini in different
                 folders), zipped by Info-ZIP zip in a fixed order
  app_expected/  that tree as it must come out of the package
  bad_name/      a package whose second item escapes the install folder
  damaged/       the app package with one byte of data/sample.txt, an entry
                 in its middle, changed: its CRC fails; declared as it is
  overlap/       a package whose two items share one local header and its
                 data, the smallest zip bomb
  folders/       version 2.0.0.0 written with a folder entry before the files
                 of data/ and one after those of data/lang/
  too_long/      the app package with a last item whose name (240
                 characters) no install folder leaves room for
  bsdtar/        the app_expected tree as libarchive's bsdtar zips a folder
                 (and Windows' own tar.exe): "./", "./readme.txt", "./data/"
  fault/         version 2.0.0.0 of 30 items (folder entries, an empty
                 folder, nested folders, a folder where an older version
                 has a file) for the update that fails or ends at each of
                 its file-system calls in turn
  fault_expected/  that package's tree as it must come out of it

With --published BUILD (tools/publish, whose check runs under that build's
Wine) instead:

  published_app/        a folder of Quelda Manager 2.0.0.0 with Chinese names,
                        nested and empty folders and an empty file
  published/            that folder and a demo database through tools/publish
  published_same_size/  its package with one byte changed where no zip reader
                        looks, under the same manifest
  published_other_size/ its package with an archive comment, under the same
                        manifest

With --signed BUILD SITES_FOLDER KEYS (after the others; KEYS holds the
tests' first.key, encrypted with password.txt, second.key and foreign.key):

  signed_first/      app_expected published with a demo database, signed with
                     the first key, serial 1000
  signed_second/     that tree and a further file, signed with the second
                     key, serial 2000
  signed_openssl/    signed_first's files, the signature made by plain openssl
  signed_changed/    signed_first with one byte of the manifest changed
  signed_foreign/    signed_first signed with the foreign key
  signed_nosig/      signed_first without its signature (404)
  signed_truncated/  signed_first with half its signature
  signed_mixed/      signed_first's manifest with signed_second's package
  signed_altered_mdb/  signed_first with one byte of the demo database changed
  signed_undeclared/ a signed manifest without the package's size and SHA-256

    make_sites.py SITES_FOLDER TEST_APP_2_0_0_0
    make_sites.py --published BUILD SITES_FOLDER TEST_APP_2_0_0_0
    make_sites.py --signed BUILD SITES_FOLDER KEYS
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "update_server"))
sys.path.insert(0, os.path.join(HERE, "..", "zip_fixtures"))
import update_server  # noqa: E402
import make_fixtures  # noqa: E402

TREE = {
    "readme.txt": "Quelda Manager 2.0\r\n",
    "data/sample.txt": "sample data 2.0\r\n" * 400,
    "data/lang/zh-CN.txt": "语言=简体中文\r\n",
    "lib/a/config.ini": "[a]\r\nversion=2.0\r\n",
    "lib/b/config.ini": "[b]\r\nversion=2.0\r\n",
    "docs/manual.html": "<html><body>手册</body></html>\n",
}
# Quelda.exe first: a byte fault early in the archive lands in its data.
# data/ comes with its folder entries (an existing folder is backed up as a
# whole), lib/ without (its two config.ini are backed up one by one).
ORDER = ["Quelda.exe", "readme.txt", "data", "docs"]


def fresh_site(sites, name):
    """A new demo site of 2.0.0.0 under the name, and an empty place for the
    tree that must come out of its package."""
    site, expected = os.path.join(sites, name), os.path.join(sites, name + "_expected")
    for folder in (site, expected):
        shutil.rmtree(folder, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
    return site, expected


def make_app(sites, app):
    site, expected = fresh_site(sites, "app")
    os.makedirs(expected)
    shutil.copyfile(app, os.path.join(expected, "Quelda.exe"))
    for name, text in TREE.items():
        path = os.path.join(expected, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
    package = os.path.join(site, "zirorov.zip")
    os.remove(package)
    subprocess.run(["zip", "-q", "-X", "-r", package] + ORDER, cwd=expected, check=True)
    subprocess.run(["zip", "-q", "-X", "-D", "-r", package, "lib"], cwd=expected, check=True)


def make_bad_name(sites):
    site = os.path.join(sites, "bad_name")
    shutil.rmtree(site, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
    with zipfile.ZipFile(os.path.join(site, "zirorov.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("readme.txt", "first\r\n")
        z.writestr("../outside.txt", "must not leave the install folder\r\n")
        z.writestr("zz.txt", "never reached\r\n")


def make_damaged(sites):
    site = os.path.join(sites, "damaged")
    shutil.rmtree(site, ignore_errors=True)
    shutil.copytree(os.path.join(sites, "app"), site)
    package = os.path.join(site, "zirorov.zip")
    with zipfile.ZipFile(package) as z:
        names = z.namelist()
        entry = z.getinfo("data/sample.txt")
    assert 0 < names.index("data/sample.txt") < len(names) - 1
    with open(package, "r+b") as f:
        f.seek(entry.header_offset + 26)
        name_length, extra_length = [int.from_bytes(f.read(2), "little") for _ in range(2)]
        data = entry.header_offset + 30 + name_length + extra_length
        f.seek(data + entry.compress_size // 2)
        byte = f.read(1)[0]
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte ^ 0x55]))
    # Declared as published: the vendor's own broken package.
    declare_package(site, "2.0.0.0")


def make_overlap(sites):
    site = os.path.join(sites, "overlap")
    shutil.rmtree(site, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
    entry = make_fixtures.Entry("readme.txt", TREE["readme.txt"].encode() * 100)
    with open(os.path.join(site, "zirorov.zip"), "wb") as f:
        f.write(make_fixtures.build_zip([entry], central=[(entry, 0), (entry, 0)]))


def make_folders(sites, app):
    site = os.path.join(sites, "folders")
    shutil.rmtree(site, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
    with zipfile.ZipFile(os.path.join(site, "zirorov.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.write(app, "Quelda.exe")
        z.writestr("data/", "")
        for name in ("data/sample.txt", "data/lang/zh-CN.txt"):
            z.writestr(name, TREE[name].encode("utf-8"))
        z.writestr("data/lang/", "")
        z.writestr("readme.txt", TREE["readme.txt"])


def make_too_long(sites):
    site = os.path.join(sites, "too_long")
    shutil.rmtree(site, ignore_errors=True)
    shutil.copytree(os.path.join(sites, "app"), site)
    with zipfile.ZipFile(os.path.join(site, "zirorov.zip"), "a", zipfile.ZIP_DEFLATED) as z:
        z.writestr("data/" + "x" * 231 + ".txt", "too deep\r\n")


def make_bsdtar(sites):
    site = os.path.join(sites, "bsdtar")
    shutil.rmtree(site, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
    package = os.path.join(site, "zirorov.zip")
    os.remove(package)
    subprocess.run(["bsdtar", "-a", "-cf", package, "."], cwd=os.path.join(sites, "app_expected"),
                   check=True)
    with zipfile.ZipFile(package) as z:
        assert z.namelist()[0] == "./" and "./readme.txt" in z.namelist()


FAULT_ITEMS = (["Quelda.exe", "readme.txt", "notes.txt", "data/"]
               + ["data/%s.txt" % c for c in "abcdefgh"]
               + ["data/lang/zh-CN.txt", "data/lang/en.txt", "data/sets/s1.csv", "data/sets/s2.csv",
                  "data/sets/s3.csv", "docs/faq.html",
                  "lib/x/config.ini", "lib/y/config.ini", "docs/manual.html"]
               + ["docs/img/%d.png" % i for i in range(1, 5)]
               + ["plugins/", "plugins/report/report.dll", "plugins/report/report.ini", "logs/",
                  "tools/convert.exe"])


def make_fault(sites, app):
    site, expected = fresh_site(sites, "fault")
    assert len(FAULT_ITEMS) == 30
    with zipfile.ZipFile(os.path.join(site, "zirorov.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for i, name in enumerate(FAULT_ITEMS):
            path = os.path.join(expected, *name.split("/"))
            if name == "Quelda.exe":
                z.write(app, name)
            elif name.endswith("/"):
                z.writestr(name, "")
                os.makedirs(path, exist_ok=True)
                continue
            else:
                # Some items span several of the extraction's 16 KB blocks.
                z.writestr(name, ("%s of 2.0, line %%d\r\n" % name) % i * (1 + 300 * (i % 3)))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(z.read(name))


# Names in code page 936 (the euro sign is its byte 0x80); None is an empty
# folder. Times are whole seconds, odd ones too.
PUBLISHED_TREE = {
    "说明.txt": "Quelda Manager 2.0 使用说明\r\n",
    "数据/报表/2024/一月.csv": "日期,学员,课时\r\n" + "2024-01-05,张三,2\r\n" * 3000,
    "数据/报表/价格€.txt": "价格：100 €\r\n",
    "数据/模板/空.dat": "",
    "数据/导入": None,
    "帮助/使用手册.html": "<html><body>使用手册</body></html>\n",
    "lib/插件/config.ini": "[插件]\r\n启用=1\r\n",
    "日志": None,
}


def make_published(build, sites, app):
    source = os.path.join(sites, "published_app")
    shutil.rmtree(source, ignore_errors=True)
    os.makedirs(source)
    shutil.copyfile(app, os.path.join(source, "Quelda.exe"))
    for name, text in PUBLISHED_TREE.items():
        path = os.path.join(source, *name.split("/"))
        if text is None:
            os.makedirs(path)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
    for i, (folder, _, files) in enumerate(sorted(os.walk(source))):
        for j, name in enumerate(files):
            stamp = 1709633431 + 86400 * i + 3 * j  # 2024-03-05 10:10:31 UTC on
            os.utime(os.path.join(folder, name), (stamp, stamp))
    database = os.path.join(sites, "published_demo.mdb")
    with open(database, "wb") as f:
        f.write(b"\x00\x01\x00\x00Standard Jet DB\x00" + bytes(range(256)) * 64)
    site = os.path.join(sites, "published")
    shutil.rmtree(site, ignore_errors=True)
    subprocess.run([sys.executable, os.path.join(HERE, "..", "publish", "publish.py"), source,
                    site, "--demo-database", database, "--build", build], check=True)
    os.remove(database)

    # Packages that are still sound zip archives, so that only the manifest's
    # size and SHA-256 can tell them from the published one.
    with zipfile.ZipFile(os.path.join(site, "zirorov.zip")) as z:
        first = z.infolist()[0]
        directory = z.start_dir
    for variant in ("published_same_size", "published_other_size"):
        copy = os.path.join(sites, variant)
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(site, copy)
        package = os.path.join(copy, "zirorov.zip")
        with open(package, "r+b") as f:
            if variant == "published_same_size":
                f.seek(directory + 36)  # the first item's internal attributes
                f.write(bytes([f.read(1)[0] ^ 1]))
            else:
                f.seek(-2, os.SEEK_END)
                comment = "另一个压缩包".encode("cp936")
                f.write(len(comment).to_bytes(2, "little") + comment)
        with zipfile.ZipFile(package) as z:
            assert z.testzip() is None and z.infolist()[0].filename == first.filename


def openssl_sign(keys, key, manifest, signature):
    password = ["-passin", "file:" + os.path.join(keys, "password.txt")] if key == "first" else []
    subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(keys, key + ".key"),
                    *password, "-out", signature, manifest], check=True)


def make_signed(build, sites, keys):
    publish = os.path.join(HERE, "..", "publish", "publish.py")
    database = os.path.join(sites, "signed_demo.mdb")
    with open(database, "wb") as f:
        f.write(b"\x00\x01\x00\x00Standard Jet DB\x00" + bytes(range(256)) * 16)
    second_app = os.path.join(sites, "signed_second_app")
    shutil.rmtree(second_app, ignore_errors=True)
    shutil.copytree(os.path.join(sites, "app_expected"), second_app)
    with open(os.path.join(second_app, "whatsnew.txt"), "w") as f:
        f.write("signed with the second key\r\n")
    for site, app, key, serial in (("signed_first", "app_expected", "first", 1000),
                                   ("signed_second", second_app, "second", 2000)):
        out = os.path.join(sites, site)
        shutil.rmtree(out, ignore_errors=True)
        password = (["--signing-key-password-file", os.path.join(keys, "password.txt")]
                    if key == "first" else [])
        subprocess.run([sys.executable, publish, os.path.join(sites, app), out,
                        "--demo-database", database, "--build", build,
                        "--signing-key", os.path.join(keys, key + ".key"), *password,
                        "--serial", str(serial)], check=True, stdout=subprocess.DEVNULL)
    os.remove(database)

    first = os.path.join(sites, "signed_first")

    def variant(name):
        path = os.path.join(sites, name)
        shutil.rmtree(path, ignore_errors=True)
        shutil.copytree(first, path)
        return path, os.path.join(path, "quelda.xml"), os.path.join(path, "quelda.xml.sig")

    path, manifest, signature = variant("signed_openssl")
    openssl_sign(keys, "first", manifest, signature)
    path, manifest, signature = variant("signed_changed")
    with open(manifest, "rb") as f:
        text = f.read()
    with open(manifest, "wb") as f:
        f.write(text.replace(b'serial="1000"', b'serial="1001"'))
    path, manifest, signature = variant("signed_foreign")
    openssl_sign(keys, "foreign", manifest, signature)
    path, manifest, signature = variant("signed_nosig")
    os.remove(signature)
    path, manifest, signature = variant("signed_truncated")
    with open(signature, "rb") as f:
        der = f.read()
    with open(signature, "wb") as f:
        f.write(der[:len(der) // 2])
    path, manifest, signature = variant("signed_mixed")
    shutil.copyfile(os.path.join(sites, "signed_second", "zirorov.zip"),
                    os.path.join(path, "zirorov.zip"))
    path, manifest, signature = variant("signed_altered_mdb")
    with open(os.path.join(path, "quelda.mdb"), "r+b") as f:
        f.seek(100)
        byte = f.read(1)[0]
        f.seek(100)
        f.write(bytes([byte ^ 1]))
    path, manifest, signature = variant("signed_undeclared")
    with open(manifest, "rb") as f:
        text = f.read()
    with open(manifest, "wb") as f:
        f.write(re.sub(rb' (size|sha256)="[^"]*"', b"", text))
    openssl_sign(keys, "first", manifest, signature)


def declare_package(site, version):
    """The site's manifest of that version, declaring its package's size and
    SHA-256 as published ones do."""
    package = os.path.join(site, "zirorov.zip")
    with open(package, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    manifest = os.path.join(site, "quelda.xml")
    with open(manifest, encoding="utf-8") as f:
        text = f.read()
    text = text.replace(f'lastversion="{version}"',
                        f'lastversion="{version}" size="{os.path.getsize(package)}" '
                        f'sha256="{digest}"')
    with open(manifest, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def make_delta(sites):
    """Two releases for an update fetched by difference, made by Info-ZIP
    zip as a vendor builds them: delta_old (1.0.0.0) and delta_new
    (2.0.0.0), where Quelda.exe and two of 120 other files changed, one was
    added and one removed. delta_new.txt lists what changed."""
    files = {f"data/part{i:03}.txt": make_fixtures.text_bytes(1000 + i, 3000 + 211 * i)
             for i in range(110)}
    files.update({f"bin/lib{i}.dll": make_fixtures.random_bytes(2000 + i, 40000 + 5003 * i)
                  for i in range(10)})
    files["Quelda.exe"] = make_fixtures.random_bytes(3000, 250000)
    changed = dict(files)
    changed["Quelda.exe"] = make_fixtures.random_bytes(3001, 252000)
    changed["data/part017.txt"] = make_fixtures.text_bytes(4017, 9000)
    changed["bin/lib3.dll"] = make_fixtures.random_bytes(4003, 61000)
    changed["data/added.txt"] = make_fixtures.text_bytes(4100, 12000)
    del changed["data/part050.txt"]
    for name, version, contents in (("delta_old", "1.0.0.0", files),
                                    ("delta_new", "2.0.0.0", changed)):
        site = os.path.join(sites, name)
        shutil.rmtree(site, ignore_errors=True)
        update_server.make_site(site, version)
        tree = os.path.join(sites, name + "_tree")
        shutil.rmtree(tree, ignore_errors=True)
        for path, data in contents.items():
            full = os.path.join(tree, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(data)
            os.utime(full, (make_fixtures.ATIME, make_fixtures.MTIME))
        package = os.path.join(site, "zirorov.zip")
        os.remove(package)
        subprocess.run(["zip", "-q", "-X", "-r", package] + sorted(contents), cwd=tree,
                       check=True, env=dict(os.environ, TZ="UTC"))
        shutil.rmtree(tree)
        declare_package(site, version)


def main():
    if sys.argv[1] == "--published":
        make_published(*sys.argv[2:5])
        return
    if sys.argv[1] == "--signed":
        make_signed(*sys.argv[2:5])
        return
    sites, app = sys.argv[1], sys.argv[2]
    os.makedirs(sites, exist_ok=True)
    make_app(sites, app)
    make_bad_name(sites)
    make_damaged(sites)
    make_overlap(sites)
    make_folders(sites, app)
    make_too_long(sites)
    make_bsdtar(sites)
    make_fault(sites, app)
    make_delta(sites)


if __name__ == "__main__":
    main()

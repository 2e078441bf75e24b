#!/usr/bin/env python3
"""Update-server folders for the installation tests, each with quelda.xml,
zirorov.zip and quelda.mdb:

  app/           version 2.0.0.0: the stand-in Quelda.exe 2.0.0.0 and a tree
                 of data files and folders (two config.ini in different
                 folders), zipped by Info-ZIP zip in a fixed order
  app_expected/  that tree as it must come out of the package
  bad_name/      a package whose second item escapes the install folder

    make_sites.py SITES_FOLDER TEST_APP_2_0_0_0
"""
import os
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "update_server"))
import update_server  # noqa: E402

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


def make_app(sites, app):
    site = os.path.join(sites, "app")
    expected = os.path.join(sites, "app_expected")
    for folder in (site, expected):
        shutil.rmtree(folder, ignore_errors=True)
    update_server.make_site(site, "2.0.0.0")
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


def main():
    sites, app = sys.argv[1], sys.argv[2]
    os.makedirs(sites, exist_ok=True)
    make_app(sites, app)
    make_bad_name(sites)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""tools/publish: what it refuses leaves the output folder as it was, and the
package it published for the installation tests (update_server/sites/
published, made from published_app) is what the setup reads on a Chinese
Windows. QUELDA_BIN_DIR names the build folder."""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLISH = os.path.join(HERE, "..", "..", "tools", "publish", "publish.py")
BUILD = os.environ["QUELDA_BIN_DIR"]
SITES = os.path.join(BUILD, "update_server", "sites")


def snapshot(folder):
    """Every path below the folder with its bytes (None for a folder)."""
    found = {}
    for parent, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(parent, name)
            found[os.path.relpath(path, folder)] = (
                None if name in dirs else open(path, "rb").read())
    return found


def decode_cp936(raw):
    """As Windows reads code page 936: one byte below 0x80, the euro sign at
    0x80 (which Python's table lacks), two bytes from 0x81 on."""
    text, i = "", 0
    while i < len(raw):
        width = 2 if raw[i] > 0x80 else 1
        text += "\u20ac" if raw[i] == 0x80 else raw[i:i + width].decode("cp936")
        i += width
    return text


class Refusals(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="publish_test-")
        self.app = os.path.join(self.work, "app")
        self.out = os.path.join(self.work, "out")
        os.makedirs(os.path.join(self.app, "数据"))
        with open(os.path.join(self.app, "数据", "说明.txt"), "w", encoding="utf-8") as f:
            f.write("说明\n")
        os.makedirs(self.out)
        for name in ("quelda.xml", "zirorov.zip"):
            with open(os.path.join(self.out, name), "w") as f:
                f.write(f"the {name} served so far\n")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def refused(self, *expected):
        """Publishes app into out and into a folder that does not exist yet:
        refused both times, with the texts expected, and nothing written."""
        before = snapshot(self.out)
        for out in (self.out, os.path.join(self.work, "new")):
            run = subprocess.run([sys.executable, PUBLISH, self.app, out, "--build", BUILD],
                                 capture_output=True, text=True)
            self.assertNotEqual(run.returncode, 0, run.stdout)
            for text in expected:
                self.assertIn(text, run.stderr)
        self.assertEqual(snapshot(self.out), before)
        self.assertFalse(os.path.exists(os.path.join(self.work, "new")))

    def test_a_folder_without_a_versioned_quelda_exe(self):
        self.refused("holds no Quelda.exe")
        # A program, but one without a version resource.
        shutil.copyfile(os.path.join(BUILD, "tools", "trust_root", "trust_root.exe"),
                        os.path.join(self.app, "Quelda.exe"))
        self.refused("Quelda.exe has no version resource")

    def test_names_that_code_page_936_or_the_setup_cannot_take(self):
        shutil.copyfile(os.path.join(BUILD, "test_apps", "2.0.0.0", "Quelda.exe"),
                        os.path.join(self.app, "Quelda.exe"))
        for name in ("한글.txt", "CON.txt", "lpt¹", "名字.", "a?b", "Quelda.mdb", "数据/说明.TXT"):
            with open(os.path.join(self.app, name), "w") as f:
                f.write("x")
        self.refused("한글.txt: code page 936 cannot write '한'", "CON.txt: a device name",
                     "lpt¹: a device name", "名字.: a name ending in a dot",
                     "a?b: characters Windows does not allow", "Quelda.mdb: the user's database",
                     "the same name as 数据/说明.TXT")


class PublishedPackage(unittest.TestCase):
    def test_names_in_code_page_936_without_the_utf8_flag_and_a_manifest_that_declares_it(self):
        source, site = os.path.join(SITES, "published_app"), os.path.join(SITES, "published")
        expected = {}  # name -> source path, folders with a trailing "/"
        for parent, dirs, files in os.walk(source):
            prefix = os.path.relpath(parent, source).replace(os.sep, "/") + "/"
            prefix = "" if prefix == "./" else prefix
            for name in files:
                expected[prefix + name] = os.path.join(parent, name)
            if not dirs and not files:
                expected[prefix] = parent
        package = os.path.join(site, "zirorov.zip")
        with zipfile.ZipFile(package) as z:
            items = z.infolist()
            self.assertIsNone(z.testzip())
        self.assertEqual(items[0].filename, "Quelda.exe")
        seen = {}
        for item in items:
            self.assertEqual(item.flag_bits & 0x800, 0, item.filename)
            # Without the flag zipfile reads names as code page 437.
            name = decode_cp936(item.filename.encode("cp437"))
            seen[name] = item
        self.assertEqual(sorted(seen), sorted(expected))
        self.assertIn("数据/导入/", seen)
        self.assertEqual(seen["数据/报表/价格€.txt"].filename.encode("cp437"),
                         "数据/报表/价格".encode("cp936") + b"\x80.txt")
        for name, item in seen.items():
            folder = name.endswith("/")
            self.assertEqual(item.external_attr, 0x10 if folder else 0x20, name)
            if folder:
                continue
            self.assertEqual(item.file_size, os.path.getsize(expected[name]), name)
            self.assertEqual(item.compress_type, 8 if item.file_size else 0, name)
            local = time.localtime(os.stat(expected[name]).st_mtime)
            self.assertEqual(item.date_time, tuple(local[:5]) + (local[5] // 2 * 2,), name)

        files = ElementTree.parse(os.path.join(site, "quelda.xml")).getroot().find("files")
        data = open(package, "rb").read()
        database = open(os.path.join(site, "quelda.mdb"), "rb").read()
        self.assertGreater(int(files.attrib.pop("serial")), 1700000000)
        self.assertEqual(files.attrib, {"lastversion": "2.0.0.0", "size": str(len(data)),
                                        "sha256": hashlib.sha256(data).hexdigest(),
                                        "mdbsize": str(len(database)),
                                        "mdbsha256": hashlib.sha256(database).hexdigest()})
        self.assertFalse(os.path.exists(os.path.join(site, "quelda.xml.sig")))
        self.assertTrue(open(os.path.join(site, "quelda.xml"), "rb").read().startswith(
            b'<?xml version="1.0" encoding="utf-8"?>'))


class Signing(unittest.TestCase):
    KEYS = os.path.join(BUILD, "test_keys")

    def verifies(self, site, key):
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify",
                               os.path.join(self.KEYS, key + ".pub.pem"), "-signature",
                               os.path.join(site, "quelda.xml.sig"),
                               os.path.join(site, "quelda.xml")],
                              capture_output=True).returncode == 0

    def test_the_signature_is_openssls_over_the_manifest_with_its_key_only(self):
        # The first key is encrypted: publish read its password from a file.
        first, second = os.path.join(SITES, "signed_first"), os.path.join(SITES, "signed_second")
        self.assertTrue(self.verifies(first, "first"))
        self.assertFalse(self.verifies(first, "second"))
        self.assertTrue(self.verifies(second, "second"))
        self.assertIn("ENCRYPTED PRIVATE KEY", open(os.path.join(self.KEYS, "first.key")).read())
        self.assertEqual(os.stat(os.path.join(self.KEYS, "second.key")).st_mode & 0o077, 0)

    def test_serials_rise_and_an_unsigned_publication_leaves_no_signature(self):
        work = tempfile.mkdtemp(prefix="publish_sign-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        app, out = os.path.join(work, "app"), os.path.join(work, "out")
        os.makedirs(app)
        shutil.copyfile(os.path.join(BUILD, "test_apps", "2.0.0.0", "Quelda.exe"),
                        os.path.join(app, "Quelda.exe"))

        def publish(*options):
            subprocess.run([sys.executable, PUBLISH, app, out, "--build", BUILD, *options],
                           check=True, capture_output=True)
            text = open(os.path.join(out, "quelda.xml")).read()
            return int(ElementTree.fromstring(text).find("files").attrib["serial"])

        key = os.path.join(self.KEYS, "second.key")
        serial = publish("--signing-key", key, "--serial", str(int(time.time()) + 100))
        self.assertTrue(self.verifies(out, "second"))
        self.assertEqual(publish("--signing-key", key), serial + 1)
        self.assertTrue(self.verifies(out, "second"))
        self.assertEqual(publish(), serial + 2)
        self.assertFalse(os.path.exists(os.path.join(out, "quelda.xml.sig")))
        # A key pair is never written over.
        run = subprocess.run([sys.executable, PUBLISH, "--make-keys", key, key + ".pub"],
                             capture_output=True, text=True)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("never written over", run.stderr)


if __name__ == "__main__":
    unittest.main()

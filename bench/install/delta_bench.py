#!/usr/bin/env python3
"""The update fetched by difference, against Debian's nginx (tools/nginx):
an installation whose last update kept the realistic package (about 1,500
files, 40 MB, Info-ZIP zip -9, with an app/Quelda.exe of 2 MB) is updated to
  - "new": Quelda.exe and 1 % of the other files changed, 3 added, 3 removed;
  - "touched": the same files, every time changed;
each zipped the same way. Printed, as ratios measured in the same run:
  - the package bytes nginx sent, over the changed bytes (the spans of the
    entries whose data is new, and the central directory): goal <= 1.10
    for "new"; printed for "touched";
  - the update's time against a full download's of the same package on a
    line throttled to 2 Mbit/s (nginx limit_rate 250k);
  - with ranges refused (nginx max_ranges 0): package sizes sent, goal <= 1.02.

    delta_bench.py <build folder> [rounds]
"""
import hashlib
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
sys.path.insert(0, os.path.dirname(here))
from bench_util import run_bench, update_host, win  # noqa: E402

build = os.path.abspath(sys.argv[1])
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
server = os.path.join(root, "tools", "update_server", "update_server.py")
certs = os.path.join(build, "update_server", "certs")
work = os.path.join(build, "bench", "delta_work")
site = os.path.join(work, "site")
realistic = os.path.join(build, "bench", "zip_package.zip")
host = update_host(build)
DELTA_GOAL = 1.10
NO_RANGES_GOAL = 1.02


def zip_tree(tree, out):
    """As bench/zip/make_package.py zips (Info-ZIP, level 9, recursive), with
    -X as a vendor builds releases for small updates: no time of last access
    in the local headers."""
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["zip", "-q", "-X", "-r", "-9", out, "app"], cwd=tree, check=True)


def make_releases():
    """old.zip, new.zip and touched.zip in work, from the realistic package."""
    subprocess.run([sys.executable, os.path.join(root, "bench", "zip", "make_package.py"),
                    realistic], check=True)
    tree = tempfile.mkdtemp(prefix="delta_bench_")
    try:
        subprocess.run(["unzip", "-qq", realistic, "-d", tree], check=True)
        rng = random.Random(31)
        exe = os.path.join(tree, "app", "Quelda.exe")
        with open(exe, "wb") as f:
            f.write(rng.randbytes(1 << 20) + bytes(1 << 20))
        os.utime(exe, (1700000000, 1700000000))
        zip_tree(tree, os.path.join(work, "old.zip"))
        files = sorted(os.path.join(d, n) for d, _, names in os.walk(tree) for n in names)
        others = [f for f in files if f != exe]
        # The times only, on a copy of the old tree.
        touched = tempfile.mkdtemp(prefix="delta_bench_touched_")
        shutil.copytree(os.path.join(tree, "app"), os.path.join(touched, "app"))
        for d, _, names in os.walk(touched):
            for n in names:
                os.utime(os.path.join(d, n), (1750000000, 1750000000))
        zip_tree(touched, os.path.join(work, "touched.zip"))
        shutil.rmtree(touched)
        # Quelda.exe and 1 % of the others changed, three added, three removed.
        with open(exe, "wb") as f:
            f.write(rng.randbytes(1 << 20) + bytes(1 << 20) + rng.randbytes(4096))
        for path in rng.sample(others, len(others) // 100):
            with open(path, "r+b") as f:
                data = bytearray(f.read())
                data[len(data) // 2] ^= 0xFF
                f.seek(0)
                f.write(data)
        for path in rng.sample(others, 3):
            os.remove(path)
        for i in range(3):
            with open(os.path.join(tree, "app", "added%d.txt" % i), "wb") as f:
                f.write(b"quelda added %d\r\n" % i * 2000)
        zip_tree(tree, os.path.join(work, "new.zip"))
    finally:
        shutil.rmtree(tree)


def changed_bytes(old, new):
    """The spans of new's entries whose data old lacks, and its directory."""
    def spans(path):
        with zipfile.ZipFile(path) as z:
            infos = sorted(z.infolist(), key=lambda i: i.header_offset)
            directory = z.start_dir
        ends = [i.header_offset for i in infos[1:]] + [directory]
        return [(i, end - i.header_offset) for i, end in zip(infos, ends)], directory
    known = {(i.CRC, i.compress_size, i.compress_type) for i, _ in spans(old)[0]}
    entries, directory = spans(new)
    changed = sum(n for i, n in entries if (i.CRC, i.compress_size, i.compress_type) not in known)
    return changed + os.path.getsize(new) - directory


def serve(package):
    """The package under a manifest that declares it."""
    shutil.copyfile(package, os.path.join(site, "zirorov.zip"))
    with open(package, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    manifest = os.path.join(site, "quelda.xml")
    with open(manifest, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r' size="\d+" sha256="[0-9a-f]+"', "", text)
    text = text.replace('lastversion="1.2.3.4"', 'lastversion="1.2.3.4" size="%d" sha256="%s"'
                        % (os.path.getsize(package), digest))
    with open(manifest, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def sent_since(mark):
    """The package's body bytes nginx logged after mark (a log length)."""
    log = os.environ["QUELDA_NGINX_ACCESS_LOG"]
    with open(log, "rb") as f:
        f.seek(mark)
        text = f.read().decode("latin-1")
    total = 0
    for line in text.splitlines():
        m = re.search(r'"GET /zaradizazavor/download/zirorov.zip[^"]*" (\d+) (\d+)', line)
        if m:
            total += int(m.group(2))
    return total


def log_mark():
    return os.path.getsize(os.environ["QUELDA_NGINX_ACCESS_LOG"])


def update(old_package):
    """One update's download (the worker, update mode), with the old package
    kept beside it when given; its seconds and the bytes nginx sent."""
    folder = os.path.join(work, "install")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "download"))
    if old_package:
        shutil.copyfile(old_package, os.path.join(folder, "download", "Quelda1.0.zip"))
    mark = log_mark()
    seconds = run_bench(build, "install_bench.exe", "download", win(folder))[0]
    with open(os.path.join(folder, "download", "Quelda1.2.3.4.zip"), "rb") as f:
        got = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(site, "zirorov.zip"), "rb") as f:
        if got != hashlib.sha256(f.read()).hexdigest():
            sys.exit("the update's package is not the server's")
    return seconds, sent_since(mark)


def phase(name):
    """Measured under one nginx configuration; prints one result line."""
    old = os.path.join(work, "old.zip")
    if name == "ranges":
        for variant in ("new", "touched"):
            serve(os.path.join(work, variant + ".zip"))
            results = [update(old) for _ in range(rounds)]
            sent = statistics.median(r[1] for r in results)
            print("%s %d %d %.3f" % (variant, sent, changed_bytes(old, os.path.join(
                work, variant + ".zip")), statistics.median(r[0] for r in results)))
    elif name == "throttled":
        serve(os.path.join(work, "new.zip"))
        delta = update(old)
        whole = update(None)
        print("throttled %.3f %.3f %d %d" % (delta[0], whole[0], delta[1], whole[1]))
    elif name == "norange":
        serve(os.path.join(work, "new.zip"))
        seconds, sent = update(old)
        print("norange %d %d" % (sent, os.path.getsize(os.path.join(work, "new.zip"))))


def served(name, extra):
    """This script's phase under nginx with the extra http directives."""
    env = dict(os.environ, QUELDA_DELTA_PHASE=name, QUELDA_NGINX_EXTRA=extra)
    made = subprocess.run([os.path.join(root, "tools", "nginx", "with_nginx"), site, certs, host,
                           "--", sys.executable, os.path.abspath(__file__)] + sys.argv[1:],
                          env=env, capture_output=True, text=True)
    if made.returncode != 0:
        sys.exit("delta bench phase %s failed:\n%s%s" % (name, made.stdout, made.stderr))
    return [line.split() for line in made.stdout.splitlines() if line.strip()]


def main():
    if os.environ.get("QUELDA_DELTA_PHASE"):
        phase(os.environ["QUELDA_DELTA_PHASE"])
        return 0
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([sys.executable, server, "site", site], check=True, stdout=subprocess.DEVNULL)
    make_releases()
    size = os.path.getsize(os.path.join(work, "new.zip"))
    with zipfile.ZipFile(os.path.join(work, "new.zip")) as z:
        entries = len(z.infolist())
    print("update fetched by difference, %.1f MB package of %s entries, nginx; median of %d "
          "rounds" % (size / 1e6, "{:,}".format(entries), rounds))
    for variant, sent, changed, seconds in served("ranges", ""):
        ratio = int(sent) / int(changed)
        label = {"new": "Quelda.exe and 1 % changed", "touched": "every time changed"}[variant]
        goal = " (goal <= %.2f: %s)" % (DELTA_GOAL, "met" if ratio <= DELTA_GOAL else "NOT met")
        print("  %-28s %9s bytes sent / %9s changed = %.3f%s, %.3f s"
              % (label, "{:,}".format(int(sent)), "{:,}".format(int(changed)), ratio,
                 goal if variant == "new" else "", float(seconds)))
    (_, delta, whole, delta_sent, whole_sent), = served("throttled", "limit_rate 250k;")
    print("  at 2 Mbit/s: the delta %.1f s (%s bytes), a full download %.1f s (%s bytes): "
          "%.3f of its time" % (float(delta), "{:,}".format(int(delta_sent)), float(whole),
                                "{:,}".format(int(whole_sent)), float(delta) / float(whole)))
    (_, sent, size), = served("norange", "max_ranges 0;")
    ratio = int(sent) / int(size)
    print("  ranges refused (max_ranges 0): %.4f package sizes sent (goal <= %.2f: %s)"
          % (ratio, NO_RANGES_GOAL, "met" if ratio <= NO_RANGES_GOAL else "NOT met"))
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

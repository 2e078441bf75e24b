"""What the benchmark scripts share: Wine paths, running a benchmark program
of the build under Wine, and the update host the build was made for."""
import os
import re
import subprocess
import sys


def win(path):
    """The Wine path (Z: drive) of a host path."""
    return "Z:" + path.replace("/", "\\")


def run_bench(build, exe, *args, with_lines=False):
    """Runs bench/<exe> of the build under Wine; it prints a first line
    "<mode> <ms> <bytes> <peak working set>". Returns seconds, bytes, peak,
    and with with_lines every line of its output too. The disk has written
    back what earlier runs left before it starts, so that no run pays for
    another's files."""
    os.sync()
    run = subprocess.run([os.path.join(build, "wine-run"), os.path.join(build, "bench", exe)]
                         + list(args), capture_output=True, text=True, stdin=subprocess.DEVNULL)
    lines = run.stdout.splitlines()
    fields = lines[0].split() if lines else []
    if run.returncode != 0 or len(fields) != 4:
        sys.exit("benchmark failed: %s %s" % (run.stdout, run.stderr))
    result = (float(fields[1]) / 1000, int(fields[2]), int(fields[3]))
    return result + (lines,) if with_lines else result


def update_host(build):
    """The host name compiled into the build's setup."""
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        match = re.search(r"^QUELDA_UPDATE_HOST:\w+=(.*)$", f.read(), re.M)
    return match.group(1) if match else "localhost"

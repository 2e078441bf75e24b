#!/usr/bin/env python3
"""Writes a delay-import library for a system DLL from mingw-w64's own import
library: every function it exports (read with nm), through dlltool's
--output-delaylib, so that the DLL is loaded at its first call, after the
setup has restricted where DLLs are looked for.

Usage: make_delay_lib.py PREFIX IMPORT_LIB DLL_NAME OUTPUT
"""
import re
import subprocess
import sys


def main():
    prefix, import_lib, dll, output = sys.argv[1:5]
    symbols = subprocess.run([f"{prefix}-nm", import_lib], check=True, capture_output=True,
                             text=True).stdout
    # i686 names carry one more underscore and their @n.
    i686 = prefix.startswith("i686")
    pattern = re.compile(r" I __imp__(\S+)$" if i686 else r" I __imp_(\S+)$", re.M)
    names = sorted(set(pattern.findall(symbols)))
    if not names:
        sys.exit(f"no functions in {import_lib}")
    definition = output + ".def"
    with open(definition, "w") as out:
        out.write(f"LIBRARY {dll}\nEXPORTS\n")
        out.writelines(name + "\n" for name in names)
    command = [f"{prefix}-dlltool", "--input-def", definition, "--output-delaylib", output,
               "--dllname", dll]
    if i686:
        command.insert(1, "-k")
    subprocess.run(command, check=True)


if __name__ == "__main__":
    main()

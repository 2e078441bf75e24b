#!/usr/bin/env python3
"""Writes the header of the vendor's public keys that the setup trusts.

    embed_update_keys.py OUT_HEADER [KEY.pem ...]

Each key is a P-256 public key as a PEM SubjectPublicKeyInfo ("BEGIN PUBLIC
KEY"), as `openssl ec -pubout` writes it; at most two. Anything else, a
private key above all, is refused and no header is written.
"""

import base64
import os
import re
import sys

# SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 04 X Y } }
SPKI_P256_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d03010703420004")
MAX_KEYS = 2


def point_of(path):
    with open(path, encoding="ascii", errors="replace") as f:
        text = f.read()
    if "PRIVATE KEY" in text:
        raise ValueError(f"{path} holds a private key: give the public key "
                         "(openssl ec -in KEY -pubout)")
    found = re.search(r"-----BEGIN PUBLIC KEY-----(.*?)-----END PUBLIC KEY-----", text, re.S)
    if not found:
        raise ValueError(f"{path} is no PEM public key (BEGIN PUBLIC KEY)")
    der = base64.b64decode("".join(found.group(1).split()), validate=True)
    if len(der) != len(SPKI_P256_PREFIX) + 64 or not der.startswith(SPKI_P256_PREFIX):
        raise ValueError(f"{path} is no ECDSA P-256 (prime256v1) public key")
    return der[len(SPKI_P256_PREFIX):]


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    out, keys = sys.argv[1], [k for k in sys.argv[2:] if k]
    try:
        if len(keys) > MAX_KEYS:
            raise ValueError(f"{len(keys)} keys given; the setup holds at most {MAX_KEYS}")
        points = [point_of(k) for k in keys]
    except (OSError, ValueError) as e:
        print(f"embed_update_keys: {e}", file=sys.stderr)
        return 1
    rows = ",\n".join("     {" + ", ".join(f"0x{b:02x}" for b in p) + "}" for p in points)
    names = ", ".join(os.path.basename(k) for k in keys) or "none"
    text = ("// Made by cmake/embed_update_keys.py from the build's keys: " + names + ".\n"
            "#pragma once\n\n#include \"verify/update_keys.h\"\n\n"
            f"static const UpdateKeys kBuildUpdateKeys = {{{len(points)}, {{\n{rows}}}}};\n"
            if points else
            "// Made by cmake/embed_update_keys.py: the build has no keys.\n"
            "#pragma once\n\n#include \"verify/update_keys.h\"\n\n"
            "static const UpdateKeys kBuildUpdateKeys = {0, {}};\n")
    partial = out + ".part"
    with open(partial, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(partial, out)
    return 0


if __name__ == "__main__":
    sys.exit(main())

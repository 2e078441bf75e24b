#pragma once

#include "common/str.h"
#include "install/version_number.h"

// What the version manifest says of the newest version and its package.
struct Manifest {
  PackedVersion newest = 0;
  // As written; empty when not declared.
  WStr packageSize;
  WStr packageSha256;
};

// The manifest's bytes (UTF-8) read: the root's child files, its
// lastversion, size and sha256. Whether the manifest is well formed is not
// asked: a files element with a readable lastversion is enough.
Manifest ReadManifest(const ByteStr& bytes);

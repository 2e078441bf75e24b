#pragma once

#include <stdint.h>

#include "crypto/sha256.h"
#include "common/str.h"
#include "common/version_number.h"

// What the manifest declares of a file, read once. A field that is given
// but cannot be read stays given: it matches no file, as the vendor meant
// to check something.
struct DeclaredFile {
  bool sizeGiven = false;
  bool sizeRead = false;
  uint64_t size = 0;
  bool digestGiven = false;
  bool digestRead = false;
  uint8_t digest[kSha256Bytes] = {};

  bool Declared() const { return sizeGiven || digestGiven; }
  // Both given and readable: what a signed manifest must declare of every
  // file it binds.
  bool Whole() const { return sizeRead && digestRead; }
};

// What the version manifest says of the newest version and the files the
// setup fetches with it.
struct Manifest {
  PackedVersion newest = 0;
  DeclaredFile package;
  DeclaredFile database;
  // Rises with every publication; serialRead says it was given and read.
  bool serialRead = false;
  uint64_t serial = 0;
};

// The manifest's bytes (UTF-8) read: the root's child files, its
// lastversion, size, sha256, mdbsize, mdbsha256 and serial. Whether the
// manifest is well formed is not asked: a files element with a readable
// lastversion is enough.
Manifest ReadManifest(const ByteStr& bytes);

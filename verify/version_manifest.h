#pragma once

#include "common/str.h"
#include "common/version_number.h"

// What the version manifest says of the newest version and the files the
// setup fetches with it.
struct Manifest {
  PackedVersion newest = 0;
  // As written; empty when not declared.
  WStr packageSize;
  WStr packageSha256;
  WStr databaseSize;
  WStr databaseSha256;
  // Rises with every publication.
  WStr serial;
};

// Whether the manifest says anything of the demo database.
inline bool DeclaresDatabase(const Manifest& manifest) {
  return !manifest.databaseSize.empty() || !manifest.databaseSha256.empty();
}

// The manifest's bytes (UTF-8) read: the root's child files, its
// lastversion, size, sha256, mdbsize, mdbsha256 and serial. Whether the
// manifest is well formed is not asked: a files element with a readable
// lastversion is enough.
Manifest ReadManifest(const ByteStr& bytes);

#pragma once

#include <stdint.h>

#include "common/str.h"
#include "report/outcome.h"
#include "verify/update_keys.h"
#include "verify/version_manifest.h"

// Takes the manifest's bytes only when one of the keys verifies the
// signature over exactly those bytes, and when the manifest declares what
// a signed one must: the package's size and SHA-256, its serial, and the
// demo database whole if at all. *manifest is read from the bytes then.
Outcome TrustManifest(const UpdateKeys& keys, const ByteStr& bytes, const ByteStr& signature,
                      Manifest* manifest);

// Whether an installation that last took the signed manifest of serial
// taken may take this one: never an older one.
Outcome CheckSerial(const Manifest& manifest, uint64_t taken);

// The refusal when the serial an installation keeps (at path) cannot be
// read.
Outcome SerialUnreadable(const WStr& path);

// The refusal of a manifest that cannot be read at all.
Outcome ManifestUnread();

// The refusal of the file at url whose reply had that status, not 200.
Outcome ServerRefused(const wchar_t* url, uint32_t status);

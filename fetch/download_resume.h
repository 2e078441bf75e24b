#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "crypto/sha256.h"
#include "common/str.h"
#include "fetch/reply_headers.h"

// What the manifest declares of the package, its size (1 byte to 4 GB) and
// SHA-256: only a whole that can be checked may be pieced together from the
// bytes of several transfers.
struct ResumeTerms {
  uint32_t size = 0;
  uint8_t digest[kSha256Bytes] = {};
};

enum class PartUse {
  kStartOver,  // no file, or one that cannot be continued
  kResume,     // a shorter file with the validator of its transfer
  kWhole,      // the declared package itself: no request at all
};

struct PartPlan {
  PartUse use = PartUse::kStartOver;
  uint32_t have = 0;
  WStr validator;
};

// What an earlier run left at path is good for. A whole is checked
// against the declared hash here.
PartPlan PlanPart(const WStr& path, const ResumeTerms& terms);

// The validator (ETag or Last-Modified) of the transfer that the part at
// path holds, in a small file beside it; an empty one removes that file.
// Saved only after the part has been truncated, so that it never vouches
// for bytes of another transfer.
void SaveValidator(const WStr& path, const WStr& validator);
// The part at path and its validator are removed: what follows starts from
// its first byte.
void DiscardPart(const WStr& path);

// Whether a 206 reply continues a part of have bytes: its Content-Range
// starts there and ends at the declared size.
bool RangeContinues(const ReplyHeaders& reply, uint32_t have, const ResumeTerms& terms);

#pragma once

// Encoding names and their Windows code pages, by bucket (sum of the
// lower-case name's code units mod 155). Each bucket is a run of entries: two
// decimal digits of the name length, five of the code page, the name.
constexpr int kCodePageBucketCount = 155;
extern const char* const kCodePageBuckets[kCodePageBucketCount];

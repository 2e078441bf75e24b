#pragma once

// The character entities of HTML 4.01 plus apos, by bucket (sum of the
// lower-case name's code units mod 130). Each bucket is a run of entries:
// '0' + name length, four decimal digits of the code point, the name.
constexpr int kEntityBucketCount = 130;
extern const char* const kEntityBuckets[kEntityBucketCount];

// Code point of a lower-case entity name of length units, 0 when unknown.
unsigned LookUpEntity(const wchar_t* name, int length);

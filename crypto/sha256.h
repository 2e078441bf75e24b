#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr int kSha256Bytes = 32;

// The SHA-256 digest of a file's bytes through the system's hashing
// (bcrypt), read in large pieces; size receives the bytes read. False when
// the file cannot be opened or read to its end, or the hash fails.
bool Sha256File(const wchar_t* path, uint8_t digest[kSha256Bytes], uint64_t* size);

// The same of bytes in memory.
bool Sha256Data(const void* data, size_t size, uint8_t digest[kSha256Bytes]);

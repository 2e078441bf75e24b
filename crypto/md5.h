#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/str.h"

// MD5 message digest (RFC 1321). One computation per object; after Final the
// object is ready for the next message.
class CMD5 {
 public:
  CMD5() { Init(); }

  void Init();
  void Update(const uint8_t* input, size_t length);
  void Final(uint8_t digest[16]);
  static void Transform(uint32_t state[4], const uint8_t block[64]);

 private:
  uint32_t state_[4];
  uint32_t count_[2];  // bits fed so far, low word first
  uint8_t buffer_[64];
  uint8_t padding_[64];
};

// Digest of the bytes as 32 lower-case hexadecimal digits. A length of 0 means
// the bytes are a zero-terminated string whose length is measured first.
ByteStr MD5Hex(const void* bytes, size_t length);

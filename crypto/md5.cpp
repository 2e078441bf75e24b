#include "crypto/md5.h"

#include <stdio.h>
#include <string.h>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// Shift amounts and the sine-derived constants T[i] = floor(2^32 * |sin(i + 1)|).
const uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,  //
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,  //
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,  //
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void EncodeLittleEndian(uint8_t* out, const uint32_t* in, size_t words) {
  for (size_t i = 0; i < words; ++i) {
    out[i * 4] = static_cast<uint8_t>(in[i]);
    out[i * 4 + 1] = static_cast<uint8_t>(in[i] >> 8);
    out[i * 4 + 2] = static_cast<uint8_t>(in[i] >> 16);
    out[i * 4 + 3] = static_cast<uint8_t>(in[i] >> 24);
  }
}

}  // namespace

void CMD5::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  count_[0] = count_[1] = 0;
  memset(padding_, 0, sizeof(padding_));
  padding_[0] = 0x80;
}

void CMD5::Update(const uint8_t* input, size_t length) {
  size_t index = (count_[0] >> 3) & 0x3F;
  uint32_t bits = static_cast<uint32_t>(length) << 3;
  count_[0] += bits;
  if (count_[0] < bits) ++count_[1];
  count_[1] += static_cast<uint32_t>(length >> 29);

  size_t partLength = 64 - index;
  size_t i = 0;
  if (length >= partLength) {
    memcpy(&buffer_[index], input, partLength);
    Transform(state_, buffer_);
    for (i = partLength; i + 63 < length; i += 64) Transform(state_, &input[i]);
    index = 0;
  }
  if (length > i) memcpy(&buffer_[index], &input[i], length - i);
}

void CMD5::Final(uint8_t digest[16]) {
  uint8_t bits[8];
  EncodeLittleEndian(bits, count_, 2);
  size_t index = (count_[0] >> 3) & 0x3F;
  size_t padLength = index < 56 ? 56 - index : 120 - index;
  Update(padding_, padLength);
  Update(bits, 8);
  EncodeLittleEndian(digest, state_, 4);
  // Nothing of the message stays behind in the object.
  memset(state_, 0, sizeof(state_));
  memset(count_, 0, sizeof(count_));
  memset(buffer_, 0, sizeof(buffer_));
  memset(padding_, 0, sizeof(padding_));
  Init();
}

void CMD5::Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<uint32_t>(block[i * 4 + 2]) << 16) |
           (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int k;
    switch (i / 16) {
      case 0:
        f = F(b, c, d);
        k = i;
        break;
      case 1:
        f = G(b, c, d);
        k = (5 * i + 1) % 16;
        break;
      case 2:
        f = H(b, c, d);
        k = (3 * i + 5) % 16;
        break;
      default:
        f = I(b, c, d);
        k = (7 * i) % 16;
        break;
    }
    uint32_t next = b + RotateLeft(a + f + x[k] + kSine[i], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  memset(x, 0, sizeof(x));
}

ByteStr MD5Hex(const void* bytes, size_t length) {
  const uint8_t* input = static_cast<const uint8_t*>(bytes);
  if (length == 0) length = strlen(static_cast<const char*>(bytes));
  CMD5 md5;
  md5.Update(input, length);
  uint8_t digest[16];
  md5.Final(digest);
  static const char kHex[] = "0123456789abcdef";
  char text[33] = {};
  for (int i = 0; i < 16; ++i) {
    text[i * 2] = kHex[digest[i] >> 4];
    text[i * 2 + 1] = kHex[digest[i] & 0xF];
  }
  return ByteStr(text, 32);
}

#include "crypto/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const ByteStr& s) { return std::string(s.c_str(), s.size()); }

std::string DigestOf(CMD5& md5) {
  uint8_t digest[16];
  md5.Final(digest);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

// Bytes that differ from position to position, zero bytes included.
std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + 3) % 256);
  return bytes;
}

TEST(MD5, ReproducesTheRfc1321TestSuite) {
  struct Case {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    // Length 0 means: measure the zero-terminated text.
    EXPECT_EQ(Hex(MD5Hex(c.text, 0)), c.digest) << c.text;
    if (*c.text) {
      EXPECT_EQ(Hex(MD5Hex(c.text, strlen(c.text))), c.digest) << c.text;
    }
  }
}

TEST(MD5, PadsAroundTheBlockBorders) {
  // 55 bytes fit the length into the same block, 56 to 63 need another, 64
  // and 65 start a second block; 119 and 120 are the same borders one block on.
  struct Case {
    size_t length;
    const char* digest;
  } cases[] = {
      {55, "52c0e574e1198de5fe3f8f11440dcb1b"},  {56, "46c9907fc908ee68b1e7b8e71286a518"},
      {63, "a62f6d59e837867693f042f5b8f5a236"},  {64, "7160b8fb5e9e4023d549c3971fbaeead"},
      {65, "70bd662e7aefbda85a0f7244167b7897"},  {119, "e84905d4214f4d1ca56c2cdcc152b143"},
      {120, "e3eb5a6c8669ea01a8c185b8abc8a5dc"}, {1000, "10046f077f2082ac19676b8079f1cb1a"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Pattern(c.length);
    EXPECT_EQ(Hex(MD5Hex(bytes.data(), bytes.size())), c.digest) << c.length;
  }
}

TEST(MD5, SplitFeedsGiveTheSameDigest) {
  std::vector<uint8_t> bytes = Pattern(1000);
  const std::string whole = "10046f077f2082ac19676b8079f1cb1a";
  const size_t splits[] = {1, 3, 55, 63, 64, 65, 128, 999};
  for (size_t step : splits) {
    CMD5 md5;
    for (size_t i = 0; i < bytes.size(); i += step) {
      md5.Update(bytes.data() + i, std::min(step, bytes.size() - i));
      md5.Update(bytes.data(), 0);  // empty feeds change nothing
    }
    EXPECT_EQ(DigestOf(md5), whole) << "step " << step;
  }
  CMD5 md5;
  md5.Update(bytes.data(), 64);
  md5.Update(bytes.data() + 64, 0);
  EXPECT_EQ(DigestOf(md5), "7160b8fb5e9e4023d549c3971fbaeead");
}

TEST(MD5, FinalLeavesTheObjectReadyForTheNextMessage) {
  CMD5 md5;
  md5.Update(reinterpret_cast<const uint8_t*>("junk"), 4);
  DigestOf(md5);
  md5.Update(reinterpret_cast<const uint8_t*>("abc"), 3);
  EXPECT_EQ(DigestOf(md5), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestOf(md5), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MD5, MillionBytes) {
  std::vector<uint8_t> bytes(1000000, 'a');
  EXPECT_EQ(Hex(MD5Hex(bytes.data(), bytes.size())), "7707d6ae4e027c70eea2a935c2296f21");
}

}  // namespace

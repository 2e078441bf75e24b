#include "crypto/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return text;
}

TEST(Sha256File, ReproducesTheFips180Vectors) {
  // A million bytes take many reads; the last one is short.
  struct Case {
    std::string bytes;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  std::wstring path = MakeScratchDir(L"sha256") + L"\\file.bin";
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    uint8_t digest[kSha256Bytes] = {};
    uint64_t size = 1;
    ASSERT_TRUE(Sha256File(path.c_str(), digest, &size)) << c.bytes.size();
    EXPECT_EQ(Hex(digest, kSha256Bytes), c.digest) << c.bytes.size();
    EXPECT_EQ(size, c.bytes.size());
  }
  uint8_t digest[kSha256Bytes];
  uint64_t size = 1;
  EXPECT_FALSE(Sha256File((path + L".missing").c_str(), digest, &size));
  EXPECT_EQ(size, 0u);
}

}  // namespace

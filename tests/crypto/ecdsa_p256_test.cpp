#include "crypto/ecdsa_p256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FromHex(const char* hex) {
  std::vector<uint8_t> bytes;
  for (; hex[0] && hex[1]; hex += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16)));
  return bytes;
}

// Made once with openssl: a key pair, and
// openssl dgst -sha256 -sign key.pem -out m.sig m.xml
const char kMessage[] = "<quelda><files lastversion=\"2.0.0.0\"/></quelda>\n";
const char kPublicKey[] =
    "367ad40964c6cf2aaa13f2c956376b92a7345951ed1c2cb20beded4917a88443"
    "1c87564bd44fc9ed150af6b8c20e8a14ec83517ceb219a03c011d0ccd7e925a0";
const char kOtherKey[] =
    "46b98fb6f3ddf5231ecfa5c9d0176600844eeac990064b72340a2c23e02b750f"
    "6d6f852eace5e8185f341cb24af80d0ee87a16cce77a38fc5728d8555107e4aa";
const char kSignature[] =
    "3046022100a53c02aa22fb95ce1f15bbd1e7e714de041276ec7af75274bc3fd875f470b8c4"
    "022100c7c887d0e250f633639ee37d6e2d5fbefa5bcd51671cac1b99fe50708093ef1d";

bool Verifies(const std::vector<uint8_t>& key, const std::string& message,
              const std::vector<uint8_t>& signature) {
  uint8_t digest[kSha256Bytes];
  EXPECT_TRUE(Sha256Data(message.data(), message.size(), digest));
  return VerifyP256Signature(key.data(), digest, signature.data(), signature.size());
}

TEST(VerifyP256Signature, TakesOpensslsSignatureAndNothingElse) {
  std::vector<uint8_t> key = FromHex(kPublicKey), signature = FromHex(kSignature);
  EXPECT_TRUE(Verifies(key, kMessage, signature));

  std::string changed = kMessage;
  changed[30] = '1';
  EXPECT_FALSE(Verifies(key, changed, signature));
  EXPECT_FALSE(Verifies(FromHex(kOtherKey), kMessage, signature));
  // A point off the curve.
  std::vector<uint8_t> offCurve = key;
  offCurve[63] ^= 1;
  EXPECT_FALSE(Verifies(offCurve, kMessage, signature));

  // Every cut, a byte more, each byte changed: only the signature as
  // written verifies.
  for (size_t size = 0; size < signature.size(); ++size) {
    std::vector<uint8_t> cut(signature.begin(), signature.begin() + size);
    EXPECT_FALSE(Verifies(key, kMessage, cut)) << size;
  }
  std::vector<uint8_t> longer = signature;
  longer.push_back(0);
  EXPECT_FALSE(Verifies(key, kMessage, longer));
  for (size_t i = 0; i < signature.size(); ++i) {
    std::vector<uint8_t> flipped = signature;
    flipped[i] ^= 0x01;
    EXPECT_FALSE(Verifies(key, kMessage, flipped)) << i;
  }
  // r and s of 33 bytes without the zero that keeps them positive.
  std::vector<uint8_t> negative = signature;
  negative.erase(negative.begin() + 4);
  negative[1] -= 1;
  negative[3] -= 1;
  EXPECT_FALSE(Verifies(key, kMessage, negative));
}

}  // namespace

#pragma once

#include <stdint.h>

#include "crypto/ecdsa_p256.h"

// The vendor's public keys that the setup trusts for its updates, compiled
// in. Two, so that a vendor can move to a new key: he publishes with the
// new one while setups in the field still know the old one.
constexpr int kMaxUpdateKeys = 2;

struct UpdateKeys {
  // 0: the setup takes updates unsigned, as the server gives them.
  int count;
  uint8_t keys[kMaxUpdateKeys][kP256PublicKeyBytes];
};

#pragma once

#include <stddef.h>
#include <stdint.h>

#include "crypto/sha256.h"

// A P-256 public key as its point's two coordinates, big-endian, X then Y.
constexpr int kP256PublicKeyBytes = 64;

// Whether der is an ECDSA signature (the DER form openssl writes: a
// SEQUENCE of the two INTEGERs r and s) of the SHA-256 digest under the
// public key, through the system's cryptography (bcrypt). A signature that
// is not exactly that form, to its last byte, verifies nothing.
bool VerifyP256Signature(const uint8_t publicKey[kP256PublicKeyBytes],
                         const uint8_t digest[kSha256Bytes], const uint8_t* der, size_t derSize);

// Whether der has that form at all: told apart from a signature by another
// key.
bool IsP256SignatureForm(const uint8_t* der, size_t derSize);

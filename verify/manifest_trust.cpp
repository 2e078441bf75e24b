#include "verify/manifest_trust.h"

#include <stdio.h>

#include "common/number_text.h"
#include "crypto/sha256.h"
#include "common/update_server.h"

namespace {

Outcome Refuse(const wchar_t* reason) {
  return Outcome::Failed(ReportId::kNotVerified, kManifestUrl, reason);
}

// Null when one of the keys signed the bytes, else why not.
const wchar_t* Unsigned(const UpdateKeys& keys, const ByteStr& bytes, const ByteStr& signature) {
  const uint8_t* der = reinterpret_cast<const uint8_t*>(signature.c_str());
  uint8_t digest[kSha256Bytes];
  if (signature.empty() || !Sha256Data(bytes.c_str(), bytes.size(), digest)) {
    return kSignatureUnreadable;
  }
  for (int i = 0; i < keys.count && i < kMaxUpdateKeys; ++i) {
    if (VerifyP256Signature(keys.keys[i], digest, der, signature.size())) return nullptr;
  }
  return IsP256SignatureForm(der, signature.size()) ? kSignatureForeign : kSignatureUnreadable;
}

}  // namespace

Outcome ManifestUnread() { return Refuse(kManifestUnread); }

Outcome ServerRefused(const wchar_t* url, uint32_t status) {
  wchar_t line[128];
  _snwprintf_s(line, _countof(line), _TRUNCATE, kServerStatus, DecimalText(status).c_str());
  return Outcome::Failed(ReportId::kNotVerified, url, line);
}

Outcome TrustManifest(const UpdateKeys& keys, const ByteStr& bytes, const ByteStr& signature,
                      Manifest* manifest) {
  if (const wchar_t* reason = Unsigned(keys, bytes, signature)) return Refuse(reason);
  *manifest = ReadManifest(bytes);
  bool databaseWhole = !manifest->database.Declared() || manifest->database.Whole();
  if (manifest->newest == 0 || !manifest->package.Whole() || !databaseWhole ||
      !manifest->serialRead) {
    return Refuse(kManifestIncomplete);
  }
  return Outcome::Done();
}

Outcome CheckSerial(const Manifest& manifest, uint64_t taken) {
  if (!manifest.serialRead) return Refuse(kManifestIncomplete);
  uint64_t serial = manifest.serial;
  if (serial >= taken) return Outcome::Done();
  wchar_t line[128];
  _snwprintf_s(line, _countof(line), _TRUNCATE, kSerialOlder, DecimalText64(serial).c_str(),
               DecimalText64(taken).c_str());
  return Refuse(line);
}

Outcome SerialUnreadable(const WStr& path) {
  wchar_t line[600];
  _snwprintf_s(line, _countof(line), _TRUNCATE, kSerialUnreadable, path.c_str());
  return Refuse(line);
}

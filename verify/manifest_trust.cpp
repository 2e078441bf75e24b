#include "verify/manifest_trust.h"

#include <stdio.h>

#include "verify/manifest_fields.h"
#include "apply/taken_serial.h"
#include "common/number_text.h"
#include "fetch/http_request.h"
#include "fetch/update_server.h"

namespace {

bool SignedByOurKey(const UpdateKeys& keys, const ByteStr& manifest, const ByteStr& signature,
                    const wchar_t** reason) {
  const uint8_t* der = reinterpret_cast<const uint8_t*>(signature.c_str());
  if (signature.empty()) {
    *reason = kSignatureUnreadable;
    return false;
  }
  uint8_t digest[kSha256Bytes];
  if (!Sha256Data(manifest.c_str(), manifest.size(), digest)) {
    *reason = kSignatureUnreadable;
    return false;
  }
  for (int i = 0; i < keys.count && i < kMaxUpdateKeys; ++i) {
    if (VerifyP256Signature(keys.keys[i], digest, der, signature.size())) return true;
  }
  *reason = IsP256SignatureForm(der, signature.size()) ? kSignatureForeign : kSignatureUnreadable;
  return false;
}

bool Refuse(const WorkerInputs& inputs, const wchar_t* url, const wchar_t* reason,
            const wchar_t* lastLine = nullptr) {
  Send(inputs, ReportId::kNotVerified, url, reason, lastLine);
  return false;
}

}  // namespace

bool FetchTrustedManifest(const WorkerInputs& inputs, Manifest* manifest) {
  ByteStr bytes = FetchVersionManifest(inputs.cancelEvent);
  if (CancelSet(inputs)) return false;
  if (!SignedUpdates(inputs)) {
    *manifest = ReadManifest(bytes);
    return true;
  }
  // No manifest is no licence to install whatever the server holds.
  if (bytes.empty()) return Refuse(inputs, kManifestUrl, kManifestUnread);
  ByteStr signature = FetchManifestSignature(inputs.cancelEvent);
  if (CancelSet(inputs)) return false;
  const wchar_t* reason = nullptr;
  if (!SignedByOurKey(*inputs.keys, bytes, signature, &reason)) {
    return Refuse(inputs, kManifestUrl, reason);
  }
  *manifest = ReadManifest(bytes);
  uint64_t serial = 0;
  bool databaseWhole = !DeclaresDatabase(*manifest) ||
                       DeclaresWhole(manifest->databaseSize, manifest->databaseSha256);
  if (manifest->newest == 0 || !DeclaresWhole(manifest->packageSize, manifest->packageSha256) ||
      !databaseWhole || !ParseDecimal64(manifest->serial, &serial)) {
    return Refuse(inputs, kManifestUrl, kManifestIncomplete);
  }
  // In update mode the installation is known before the download: an older
  // manifest is refused before its package is fetched.
  return inputs.stagingIsScratch ||
         SerialTakenHere(inputs, InstallFolder(inputs.stagingFolder), *manifest, nullptr);
}

bool SerialTakenHere(const WorkerInputs& inputs, const InstallFolder& folder,
                     const Manifest& manifest, const wchar_t* lastLine) {
  if (!SignedUpdates(inputs)) return true;
  uint64_t serial = 0, taken = 0;
  if (!ParseDecimal64(manifest.serial, &serial)) {
    return Refuse(inputs, kManifestUrl, kManifestIncomplete, lastLine);
  }
  if (!ReadTakenSerial(folder, &taken)) {
    wchar_t line[kInstallPathSize + 16];
    _snwprintf_s(line, _countof(line), _TRUNCATE, kSerialUnreadable,
                 folder.Path(kSerialPath).c_str());
    return Refuse(inputs, kManifestUrl, line, lastLine);
  }
  if (serial >= taken) return true;
  wchar_t line[128];
  _snwprintf_s(line, _countof(line), _TRUNCATE, kSerialOlder, DecimalText64(serial).c_str(),
               DecimalText64(taken).c_str());
  return Refuse(inputs, kManifestUrl, line, lastLine);
}

void RecordSerial(const WorkerInputs& inputs, const InstallFolder& folder,
                  const Manifest& manifest) {
  uint64_t serial = 0;
  if (!SignedUpdates(inputs) || !ParseDecimal64(manifest.serial, &serial)) return;
  // The installation is whole and new whether or not this lands: without
  // it, only an older manifest would not be told apart at the next run.
  RecordTakenSerial(folder, serial);
}

#include "fetch/download_resume.h"

#include <string.h>

#include "common/file_size.h"
#include "common/scoped.h"
#include "disk/file_system.h"
#include "fetch/reply_headers.h"

namespace {

// Beside the part, named for this setup alone.
constexpr wchar_t kValidatorSuffix[] = L".validator";
// ETags and HTTP dates are far shorter; a longer one is not kept.
constexpr DWORD kValidatorChars = 200;

// It goes into a request header: only the printable characters of one.
bool FitsHeader(const WStr& validator) {
  if (validator.empty() || validator.size() > kValidatorChars) return false;
  for (size_t i = 0; i < validator.size(); ++i) {
    if (validator[i] < 0x20 || validator[i] > 0x7E) return false;
  }
  return true;
}

WStr ValidatorPath(const WStr& path) {
  WStr file = path;
  file.Append(kValidatorSuffix);
  return file;
}

WStr LoadValidator(const WStr& path) {
  ScopedHandle file(CreateFileW(ValidatorPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  wchar_t text[kValidatorChars + 1] = {};
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), text, sizeof(text), &read, nullptr)) return WStr();
  // A file of more than kValidatorChars characters is none of ours.
  if (read % sizeof(wchar_t) || read / sizeof(wchar_t) > kValidatorChars) return WStr();
  WStr validator(text, read / sizeof(wchar_t));
  return FitsHeader(validator) ? validator : WStr();
}

}  // namespace

PartPlan PlanPart(const WStr& path, const ResumeTerms& terms) {
  PartPlan plan;
  bool known = false;
  uint64_t have = path.empty() ? 0 : FileSizeOf(path.c_str(), &known);
  if (!known || have == 0 || have > terms.size) return plan;
  if (have == terms.size) {
    uint8_t digest[kSha256Bytes];
    if (Sha256File(path.c_str(), digest, &have) && have == terms.size &&
        memcmp(digest, terms.digest, kSha256Bytes) == 0) {
      plan.use = PartUse::kWhole;
      plan.have = terms.size;
    }
    return plan;
  }
  plan.validator = LoadValidator(path);
  if (plan.validator.empty()) return plan;
  plan.use = PartUse::kResume;
  plan.have = static_cast<uint32_t>(have);
  return plan;
}

void SaveValidator(const WStr& path, const WStr& validator) {
  WStr file = ValidatorPath(path);
  if (!FitsHeader(validator)) {
    FsDelete(file.c_str());
    return;
  }
  ScopedHandle out = FsCreateFile(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DWORD bytes = static_cast<DWORD>(validator.size() * sizeof(wchar_t));
  // A validator that did not land whole must not be taken for one.
  if (!out || !FsWrite(out.get(), validator.c_str(), bytes)) {
    out.Reset();
    FsDelete(file.c_str());
  }
}

void DiscardPart(const WStr& path) {
  FsDelete(path.c_str());
  FsDelete(ValidatorPath(path).c_str());
}

bool RangeContinues(const ReplyHeaders& reply, uint32_t have, const ResumeTerms& terms) {
  uint64_t first = 0, last = 0, total = 0;
  return ParseContentRange(reply.contentRange.c_str(), &first, &last, &total) && first == have &&
         last + 1 == terms.size && (total == 0 || total == terms.size) &&
         reply.contentLength == terms.size - have;
}

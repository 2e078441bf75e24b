#include "worker/fetch_failure.h"

#include <stdio.h>

#include "common/error_text.h"
#include "common/number_text.h"
#include "verify/manifest_trust.h"

namespace {

WStr WithArgument(const wchar_t* format, const WStr& argument) {
  wchar_t line[1200];
  _snwprintf_s(line, _countof(line), _TRUNCATE, format, argument.c_str());
  return WStr(line);
}

}  // namespace

Outcome SmallFileRefused(const wchar_t* url, const SmallReply& reply) {
  if (!reply.ledTo.empty()) {
    return Outcome::Failed(ReportId::kNotVerified, url, WithArgument(kLedAway, reply.ledTo).c_str());
  }
  if (!reply.encoding.empty()) {
    return Outcome::Failed(ReportId::kNotVerified, url,
                           WithArgument(kUnreadEncoding, reply.encoding).c_str());
  }
  if (reply.status == 407) return Outcome::Failed(ReportId::kNotVerified, url, kProxyRefused);
  if (reply.status != 0 && reply.status != 200) return ServerRefused(url, reply.status);
  return Outcome::Done();
}

Outcome DownloadFailure(const DownloadResult& got, ReportId failed, const wchar_t* url,
                        bool keyed, const WStr& path) {
  const wchar_t* reason = nullptr;
  const wchar_t* format = nullptr;
  switch (got.end) {
    case DownloadEnd::kNoRoom: {
      WStr folder = path;
      size_t slash = folder.size();
      while (slash > 0 && folder[slash - 1] != L'\\') --slash;
      folder.Resize(slash);
      return NoRoomFailure(folder.c_str(), got.length, got.available);
    }
    case DownloadEnd::kNotDeclared:
      if (keyed) return Outcome::Failed(ReportId::kNotVerified, url, kFileNotDeclared);
      reason = kFileNotDeclared;
      [[fallthrough]];
    case DownloadEnd::kNotContent:
      if (got.status == 407) reason = kProxyRefused;
      return Outcome::Failed(ReportId::kNoLength, url, DecimalText(got.status).c_str(),
                             DecimalText64(got.length).c_str(), reason);
    case DownloadEnd::kLeftHttps:
      format = kLedAway;
      break;
    case DownloadEnd::kEncoded:
      format = kUnreadEncoding;
      break;
    case DownloadEnd::kBrokenOff:
      if (got.error != 0 && !got.tooSlow) return Outcome::FailedWithError(failed, got.error, url);
      reason = got.tooSlow ? kTransferTooSlow : kBodyCutShort;
      break;
    default:
      break;
  }
  WStr line = format ? WithArgument(format, got.named) : WStr();
  return Outcome::Failed(failed, url, format ? line.c_str() : reason);
}

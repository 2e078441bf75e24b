#include "install/install_worker.h"

#include <stdio.h>
#include <utility>

#include "app/status_slot.h"
#include "app/worker_access.h"
#include "common/scoped.h"
#include "common/text_convert.h"
#include "install/download.h"
#include "install/package_check.h"
#include "install/package_install.h"
#include "install/version_number.h"
#include "net/http_request.h"
#include "net/update_server.h"
#include "xml/xml_doc.h"
#include "zip/unzipper.h"

namespace {

bool Cancelled(DWORD milliseconds) {
  return WaitForSingleObject(CancelEvent(), milliseconds) != WAIT_TIMEOUT;
}

// What the manifest says of the newest version and its package.
struct Manifest {
  PackedVersion newest = 0;
  // As written; empty when not declared.
  WStr packageSize;
  WStr packageSha256;
};

Manifest ReadManifest(const ByteStr& bytes) {
  WStr text = MultiByteToWide(bytes, CP_UTF8);
  XmlDoc doc;
  doc.SetText(text.c_str());
  Manifest manifest;
  // Whether the manifest is well formed is not asked: a files element with
  // a readable lastversion is enough.
  if (!doc.FindChildElement(L"files")) return manifest;
  manifest.newest = ParseVersion(doc.GetChildAttribute(L"lastversion").c_str());
  manifest.packageSize = doc.GetChildAttribute(L"size");
  manifest.packageSha256 = doc.GetChildAttribute(L"sha256");
  return manifest;
}

// Whether the install folder's drive has room for that many bytes; true
// when it cannot tell.
bool FitsOnDisk(uint64_t bytes) {
  ULARGE_INTEGER available = {};
  WStr folder = InstallPath(L"");
  if (folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
    return true;
  }
  return bytes <= available.QuadPart;
}

// The package's path, or empty after a failure report.
WStr DownloadPackage(HWND page, const WStr& versionText) {
  WStr name(L"download\\Quelda");
  name.Append(versionText);
  name.Append(L".zip");
  WStr format(L"正在下载 Quelda Manager ");
  format.Append(versionText);
  format.Append(L" ...\r\n共 %s KB，已下载 %s KB。");
  DownloadJob job = {kPackageUrl,          name.c_str(),
                     /*makeFolders=*/true, /*reportStatusCode=*/true,
                     format.c_str(),       /*partSuffix=*/nullptr};
  return DownloadToFile(page, job);
}

void RunInstall(HWND page) {
  PostStatus(page, 0, kStatusWorking, L"正在检查 Quelda Manager 最新版本 ...");
  ByteStr manifest = FetchVersionManifest(CancelEvent());
  if (Cancelled(1)) return;

  Manifest declared = ReadManifest(manifest);
  WStr versionText = FormatVersion(declared.newest);
  PostStatus(page, 0, kStatusWorking, L"正在下载 Quelda Manager %s ...", versionText.c_str());

  WStr packageFile = DownloadPackage(page, versionText);
  if (packageFile.empty()) return;

  // A package other than the one the manifest declares (a stale copy, a
  // cut or altered one that is still a zip) is no package of this version.
  bool asDeclared =
      PackageMatches(packageFile.c_str(), declared.packageSize, declared.packageSha256);
  ScopedArchive archive(asDeclared ? OpenArchiveFile(packageFile.c_str()) : nullptr);
  ZipItem summary;
  // The whole package is read and checked now, before the go-ahead: a
  // damaged one must not be found half-way through replacing the user's
  // installation, nor one that the install folder's drive cannot hold.
  ArchiveFacts facts;
  if (!archive || GetArchiveItem(archive.get(), -1, &summary) != 0 ||
      VerifyArchive(archive.get(), &facts) != ZipResult::Ok || !FitsOnDisk(facts.totalSize)) {
    PostStatus(page, 0, kStatusFailed, L"下载的文件不是有效的 zip 压缩文件！");
    return;
  }
  PostStatus(page, 1, kStatusWorking, L"已下载 Quelda Manager %s ...", versionText.c_str());

  HANDLE events[2] = {ProceedEvent(), CancelEvent()};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  EndNavigation(page);

  InstallPackage(page, std::move(archive), summary.index, facts);
}

}  // namespace

DWORD WINAPI InstallWorker(LPVOID downloadPage) {
  RunInstall(static_cast<HWND>(downloadPage));
  return 0;
}

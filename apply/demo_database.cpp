#include "apply/demo_database.h"

#include <windows.h>

#include "fetch/download.h"
#include "verify/package_check.h"
#include "fetch/update_server.h"

namespace {

constexpr wchar_t kDatabaseName[] = L"Quelda.mdb";
// Beside the database while the demo database arrives.
constexpr wchar_t kPartSuffix[] = L".download";

}  // namespace

bool DownloadDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          const Manifest& declared, WStr* part) {
  if (SignedUpdates(inputs) && !DeclaresDatabase(declared)) {
    Send(inputs, ReportId::kNotVerified, kDatabaseUrl, kDatabaseUndeclared, kInstallationIntact);
    return false;
  }
  Send(inputs, ReportId::kDatabaseDownloading);
  DownloadJob job = {kDatabaseUrl, installFolder.Path(kDatabaseName),
                     /*makeFolders=*/false, ReportId::kDatabaseFailed,
                     /*reportStatusCode=*/false, ReportId::kDatabaseNotCreated,
                     ReportId::kDatabaseStep,
                     /*leading=*/nullptr, kPartSuffix,
                     // Past the go-ahead, before anything has changed.
                     kInstallationIntact};
  bool whole = false;
  WStr written = DownloadToFile(inputs, job, &whole);
  if (written.empty()) return false;
  if (!whole) {
    DeleteFileW(written.c_str());
    return true;
  }
  if (!PackageMatches(written.c_str(), declared.databaseSize, declared.databaseSha256)) {
    DeleteFileW(written.c_str());
    Send(inputs, ReportId::kNotVerified, kDatabaseUrl, kFileNotDeclared, kInstallationIntact);
    return false;
  }
  *part = written;
  return true;
}

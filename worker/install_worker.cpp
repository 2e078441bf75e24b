#include "worker/install_worker.h"

#include <utility>

#include "disk/install_folder.h"
#include "verify/package_check.h"
#include "apply/apply_package.h"
#include "fetch/download.h"
#include "fetch/download_resume.h"
#include "worker/staged_package.h"
#include "verify/manifest_trust.h"
#include "verify/version_manifest.h"
#include "worker/worker_inputs.h"
#include "fetch/update_server.h"

namespace {

// The package's path, or empty after a failure report.
WStr DownloadPackage(const WorkerInputs& inputs, const StagedPackage& staged,
                     const WStr& versionText, const ResumeTerms* resume, bool* whole) {
  DownloadJob job = {kPackageUrl,
                     staged.path(),
                     /*makeFolders=*/true,
                     ReportId::kDownloadFailed,
                     /*reportStatusCode=*/true,
                     ReportId::kPackageNotCreated,
                     ReportId::kDownloadStep,
                     versionText.c_str(),
                     /*partSuffix=*/nullptr,
                     /*failureLine=*/nullptr};
  return DownloadToFile(inputs, job, whole, resume);
}

void RunInstall(const WorkerInputs& inputs) {
  Send(inputs, ReportId::kChecking);
  Manifest declared;
  if (!FetchTrustedManifest(inputs, &declared)) return;
  WStr versionText = FormatVersion(declared.newest);
  Send(inputs, ReportId::kDownloading, versionText.c_str());

  WStr packageName(L"download\\Quelda");
  packageName.Append(versionText);
  packageName.Append(L".zip");
  // Declared before the package, so that the archive is closed before a
  // staged copy is removed.
  StagedPackage staged(inputs, packageName);
  // Only a declared package may be pieced together from several runs.
  ResumeTerms terms;
  const ResumeTerms* resume =
      ResumeTermsFor(declared.packageSize, declared.packageSha256, &terms) ? &terms : nullptr;
  bool whole = false;
  WStr packageFile = DownloadPackage(inputs, staged, versionText, resume, &whole);
  if (packageFile.empty()) return;

  // The whole package is read and checked now, before the go-ahead: a
  // damaged one must not be found half-way through replacing the user's
  // installation.
  CheckedPackage package;
  PackageVerdict verdict =
      CheckPackage(packageFile.c_str(), declared, inputs.stagingIsScratch, &package);
  if (verdict != PackageVerdict::kChecked) {
    // A whole that is not the declared package is no start for the next
    // try; a part cut short is.
    if (resume && whole) DiscardPart(packageFile);
    if (verdict == PackageVerdict::kNotDeclared && SignedUpdates(inputs)) {
      Send(inputs, ReportId::kNotVerified, kPackageUrl, kFileNotDeclared);
      return;
    }
    Send(inputs, ReportId::kNotAZip);
    return;
  }
  // The download is over: the bar full, as its last step may not have
  // filled it.
  SendProgress(inputs, ReportId::kDownloaded, kFullBar, versionText.c_str());

  HANDLE events[2] = {inputs.goAhead->event(), inputs.cancelEvent};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  inputs.reporter->EndNavigation();
  // Read only now: the user chose them with the go-ahead.
  InstallChoices choices = inputs.goAhead->Choices();
  InstallFolder installFolder(choices.folder);

  // Before the package moves into the chosen folder; again under the
  // folder's lock.
  if (!SerialTakenHere(inputs, installFolder, declared, kInstallationIntact)) return;
  if (!staged.Place(installFolder, &package)) return;
  InstallPackage(inputs, choices, installFolder, declared, std::move(package));
}

}  // namespace

DWORD WINAPI InstallWorker(LPVOID inputs) {
  RunInstall(*static_cast<const WorkerInputs*>(inputs));
  return 0;
}

#include "worker/install_worker.h"

#include <string.h>

#include <utility>

#include "apply/apply_package.h"
#include "apply/shortcuts.h"
#include "apply/taken_serial.h"
#include "common/number_text.h"
#include "delta/delta_fetch.h"
#include "disk/file_system.h"
#include "disk/install_folder.h"
#include "fetch/download.h"
#include "fetch/download_resume.h"
#include "fetch/http_request.h"
#include "fetch/proxy_password.h"
#include "common/update_server.h"
#include "report/outcome.h"
#include "update/update_journal.h"
#include "verify/manifest_trust.h"
#include "verify/package_check.h"
#include "verify/version_manifest.h"
#include "worker/fetch_failure.h"
#include "worker/staged_package.h"
#include "worker/worker_inputs.h"

namespace {

// A download's progress as the reports of the download page: the bar, and
// its text with the whole and the received kilobytes after the leading
// argument (when set).
class StepReports final : public DownloadProgress {
 public:
  StepReports(const WorkerInputs& inputs, ReportId step, const wchar_t* leading)
      : inputs_(inputs), step_(step), leading_(leading) {}
  void Prepare(uint32_t range) override { inputs_.reporter->PrepareProgress(range); }
  void Step(uint32_t position, uint32_t total, uint32_t received) override {
    if (total != total_ || totalText_.empty()) {
      total_ = total;
      totalText_ = GroupThousands(DecimalText(total / 1024));
    }
    WStr receivedText = GroupThousands(DecimalText(received / 1024));
    if (leading_) {
      SendProgress(inputs_, step_, position, leading_, totalText_.c_str(), receivedText.c_str());
    } else {
      SendProgress(inputs_, step_, position, totalText_.c_str(), receivedText.c_str());
    }
  }

 private:
  const WorkerInputs& inputs_;
  ReportId step_;
  const wchar_t* leading_;
  uint32_t total_ = 0;
  WStr totalText_;
};

// The terms on which a package may be resumed: its size (at most 4 GB) and
// SHA-256 declared; else nothing on disk is reused.
bool ResumeTermsOf(const DeclaredFile& package, ResumeTerms* terms) {
  if (!package.Whole() || package.size == 0 || package.size > 0xFFFFFFFFu) return false;
  terms->size = static_cast<uint32_t>(package.size);
  memcpy(terms->digest, package.digest, kSha256Bytes);
  return true;
}

Transfer TransferOf(const WorkerInputs& inputs) {
  Transfer transfer;
  transfer.line = inputs.line;
  transfer.cancelEvent = inputs.cancelEvent;
  return transfer;
}

// The one report of a failed run. After the go-ahead it ends with what
// became of the installation: intact, or to be finished by the next start.
void ReportFailure(const WorkerInputs& inputs, const Outcome& outcome, bool pastGoAhead) {
  const wchar_t* arguments[kMaxReportArguments] = {};
  int count = 0;
  for (; count < outcome.argumentCount(); ++count) {
    arguments[count] = outcome.argument(count).c_str();
  }
  if (pastGoAhead && count < kMaxReportArguments) {
    arguments[count] = outcome.pending() ? kInstallationPending : kInstallationIntact;
  }
  Send(inputs, outcome.report(), arguments[0], arguments[1], arguments[2], arguments[3],
       arguments[4]);
}

// Whether the installation in the folder may take the signed manifest: a
// setup without keys takes any.
Outcome SerialTakenHere(const WorkerInputs& inputs, const InstallFolder& folder,
                        const Manifest& manifest) {
  if (!SignedUpdates(inputs)) return Outcome::Done();
  uint64_t taken = 0;
  if (!ReadTakenSerial(folder, &taken)) return SerialUnreadable(folder.Path(kSerialPath));
  return CheckSerial(manifest, taken);
}

// The manifest the worker goes by. A setup with keys fetches its signature
// too and takes it only when trusted; without keys any manifest goes (one
// that cannot be read gives version 0).
Outcome FetchManifest(const WorkerInputs& inputs, Manifest* manifest) {
  SmallReply reply;
  ByteStr bytes = FetchVersionManifest(inputs.cancelEvent, &reply);
  if (CancelSet(inputs)) return Outcome::Cancelled();
  if (!SignedUpdates(inputs)) {
    // Anything but a 200 over https is an unreachable manifest, whose
    // version is 0.
    *manifest = ReadManifest(bytes);
    return Outcome::Done();
  }
  // No manifest is no licence to install whatever the server holds.
  Outcome refused = SmallFileRefused(kManifestUrl, reply);
  if (!refused.done()) return refused;
  if (bytes.empty()) return ManifestUnread();
  ByteStr signature = FetchManifestSignature(inputs.cancelEvent, &reply);
  if (CancelSet(inputs)) return Outcome::Cancelled();
  refused = SmallFileRefused(kSignatureUrl, reply);
  if (!refused.done()) return refused;
  Outcome trusted = TrustManifest(*inputs.keys, bytes, signature, manifest);
  if (!trusted.done() || inputs.stagingIsScratch) return trusted;
  // In update mode the installation is known before the download: an older
  // manifest is refused before its package is fetched.
  return SerialTakenHere(inputs, InstallFolder(inputs.stagingFolder), *manifest);
}

// The package downloaded to where it is staged and checked whole, before
// the go-ahead: a damaged one must not be found half-way through
// replacing the user's installation.
Outcome FetchPackage(const WorkerInputs& inputs, const Manifest& declared,
                     const StagedPackage& staged, const WStr& versionText,
                     CheckedPackage* package) {
  // Only a declared package may be pieced together from several runs.
  ResumeTerms terms;
  const ResumeTerms* resume = ResumeTermsOf(declared.package, &terms) ? &terms : nullptr;
  DownloadJob job;
  job.url = kPackageUrl;
  job.path = staged.path();
  job.makeFolders = true;
  job.declaredSize = declared.package.sizeRead ? declared.package.size : 0;
  StepReports steps(inputs, ReportId::kDownloadStep, versionText.c_str());
  // In update mode the package kept from the last update gives what did
  // not change.
  WStr earlier = resume && !inputs.stagingIsScratch ? FindEarlierPackage(job.path) : WStr();
  DownloadResult got = earlier.empty()
                           ? DownloadToFile(TransferOf(inputs), job, &steps, resume)
                           : FetchByDifference(TransferOf(inputs), job, &steps, *resume, earlier);
  switch (got.end) {
    case DownloadEnd::kWhole:
      break;
    case DownloadEnd::kCancelled:
      return Outcome::Cancelled();
    case DownloadEnd::kNotCreated:
      return Outcome::FailedWithError(ReportId::kPackageNotCreated, got.error, job.path.c_str());
    default:
      // A part that broke off stays for the retry to go on from.
      return DownloadFailure(got, ReportId::kDownloadFailed, kPackageUrl, SignedUpdates(inputs),
                             job.path);
  }
  if (CancelSet(inputs)) return Outcome::Cancelled();
  // In update mode nothing waits on the user between the check and the
  // staging: the staging reads the items' data, once.
  PackageVerdict verdict = CheckPackage(
      got.file.c_str(), declared, inputs.stagingIsScratch,
      inputs.stagingIsScratch ? ItemData::kRead : ItemData::kLeftToStaging, package);
  if (verdict == PackageVerdict::kChecked) return Outcome::Done();
  // A whole that is not the declared package is no start for the next try.
  if (resume) DiscardPart(got.file);
  if (verdict == PackageVerdict::kNotDeclared && SignedUpdates(inputs)) {
    return Outcome::Failed(ReportId::kNotVerified, kPackageUrl, kFileNotDeclared);
  }
  return Outcome::Failed(ReportId::kNotAZip);
}

// The user's go-ahead, taken: from then on it cannot be withdrawn.
Outcome TakeGoAhead(const WorkerInputs& inputs, InstallChoices* choices) {
  HANDLE events[2] = {inputs.goAhead->event(), inputs.cancelEvent};
  for (;;) {
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      return Outcome::Cancelled();
    }
    // Withdrawn between the event and here: the event is reset again.
    if (inputs.goAhead->Take(choices)) return Outcome::Done();
  }
}

// The demo database beside the user's database, whole and the one the
// manifest declares when it declares one, named in *part for the update
// to put in the user's database's place. One that breaks off (a cut, a
// full disk) is deleted and fails the run: the user asked for it, and the
// installation is left as it was. A setup with keys fetches none that the
// manifest does not declare.
Outcome FetchDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          const Manifest& declared, WStr* part) {
  if (SignedUpdates(inputs) && !declared.database.Declared()) {
    return Outcome::Failed(ReportId::kNotVerified, kDatabaseUrl, kDatabaseUndeclared);
  }
  Send(inputs, ReportId::kDatabaseDownloading);
  DownloadJob job;
  job.url = kDatabaseUrl;
  job.path = installFolder.Path(kDatabasePart);
  job.declaredSize = declared.database.sizeRead ? declared.database.size : 0;
  StepReports steps(inputs, ReportId::kDatabaseStep, nullptr);
  DownloadResult got = DownloadToFile(TransferOf(inputs), job, &steps);
  switch (got.end) {
    case DownloadEnd::kWhole:
      break;
    case DownloadEnd::kNotCreated:
      return Outcome::FailedWithError(ReportId::kDatabaseNotCreated, got.error,
                                      installFolder.Path(L"Quelda.mdb").c_str());
    default:
      if (!got.file.empty()) FsDelete(got.file.c_str());
      return DownloadFailure(got, ReportId::kDatabaseFailed, kDatabaseUrl, SignedUpdates(inputs),
                             job.path);
  }
  if (!PackageMatches(got.file.c_str(), declared.database)) {
    FsDelete(got.file.c_str());
    return Outcome::Failed(ReportId::kNotVerified, kDatabaseUrl, kFileNotDeclared);
  }
  *part = got.file;
  return Outcome::Done();
}

// After the go-ahead, into the chosen folder: the package moved there, the
// demo database when asked for, closing a running application, moving
// what the package replaces into the backup folder, extracting every item
// all or nothing, the serial kept, the shortcuts. The archive is closed
// before the shortcuts are made, or on the failure that ends the run.
Outcome InstallChosen(const WorkerInputs& inputs, const InstallChoices& choices,
                      const Manifest& declared, StagedPackage* staged, CheckedPackage* package) {
  InstallFolder installFolder(choices.folder);
  // Before the package moves into the chosen folder; again under the
  // folder's lock.
  Outcome outcome = SerialTakenHere(inputs, installFolder, declared);
  if (outcome.done()) outcome = staged->Place(installFolder, package);
  if (!outcome.done()) return outcome;
  PackageApplier applier(installFolder);
  outcome = applier.Prepare(package->archive.get(), package->facts);
  // The folder is known only now in install mode; under the lock, so that
  // no other setup raises the serial meanwhile.
  if (outcome.done()) outcome = SerialTakenHere(inputs, installFolder, declared);
  WStr databasePart;
  if (outcome.done() && choices.demoDatabase) {
    outcome = FetchDemoDatabase(inputs, installFolder, declared, &databasePart);
  }
  if (outcome.done()) outcome = applier.CheckDatabasePlace(databasePart);
  if (!outcome.done()) return outcome;
  Send(inputs, ReportId::kUnpacking);
  outcome =
      applier.Install(std::move(package->archive), package->itemCount, package->path, databasePart);
  if (!outcome.done()) return outcome;
  // The installation is whole and new whether or not this lands: without
  // it, only an older manifest would not be told apart at the next run.
  if (SignedUpdates(inputs) && declared.serialRead) {
    RecordTakenSerial(installFolder, declared.serial);
  }
  ShortcutChoices links;
  links.desktop = choices.desktopLink;
  links.programs = choices.programsLink;
  links.startup = choices.startupLink;
  links.quickLaunch = choices.quickLaunchLink;
  CreateShortcuts(links, applier.application());
  return outcome;
}

void RunInstall(const WorkerInputs& inputs) {
  Send(inputs, ReportId::kChecking);
  Manifest declared;
  Outcome outcome = FetchManifest(inputs, &declared);
  if (!outcome.done()) {
    if (outcome.failed()) ReportFailure(inputs, outcome, false);
    return;
  }
  WStr versionText = FormatVersion(declared.newest);
  Send(inputs, ReportId::kDownloading, versionText.c_str());

  WStr packageName(L"download\\Quelda");
  packageName.Append(versionText);
  packageName.Append(L".zip");
  StagedPackage staged(inputs.stagingFolder, inputs.stagingIsScratch, packageName);
  CheckedPackage package;
  InstallChoices choices;
  outcome = FetchPackage(inputs, declared, staged, versionText, &package);
  if (outcome.done()) {
    // The download is over: the bar full, as its last step may not have
    // filled it.
    SendProgress(inputs, ReportId::kDownloaded, kFullBar, versionText.c_str());
    outcome = TakeGoAhead(inputs, &choices);
  }
  if (!outcome.done()) {
    // What was fetched is decided on from the outcome, before any report:
    // a run the user stopped takes it away, one that failed by itself
    // keeps it for the retry.
    package.archive.Reset();
    if (outcome.cancelled()) staged.Discard();
    if (outcome.failed()) ReportFailure(inputs, outcome, false);
    return;
  }
  inputs.reporter->EndNavigation();
  outcome = InstallChosen(inputs, choices, declared, &staged, &package);
  package.archive.Reset();
  if (outcome.failed()) {
    // Found damaged as it was staged: no start for the next try either.
    ResumeTerms terms;
    if (outcome.report() == ReportId::kNotAZip && ResumeTermsOf(declared.package, &terms)) {
      DiscardPart(package.path);
    }
    ReportFailure(inputs, outcome, true);
    return;
  }
  Send(inputs, ReportId::kFinished);
}

}  // namespace

DWORD WINAPI InstallWorker(LPVOID param) {
  const WorkerInputs& inputs = *static_cast<const WorkerInputs*>(param);
  SetProxyPromptOwner(inputs.owner);
  RunInstall(inputs);
  return 0;
}

// The install worker's throughput against the stand-in update server, in a
// program of its own under Wine:
//   install_bench download FOLDER  the worker from its package request
//                                  (message 2) to its download report
//                                  (message 8): download and zip check
//   install_bench bare FILE        a bare WinInet loop: the package URL on
//                                  a session of its own, 4,096-byte reads,
//                                  fwrite to FILE
//   install_bench install FOLDER   a whole installation with the go-ahead
//                                  given at once, to the finish report;
//                                  also prints its phases (below)
//   install_bench verify FILE      the zip check's reading of every item
//                                  of a package, as the worker makes it
//                                  before the go-ahead
//   install_bench retry FOLDER     a download cut at nine tenths (the
//                                  worker stopped once its bar passed
//                                  them), then the retry from its package
//                                  request to its download report; a
//                                  second line "cut <bytes on disk>"
//   install_bench idle             nothing (for the working set)
// Prints "<mode> <milliseconds> <bytes> <peak working set bytes>", and after
// an installation a second line "phases <ms> <ms> <ms> <ms>": the version
// check, the download with the zip check, from the go-ahead to the
// extraction, and the extraction with the shortcuts, each ending where the
// next report begins.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "common/scoped.h"
#include "common/update_server.h"
#include "support/clock.h"
#include "support/worker_run.h"
#include "zip/unzipper.h"

namespace {

// The reports that begin the phases after the version check's.
const ReportId kPhaseStarts[] = {ReportId::kDownloading, ReportId::kDownloaded,
                                 ReportId::kUnpacking};
constexpr int kPhases = 4;

// Runs the worker with plain choices (every shortcut, no database) until a
// report satisfies done; the milliseconds from start, or -1 on failure.
// phases (kPhases values) gets how long each phase took, as the reports
// arrive.
double RunWorker(const wchar_t* folder, bool proceed, ReportId done, bool timeFromDownload,
                 double* phases) {
  WorkerRun run;
  InstallChoices& choices = run.choices();
  choices.desktopLink = choices.programsLink = choices.startupLink = choices.quickLaunchLink = true;
  double start = MillisecondsNow();
  double phaseStart[kPhases + 1] = {start};
  int phase = 0;
  run.Start(folder);
  if (proceed) run.Proceed();
  bool finished = run.WaitForReport(
      [&](const WorkerReport& report) {
        if (timeFromDownload && report.id == ReportId::kDownloading) start = MillisecondsNow();
        for (int k = phase; k + 1 < kPhases; ++k) {
          if (report.id != kPhaseStarts[k]) continue;
          while (phase <= k) phaseStart[++phase] = MillisecondsNow();
        }
        if (report.kind == kStatusFailed) {
          fwprintf(stderr, L"worker: %ls\n", report.text.c_str());
          return true;
        }
        return report.id == done;
      },
      600000);
  double end = MillisecondsNow();
  std::vector<WorkerReport> reports = run.reports();
  if (!finished || reports.empty() || reports.back().id != done) return -1;
  double elapsed = end - start;
  phaseStart[kPhases] = end;
  for (int i = 0; i < kPhases; ++i) {
    phases[i] = phaseStart[i + 1] - phaseStart[i];
  }
  return elapsed;
}

double BareDownload(const wchar_t* path, uint64_t* bytes) {
  // Like the worker: the session open and the manifest read before the
  // package request, from which on it is timed.
  HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  static char buffer[4096];
  HINTERNET manifest = InternetOpenUrlW(session, kManifestUrl, nullptr, 0,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
  for (DWORD count = 1; manifest && count;) {
    count = 0;
    InternetReadFile(manifest, buffer, sizeof buffer, &count);
  }
  if (manifest) InternetCloseHandle(manifest);
  double start = MillisecondsNow();
  HINTERNET request = InternetOpenUrlW(session, kPackageUrl, nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
  FILE* file = _wfopen(path, L"wb");
  if (!request || !file) return -1;
  for (;;) {
    DWORD count = 0;
    InternetReadFile(request, buffer, sizeof buffer, &count);
    if (count == 0) break;
    fwrite(buffer, 1, count, file);
    *bytes += count;
  }
  fclose(file);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return MillisecondsNow() - start;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double VerifyPackage(const wchar_t* path, uint64_t* bytes) {
  double start = MillisecondsNow();
  ScopedArchive archive(OpenArchiveFile(path));
  bool sound = archive && VerifyArchive(archive.get()) == ZipResult::Ok;
  double elapsed = MillisecondsNow() - start;
  *bytes = FileSize(path);
  return sound ? elapsed : -1;
}

double RetryAfterCut(const wchar_t* folder, uint64_t* cut) {
  std::wstring package = std::wstring(folder) + L"\\download\\Quelda1.2.3.4.zip";
  {
    WorkerRun run;
    run.Start(folder);
    run.WaitForReport(
        [&](const WorkerReport& report) {
          return report.kind != kStatusWorking || report.id == ReportId::kDownloaded ||
                 (report.id == ReportId::kDownloadStep && report.position * 10 >= run.range() * 9);
        },
        600000);
    run.Stop();
  }
  *cut = FileSize(package);
  double phases[kPhases] = {};
  return RunWorker(folder, false, ReportId::kDownloaded, true, phases);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  const wchar_t* target = argc > 2 ? argv[2] : L"";
  double ms = 0;
  uint64_t bytes = 0;
  double phases[kPhases] = {};
  uint64_t retryCut = 0;
  if (mode == L"download") {
    ms = RunWorker(target, false, ReportId::kDownloaded, true, phases);
    bytes = FileSize(std::wstring(target) + L"\\download\\Quelda1.2.3.4.zip");
  } else if (mode == L"install") {
    ms = RunWorker(target, true, ReportId::kFinished, false, phases);
    bytes = FileSize(std::wstring(target) + L"\\download\\Quelda1.2.3.4.zip");
  } else if (mode == L"verify") {
    ms = VerifyPackage(target, &bytes);
  } else if (mode == L"bare") {
    ms = BareDownload(target, &bytes);
  } else if (mode == L"retry") {
    uint64_t cut = 0;
    ms = RetryAfterCut(target, &cut);
    bytes = FileSize(std::wstring(target) + L"\\download\\Quelda1.2.3.4.zip");
    retryCut = cut;
  } else if (mode != L"idle") {
    fwprintf(stderr, L"unknown mode\n");
    return 2;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  printf("%ls %.1f %llu %lu\n", mode.c_str(), ms, static_cast<unsigned long long>(bytes),
         static_cast<unsigned long>(memory.PeakWorkingSetSize));
  if (mode == L"retry") printf("cut %llu\n", static_cast<unsigned long long>(retryCut));
  if (mode == L"install") {
    printf("phases %.1f %.1f %.1f %.1f\n", phases[0], phases[1], phases[2], phases[3]);
  }
  return ms < 0 ? 1 : 0;
}

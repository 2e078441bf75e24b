#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/fake_wizard.h"
#include "support/status_recorder.h"

// The real install worker, started with StartWorker on a fake wizard in this
// test program, while this thread answers its window messages like the
// wizard's user-interface thread would.
class WorkerRun {
 public:
  WorkerRun();
  ~WorkerRun();  // stops the worker
  FakeWizard& wizard() { return wizard_; }

  // Shows folder in the folder box and starts a worker.
  void Start(const std::wstring& folder);
  void Proceed();
  // Pumps messages until the worker has ended; false after the time-out.
  bool WaitForEnd(DWORD timeout = 60000);
  // Pumps messages until a report satisfies the test; false when the worker
  // ended or the time ran out first.
  bool WaitForReport(const std::function<bool(const StatusReport&)>& test, DWORD timeout = 60000);
  // StopWorker, as closing the wizard calls it; its duration in ms.
  DWORD Stop();
  // Every report since Start, oldest first.
  const std::vector<StatusReport>& reports();

 private:
  bool Pump(DWORD milliseconds);
  FakeWizard wizard_;
  std::vector<StatusReport> reports_;
};

// The worker's status reports by number, in the order in which they can
// come; MessageNumber tells them by their fixed texts.
enum Report : int {
  kChecking = 1,         // 正在检查 Quelda Manager 最新版本 ...
  kDownloading,          // 正在下载 Quelda Manager %s ...
  kDownloadFailed,       // 下载 “%s” 失败！
  kNoLength,             // 下载 “%s” 失败 (%d/%d)！
  kPackageNotCreated,    // 创建 “...\download\Quelda%s.zip” 失败！
  kDownloadStep,         // 正在下载 ...\r\n共 %s KB，已下载 %s KB。
  kNotAZip,              // 下载的文件不是有效的 zip 压缩文件！
  kDownloaded,           // 已下载 Quelda Manager %s ...
  kDatabaseDownloading,  // 正在下载 Quelda Manager 演示数据库 ...
  kDatabaseFailed,       // 下载 “...quelda.mdb” 失败！
  kDatabaseNotCreated,   // 创建 “...Quelda.mdb” 失败！
  kDatabaseStep,         // 正在下载 ... 演示数据库 ...\r\n共 %s KB，已下载 %s KB。
  kUnpacking,            // 解压下载的压缩文件 ...
  kBackupFailed,         // 备份 “%s” 至 “%s” 失败！
  kExtractFailed,        // 解压 “%s” 失败！
  kFinished,             // 已完成。
};

// Short forms of the reports for comparisons: the Report of each by its
// fixed text, 0 for an unknown one.
int MessageNumber(const StatusReport& report);
std::vector<int> MessageNumbers(const std::vector<StatusReport>& reports);
// The report numbers with runs of a progress report (kDownloadStep,
// kDatabaseStep) collapsed into one.
std::vector<int> MessageSequence(const std::vector<StatusReport>& reports);

#pragma once

#include <stdint.h>
#include <stddef.h>

// What the install worker reports, by number in the order in which the
// reports can come. Each has a fixed text, a status kind and a progress
// flag; the worker hands over only the id and the text's arguments.
enum class ReportId : int {
  kChecking = 1,         // 正在检查 Quelda Manager 最新版本 ...
  kDownloading,          // 正在下载 Quelda Manager %s ...
  kDownloadFailed,       // 下载 “%s” 失败！
  kNoLength,             // 下载 “%s” 失败 (%d/%d)！
  kPackageNotCreated,    // 创建 “%s” 失败！\r\n%s
  kDownloadStep,         // 正在下载 Quelda Manager %s ...\r\n共 %s KB，已下载 %s KB。
  kNotAZip,              // 下载的文件不是有效的 zip 压缩文件！
  kDownloaded,           // 已下载 Quelda Manager %s ...
  kDatabaseDownloading,  // 正在下载 Quelda Manager 演示数据库 ...
  kDatabaseFailed,       // 下载 “%s” 失败！
  kDatabaseNotCreated,   // 创建 “%s” 失败！\r\n%s
  kDatabaseStep,  // 正在下载 Quelda Manager 演示数据库 ...\r\n共 %s KB，已下载 %s KB。
  kUnpacking,     // 解压下载的压缩文件 ...
  kBackupFailed,   // 备份 “%s” 至 “%s” 失败！\r\n%s
  kExtractFailed,  // 解压 “%s” 失败！
  kFinished,       // 已完成。
  // Not enough room on the install folder's drive for the new files.
  kNoRoom,  // “%s” 所在的磁盘空间不足！\r\n需要 %s KB，可用 %s KB。
  // A file the vendor's signature does not vouch for: its URL, then why.
  kNotVerified,  // 无法验证 “%s” 是否来自发布者，已拒绝安装！
};

enum StatusKind : int {
  kStatusWorking = 0,
  kStatusFailed = 1,
  kStatusFinished = 2,
};

// Arguments beyond those of a report's text go on lines of their own
// after it: the reason of a failure, whether the installation is intact.
constexpr int kMaxReportArguments = 5;

// The last line of a failure after the go-ahead once the run is undone.
constexpr wchar_t kInstallationIntact[] = L"已安装的版本未受影响。";
// The same where the undo could not be finished: the next start of the
// setup finishes it.
constexpr wchar_t kInstallationPending[] =
    L"安装文件夹的更改未能撤消，下次运行安装程序时将自动完成。";

// Why a file was refused as not verified (kNotVerified), the line after it.
constexpr wchar_t kManifestUnread[] = L"未能读取版本信息。";
constexpr wchar_t kSignatureUnreadable[] = L"签名缺失或无法读取。";
constexpr wchar_t kSignatureForeign[] = L"签名与发布者的密钥不符。";
constexpr wchar_t kManifestIncomplete[] =
    L"版本信息未声明下载文件的大小、SHA-256 或发布序号。";
constexpr wchar_t kFileNotDeclared[] = L"下载的文件与版本信息所声明的不符。";
constexpr wchar_t kDatabaseUndeclared[] = L"版本信息未声明演示数据库。";
// The manifest's serial, then the one the installation took last.
constexpr wchar_t kSerialOlder[] = L"版本信息的发布序号 %s 低于此安装已采用的 %s。";
// The file that keeps that serial.
constexpr wchar_t kSerialUnreadable[] = L"无法读取 “%s”。";
// A reply that is no content: a status other than 200 (an error page, a
// proxy's refusal).
constexpr wchar_t kServerStatus[] = L"服务器回复的状态为 %s，不是所请求的文件。";

// Why a download failed, the line after its report. The system's text
// for an error stands in the place of these where there is one.
constexpr wchar_t kBodyCutShort[] = L"连接在下载完成前中断。";
constexpr wchar_t kTransferTooSlow[] = L"一分钟内收到的数据不足 16 KB，下载已中止。";
// A proxy that asked for its password (407) and did not get it.
constexpr wchar_t kProxyRefused[] = L"代理服务器拒绝了请求：需要代理服务器的用户名和密码。";
// Where a redirect led that was not followed.
constexpr wchar_t kLedAway[] =
    L"服务器将请求转到 “%s”，未予跟随：只跟随至 HTTPS 地址，最多 5 次。";
// A Content-Encoding that is not read.
constexpr wchar_t kUnreadEncoding[] = L"服务器以 “%s” 编码发送文件，无法读取。";

// A position at or past the range: the bar full.
constexpr uint32_t kFullBar = 0xFFFFFFFFu;

// One report: its id, the texts of its arguments in order (numbers as
// decimal text), and for a report with the progress flag the bar's
// position, out of the range last set up.
struct StatusReport {
  ReportId id;
  const wchar_t* arguments[kMaxReportArguments];
  int argumentCount;
  uint32_t position;
};

// The progress flag (show the bar at the report's position, or hide it)
// and the status kind of a report.
bool ReportShowsProgress(ReportId id);
StatusKind ReportKind(ReportId id);

// The report's text, cut to size - 1 characters.
void FormatReport(const StatusReport& report, wchar_t* text, size_t size);

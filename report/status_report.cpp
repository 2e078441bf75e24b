#include "report/status_report.h"

#include <stdio.h>
#include <wchar.h>

namespace {

struct ReportText {
  bool progress;
  StatusKind kind;
  const wchar_t* format;  // every argument as %s
};

// By ReportId, from 1.
constexpr ReportText kReports[] = {
    {false, kStatusWorking, L"正在检查 Quelda Manager 最新版本 ..."},
    {false, kStatusWorking, L"正在下载 Quelda Manager %s ..."},
    {false, kStatusFailed, L"下载 “%s” 失败！"},
    {false, kStatusFailed, L"下载 “%s” 失败 (%s/%s)！"},
    {false, kStatusFailed, L"创建 “%s” 失败！\r\n%s"},
    {true, kStatusWorking, L"正在下载 Quelda Manager %s ...\r\n共 %s KB，已下载 %s KB。"},
    {false, kStatusFailed, L"下载的文件不是有效的 zip 压缩文件！"},
    {true, kStatusWorking, L"已下载 Quelda Manager %s ..."},
    {false, kStatusWorking, L"正在下载 Quelda Manager 演示数据库 ..."},
    {false, kStatusFailed, L"下载 “%s” 失败！"},
    {false, kStatusFailed, L"创建 “%s” 失败！\r\n%s"},
    {true, kStatusWorking, L"正在下载 Quelda Manager 演示数据库 ...\r\n共 %s KB，已下载 %s KB。"},
    {false, kStatusWorking, L"解压下载的压缩文件 ..."},
    {false, kStatusFailed, L"备份 “%s” 至 “%s” 失败！\r\n%s"},
    {false, kStatusFailed, L"解压 “%s” 失败！"},
    {false, kStatusFinished, L"已完成。"},
    {false, kStatusFailed, L"“%s” 所在的磁盘空间不足！\r\n需要 %s KB，可用 %s KB。"},
    {false, kStatusFailed, L"无法验证 “%s” 是否来自发布者，已拒绝安装！"},
};

const ReportText& TextOf(ReportId id) {
  int index = static_cast<int>(id) - 1;
  if (index < 0 || index >= static_cast<int>(sizeof kReports / sizeof kReports[0])) index = 0;
  return kReports[index];
}

int CountArguments(const wchar_t* format) {
  int count = 0;
  for (const wchar_t* p = format; (p = wcsstr(p, L"%s")) != nullptr; p += 2) ++count;
  return count;
}

}  // namespace

bool ReportShowsProgress(ReportId id) { return TextOf(id).progress; }

StatusKind ReportKind(ReportId id) { return TextOf(id).kind; }

void FormatReport(const StatusReport& report, wchar_t* text, size_t size) {
  if (size == 0) return;
  const wchar_t* arguments[kMaxReportArguments] = {L"", L"", L"", L"", L""};
  int given =
      report.argumentCount < kMaxReportArguments ? report.argumentCount : kMaxReportArguments;
  for (int i = 0; i < given; ++i) {
    if (report.arguments[i]) arguments[i] = report.arguments[i];
  }
  const wchar_t* format = TextOf(report.id).format;
  // _TRUNCATE: longer reports are cut, as the status line holds 511
  // characters. The format is the table's, never a caller's text.
  _snwprintf_s(text, size, _TRUNCATE, format, arguments[0], arguments[1], arguments[2]);
  for (int i = CountArguments(format); i < given; ++i) {
    size_t used = wcslen(text);
    _snwprintf_s(text + used, size - used, _TRUNCATE, L"\r\n%s", arguments[i]);
  }
}

// Reading a generated 200 MB UTF-8 document in read-stream mode (64 KB
// chunks, every element visited through FindElement) against reading it
// whole (the file into memory, converted, parsed with SetText), in the same
// run. Each way runs in a process of its own so that each has its own peak
// working set. Prints both throughputs, their ratio, and the peaks; the goal
// is memory bounded by the chunk size, not by the document.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/clock.h"
#include "xml/file_stream.h"
#include "encoding/text_encoding.h"
#include "xml/xml_doc.h"

namespace {

constexpr int32_t kChunk = 64 * 1024;

std::wstring BenchFile() {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path = exe;
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"xml_stream_bench.xml";
}

// Many small elements with some Chinese text, as a large log or catalog has.
bool MakeDocument(const std::wstring& path, long long bytes, long long* elements) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  std::string block;
  long long written = 0, count = 1;
  const char* head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<catalog>\r\n";
  fputs(head, f);
  written += strlen(head);
  char line[200];
  for (unsigned i = 0; written < bytes; ++i) {
    int n;
    switch (i % 3) {
      case 0:
        n = snprintf(line, sizeof line, "  <item id=\"%u\" name=\"n%u\"><v>%u</v></item>\r\n", i, i,
                     i * 7);
        count += 2;
        break;
      case 1:
        n = snprintf(line, sizeof line, "  <note lang='zh'>\xE4\xB8\xAD\xE6\x96\x87 %u</note>\r\n",
                     i);
        count += 1;
        break;
      default:
        n = snprintf(line, sizeof line, "  <e a=\"%u\"/><!-- c -->\r\n", i);
        count += 1;
        break;
    }
    block.append(line, n);
    written += n;
    if (block.size() > (1 << 20)) {
      fwrite(block.data(), 1, block.size(), f);
      block.clear();
    }
  }
  block += "</catalog>\r\n";
  fwrite(block.data(), 1, block.size(), f);
  *elements = count;
  return fclose(f) == 0;
}

size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// One way of reading, in this process: prints "elements seconds peak".
int RunMode(const wchar_t* mode) {
  std::wstring path = BenchFile();
  long long elements = 0;
  double start = MillisecondsNow();
  bool wellFormed = false;
  if (wcscmp(mode, L"stream") == 0) {
    FileStream stream;
    if (!stream.OpenRead(path.c_str(), nullptr, kChunk)) return 1;
    XmlDoc doc;
    if (!doc.StartReadStream(stream)) return 1;
    while (doc.FindElement()) ++elements;
    wellFormed = doc.IsWellFormed();
    doc.EndStream();
  } else {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return 1;
    _fseeki64(f, 0, SEEK_END);
    long long size = _ftelli64(f);
    _fseeki64(f, 0, SEEK_SET);
    WStr text;
    {
      ByteStr bytes;
      if (!bytes.Resize(static_cast<size_t>(size)) ||
          fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
        return 1;
      text = BytesToWide(bytes.c_str(), static_cast<int>(bytes.size()), L"UTF-8");
    }
    fclose(f);
    XmlDoc doc;
    wellFormed = doc.SetText(text.c_str());
    elements = doc.GetFreePos() - 1;
  }
  double seconds = (MillisecondsNow() - start) / 1000.0;
  printf("%lld %.3f %zu %d\n", elements, seconds, PeakWorkingSet(), wellFormed ? 1 : 0);
  return 0;
}

struct Result {
  long long elements = 0;
  double seconds = 0;
  size_t peak = 0;
  int wellFormed = 0;
};

bool RunChild(const wchar_t* mode, Result* result) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" " + mode;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return false;
  }
  CloseHandle(writeEnd);
  std::string out;
  char buffer[256];
  DWORD got;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(readEnd);
  return code == 0 && sscanf(out.c_str(), "%lld %lf %zu %d", &result->elements, &result->seconds,
                             &result->peak, &result->wellFormed) == 4;
}

double Median3(double a, double b, double c) {
  return a > b ? (b > c ? b : (a > c ? c : a)) : (a > c ? a : (b > c ? c : b));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && (wcscmp(argv[1], L"stream") == 0 || wcscmp(argv[1], L"whole") == 0))
    return RunMode(argv[1]);
  int rounds = argc > 1 ? _wtoi(argv[1]) : 3;
  if (rounds < 1) rounds = 1;
  const long long kBytes = 200LL * 1000 * 1000;
  std::wstring path = BenchFile();
  long long elements = 0;
  if (!MakeDocument(path, kBytes, &elements)) {
    fprintf(stderr, "cannot write the document\n");
    return 1;
  }
  Result stream[3], whole[3];
  bool ok = true;
  for (int r = 0; r < rounds && r < 3 && ok; ++r)
    ok = RunChild(L"stream", &stream[r]) && RunChild(L"whole", &whole[r]);
  DeleteFileW(path.c_str());
  if (!ok) {
    fprintf(stderr, "a reading run failed\n");
    return 1;
  }
  int n = rounds < 3 ? rounds : 3;
  auto median = [n](Result* r, double Result::*field) {
    if (n < 3) return r[n - 1].*field;
    return Median3(r[0].*field, r[1].*field, r[2].*field);
  };
  double streamSeconds = median(stream, &Result::seconds);
  double wholeSeconds = median(whole, &Result::seconds);
  const double megabytes = kBytes / 1e6;
  printf("document: %.0f MB of UTF-8, %lld elements\n", megabytes, elements);
  printf("read-stream mode (%d KB chunks): %lld elements, %.1f MB/s, peak working set %.1f MB%s\n",
         kChunk / 1024, stream[0].elements, megabytes / streamSeconds, stream[0].peak / 1e6,
         stream[0].wellFormed ? "" : " (NOT well formed)");
  printf("whole (read, convert, SetText): %lld elements, %.1f MB/s, peak working set %.1f MB\n",
         whole[0].elements, megabytes / wholeSeconds, whole[0].peak / 1e6);
  printf("throughput ratio stream / whole: %.2f\n", wholeSeconds / streamSeconds);
  printf("peak working set ratio whole / stream: %.1f\n",
         static_cast<double>(whole[0].peak) / (stream[0].peak ? stream[0].peak : 1));
  return stream[0].elements == elements && whole[0].elements == elements ? 0 : 2;
}

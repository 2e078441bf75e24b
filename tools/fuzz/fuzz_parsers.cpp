// A coverage-guided fuzzer for the two parsers that read what the update
// server sends: the zip layer (open, check, describe, extract into a scratch
// folder) and the XML parser with the navigation the worker uses. The
// product's code is built with -fsanitize-coverage=trace-pc; this file is
// not, and keeps an edge map of what each input reached. An input that
// reaches a new edge joins the corpus and is mutated further.
//
//   fuzz_parsers zip|xml SEEDS WORK RUNS RNG_SEED [SECONDS]
//
// SEEDS: a folder whose *.zip or *.xml files start the corpus. WORK: a
// scratch folder of the fuzzer's own. Stops after RUNS runs, or SECONDS
// when given. Inputs that reach new edges are kept in WORK\corpus, the one
// under test in WORK\current (left behind by a crash), a run longer than
// 30 s in WORK\hangs. Exits 1 when a run hung or anything was written
// outside WORK\out; prints runs, edges, corpus size, hangs and escapes.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/text_convert.h"
#include "support/test_paths.h"
#include "xml/xml_doc.h"
#include "zip/unzipper.h"

namespace {

constexpr uint32_t kMapSize = 1 << 16;
constexpr DWORD kHangMs = 30000;
uint8_t gRunMap[kMapSize];
uintptr_t gPrevious = 0;

}  // namespace

// Every basic block of the instrumented code calls this: the pair of the
// previous and this block marks an edge.
extern "C" void __sanitizer_cov_trace_pc() {
  uintptr_t pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  gRunMap[(pc ^ gPrevious) % kMapSize] = 1;
  gPrevious = pc >> 1;
}

namespace {

using Bytes = std::string;

struct Random {
  uint64_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state);
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

Bytes Mutate(const Bytes& input, const std::vector<Bytes>& corpus, Random& random) {
  Bytes out = input;
  int steps = 1 + static_cast<int>(random.Below(4));
  for (int s = 0; s < steps; ++s) {
    uint32_t size = static_cast<uint32_t>(out.size());
    switch (random.Below(7)) {
      case 0:  // a bit
        if (size) out[random.Below(size)] ^= static_cast<char>(1u << random.Below(8));
        break;
      case 1: {  // a byte to a value that parsers treat specially
        static const uint8_t kValues[] = {0, 1, 0x7F, 0x80, 0xFF, '<', '>', '/', '.', ':', '\\'};
        if (size) out[random.Below(size)] = static_cast<char>(kValues[random.Below(11)]);
        break;
      }
      case 2: {  // a little-endian 16- or 32-bit field to an edge value
        static const uint32_t kFields[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000};
        uint32_t width = random.Below(2) ? 4 : 2;
        if (size < width) break;
        uint32_t at = random.Below(size - width + 1), value = kFields[random.Below(6)];
        if (random.Below(2)) {
          uint32_t old = 0;
          memcpy(&old, &out[at], width);
          value = old + random.Below(64) - 32;
        }
        memcpy(&out[at], &value, width);
        break;
      }
      case 3:  // cut
        if (size) out.resize(random.Below(size));
        break;
      case 4: {  // a piece removed
        if (size < 2) break;
        uint32_t at = random.Below(size), length = 1 + random.Below(size - at);
        out.erase(at, length);
        break;
      }
      case 5: {  // a piece of this or another input inserted
        const Bytes& from = corpus[random.Below(static_cast<uint32_t>(corpus.size()))];
        if (from.empty()) break;
        uint32_t at = random.Below(static_cast<uint32_t>(from.size()));
        uint32_t length = 1 + random.Below(static_cast<uint32_t>(from.size()) - at);
        if (length > 4096) length = 4096;
        out.insert(random.Below(size + 1), from.substr(at, length));
        break;
      }
      default: {  // a piece repeated
        if (size < 2) break;
        uint32_t at = random.Below(size), length = 1 + random.Below(size - at);
        if (length > 1024) length = 1024;
        out.insert(at, out.substr(at, length));
        break;
      }
    }
  }
  if (out.size() > (1u << 20)) out.resize(1u << 20);
  return out;
}

void RunZip(const Bytes& input, const std::wstring& work) {
  std::wstring file = work + L"\\input.zip", out = work + L"\\out";
  WriteFileBytes(file, input);
  ZipHandle* archive = OpenArchiveFile(file.c_str());
  if (!archive) return;
  ZipItem summary;
  if (GetArchiveItem(archive, -1, &summary) == ZipResult::Ok) {
    ArchiveFacts facts;
    VerifyArchive(archive, &facts);
    // Extraction goes on whatever the check said, to reach its own code
    // with what the check would have refused.
    for (int32_t i = 0; i < summary.index && i < 64; ++i) {
      ZipItem item;
      if (GetArchiveItem(archive, i, &item) != ZipResult::Ok || !item.name[0]) continue;
      if (item.uncompressedSize > (4 << 20)) continue;  // the disk, not the parser
      ExtractArchiveItem(archive, i, (out + L"\\" + item.name).c_str());
    }
  }
  CloseArchive(archive);
}

void RunXml(const Bytes& input) {
  WStr text = MultiByteToWide(ByteStr(input.data(), input.size()), CP_UTF8);
  XmlDoc doc;
  doc.SetText(text.c_str());
  if (doc.FindChildElement(L"files")) doc.GetChildAttribute(L"lastversion");
  XmlDoc walk;
  walk.SetText(text.c_str());
  for (int i = 0; i < 64 && walk.FindElement(); ++i) {
    walk.GetAttribute(L"lastversion");
    while (walk.FindChildElement()) walk.GetChildAttribute(L"a");
  }
}

std::vector<std::wstring> Snapshot(const std::wstring& work) {
  std::vector<std::wstring> seen;
  for (const std::wstring& root : {std::wstring(L"C:"), work.substr(0, work.find_last_of(L'\\'))}) {
    for (const std::wstring& path : ListTree(root, /*deep=*/false)) seen.push_back(root + path);
  }
  return seen;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    fwprintf(stderr, L"usage: fuzz_parsers zip|xml SEEDS WORK RUNS RNG_SEED [SECONDS]\n");
    return 2;
  }
  std::wstring target = argv[1], seeds = argv[2], work = argv[3];
  for (std::wstring* path : {&seeds, &work}) {
    for (wchar_t& c : *path) c = c == L'/' ? L'\\' : c;
  }
  unsigned long runs = wcstoul(argv[4], nullptr, 10);
  Random random{0x9E3779B97F4A7C15ull ^ wcstoul(argv[5], nullptr, 10)};
  double seconds = argc > 6 ? _wtof(argv[6]) : 0;
  bool zip = target == L"zip";
  const wchar_t* ending = zip ? L".zip" : L".xml";

  RemoveTree(work);
  CreateDirectoryW(work.c_str(), nullptr);
  for (const wchar_t* sub : {L"\\corpus", L"\\hangs", L"\\out"})
    CreateDirectoryW((work + sub).c_str(), nullptr);
  std::vector<Bytes> corpus;
  for (const std::wstring& path : ListTree(seeds, /*deep=*/false)) {
    if (path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, ending) == 0)
      corpus.push_back(ReadFileBytes(seeds + path));
  }
  if (corpus.empty()) corpus.push_back(zip ? Bytes("PK\x05\x06", 4) : Bytes("<r/>"));
  std::vector<Bytes> found;
  std::vector<std::wstring> before = Snapshot(work);

  static uint8_t seen[kMapSize];
  unsigned long run = 0, hangs = 0, escapes = 0;
  DWORD start = GetTickCount();
  for (; run < runs; ++run) {
    if (seconds > 0 && (GetTickCount() - start) / 1000.0 >= seconds) break;
    // The seeds run as they are first.
    Bytes input =
        run < corpus.size()
            ? corpus[run]
            : Mutate(corpus[random.Below(static_cast<uint32_t>(corpus.size()))], corpus, random);
    WriteFileBytes(work + L"\\current", input);
    memset(gRunMap, 0, sizeof gRunMap);
    gPrevious = 0;
    DWORD began = GetTickCount();
    if (zip) {
      RunZip(input, work);
    } else {
      RunXml(input);
    }
    // Far beyond the slowest sound run on a loaded machine: a hang is endless.
    if (GetTickCount() - began > kHangMs) {
      WriteFileBytes(work + L"\\hangs\\" + std::to_wstring(hangs++), input);
    }
    bool fresh = false;
    for (uint32_t i = 0; i < kMapSize; ++i) {
      if (gRunMap[i] && !seen[i]) seen[i] = fresh = true;
    }
    if (fresh && run >= corpus.size()) {
      corpus.push_back(input);
      WriteFileBytes(work + L"\\corpus\\" + std::to_wstring(corpus.size()), input);
    }
    if (zip) {
      RemoveTree(work + L"\\out");
      CreateDirectoryW((work + L"\\out").c_str(), nullptr);
      if (run % 64 == 0 && Snapshot(work) != before) ++escapes;
    }
  }
  if (zip && Snapshot(work) != before) ++escapes;
  uint32_t edges = 0;
  for (uint8_t bit : seen) edges += bit;
  wprintf(L"%ls: %lu runs in %.0f s, %u edges, corpus %u, hangs %lu, escapes %lu\n", target.c_str(),
          run, (GetTickCount() - start) / 1000.0, edges, static_cast<unsigned>(corpus.size()),
          hangs, escapes);
  return hangs || escapes ? 1 : 0;
}

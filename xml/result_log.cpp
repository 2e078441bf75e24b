#include "xml/result_log.h"

#include <stdio.h>

#include "xml/escape_text.h"

namespace {

size_t Length(const wchar_t* s) { return WStr::Length(s); }

bool SameAt(const WStr& log, size_t at, const wchar_t* s, size_t n) {
  return at + n <= log.size() && memcmp(log.c_str() + at, s, n * sizeof(wchar_t)) == 0;
}

// Start of the first entry named name (its '<'), or npos. Values are escaped,
// so every '<' in a log begins an entry.
size_t FindEntry(const WStr& log, const wchar_t* name) {
  size_t n = Length(name);
  for (size_t at = log.Find(L'<'); at != WStr::npos; at = log.Find(L'<', at + 1)) {
    if (!SameAt(log, at + 1, name, n)) continue;
    size_t end = at + 1 + n;
    wchar_t c = end < log.size() ? log[end] : 0;
    if (c == L' ' || c == L'/' || c == L'>') return at;
  }
  return WStr::npos;
}

// Sets attribute name of the entry at entry: replaces its value in place or
// adds it before the entry's closing "/>" (or ">").
void SetEntryAttribute(WStr& log, size_t entry, const wchar_t* name, const wchar_t* value) {
  WStr escaped;
  AppendEscaped(escaped, value, kEscapeQuotes);
  size_t n = Length(name);
  size_t i = entry + 1;
  while (i < log.size() && log[i] != L' ' && log[i] != L'/' && log[i] != L'>') ++i;
  for (;;) {
    while (i < log.size() && log[i] == L' ') ++i;
    if (i >= log.size() || log[i] == L'/' || log[i] == L'>') break;
    size_t attr = i;
    while (i < log.size() && log[i] != L'=' && log[i] != L' ' && log[i] != L'/' && log[i] != L'>')
      ++i;
    bool match = i - attr == n && SameAt(log, attr, name, n);
    if (i >= log.size() || log[i] != L'=') continue;
    ++i;
    size_t valueStart = i, valueEnd = i;
    if (i < log.size() && log[i] == L'"') {
      size_t close = log.Find(L'"', i + 1);
      valueEnd = close == WStr::npos ? log.size() : close + 1;
    } else {
      while (valueEnd < log.size() && log[valueEnd] != L' ' && log[valueEnd] != L'/' &&
             log[valueEnd] != L'>')
        ++valueEnd;
    }
    if (match) {
      WStr rebuilt = log.Substr(0, valueStart);
      rebuilt += L'"';
      rebuilt += escaped;
      rebuilt += L'"';
      rebuilt += log.Substr(valueEnd);
      log.Swap(rebuilt);
      return;
    }
    i = valueEnd;
  }
  size_t at = i > log.size() ? log.size() : i;
  // Attributes go before the closing "/>" or ">", not between its characters.
  WStr rebuilt = log.Substr(0, at);
  rebuilt += L' ';
  rebuilt += name;
  rebuilt += L"=\"";
  rebuilt += escaped;
  rebuilt += L'"';
  rebuilt += log.Substr(at);
  log.Swap(rebuilt);
}

}  // namespace

void AddResult(WStr& log, unsigned options, const wchar_t* name, const wchar_t* value, int a,
               int b) {
  if (log.size() > kResultLogLimit || !name) return;
  size_t entry;
  if (options & kResultUpdate) {
    entry = FindEntry(log, name);
    if (entry == WStr::npos) return;
  } else {
    entry = log.size();
    log += L'<';
    log += name;
    log += L"/>";
  }
  if (value) {
    const wchar_t* attr = (options & kResultType)       ? L"type"
                          : (options & kResultEncoding) ? L"encoding"
                          : (options & kResultMsg)      ? L"msg"
                                                        : L"tagname";
    SetEntryAttribute(log, entry, attr, value);
  }
  const wchar_t* numberName = (options & kResultN)        ? L"n"
                              : (options & kResultCount)  ? L"count"
                              : (options & kResultLength) ? L"length"
                                                          : nullptr;
  wchar_t number[16];
  if (numberName || a != -1) {
    _snwprintf_s(number, 16, _TRUNCATE, L"%d", a);
    SetEntryAttribute(log, entry, numberName ? numberName : L"offset", number);
  }
  if (b != -1) {
    _snwprintf_s(number, 16, _TRUNCATE, L"%d", b);
    SetEntryAttribute(log, entry, L"offset2", number);
  }
}

#include "xml/decode_text.h"

#include "xml/entity_table.h"
#include "xml/xml_doc.h"
#include "xml/xml_names.h"

unsigned LookUpEntity(const wchar_t* name, int length) {
  if (length < 2 || length > 8) return 0;
  unsigned sum = 0;
  for (int i = 0; i < length; ++i) sum += name[i];
  for (const char* e = kEntityBuckets[sum % kEntityBucketCount]; *e;) {
    int n = e[0] - '0';
    if (n == length) {
      int i = 0;
      while (i < n && static_cast<wchar_t>(e[5 + i]) == name[i]) ++i;
      if (i == n) {
        return (e[1] - '0') * 1000u + (e[2] - '0') * 100u + (e[3] - '0') * 10u + (e[4] - '0');
      }
    }
    e += 5 + n;
  }
  return 0;
}

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

// Code point of a collected reference name (folded to lower case), 0 when
// it is none. Beyond the last code point a reference is taken as text.
unsigned ReferenceValue(const wchar_t* name, int length) {
  if (length == 0 || name[0] != L'#') return LookUpEntity(name, length);
  bool hex = length > 1 && name[1] == L'x';
  unsigned value = 0;
  for (int i = hex ? 2 : 1; i < length; ++i) {
    int digit =
        hex ? HexDigit(name[i]) : (name[i] >= L'0' && name[i] <= L'9' ? name[i] - L'0' : -1);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return 0;
  }
  return value;
}

}  // namespace

WStr DecodeText(int32_t length, const wchar_t* text, uint32_t flags) {
  const bool collapse = (flags & XmlDoc::CollapseWhitespace) != 0;
  const bool trim = collapse || (flags & XmlDoc::TrimWhitespace);
  WStr out;
  out.Reserve(length > 0 ? static_cast<size_t>(length) : 0);
  size_t kept = 0;       // output length up to the last non-whitespace
  bool inSpace = false;  // a whitespace run has begun since then
  for (int32_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    if (c == L'&') {
      wchar_t name[9];
      int n = 0;
      int32_t j = i + 1;
      bool closed = false;
      while (j < length && text[j] < 128) {
        if (text[j] == L';') {
          closed = true;
          break;
        }
        if (n == 9) break;
        wchar_t u = text[j];
        name[n++] = u >= L'A' && u <= L'Z' ? u + 32 : u;
        ++j;
      }
      unsigned code = closed ? ReferenceValue(name, n) : 0;
      if (code) {
        if (code < 0x10000) {
          out += static_cast<wchar_t>(code);
        } else {
          out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
          out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        }
        kept = out.size();
        inSpace = false;
        i = j;
        continue;
      }
    }
    if (trim && IsXmlSpace(c)) {
      if (out.empty()) continue;
      if (collapse) {
        if (!inSpace) out += L' ';
        inSpace = true;
        continue;
      }
      out += c;
      continue;
    }
    out += c;
    kept = out.size();
    inSpace = false;
  }
  if (trim) out.Resize(kept);
  return out;
}

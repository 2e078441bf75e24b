#include "encoding/text_encoding.h"

#include <windows.h>

#include "encoding/code_page_table.h"
#include "encoding/gb18030.h"

namespace {

int CodePageOf(const WStr& name) {
  int page = CodePageFromName(name.c_str());
  return page < 0 ? 0 : page;
}

// WideCharToMultiByte refuses a loss flag for these code pages.
bool AcceptsLossFlag(int page) {
  switch (page) {
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 52936:
    case 54936:
    case 65000:
    case 65001:
      return false;
    default:
      return page < 57002 || page > 57011;
  }
}

bool OwnGb18030(int page) { return page == kCodePageGb18030 && !SystemHasGb18030(); }

int WideToPage(int page, const wchar_t* text, int length, char* out, int capacity, bool* loss) {
  if (OwnGb18030(page)) return Utf16ToGb18030(text, length, out, out ? capacity : 0, loss);
  BOOL used = FALSE;
  int n = WideCharToMultiByte(page, 0, text, length, out, capacity, nullptr,
                              AcceptsLossFlag(page) ? &used : nullptr);
  *loss = used != FALSE;
  return n;
}

int PageToWide(int page, const char* bytes, int length, wchar_t* out, int capacity) {
  if (OwnGb18030(page))
    return Gb18030ToUtf16(reinterpret_cast<const unsigned char*>(bytes), length, out,
                          out ? capacity : 0);
  return MultiByteToWideChar(page, 0, bytes, length, out, capacity);
}

bool IsSurrogate(wchar_t u) { return u >= 0xD800 && u <= 0xDFFF; }
bool IsHighSurrogate(wchar_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(wchar_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

int Utf32ToUtf8(const uint32_t* s, int length, unsigned char* out, int capacity) {
  int n = 0;
  for (int i = 0; i < length; ++i) {
    if (out) {
      int size = 0;
      EncodeUtf8Char(s[i], nullptr, size);
      if (n + size > capacity) break;
    }
    EncodeUtf8Char(s[i], out, n);
  }
  return n;
}

int Utf32ToUtf16(const uint32_t* s, int length, wchar_t* out, int capacity) {
  int n = 0;
  for (int i = 0; i < length; ++i) {
    if (!PutUtf16(s[i] > 0x10FFFF ? '?' : s[i], out, n, capacity)) break;
  }
  return n;
}

// Only a high surrogate followed by a low one makes a pair; any other
// surrogate is undecodable, and the unit after it is kept.
int Utf16ToUtf32(const wchar_t* s, int length, uint32_t* out, int capacity) {
  int n = 0;
  for (int i = 0; i < length; ++i) {
    uint32_t c = s[i];
    if (IsSurrogate(s[i])) {
      if (IsHighSurrogate(s[i]) && i + 1 < length && IsLowSurrogate(s[i + 1])) {
        c = (((s[i] & 0x3FFu) << 10) | (s[i + 1] & 0x3FFu)) + 0x10000;
        ++i;
      } else {
        c = '?';
      }
    }
    if (out) {
      if (n >= capacity) break;
      out[n] = c;
    }
    ++n;
  }
  return n;
}

int Utf8ToUtf32(const unsigned char* s, int length, uint32_t* out, int capacity) {
  const unsigned char* end = s + length;
  int n = 0;
  while (s < end) {
    int c = DecodeUtf8Char(s, end);
    if (out) {
      if (n >= capacity) break;
      out[n] = c < 0 ? '?' : static_cast<uint32_t>(c);
    }
    ++n;
  }
  return n;
}

}  // namespace

const ByteOrderMark kByteOrderMarks[kByteOrderMarkCount] = {
    {"\xEF\xBB\xBF", 3, L"UTF-8", 0x04},
    {"\xFF\xFE", 2, L"UTF-16LE", 0x01},
    {"\xFE\xFF", 2, L"UTF-16BE", 0x80},
};

bool PutUtf16(uint32_t c, wchar_t* out, int& n, int capacity) {
  int units = c >= 0x10000 ? 2 : 1;
  if (out) {
    if (n + units > capacity) return false;
    if (units == 1) {
      out[n] = static_cast<wchar_t>(c);
    } else {
      out[n] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n + 1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
  }
  n += units;
  return true;
}

int CodePageFromName(const wchar_t* name) {
  if (!name || !name[0]) return 0;
  if (wcsncmp(name, L"UTF-32", 6) == 0) return kCodePageUtf32;
  wchar_t folded[100];
  int length = 0;
  unsigned sum = 0;
  for (; name[length]; ++length) {
    if (length >= 99) return -1;
    wchar_t c = name[length];
    if (c >= L'A' && c <= L'Z') c += 32;
    folded[length] = c;
    sum += c;
  }
  for (const char* e = kCodePageBuckets[sum % kCodePageBucketCount]; *e;) {
    int n = (e[0] - '0') * 10 + (e[1] - '0');
    const char* stored = e + 7;
    if (n == length) {
      int i = 0;
      while (i < n && static_cast<wchar_t>(static_cast<unsigned char>(stored[i])) == folded[i]) ++i;
      if (i == n) {
        int page = 0;
        for (int k = 2; k < 7; ++k) page = page * 10 + (e[k] - '0');
        return page;
      }
    }
    e = stored + n;
  }
  return -1;
}

int DecodeUtf8Char(const unsigned char*& cursor, const unsigned char* end) {
  if (cursor >= end) return -1;
  unsigned lead = *cursor++;
  if (lead < 0x80) return static_cast<int>(lead);
  if (!(lead & 0x40)) return -1;
  int following;
  unsigned c;
  if (!(lead & 0x20)) {
    following = 1;
    c = lead & 0x1F;
  } else if (!(lead & 0x10)) {
    following = 2;
    c = lead & 0x0F;
  } else if (!(lead & 0x08)) {
    following = 3;
    c = lead & 0x07;
  } else {
    return -1;
  }
  while (following-- > 0) {
    if (cursor >= end || *cursor < 0x80 || *cursor >= 0xC0) return -1;
    c = (c << 6) | (*cursor++ & 0x3F);
  }
  return static_cast<int>(c);
}

void EncodeUtf8Char(uint32_t c, unsigned char* buffer, int& count) {
  unsigned char bytes[4];
  int n;
  if (c < 0x80 || c > 0x10FFFF) {
    bytes[0] = static_cast<unsigned char>(c < 0x80 ? c : '?');
    n = 1;
  } else if (c < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    n = 2;
  } else if (c <= 0xFFFF) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    n = 4;
  }
  for (int i = 1; i < n; ++i)
    bytes[i] = static_cast<unsigned char>(0x80 | ((c >> (6 * (n - 1 - i))) & 0x3F));
  if (buffer) memcpy(buffer + count, bytes, n);
  count += n;
}

TextConverter::TextConverter(const wchar_t* from, const void* src, int length)
    : fromEncoding(from), source(src), sourceLength(length) {}

int TextConverter::Convert(void* destination, const wchar_t* to) {
  if (to) toEncoding = to;
  lossFlag = false;
  result = 0;
  if (!source || sourceLength <= 0) return 0;
  const int from = CodePageOf(fromEncoding), target = CodePageOf(toEncoding);
  const bool write = destination && capacity > 0;
  void* out = write ? destination : nullptr;
  const int room = write ? capacity : 0;
  int n = 0;
  if (from == kCodePageUtf32) {
    const uint32_t* s = static_cast<const uint32_t*>(source);
    if (target == kCodePageUtf8) {
      n = Utf32ToUtf8(s, sourceLength, static_cast<unsigned char*>(out), room);
    } else if (target == kCodePageUtf16) {
      n = Utf32ToUtf16(s, sourceLength, static_cast<wchar_t*>(out), room);
    }
  } else if (from == kCodePageUtf16) {
    const wchar_t* s = static_cast<const wchar_t*>(source);
    if (target == kCodePageUtf32) {
      n = Utf16ToUtf32(s, sourceLength, static_cast<uint32_t*>(out), room);
    } else if (target == kCodePageUtf16) {
      n = write && room < sourceLength ? room : sourceLength;
      if (write) memcpy(out, s, n * sizeof(wchar_t));
    } else {
      n = WideToPage(target, s, sourceLength, static_cast<char*>(out), room, &lossFlag);
    }
  } else if (target == kCodePageUtf16) {
    n = PageToWide(from, static_cast<const char*>(source), sourceLength, static_cast<wchar_t*>(out),
                   room);
  } else if (target == kCodePageUtf32) {
    if (from == kCodePageUtf8)
      n = Utf8ToUtf32(static_cast<const unsigned char*>(source), sourceLength,
                      static_cast<uint32_t*>(out), room);
  } else {
    // Between two byte encodings through UTF-16, counted first so that no
    // source can outgrow the temporary.
    const char* s = static_cast<const char*>(source);
    WStr wide;
    int units = PageToWide(from, s, sourceLength, nullptr, 0);
    if (units > 0 && wide.Resize(units)) {
      units = PageToWide(from, s, sourceLength, wide.data(), units);
      n = WideToPage(target, wide.c_str(), units, static_cast<char*>(out), room, &lossFlag);
    }
  }
  result = n;
  return n;
}

WStr BytesToWide(const char* bytes, int length, const wchar_t* encoding) {
  bool utf32 = CodePageFromName(encoding) == kCodePageUtf32;
  TextConverter converter(encoding, bytes, utf32 ? length / 4 : length);
  int count = converter.Convert(nullptr, L"UTF-16");
  WStr text;
  if (count <= 0 || !text.Resize(count)) return text;
  converter.capacity = count;
  text.Resize(converter.Convert(text.data(), nullptr));
  return text;
}

ByteStr WideToBytes(const wchar_t* text, int length, const wchar_t* encoding, bool* loss) {
  int unit = CodePageFromName(encoding) == kCodePageUtf32 ? 4 : 1;
  TextConverter converter(L"UTF-16", text, length);
  int count = converter.Convert(nullptr, encoding);
  ByteStr bytes;
  if (loss) *loss = false;
  if (count <= 0 || !bytes.Resize(static_cast<size_t>(count) * unit)) return bytes;
  converter.capacity = count;
  bytes.Resize(static_cast<size_t>(converter.Convert(bytes.data(), nullptr)) * unit);
  if (loss) *loss = converter.lossFlag;
  return bytes;
}

// Only a high surrogate waits for its partner: a low one completes a pair.
int HeldBackUtf16(const wchar_t* units, int count) {
  return count > 0 && IsHighSurrogate(units[count - 1]) ? 2 : 0;
}

// A lead byte near the end whose sequence reaches past it is read again
// with what follows it, also when what follows is no valid continuation:
// Windows' converter (as Wine has it) swallows the rest of its input after a
// lead byte that the input's end cuts short, where it would otherwise stop
// at the invalid byte. Holding back can leave another such lead before the
// new end, so the test repeats.
int HeldBackUtf8(const unsigned char* bytes, int count) {
  int end = count;
  while (end > 0) {
    int cut = 0;
    for (int k = 3; k >= 1 && !cut; --k) {
      if (k > end) continue;
      unsigned b = bytes[end - k];
      int size = b >= 0xF0 && b < 0xF8 ? 4 : b >= 0xE0 ? (b < 0xF0 ? 3 : 0) : b >= 0xC0 ? 2 : 0;
      if (size > k) cut = k;
    }
    if (!cut) break;
    end -= cut;
  }
  return count - end;
}

int HeldBackUtf32(int byteCount) { return byteCount % 4; }

bool LooksLikeUtf8(const unsigned char* bytes, int count, bool last) {
  const unsigned char* p = bytes;
  const unsigned char* end = bytes + count;
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const unsigned char* start = p;
    if (DecodeUtf8Char(p, end) >= 0) continue;
    if (last || *start < 0xC0 || *start >= 0xF8) return false;
    // Cut by the chunk's end: only following bytes may come after the lead.
    for (const unsigned char* q = start + 1; q < end; ++q) {
      if (*q < 0x80 || *q >= 0xC0) return false;
    }
    return true;
  }
  return true;
}

namespace {

bool IsMultiByteCodePage(int page) {
  static const int kPages[] = {874,   932,   936,   949,   950,   1361,  10001, 10002, 10003,
                               10008, 10021, 20000, 20001, 20002, 20003, 20004, 20833, 20932,
                               20936, 20949, 50220, 50221, 50222, 50225, 50227, 50930, 50931,
                               50933, 50935, 50937, 50939, 51932, 51936, 51949, 52936, 54936};
  for (int p : kPages) {
    if (p == page) return true;
  }
  return false;
}

// GB18030 from a character boundary, with the decoder's own sizes.
int HeldBackGb18030(const unsigned char* bytes, int count) {
  for (int i = 0; i < count;) {
    int size = Gb18030CharSize(bytes + i, count - i);
    if (!size) return count - i;
    i += size;
  }
  return 0;
}

// Double-byte code pages with lead-byte ranges, walked from the chunk's
// start (always a character boundary).
bool HeldBackDoubleByte(int page, const unsigned char* bytes, int count, int* held) {
  CPINFO info;
  if (!GetCPInfo(page, &info)) return false;
  if (info.MaxCharSize == 1) {
    *held = 0;
    return true;
  }
  if (info.MaxCharSize != 2 || !info.LeadByte[0]) return false;
  bool lead[256] = {};
  for (int r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r]; r += 2) {
    for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b) lead[b] = true;
  }
  int i = 0;
  while (i < count) i += lead[bytes[i]] ? 2 : 1;
  *held = i > count ? 1 : 0;
  return true;
}

int ToWide(int page, const unsigned char* bytes, int count, wchar_t* out, int capacity) {
  if (count <= 0) return 0;
  return MultiByteToWideChar(page, 0, reinterpret_cast<const char*>(bytes), count, out, capacity);
}

}  // namespace

// For code pages without lead-byte ranges (those that shift states): the
// shortest tail that converts alike split or whole, after the tail has
// agreed with the whole chunk's conversion three times.
int HeldBackByTails(int page, const unsigned char* bytes, int count) {
  WStr whole;
  int units = ToWide(page, bytes, count, nullptr, 0);
  if (units <= 0 || !whole.Resize(units)) return -1;
  units = ToWide(page, bytes, count, whole.data(), units);
  int agreeing = 0;
  wchar_t tail[80], left[80], right[80];
  for (int t = 1; t <= 40 && t <= count; ++t) {
    const unsigned char* from = bytes + count - t;
    int n = ToWide(page, from, t, tail, 80);
    if (n <= 0 || n > units || memcmp(tail, whole.c_str() + units - n, n * sizeof(wchar_t)) != 0)
      continue;
    if (++agreeing < 3) continue;
    for (int i = 1; i < t; ++i) {
      int a = ToWide(page, from, i, left, 80);
      int b = ToWide(page, from + i, t - i, right, 80);
      if (a + b == n && memcmp(left, tail, a * sizeof(wchar_t)) == 0 &&
          memcmp(right, tail + a, b * sizeof(wchar_t)) == 0)
        return t - i;
    }
  }
  return -1;
}

int HeldBackCodePage(int page, const unsigned char* bytes, int count) {
  if (page == 0) page = static_cast<int>(GetACP());
  if (!IsMultiByteCodePage(page) || count <= 0) return 0;
  if (page == kCodePageGb18030) return HeldBackGb18030(bytes, count);
  int held;
  if (HeldBackDoubleByte(page, bytes, count, &held)) return held;
  return HeldBackByTails(page, bytes, count);
}

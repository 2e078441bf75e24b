#include "encoding/gb18030.h"

#include <windows.h>

#include "encoding/gb18030_table.h"
#include "encoding/text_encoding.h"

namespace {

// Four-byte indexes from here on are the planes above the BMP, in order.
constexpr int32_t kSupplementaryIndex = 189000;
// GBK leaves the euro sign at 0x80, GB18030 moves it to A2 E3.
constexpr wchar_t kEuro = 0x20AC;

// The range whose column (index or code point) holds key, or null.
template <typename Column>
const Gb18030Range* FindRange(uint32_t key, Column column) {
  int lo = 0, hi = kGb18030RangeCount - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    const Gb18030Range& r = kGb18030Ranges[mid];
    uint32_t first = column(r);
    if (key < first) {
      hi = mid - 1;
    } else if (key >= first + r.count) {
      lo = mid + 1;
    } else {
      return &r;
    }
  }
  return nullptr;
}

int32_t CodePointOfIndex(int32_t index) {
  if (index >= kSupplementaryIndex && index < kSupplementaryIndex + 0x100000)
    return 0x10000 + (index - kSupplementaryIndex);
  const Gb18030Range* r = FindRange(static_cast<uint32_t>(index),
                                    [](const Gb18030Range& g) { return uint32_t(g.index); });
  return r ? r->first + (index - r->index) : -1;
}

int32_t IndexOfCodePoint(uint32_t c) {
  if (c >= 0x10000) return kSupplementaryIndex + static_cast<int32_t>(c - 0x10000);
  const Gb18030Range* r = FindRange(c, [](const Gb18030Range& g) { return uint32_t(g.first); });
  return r ? r->index + static_cast<int32_t>(c - r->first) : -1;
}

bool InRange(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

}  // namespace

bool SystemHasGb18030() {
  static const bool has = IsValidCodePage(kCodePageGb18030) != FALSE;
  return has;
}

int Gb18030CharSize(const unsigned char* s, int length) {
  unsigned b = s[0];
  if (!InRange(b, 0x81, 0xFE)) return 1;
  if (length < 2) return 0;
  unsigned b2 = s[1];
  if (InRange(b2, 0x30, 0x39)) {
    if (length >= 3 && !InRange(s[2], 0x81, 0xFE)) return 1;
    if (length < 4) return 0;
    return InRange(s[3], 0x30, 0x39) ? 4 : 1;
  }
  return InRange(b2, 0x40, 0xFE) && b2 != 0x7F ? 2 : 1;
}

int Gb18030ToUtf16(const unsigned char* s, int length, wchar_t* out, int capacity) {
  int n = 0;
  for (int i = 0; i < length;) {
    int size = Gb18030CharSize(s + i, length - i);
    uint32_t c = '?';
    if (size == 0) {
      size = 1;  // cut by the end of the input
    } else if (size == 1) {
      if (s[i] < 0x80) c = s[i];
    } else if (size == 4) {
      int32_t index = (((s[i] - 0x81) * 10 + (s[i + 1] - 0x30)) * 126 + (s[i + 2] - 0x81)) * 10 +
                      (s[i + 3] - 0x30);
      int32_t point = CodePointOfIndex(index);
      if (point >= 0) c = static_cast<uint32_t>(point);
    } else {
      wchar_t w;
      if (s[i] == 0xA2 && s[i + 1] == 0xE3) {
        c = kEuro;
      } else if (MultiByteToWideChar(936, MB_ERR_INVALID_CHARS,
                                     reinterpret_cast<const char*>(s + i), 2, &w, 1) == 1) {
        c = w;
      }
    }
    if (!PutUtf16(c, out, n, capacity)) break;
    i += size;
  }
  return n;
}

int Utf16ToGb18030(const wchar_t* s, int length, char* out, int capacity, bool* loss) {
  int n = 0;
  *loss = false;
  for (int i = 0; i < length; ++i) {
    uint32_t c = s[i];
    unsigned char bytes[4];
    int size = 0;
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < length && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        c = (((c & 0x3FF) << 10) | (s[i + 1] & 0x3FFu)) + 0x10000;
        ++i;
      } else {
        c = '?';
        *loss = true;
      }
    }
    if (c < 0x80) {
      bytes[size++] = static_cast<unsigned char>(c);
    } else if (c == kEuro) {
      bytes[size++] = 0xA2;
      bytes[size++] = 0xE3;
    } else {
      int32_t index = IndexOfCodePoint(c);
      if (index >= 0) {
        bytes[3] = static_cast<unsigned char>(0x30 + index % 10);
        index /= 10;
        bytes[2] = static_cast<unsigned char>(0x81 + index % 126);
        index /= 126;
        bytes[1] = static_cast<unsigned char>(0x30 + index % 10);
        bytes[0] = static_cast<unsigned char>(0x81 + index / 10);
        size = 4;
      } else {
        wchar_t w = static_cast<wchar_t>(c);
        BOOL used = FALSE;
        char two[2];
        if (WideCharToMultiByte(936, 0, &w, 1, two, 2, nullptr, &used) == 2 && !used) {
          bytes[0] = static_cast<unsigned char>(two[0]);
          bytes[1] = static_cast<unsigned char>(two[1]);
          size = 2;
        } else {
          bytes[size++] = '?';
          *loss = true;
        }
      }
    }
    if (out) {
      if (n + size > capacity) break;
      memcpy(out + n, bytes, size);
    }
    n += size;
  }
  return n;
}

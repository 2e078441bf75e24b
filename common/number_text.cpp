#include "common/number_text.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

WStr GroupThousands(const WStr& text) {
  WStr result = text;
  size_t n = result.Find(L'.');
  if (n == WStr::npos) n = result.size();
  while (n > 0 && !IsDigit(result[n - 1])) --n;
  size_t i = n;
  while (i > 0 && IsDigit(result[i - 1])) --i;
  if (i == n) return result;
  size_t d = (i + 1) + ((n - (i + 1)) % 3);
  while (d < n) {
    WStr tail = result.Substr(d);
    result.Resize(d);
    result.Append(L',');
    result.Append(tail);
    n += 1;
    d += 4;
  }
  return result;
}

WStr DecimalText(uint32_t value) { return DecimalText64(value); }

WStr DecimalText64(uint64_t value) {
  // Digits from the end: msvcrt's %llu is not on every system.
  wchar_t text[24] = {};
  size_t at = 23;
  do {
    text[--at] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return WStr(text + at);
}

bool ParseDecimal64(const WStr& text, uint64_t* value) {
  // 20 digits can exceed 64 bits; every value up to 19 digits fits.
  if (text.empty() || text.size() > 19) return false;
  uint64_t result = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    result = result * 10 + static_cast<uint64_t>(text[i] - L'0');
  }
  *value = result;
  return true;
}

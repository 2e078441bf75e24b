#include "common/text_convert.h"

#include <windows.h>

WStr MultiByteToWide(const ByteStr& bytes, unsigned codePage) {
  WStr text;
  if (bytes.empty()) return text;
  // -1: the input counts up to its first zero byte, terminator included.
  int size = MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, nullptr, 0);
  if (size <= 0 || !text.Resize(static_cast<size_t>(size))) return WStr();
  int written = MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, text.data(), size);
  if (written <= 0) return WStr();
  text.Resize(WStr::Length(text.c_str()));
  return text;
}

ByteStr WideToMultiByte(const WStr& text, unsigned codePage) {
  ByteStr bytes;
  int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1 || !bytes.Resize(static_cast<size_t>(size))) return ByteStr();
  int written =
      WideCharToMultiByte(codePage, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  if (written <= 0) return ByteStr();
  bytes.Resize(static_cast<size_t>(size - 1));
  return bytes;
}

#include "xml/file_stream.h"

#include <windows.h>

#include "xml/result_log.h"
#include "encoding/text_encoding.h"

namespace {

constexpr int32_t kMinChunkSize = 16;
// Enough of a file's start to hold its XML declaration.
constexpr int kDeclarationBytes = 1024;

// Adds "file_error" with the thread's last error: the first line of the
// system's text for it, at most 100 characters (longer texts are cut, not
// dropped).
void AddFileError(WStr& log) {
  DWORD code = GetLastError();
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  WStr message;
  for (DWORD i = 0; i < length && i < 100 && text[i] != L'\r' && text[i] != L'\n'; ++i)
    message += text[i];
  if (text) LocalFree(text);
  AddResult(log, kResultMsg | kResultN, L"file_error", message.c_str(), static_cast<int>(code), -1);
}

// Reverses the bytes of each unit: big-endian files to the machine's order
// and back.
void SwapBytes(char* bytes, size_t units, int unitSize) {
  for (size_t i = 0; i < units; ++i) {
    char* unit = bytes + i * unitSize;
    for (int a = 0, b = unitSize - 1; a < b; ++a, --b) {
      char c = unit[a];
      unit[a] = unit[b];
      unit[b] = c;
    }
  }
}

bool IsZeroUnit(const char* unit, int unitSize) {
  for (int i = 0; i < unitSize; ++i) {
    if (unit[i]) return false;
  }
  return true;
}

// Copies the units that are not zero; returns how many there are.
int32_t CopyWithoutNulls(const char* from, int32_t units, int unitSize, char* to) {
  int32_t kept = 0;
  for (int32_t i = 0; i < units; ++i) {
    const char* unit = from + static_cast<size_t>(i) * unitSize;
    if (IsZeroUnit(unit, unitSize)) continue;
    memcpy(to + static_cast<size_t>(kept) * unitSize, unit, unitSize);
    ++kept;
  }
  return kept;
}

bool IsWideEncoding(int page) {
  return page == kCodePageUtf16 || page == kCodePageUtf16Be || page == kCodePageUtf32 ||
         page == 12000 || page == 12001;
}

}  // namespace

bool FileStream::Fail() {
  AddFileError(log);
  file.Reset();
  return false;
}

bool FileStream::SetEncoding(const wchar_t* name) {
  encoding = name;
  encodingSettled_ = true;
  int page = CodePageFromName(name);
  unitSize = 1;
  encodingFlags &= Utf8Bom;
  if (page == kCodePageUtf16) {
    unitSize = 2;
    encodingFlags |= Utf16Le;
  } else if (page == kCodePageUtf16Be) {
    unitSize = 2;
    encodingFlags |= Utf16Be;
  } else if (page == kCodePageUtf32) {
    // "UTF-32BE" names the subsystem's own UTF-32 too: in the other order.
    unitSize = 4;
    if (_wcsicmp(name + 6, L"BE") == 0) encodingFlags |= Utf32Be;
  }
  if (!writing_ || unitSize != 2) return true;
  // A UTF-16 file carries its byte-order mark, or no reader could tell.
  const ByteOrderMark& mark = kByteOrderMarks[(encodingFlags & Utf16Be) ? 2 : 1];
  if (fwrite(mark.bytes, 1, mark.length, file.get()) != static_cast<size_t>(mark.length)) {
    AddFileError(log);
    return false;
  }
  filePosition += mark.length;
  return true;
}

bool FileStream::Open(const wchar_t* path, bool write, int32_t chunk) {
  Close();
  log.Clear();
  encoding.Clear();
  encodingFlags = 0;
  unitSize = 1;
  encodingSettled_ = false;
  writing_ = write;
  filePosition = fileSize = 0;
  keepMark = 0;
  while (names.Top()) names.Pop();
  chunkSize = chunk < kMinChunkSize ? kMinChunkSize : chunk & ~3;
  bytesToRead = chunkSize;
  file.Reset(_wfopen(path, write ? L"wb" : L"rb"));
  return file.valid() || Fail();
}

bool FileStream::OpenRead(const wchar_t* path, const wchar_t* encodingName, int32_t chunk) {
  if (!Open(path, false, chunk)) return false;
  FILE* f = file.get();
  if (_fseeki64(f, 0, SEEK_END) != 0 || (fileSize = _ftelli64(f)) < 0 ||
      _fseeki64(f, 0, SEEK_SET) != 0)
    return Fail();
  unsigned char head[kDeclarationBytes];
  size_t got = fread(head, 1, sizeof head, f);
  for (const ByteOrderMark& mark : kByteOrderMarks) {
    if (got >= static_cast<size_t>(mark.length) && memcmp(head, mark.bytes, mark.length) == 0) {
      SetEncoding(mark.encoding);
      encodingFlags |= mark.flag;
      filePosition = mark.length;
      break;
    }
  }
  if (!filePosition) {
    if (encodingName && *encodingName) {
      SetEncoding(encodingName);
    } else {
      // The declaration is ASCII in every encoding that could be read from
      // bytes, so the bytes are taken one a character to find it.
      wchar_t start[kDeclarationBytes + 1];
      size_t n = 0;
      while (n < got && head[n]) {
        start[n] = head[n];
        ++n;
      }
      start[n] = 0;
      WStr declared = GetDeclaredEncoding(start);
      int page = CodePageFromName(declared.c_str());
      if (page > 0 && !IsWideEncoding(page)) SetEncoding(declared.c_str());
    }
  }
  if (_fseeki64(f, filePosition, SEEK_SET) != 0) return Fail();
  return true;
}

bool FileStream::OpenWrite(const wchar_t* path, const wchar_t* encodingName, int32_t chunk) {
  if (!Open(path, true, chunk)) return false;
  if (encodingName && *encodingName && !SetEncoding(encodingName)) return Fail();
  return true;
}

bool FileStream::Close() {
  if (!file) return true;
  bool ok = fclose(file.Take()) == 0;
  if (!ok) AddFileError(log);
  writing_ = false;
  return ok;
}

bool FileStream::ReadChunk(WStr& out) {
  log.Clear();
  unitsRead = 0;
  if (!file || writing_ || filePosition >= fileSize || bytesToRead <= 0) {
    AddResult(log, kResultEncoding | kResultLength, L"read", encoding.c_str(), 0, -1);
    return true;
  }
  int32_t bytes = bytesToRead;
  bool last = false;
  if (fileSize - filePosition <= bytes) {
    bytes = static_cast<int32_t>(fileSize - filePosition);
    last = true;
  }
  if (!buffer_.Resize(bytes)) return false;
  char* data = buffer_.data();
  if (fread(data, 1, bytes, file.get()) != static_cast<size_t>(bytes)) {
    AddFileError(log);
    _fseeki64(file.get(), filePosition, SEEK_SET);
    return false;
  }
  filePosition += bytes;
  int32_t units = bytes / unitSize;
  unitsRead = units;
  AddResult(log, kResultEncoding | kResultLength, L"read", encoding.c_str(), units, -1);
  bool swapped = IsBigEndian();
  if (swapped) SwapBytes(data, units, unitSize);
  // Zero units go first, into a copy: characters are found in the text
  // without them, and the file bytes are still there to count the held-back
  // part in.
  if (!clean_.Resize(static_cast<size_t>(units) * unitSize)) return false;
  char* clean = clean_.data();
  int32_t cleanUnits = CopyWithoutNulls(data, units, unitSize, clean);
  const unsigned char* bytesOfText = reinterpret_cast<const unsigned char*>(clean);
  const int32_t cleanBytes = cleanUnits * unitSize;

  bool detected = false, detecting = unitSize == 1 && !encodingSettled_;
  if (detecting) {
    detected = LooksLikeUtf8(bytesOfText, cleanBytes, last);
    encodingSettled_ = true;
    if (detected) encoding = L"UTF-8";
  }
  int32_t held = 0;  // clean bytes
  bool undecided = false;
  if (!last) {
    if (unitSize == 2) {
      held = HeldBackUtf16(reinterpret_cast<const wchar_t*>(clean), cleanUnits);
    } else if (unitSize == 4) {
      held = 0;
    } else {
      int page = CodePageFromName(encoding.c_str());
      held = page == kCodePageUtf8 ? HeldBackUtf8(bytesOfText, cleanBytes)
                                   : HeldBackCodePage(page < 0 ? 0 : page, bytesOfText, cleanBytes);
    }
    if (held < 0 || held >= cleanBytes) {
      undecided = held < 0;
      held = 0;
    }
  }
  // The same units in the file: back to the first held one, so that the
  // zeros before it stay behind. A unit cut by the end of the file is
  // dropped; one cut by the chunk's end is read again.
  int32_t heldUnits = held / unitSize, rawHeldUnits = 0;
  for (int32_t seen = 0; seen < heldUnits; ++rawHeldUnits) {
    if (!IsZeroUnit(data + static_cast<size_t>(units - 1 - rawHeldUnits) * unitSize, unitSize))
      ++seen;
  }
  int32_t rawHeld = rawHeldUnits * unitSize + (last ? 0 : bytes % unitSize);
  int32_t keptUnits = cleanUnits - heldUnits;
  int32_t nulls = (units - rawHeldUnits) - keptUnits;

  if (nulls) AddResult(log, kResultCount, L"nulls_removed", nullptr, nulls, -1);
  if (swapped) AddResult(log, 0, L"endian_swap", nullptr, -1, -1);
  if (detecting) {
    if (detected) AddResult(log, kResultUpdate | kResultEncoding, L"read", L"UTF-8", -1, -1);
    AddResult(log, 0, L"utf8_detection", nullptr, -1, -1);
  }
  if (rawHeld) {
    filePosition -= rawHeld;
    if (_fseeki64(file.get(), filePosition, SEEK_SET) != 0) {
      AddFileError(log);
      return false;
    }
    unitsRead = units - rawHeldUnits;
    AddResult(log, kResultUpdate | kResultLength, L"read", nullptr, unitsRead, -1);
  }
  if (undecided)
    AddResult(log, kResultEncoding, L"truncation_error",
              encoding.empty() ? L"ANSI" : encoding.c_str(), -1, -1);

  if (unitSize == 2) return out.Append(reinterpret_cast<const wchar_t*>(clean), keptUnits);
  TextConverter converter(encoding.c_str(), clean, keptUnits);
  int count = converter.Convert(nullptr, L"UTF-16");
  if (count <= 0) return true;
  size_t at = out.size();
  int room = count + count / 100 + 1;
  if (!out.Resize(at + room)) return false;
  converter.capacity = room;
  int n = converter.Convert(out.data() + at, nullptr);
  out.Resize(at + (n > 0 ? n : 0));
  AddResult(log, kResultEncoding | kResultLength, L"converted_to", L"UTF-16", n, -1);
  return true;
}

bool FileStream::Refill(int32_t* dropped) {
  *dropped = 0;
  if (!text || !file || writing_ || filePosition >= fileSize) return false;
  WStr& t = *text;
  int32_t size = static_cast<int32_t>(t.size());
  int32_t keep = keepMark < 0 ? 0 : keepMark > size ? size : keepMark;
  if (keep > 0) {
    memmove(t.data(), t.c_str() + keep, (size - keep) * sizeof(wchar_t));
    t.Resize(size - keep);
    *dropped = keep;
  }
  keepMark = 0;
  int32_t kept = static_cast<int32_t>(t.size());
  if (kept > chunkSize / 2 && chunkSize < 0x20000000) chunkSize *= 2;
  int32_t next = chunkSize - kept;
  bytesToRead = (next > 0 ? next & ~3 : 0) + 4;
  return ReadChunk(t);
}

bool FileStream::ChooseWriteEncoding(const wchar_t* chars, size_t n) {
  WStr start(chars, n < kDeclarationBytes ? n : kDeclarationBytes);
  WStr declared = GetDeclaredEncoding(start.c_str());
  return SetEncoding(declared.empty() ? L"UTF-8" : declared.c_str());
}

bool FileStream::Write(size_t n) {
  if (!text) return false;
  WStr& t = *text;
  if (n > t.size()) n = t.size();
  // A surrogate pair is never split between two writes.
  if (n > 0 && n < t.size() && t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF) --n;
  if (!WriteText(t.c_str(), n)) return false;
  if (n) {
    memmove(t.data(), t.c_str() + n, (t.size() - n) * sizeof(wchar_t));
    t.Resize(t.size() - n);
  }
  return true;
}

bool FileStream::WriteText(const wchar_t* chars, size_t n) {
  log.Clear();
  if (!file || !writing_) {
    SetLastError(ERROR_INVALID_HANDLE);
    AddFileError(log);
    return false;
  }
  if (encoding.empty() && !ChooseWriteEncoding(chars, n)) return false;
  ByteStr bytes;
  int units;
  if (unitSize == 2) {
    if (!bytes.Append(reinterpret_cast<const char*>(chars), n * sizeof(wchar_t))) return false;
    units = static_cast<int>(n);
  } else {
    bool loss = false;
    bytes = WideToBytes(chars, static_cast<int>(n), encoding.c_str(), &loss);
    units = static_cast<int>(bytes.size() / unitSize);
    AddResult(log, kResultEncoding | kResultLength, L"converted_from", L"UTF-16",
              static_cast<int>(n), -1);
    if (loss) AddResult(log, 0, L"conversion_loss", nullptr, -1, -1);
  }
  if (IsBigEndian()) {
    SwapBytes(bytes.data(), units, unitSize);
    AddResult(log, 0, L"endian_swap", nullptr, -1, -1);
  }
  if (!bytes.empty() && fwrite(bytes.c_str(), 1, bytes.size(), file.get()) != bytes.size()) {
    AddFileError(log);
    _fseeki64(file.get(), filePosition, SEEK_SET);
    return false;
  }
  filePosition += bytes.size();
  AddResult(log, kResultEncoding | kResultLength, L"write", encoding.c_str(), units, -1);
  return true;
}

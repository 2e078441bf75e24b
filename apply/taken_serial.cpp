#include "apply/taken_serial.h"

#include <windows.h>

#include "common/scoped.h"
#include "disk/file_system.h"
#include "common/number_text.h"

namespace {

// Digits and a line end.
constexpr DWORD kMaxSerialFileBytes = 32;

}  // namespace

bool ReadTakenSerial(const InstallFolder& folder, uint64_t* serial) {
  *serial = 0;
  WStr path = folder.Path(kSerialPath);
  if (path.empty()) return false;
  ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  char bytes[kMaxSerialFileBytes + 1];
  DWORD count = 0;
  if (!ReadFile(file.get(), bytes, sizeof bytes, &count, nullptr) || count > kMaxSerialFileBytes) {
    return false;
  }
  WStr text;
  for (DWORD i = 0; i < count && bytes[i] != '\r' && bytes[i] != '\n'; ++i) {
    text.Append(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
  }
  return ParseDecimal64(text, serial);
}

bool RecordTakenSerial(const InstallFolder& folder, uint64_t serial) {
  WStr path = folder.Path(kSerialPath);
  WStr part = path;
  part.Append(L".new");
  WStr updateFolder = folder.Path(L"Update");
  if (path.empty() || part.empty() || updateFolder.empty()) return false;
  if (GetFileAttributesW(updateFolder.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !FsMakeFolder(updateFolder.c_str())) {
    return false;
  }
  ByteStr text;
  WStr digits = DecimalText64(serial);
  for (size_t i = 0; i < digits.size(); ++i) text.Append(static_cast<char>(digits[i]));
  text.Append("\n", 1);
  bool written = false;
  {
    ScopedHandle file = FsCreateFile(part.c_str(), FILE_ATTRIBUTE_NORMAL);
    written = file && FsWrite(file.get(), text.data(), static_cast<DWORD>(text.size())) &&
              FsFlush(file.get());
  }
  if (written && FsReplaceFile(part.c_str(), path.c_str())) return true;
  FsDelete(part.c_str());
  return false;
}

#include "disk/file_system.h"

#include <sddl.h>

#include "common/ensure_folder.h"
#include "disk/fault_point.h"

namespace {

// False when the fault point makes the call fail, with the error it stands
// for.
bool Proceed(DWORD error) {
  if (FaultPoint() == FaultAction::kNone) return true;
  SetLastError(error);
  return false;
}

ScopedHandle Open(const wchar_t* path, DWORD access, DWORD disposition, DWORD attributes) {
  if (!Proceed(ERROR_ACCESS_DENIED)) return ScopedHandle();
  return ScopedHandle(CreateFileW(path, access, 0, nullptr, disposition, attributes, nullptr));
}

}  // namespace

bool FsMove(const wchar_t* from, const wchar_t* to) {
  return Proceed(ERROR_ACCESS_DENIED) && MoveFileExW(from, to, 0);
}

bool FsReplaceFile(const wchar_t* from, const wchar_t* to) {
  return Proceed(ERROR_ACCESS_DENIED) &&
         MoveFileExW(from, to,
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
}

bool FsDelete(const wchar_t* path) { return Proceed(ERROR_ACCESS_DENIED) && DeleteFileW(path); }

bool FsMakeFolder(const wchar_t* path) {
  return Proceed(ERROR_ACCESS_DENIED) && CreateDirectoryW(path, nullptr);
}

bool FsMakeFolderWithAccess(const wchar_t* path, const wchar_t* sddl) {
  if (!Proceed(ERROR_ACCESS_DENIED)) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor,
                                                            nullptr)) {
    return false;
  }
  BOOL made = CreateDirectoryW(path, &attributes);
  DWORD error = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  SetLastError(error);
  return made != FALSE;
}

bool FsRemoveFolder(const wchar_t* path) {
  return Proceed(ERROR_ACCESS_DENIED) && RemoveDirectoryW(path);
}

bool FsEnsureFolder(const wchar_t* path) { return EnsureFolder(path, FsMakeFolder); }

ScopedHandle FsCreateFile(const wchar_t* path, DWORD attributes) {
  return Open(path, GENERIC_WRITE, CREATE_ALWAYS, attributes);
}

ScopedHandle FsAppendFile(const wchar_t* path) {
  return Open(path, FILE_APPEND_DATA, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

bool FsWrite(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  if (!Proceed(ERROR_DISK_FULL) || !WriteFile(file, data, size, &written, nullptr)) return false;
  if (written == size) return true;
  SetLastError(ERROR_DISK_FULL);
  return false;
}

bool FsFlush(HANDLE file) { return Proceed(ERROR_DISK_FULL) && FlushFileBuffers(file); }

bool FsFlushFile(const wchar_t* path) {
  ScopedHandle file = Open(path, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  return file && FlushFileBuffers(file.get());
}

bool FsSaveLink(IPersistFile* link, const wchar_t* path) {
  if (!Proceed(ERROR_ACCESS_DENIED)) return false;
  HRESULT result = link->Save(path, FALSE);
  if (SUCCEEDED(result)) return true;
  SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                           : ERROR_WRITE_FAULT);
  return false;
}

bool FsSetAttributes(const wchar_t* path, DWORD attributes) {
  return Proceed(ERROR_ACCESS_DENIED) && SetFileAttributesW(path, attributes);
}

bool FsSetTimes(HANDLE file, const FILETIME* creation, const FILETIME* access,
                const FILETIME* write) {
  return Proceed(ERROR_ACCESS_DENIED) && SetFileTime(file, creation, access, write);
}

bool FsCanMove(const wchar_t* path) {
  if (!Proceed(ERROR_SHARING_VIOLATION)) return false;
  ScopedHandle handle(CreateFileW(path, DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle.valid();
}

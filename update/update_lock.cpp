#include "update/update_lock.h"

#include <windows.h>

#include "crypto/md5.h"
#include "common/text_convert.h"

UpdateLock::UpdateLock(const InstallFolder& installFolder) {
  WStr folder = installFolder.Path(L"");
  if (folder.empty()) return;
  // One name for every spelling of the folder Windows takes for the same.
  CharLowerBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  ByteStr utf8 = WideToMultiByte(folder, CP_UTF8);
  WStr name(L"Local\\QueldaSetupUpdate-");
  name.Append(MultiByteToWide(MD5Hex(utf8.c_str(), utf8.size()), CP_UTF8));
  mutex_.Reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  if (!mutex_) return;
  DWORD waited = WaitForSingleObject(mutex_.get(), 0);
  // Abandoned: its last holder ended part-way, which the journal tells.
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

UpdateLock::~UpdateLock() {
  if (held_) ReleaseMutex(mutex_.get());
}

#pragma once

#include "common/scoped.h"
#include "disk/install_folder.h"

// Held while a setup changes an install folder or finishes what an earlier
// run left there: a second setup (another copy, started from elsewhere)
// must not finish an update that is still under way. A named mutex, so
// that a process that ends part-way lets go of it.
class UpdateLock {
 public:
  explicit UpdateLock(const InstallFolder& installFolder);
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;
  ~UpdateLock();
  // False when another process holds the folder.
  bool held() const { return held_; }

 private:
  ScopedHandle mutex_;
  bool held_ = false;
};

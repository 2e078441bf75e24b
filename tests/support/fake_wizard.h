#pragma once

#include <windows.h>

#include <string>

// Stands in for the wizard's pages inside a test program: one hidden window
// holding the folder box, the option boxes, the status line, the progress bar
// and the frame's buttons, registered as every page so that code reading the
// wizard's controls finds them.
class FakeWizard {
 public:
  FakeWizard();
  ~FakeWizard();
  HWND window() const { return window_; }
  void SetFolder(const std::wstring& folder);
  void SetChecked(int id, bool checked);

 private:
  HWND window_ = nullptr;
};

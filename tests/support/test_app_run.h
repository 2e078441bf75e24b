#pragma once

#include <string>

#include "support/process.h"

// A copy of the stand-in Quelda.exe in a scratch folder of its own.
struct TestAppRun {
  TestAppRun(const wchar_t* folderName, const wchar_t* versionTag);
  // Starts it and waits for its window.
  bool Start();
  // What it wrote into Quelda.log beside itself.
  std::string Log() const;

  std::wstring dir, exe;
  ChildProcess process;
};

#include "support/test_app_run.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"
#include "support/window_finder.h"

TestAppRun::TestAppRun(const wchar_t* folderName, const wchar_t* versionTag) {
  dir = MakeScratchDir(folderName);
  exe = dir + L"\\Quelda.exe";
  EXPECT_TRUE(CopyFileTo(TestAppPath(versionTag), exe));
}

bool TestAppRun::Start() {
  return process.Start(exe) && WaitForProcessWindow(process.id(), L"QueldaTestApp", 30000);
}

std::string TestAppRun::Log() const { return ReadFileBytes(dir + L"\\Quelda.log"); }

#include "common/module_path.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include "support/wide_text.h"

namespace {

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

TEST(ModulePath, IsThePathOfTheModuleHoldingTheCode) {
  // Linked into this test program, the code's module is the program itself.
  EXPECT_EQ(W(GetModulePath()), OwnPath());
}

TEST(ModuleDirPath, IsTheFolderWithItsBackslashAndTheName) {
  std::wstring own = OwnPath();
  std::wstring dir = own.substr(0, own.find_last_of(L'\\') + 1);
  EXPECT_EQ(W(GetModuleDirPath(L"")), dir);
  EXPECT_EQ(W(GetModuleDirPath(L"Quelda.exe")), dir + L"Quelda.exe");
}

TEST(ModuleDirPath, EmptyWhenTheResultDoesNotFit) {
  std::wstring own = OwnPath();
  size_t dirLength = own.find_last_of(L'\\') + 1;
  std::wstring fits(MAX_PATH - 1 - dirLength, L'a');
  EXPECT_EQ(GetModuleDirPath(fits.c_str()).size(), static_cast<size_t>(MAX_PATH - 1));
  std::wstring tooLong(MAX_PATH - dirLength, L'a');
  EXPECT_TRUE(GetModuleDirPath(tooLong.c_str()).empty());
}

}  // namespace

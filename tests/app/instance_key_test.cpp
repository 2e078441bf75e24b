#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Key(const wchar_t* path) { return MakeInstanceKey(WStr(path)).c_str(); }

std::wstring Lowered(const wchar_t* text) {
  std::wstring s = text;
  LowerAsciiInPlace(&s[0]);
  return s;
}

TEST(InstanceKey, IsTheMd5OfTheUtf8Path) {
  // Reference digests computed with Python's hashlib.
  EXPECT_EQ(Key(L"c:\\quelda\\queldasetup.exe"), L"6c38b6021bbe53bae59d1d2b5843e763");
  EXPECT_EQ(Key(L"z:\\work\\ärger\\Ä\\queldasetup.exe"), L"bbcebd47e1efc543773c2df3110e48d2");
  EXPECT_EQ(Key(L""), L"");
}

TEST(InstanceKey, OnlyAsciiLettersAreLowerCased) {
  EXPECT_EQ(Lowered(L"C:\\QUELDA\\QueldaSetup.EXE"), L"c:\\quelda\\queldasetup.exe");
  EXPECT_EQ(Lowered(L"Z:\\WORK\\ärger\\Ä\\QueldaSetup.exe"),
            L"z:\\work\\ärger\\Ä\\queldasetup.exe");
  EXPECT_EQ(Lowered(L"@[`{AZaz09"), L"@[`{azaz09");
  // Paths that differ only in A to Z share a key; others do not.
  EXPECT_EQ(Key(Lowered(L"C:\\Quelda\\Setup.exe").c_str()),
            Key(Lowered(L"c:\\QUELDA\\SETUP.EXE").c_str()));
  EXPECT_NE(Key(Lowered(L"C:\\É\\Setup.exe").c_str()), Key(Lowered(L"C:\\é\\Setup.exe").c_str()));
}

}  // namespace

#include "common/same_path.h"

#include <gtest/gtest.h>

namespace {

TEST(SamePath, IgnoresCaseBeyondAscii) {
  EXPECT_TRUE(SamePath(L"C:\\\u00c4\\Quelda.exe", L"c:\\\u00e4\\QUELDA.EXE"));
  EXPECT_TRUE(SamePath(L"C:\\\u0414\u0430\u043d\u043d\u044b\u0435\\setup.exe",
                       L"c:\\\u0434\u0410\u041d\u041d\u042b\u0415\\SETUP.EXE"));
  EXPECT_TRUE(SamePath(L"", L""));
}

TEST(SamePath, DifferentNamesDiffer) {
  EXPECT_FALSE(SamePath(L"a", L"b"));
  EXPECT_FALSE(SamePath(L"C:\\Quelda.exe", L"C:\\Quelda.exe "));
  EXPECT_FALSE(SamePath(L"C:\\Quelda", L"C:\\Quelda.exe"));
  EXPECT_FALSE(SamePath(L"", L"a"));
}

TEST(SamePath, FoldsOneCharacterOnlyIntoOne) {
  // Ordinal folding maps one code unit to one: no "ss" for "ß", and the
  // Turkish dotless and dotted i are neither "i" nor "I".
  EXPECT_FALSE(SamePath(L"Stra\u00dfe", L"Strasse"));
  EXPECT_FALSE(SamePath(L"Stra\u00dfe", L"STRASSE"));
  EXPECT_FALSE(SamePath(L"\u0131", L"i"));
  EXPECT_FALSE(SamePath(L"\u0131", L"I"));
  EXPECT_FALSE(SamePath(L"\u0130", L"i"));
  EXPECT_FALSE(SamePath(L"\u0130", L"I"));
}

}  // namespace

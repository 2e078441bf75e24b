#include "common/str.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Str, AppendsGrowsAndStaysTerminated) {
  WStr s;
  EXPECT_TRUE(s.empty());
  EXPECT_STREQ(s.c_str(), L"");
  std::wstring reference;
  for (int i = 0; i < 1000; ++i) {
    wchar_t c = static_cast<wchar_t>(L'a' + i % 26);
    s += c;
    reference += c;
  }
  s += L"tail";
  reference += L"tail";
  EXPECT_EQ(s.size(), reference.size());
  EXPECT_EQ(std::wstring(s.c_str()), reference);
}

TEST(Str, AppendingItsOwnTextIsSafe) {
  WStr s(L"abc");
  for (int i = 0; i < 5; ++i) s.Append(s.c_str(), s.size());
  EXPECT_EQ(s.size(), 3u * 32);
  EXPECT_EQ(std::wstring(s.c_str()).substr(0, 9), L"abcabcabc");
}

TEST(Str, ByteStringsKeepZeroBytes) {
  ByteStr b("a\0b", 3);
  EXPECT_EQ(b.size(), 3u);
  ByteStr copy = b;
  EXPECT_EQ(copy, b);
  EXPECT_NE(copy, ByteStr("a"));
  EXPECT_EQ(copy.Find('b'), 2u);
}

TEST(Str, CopyMoveResizeSubstr) {
  WStr a(L"hello world");
  WStr b = a;
  WStr c = static_cast<WStr&&>(b);
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(c, L"hello world");
  EXPECT_EQ(c.Substr(6), L"world");
  EXPECT_EQ(c.Substr(0, 5), L"hello");
  EXPECT_TRUE(c.Substr(99).empty());
  c.Resize(5);
  EXPECT_EQ(c, L"hello");
  c.Resize(7);
  EXPECT_EQ(c.size(), 7u);
  EXPECT_EQ(c[6], 0);
  EXPECT_EQ(WStr(L"a") + L"b" + WStr(L"c"), L"abc");
  a = L"x";
  EXPECT_EQ(a, L"x");
}

}  // namespace

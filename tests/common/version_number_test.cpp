#include "common/version_number.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"
#include "support/wide_text.h"

namespace {

std::wstring Text(PackedVersion v) { return W(FormatVersion(v)); }

constexpr PackedVersion Pack(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return (a << 24) | (b << 16) | (c << 8) | d;
}

TEST(FormatVersion, DropsTrailingZeroPartsDownToTwo) {
  struct Case {
    PackedVersion version;
    const wchar_t* text;
  } cases[] = {
      {Pack(1, 2, 3, 4), L"1.2.3.4"},
      {Pack(1, 2, 3, 0), L"1.2.3"},
      {Pack(1, 2, 0, 0), L"1.2"},
      {Pack(1, 0, 0, 0), L"1.0"},
      {0, L"0.0"},
      {Pack(10, 0, 0, 0), L"10.0"},
      {Pack(1, 20, 0, 0), L"1.20"},
      {Pack(2, 0, 10, 0), L"2.0.10"},
      {Pack(1, 0, 0, 5), L"1.0.0.5"},
      {Pack(255, 255, 255, 255), L"255.255.255.255"},
      {Pack(0, 0, 0, 1), L"0.0.0.1"},
      {Pack(100, 0, 0, 0), L"100.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(c.version), c.text) << std::hex << c.version;
}

TEST(ParseVersion, ReadsFourNumbersKeepingTheirLowBytes) {
  EXPECT_EQ(ParseVersion(L"1.2.3.4"), Pack(1, 2, 3, 4));
  EXPECT_EQ(ParseVersion(L"255.255.255.255"), Pack(255, 255, 255, 255));
  EXPECT_EQ(ParseVersion(L"300.1.1.1"), Pack(44, 1, 1, 1));
  EXPECT_EQ(ParseVersion(L"-1.0.0.0"), Pack(255, 0, 0, 0));
  EXPECT_EQ(ParseVersion(L"1.2.3.256"), Pack(1, 2, 3, 0));
  EXPECT_EQ(ParseVersion(L"+7.8.9.10"), Pack(7, 8, 9, 10));
  // Far beyond 32 bits: still the number's value modulo 256.
  EXPECT_EQ(ParseVersion(L"1.2.3.99999999999"), Pack(1, 2, 3, 99999999999ull % 256));
}

TEST(ParseVersion, StopsAtTheFirstCharacterThatDoesNotFit) {
  EXPECT_EQ(ParseVersion(L"1.2"), Pack(1, 2, 0, 0));
  EXPECT_EQ(ParseVersion(L"1.2.3.4.5"), Pack(1, 2, 3, 4));
  EXPECT_EQ(ParseVersion(L"1.2.x.4"), Pack(1, 2, 0, 0));
  EXPECT_EQ(ParseVersion(L"1 .2.3.4"), Pack(1, 0, 0, 0));
  EXPECT_EQ(ParseVersion(L"1.2.3.4-beta"), Pack(1, 2, 3, 4));
  EXPECT_EQ(ParseVersion(L"v1.2.3.4"), 0u);
  EXPECT_EQ(ParseVersion(L""), 0u);
  EXPECT_EQ(ParseVersion(nullptr), 0u);
  EXPECT_EQ(ParseVersion(L"."), 0u);
}

TEST(ParseVersion, SkipsWhiteSpaceBeforeEachNumber) {
  EXPECT_EQ(ParseVersion(L" 1.2.3.4"), Pack(1, 2, 3, 4));
  EXPECT_EQ(ParseVersion(L"\t\r\n1.2.3.4"), Pack(1, 2, 3, 4));
  EXPECT_EQ(ParseVersion(L"1. 2.\t3. 4"), Pack(1, 2, 3, 4));
}

TEST(ParseVersion, FormatsBackToTheDisplayForm) {
  EXPECT_EQ(Text(ParseVersion(L"1.2.0.0")), L"1.2");
  EXPECT_EQ(Text(ParseVersion(L"")), L"0.0");
}

TEST(GetProductVersion, ReadsTheProductVersionOfAnExecutable) {
  EXPECT_EQ(GetProductVersion(TestAppPath(L"1.2.3.0").c_str()), Pack(1, 2, 3, 0));
  EXPECT_EQ(GetProductVersion(TestAppPath(L"2.0.0.0").c_str()), Pack(2, 0, 0, 0));
  // Product 2.5.300.1, file 7.8.9.10: the product version, each part's low byte.
  PackedVersion v = GetProductVersion(TestAppPath(L"2.5.300.1").c_str());
  EXPECT_EQ(v, Pack(2, 5, 44, 1));
  EXPECT_EQ(Text(v), L"2.5.44.1");
}

TEST(GetProductVersion, ZeroWithoutFileOrVersionResource) {
  std::wstring dir = MakeScratchDir(L"product_version");
  EXPECT_EQ(GetProductVersion((dir + L"\\missing.exe").c_str()), 0u);
  ASSERT_TRUE(WriteFileBytes(dir + L"\\plain.exe", "not a program"));
  EXPECT_EQ(GetProductVersion((dir + L"\\plain.exe").c_str()), 0u);
  // An empty path asks for this program's own version; the test program has none.
  EXPECT_EQ(GetProductVersion(L""), 0u);
  EXPECT_EQ(GetProductVersion(nullptr), 0u);
}

}  // namespace

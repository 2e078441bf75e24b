#include "common/number_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/wide_text.h"

namespace {

std::wstring Grouped(const wchar_t* text) { return W(GroupThousands(WStr(text))); }

TEST(GroupThousands, CommasEveryThreeDigitsOfTheDigitRun) {
  EXPECT_EQ(Grouped(L"1234567"), L"1,234,567");
  EXPECT_EQ(Grouped(L"1234"), L"1,234");
  EXPECT_EQ(Grouped(L"123456"), L"123,456");
  EXPECT_EQ(Grouped(L"123"), L"123");
  EXPECT_EQ(Grouped(L"0"), L"0");
  EXPECT_EQ(Grouped(L""), L"");
  EXPECT_EQ(Grouped(L"39062"), L"39,062");
  EXPECT_EQ(Grouped(L"4294967295"), L"4,294,967,295");
  // Digits before a point are grouped; what follows it is left alone.
  EXPECT_EQ(Grouped(L"1234567.891"), L"1,234,567.891");
  EXPECT_EQ(Grouped(L"-1234"), L"-1,234");
  EXPECT_EQ(Grouped(L"1234 KB"), L"1,234 KB");
  EXPECT_EQ(Grouped(L"KB"), L"KB");
}

TEST(DecimalText, NoSignNoLeadingZeros) {
  EXPECT_EQ(W(DecimalText(0)), L"0");
  EXPECT_EQ(W(DecimalText(40000000 / 1024)), L"39062");
  EXPECT_EQ(W(DecimalText(0xFFFFFFFFu)), L"4294967295");
}

}  // namespace

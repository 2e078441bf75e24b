#include "common/text_convert.h"

#include <gtest/gtest.h>

#include <string>
#include "support/wide_text.h"

namespace {

std::string B(const ByteStr& s) { return std::string(s.c_str(), s.size()); }

TEST(TextConvert, Utf8RoundTrip) {
  const wchar_t* text = L"安装 Quelda Manager “x” \U0001F600 é";
  ByteStr utf8 = WideToMultiByte(WStr(text), CP_UTF8);
  EXPECT_EQ(B(utf8),
            "\xE5\xAE\x89\xE8\xA3\x85 Quelda Manager \xE2\x80\x9Cx\xE2\x80\x9D \xF0\x9F\x98\x80 "
            "\xC3\xA9");
  EXPECT_EQ(W(MultiByteToWide(utf8, CP_UTF8)), text);
}

TEST(TextConvert, EmptyInputsGiveEmptyResults) {
  EXPECT_TRUE(MultiByteToWide(ByteStr(), CP_UTF8).empty());
  EXPECT_TRUE(WideToMultiByte(WStr(), CP_UTF8).empty());
  EXPECT_TRUE(WideToMultiByte(WStr(L""), 936).empty());
}

TEST(TextConvert, StopsAtTheFirstZero) {
  ByteStr bytes("ab\0cd", 5);
  EXPECT_EQ(bytes.size(), 5u);
  EXPECT_EQ(W(MultiByteToWide(bytes, CP_UTF8)), L"ab");
  WStr text(L"xy\0z", 4);
  EXPECT_EQ(B(WideToMultiByte(text, CP_UTF8)), "xy");
  EXPECT_TRUE(MultiByteToWide(ByteStr("\0abc", 4), CP_UTF8).empty());
}

TEST(TextConvert, InvalidUtf8BecomesReplacementCharacters) {
  WStr text = MultiByteToWide(ByteStr("a\xFF"
                                      "b\xC3"),
                              CP_UTF8);
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text[0], L'a');
  EXPECT_EQ(text[1], 0xFFFD);
  EXPECT_EQ(text[2], L'b');
}

TEST(TextConvert, OtherCodePages) {
  // GBK bytes of 中文.
  EXPECT_EQ(W(MultiByteToWide(ByteStr("\xD6\xD0\xCE\xC4"), 936)), L"中文");
  EXPECT_EQ(B(WideToMultiByte(WStr(L"中文"), 936)), "\xD6\xD0\xCE\xC4");
}

}  // namespace

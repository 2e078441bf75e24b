#include "common/error_text.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include "support/wide_text.h"

namespace {

std::wstring TextFor(DWORD code) {
  SetLastError(code);
  return W(LastErrorText());
}

// What the system itself says for the code, its final line end removed.
bool SystemText(DWORD code, std::wstring* text) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0x400, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (length == 0 || !buffer) return false;
  std::wstring s(buffer, length);
  LocalFree(buffer);
  if (s.size() > 1 && s.back() == L'\n') s.pop_back();
  if (!s.empty() && s.back() == L'\r') s.pop_back();
  *text = s;
  return true;
}

TEST(LastErrorText, SystemTextFollowedByTheCode) {
  std::wstring system;
  ASSERT_TRUE(SystemText(ERROR_ACCESS_DENIED, &system));
  EXPECT_FALSE(system.empty());
  EXPECT_EQ(TextFor(ERROR_ACCESS_DENIED), system + L"(0x5)");
  ASSERT_TRUE(SystemText(0, &system));
  EXPECT_EQ(TextFor(0), system + L"(0x0)");
  EXPECT_EQ(TextFor(0).find(L"\r\n("), std::wstring::npos);
}

TEST(LastErrorText, FallbackWordingForCodesWithoutText) {
  std::wstring system;
  if (SystemText(0x80040201, &system)) GTEST_SKIP() << "this system has a text for 0x80040201";
  EXPECT_EQ(TextFor(0x80040201), L"IDispatch error #1(0x80040201)");
  EXPECT_EQ(TextFor(0x8004FFFF), L"IDispatch error #65023(0x8004FFFF)");
  // In the range, but its 16-bit number is 0.
  EXPECT_EQ(TextFor(0x80040200), L"Unknown error 0x80040200(0x80040200)");
  // Hexadecimal digits in upper case, no leading zeros.
  EXPECT_EQ(TextFor(0xDEADBEEF), L"Unknown error 0xDEADBEEF(0xDEADBEEF)");
  EXPECT_EQ(TextFor(0x80050000), L"Unknown error 0x80050000(0x80050000)");
}

TEST(LastErrorText, ReadsTheLastErrorBeforeAnythingElse) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::wstring text(LastErrorText().c_str());
  EXPECT_EQ(text.substr(text.size() - 5), L"(0x2)");
}

TEST(TrimFinalLineEnd, RemovesOnlyTheFinalLineEnd) {
  auto trimmed = [](const std::wstring& s) {
    return s.substr(0, TrimFinalLineEnd(s.c_str(), s.size()));
  };
  EXPECT_EQ(trimmed(L"Access denied.\r\n"), L"Access denied.");
  EXPECT_EQ(trimmed(L"Access denied.\n"), L"Access denied.");
  EXPECT_EQ(trimmed(L"two\r\nlines\r\n"), L"two\r\nlines");
  EXPECT_EQ(trimmed(L"blank line\r\n\r\n"), L"blank line\r\n");
  EXPECT_EQ(trimmed(L"no line end"), L"no line end");
  EXPECT_EQ(trimmed(L"cr only\r"), L"cr only\r");
  // A text of one character keeps it, even a line feed.
  EXPECT_EQ(trimmed(L"\n"), L"\n");
  EXPECT_EQ(trimmed(L"\r\n"), L"");
}

}  // namespace

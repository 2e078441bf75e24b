// Reply headers read from their text, as WinInet hands them over.
#include <gtest/gtest.h>

#include "fetch/reply_headers.h"

namespace {

TEST(ContentRange, OnlyOneWholeRangeOfBytesIsRead) {
  uint64_t first = 0, last = 0, total = 0;
  ASSERT_TRUE(ParseContentRange(L"bytes 1800000-1999999/2000000", &first, &last, &total));
  EXPECT_EQ(first, 1800000u);
  EXPECT_EQ(last, 1999999u);
  EXPECT_EQ(total, 2000000u);
  ASSERT_TRUE(ParseContentRange(L"bytes 0-0/*", &first, &last, &total));
  EXPECT_EQ(total, 0u) << "an unknown whole";
  ASSERT_TRUE(
      ParseContentRange(L"bytes 4294967296-4294967297/9999999999999999999", &first, &last, &total));
  EXPECT_EQ(first, 4294967296u);
  for (const wchar_t* other :
       {L"", L"bytes */2000000", L"bytes 5-4/10", L"bytes 5-4/*", L"items 0-1/2", L"bytes 0-1/2 ",
        L"bytes 0-1/2\r\nX: y", L"bytes -1-2/3", L"bytes 0-1/99999999999999999999", L"bytes 0-/2",
        L"Bytes 0-1/2"}) {
    EXPECT_FALSE(ParseContentRange(other, &first, &last, &total))
        << testing::PrintToString(std::wstring(other));
  }
}

}  // namespace

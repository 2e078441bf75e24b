#include <gtest/gtest.h>

#include "xml/result_log.h"
#include "xml_test_util.h"

namespace {

std::wstring Log(const WStr& log) { return W(log); }

TEST(ResultLog, NamesAttributesByOptionInAFixedOrder) {
  WStr log;
  AddResult(log, 0, L"unended_start_tag", L"a", 12, 30);
  AddResult(log, kResultType, L"unterminated_tag_syntax", L"comment", 4, -1);
  AddResult(log, kResultEncoding | kResultLength, L"read", L"UTF-8", 812, -1);
  AddResult(log, kResultMsg | kResultN, L"file_error", L"Access denied.", 5, -1);
  AddResult(log, kResultCount, L"nulls_removed", nullptr, 3, -1);
  AddResult(log, 0, L"endian_swap", nullptr, -1, -1);
  EXPECT_EQ(Log(log),
            L"<unended_start_tag tagname=\"a\" offset=\"12\" offset2=\"30\"/>"
            L"<unterminated_tag_syntax type=\"comment\" offset=\"4\"/>"
            L"<read encoding=\"UTF-8\" length=\"812\"/>"
            L"<file_error msg=\"Access denied.\" n=\"5\"/>"
            L"<nulls_removed count=\"3\"/>"
            L"<endian_swap/>");
}

TEST(ResultLog, LeavesOutMinusOneOnlyWhereItWouldBeAnOffset) {
  WStr log;
  AddResult(log, 0, L"x", nullptr, -1, -1);
  AddResult(log, kResultLength, L"y", nullptr, -1, -1);
  AddResult(log, 0, L"z", nullptr, -1, 7);
  EXPECT_EQ(Log(log), L"<x/><y length=\"-1\"/><z offset2=\"7\"/>");
}

TEST(ResultLog, UpdatesTheFirstEntryOfThatName) {
  WStr log;
  AddResult(log, kResultEncoding | kResultLength, L"read", L"ANSI", 4096, -1);
  AddResult(log, kResultEncoding | kResultLength, L"read", L"ANSI", 10, -1);
  AddResult(log, kResultUpdate | kResultLength, L"read", nullptr, 4093, -1);
  AddResult(log, kResultUpdate | kResultEncoding, L"read", L"UTF-8", -1, -1);
  AddResult(log, kResultUpdate | kResultCount, L"read", nullptr, 2, -1);
  EXPECT_EQ(Log(log),
            L"<read encoding=\"UTF-8\" length=\"4093\" count=\"2\"/>"
            L"<read encoding=\"ANSI\" length=\"10\"/>");
  WStr before = log;
  AddResult(log, kResultUpdate | kResultLength, L"rea", nullptr, 1, -1);
  AddResult(log, kResultUpdate | kResultLength, L"write", nullptr, 1, -1);
  EXPECT_EQ(Log(log), Log(before));
}

TEST(ResultLog, EscapesValues) {
  WStr log;
  AddResult(log, 0, L"lone_end_tag", L"a&b\"c<d>e'f", 0, -1);
  EXPECT_EQ(Log(log), L"<lone_end_tag tagname=\"a&amp;b&quot;c&lt;d&gt;e&apos;f\" offset=\"0\"/>");
  AddResult(log, kResultUpdate, L"lone_end_tag", L"\"", -1, -1);
  EXPECT_EQ(Log(log), L"<lone_end_tag tagname=\"&quot;\" offset=\"0\"/>");
}

TEST(ResultLog, StopsGrowingOnceLongerThan999) {
  for (size_t size : {999u, 1000u}) {
    WStr log;
    while (log.size() < size) log += L'x';
    AddResult(log, 0, L"e", nullptr, -1, -1);
    EXPECT_EQ(log.size(), size == 999 ? 1003u : 1000u);
    AddResult(log, kResultUpdate, L"e", L"v", -1, -1);
    EXPECT_EQ(log.size(), size == 999 ? 1003u : 1000u);
  }
  // A parse of many faults keeps its log near that size.
  std::wstring text;
  for (int i = 0; i < 1000; ++i) text += L"</x>";
  auto doc = ParseChecked(text);
  EXPECT_GT(doc->GetResultLog().size(), 999u);
  EXPECT_LT(doc->GetResultLog().size(), 1100u);
}

TEST(ResultLog, ReadsBackAsADocument) {
  WStr log;
  AddResult(log, 0, L"lone_end_tag", L"<&>", 3, -1);
  AddResult(log, kResultEncoding | kResultLength, L"read", L"UTF-8", 812, -1);
  XmlDoc doc(log.c_str());
  ASSERT_TRUE(doc.FindElement(L"lone_end_tag"));
  EXPECT_EQ(W(doc.GetAttribute(L"tagname")), L"<&>");
  ASSERT_TRUE(doc.FindElement(L"read"));
  EXPECT_EQ(W(doc.GetAttribute(L"length")), L"812");
}

}  // namespace

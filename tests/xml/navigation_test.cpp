#include <gtest/gtest.h>

#include "xml_test_util.h"

namespace {

// What the install sequence does with the version manifest.
std::wstring LastVersion(const wchar_t* manifest) {
  XmlDoc doc;
  doc.SetText(manifest);
  EXPECT_EQ(IndexProblem(doc), "");
  if (!doc.FindChildElement(L"files")) return L"<none>";
  return W(doc.GetChildAttribute(L"lastversion"));
}

TEST(Manifest, ReadsLastVersionFromAFreshDocument) {
  auto doc = ParseChecked(L"<root><files lastversion=\"1.2.3.4\"/></root>");
  EXPECT_TRUE(doc->IsWellFormed());
  ASSERT_TRUE(doc->FindChildElement(L"files"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"lastversion")), L"1.2.3.4");
  EXPECT_EQ(W(doc->GetTagName(doc->GetMainPos())), L"root");
  EXPECT_EQ(W(doc->GetTagName(doc->GetChildPos())), L"files");
  EXPECT_EQ(doc->GetParentPos(), 0);
  // The next find continues after the current child.
  EXPECT_FALSE(doc->FindChildElement(L"files"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"lastversion")), L"1.2.3.4");
}

TEST(Manifest, ReadsTheFormsAServerMayReallySend) {
  EXPECT_EQ(LastVersion(L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                        L"<!-- newest build -->\r\n<root>\r\n  <notes>x &amp; y</notes>\r\n"
                        L"  <files size='812' lastversion='2.0.10.0' />\r\n</root>\r\n"),
            L"2.0.10.0");
  EXPECT_EQ(LastVersion(L"<root><other/><files\n\tlastversion = \"1.2.3.4\"></files></root>"),
            L"1.2.3.4");
  EXPECT_EQ(LastVersion(L"<root><files lastversion=1.2.3.4></root>"), L"1.2.3.4");
}

TEST(Manifest, GivesEmptyOrNothingForBrokenManifestsWithoutFailing) {
  EXPECT_EQ(LastVersion(L""), L"<none>");
  EXPECT_EQ(LastVersion(nullptr), L"<none>");
  EXPECT_EQ(LastVersion(L"   \r\n"), L"<none>");
  EXPECT_EQ(LastVersion(L"<html><body>502 Bad Gateway</body></html>"), L"<none>");
  EXPECT_EQ(LastVersion(L"<root><Files lastversion=\"1.2.3.4\"/></root>"), L"<none>");
  EXPECT_EQ(LastVersion(L"<root><files version=\"1.2.3.4\"/></root>"), L"");
  EXPECT_EQ(LastVersion(L"<root><files lastversion=\"1.2"), L"<none>");
  EXPECT_EQ(LastVersion(L"<root><files lastversion=\"1.2.3.4\""), L"<none>");
  // A grandchild is not the root's child.
  EXPECT_EQ(LastVersion(L"<root><x><files lastversion=\"1\"/></x></root>"), L"<none>");
  // Malformed, but the element is there: the tolerant parse still reads it.
  EXPECT_EQ(LastVersion(L"<root><files lastversion=\"1.2.3.4\"></root>"), L"1.2.3.4");
}

TEST(FindElement, WalksSiblingsByNameOrAnyName) {
  auto doc = ParseChecked(L"<r><item n='1'/><x/><item n='2'><item n='3'/></item></r>");
  ASSERT_TRUE(doc->FindElement());
  EXPECT_EQ(W(doc->GetTagName(doc->GetMainPos())), L"r");
  EXPECT_FALSE(doc->FindElement());  // the root has no sibling
  EXPECT_TRUE(doc->FindChildElement(L"item"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"n")), L"1");
  EXPECT_TRUE(doc->FindChildElement(L"item"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"n")), L"2");
  EXPECT_FALSE(doc->FindChildElement(L"item"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"n")), L"2");  // a failed find changes nothing
}

TEST(FindElement, UsesOnlyThePathsFirstStepAndRefusesBadPaths) {
  const wchar_t* text = L"<r><a/><item k='1'/><item k='2'/></r>";
  struct Case {
    const wchar_t* path;
    const wchar_t* found;  // k of the found child, null for none
  } cases[] = {
      {L"item", L"1"},           {L"item[2]", L"1"},    {L"item/x", L"1"},    {L"item[@k]", L"1"},
      {L"item[@k='2']", L"1"},   {L"item[@k=2]", L"1"}, {L"item[sub]", L"1"}, {L"item/@k", L"1"},
      {L"/item", nullptr},       {L"//item", nullptr},  {L"item[", nullptr},  {L"item[]", nullptr},
      {L"item[@k='2]", nullptr}, {L"item/", nullptr},   {L"item x", nullptr}, {L"item=", nullptr},
      {L"//item/x", nullptr},    {L"item/@", nullptr},  {L"ite", nullptr},    {L"items", nullptr},
      {L"/", nullptr},
  };
  for (const Case& c : cases) {
    auto doc = ParseChecked(text);
    bool found = doc->FindChildElement(c.path);
    EXPECT_EQ(found, c.found != nullptr) << c.path;
    if (found && c.found) {
      EXPECT_EQ(W(doc->GetChildAttribute(L"k")), c.found) << c.path;
    }
  }
  auto doc = ParseChecked(L"<root/>");
  EXPECT_FALSE(doc->FindElement(L"/root"));
  EXPECT_TRUE(doc->FindElement(L"root"));
}

TEST(FindElement, ComparesNamesWithAndWithoutIgnoreCase) {
  const wchar_t* text = L"<r><Files a='1'/><FILES a='2'/><Files\u00E9 a='3'/><\u00E9Files/></r>";
  auto exact = ParseChecked(text);
  EXPECT_FALSE(exact->FindChildElement(L"files"));
  auto folded = ParseChecked(text, XmlDoc::IgnoreCase);
  ASSERT_TRUE(folded->FindChildElement(L"files"));
  EXPECT_EQ(W(folded->GetChildAttribute(L"A")), L"1");
  ASSERT_TRUE(folded->FindChildElement(L"fIlEs"));
  EXPECT_EQ(W(folded->GetChildAttribute(L"a")), L"2");
  // Letters fold only until a unit of 128 or above has been passed.
  ASSERT_TRUE(folded->FindChildElement(L"fILES\u00E9"));
  EXPECT_EQ(W(folded->GetChildAttribute(L"a")), L"3");
  EXPECT_FALSE(folded->FindChildElement(L"\u00E9files"));
  auto folded2 = ParseChecked(text, XmlDoc::IgnoreCase);
  EXPECT_FALSE(folded2->FindChildElement(L"\u00C9files"));
  EXPECT_TRUE(folded2->FindChildElement(L"\u00E9Files"));
}

TEST(Attributes, ReadsEveryFormOfAttribute) {
  auto doc =
      ParseChecked(L"<e a=1 b q = 'x > y' u=a/b/c d=\"two\nlines\" e=\"&lt;&#65;\" c=\"last\"/>");
  ASSERT_TRUE(doc->FindElement(L"e"));
  EXPECT_EQ(W(doc->GetAttribute(L"a")), L"1");
  EXPECT_EQ(W(doc->GetAttribute(L"b")), L"b");  // valueless: its own name
  EXPECT_EQ(W(doc->GetAttribute(L"q")), L"x > y");
  EXPECT_EQ(W(doc->GetAttribute(L"u")), L"a/b/c");
  EXPECT_EQ(W(doc->GetAttribute(L"d")), L"two\nlines");
  EXPECT_EQ(W(doc->GetAttribute(L"e")), L"<A");
  EXPECT_EQ(W(doc->GetAttribute(L"c")), L"last");
  EXPECT_EQ(W(doc->GetAttribute(L"missing")), L"");
  EXPECT_EQ(W(doc->GetAttribute(L"e ")), L"<A");  // a name ends at a space
  EXPECT_EQ(W(doc->GetAttribute(nullptr)), L"");
  // The tag name is not an attribute.
  auto same = ParseChecked(L"<e e='v'/>");
  ASSERT_TRUE(same->FindElement());
  EXPECT_EQ(W(same->GetAttribute(L"e")), L"v");
  auto named = ParseChecked(L"<e a=1 b>");
  ASSERT_TRUE(named->FindElement());
  EXPECT_EQ(W(named->GetAttribute(L"b")), L"b");
  EXPECT_EQ(W(named->GetAttribute(L"c")), L"");
}

TEST(Attributes, AreReadInsideTheStartTagOnly) {
  // The quote is not after '=', so the tag ends at the first '>'.
  auto doc = ParseChecked(L"<r><e \"x> lastversion=\"9.9\"></e></r>");
  ASSERT_TRUE(doc->FindChildElement(L"e"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"lastversion")), L"");
}

TEST(Attributes, NeedAnElementFoundFirst) {
  auto doc = ParseChecked(L"<e a='1'/>");
  EXPECT_EQ(W(doc->GetAttribute(L"a")), L"");
  EXPECT_EQ(W(doc->GetChildAttribute(L"a")), L"");
  EXPECT_EQ(W(doc->GetTagName(0)), L"");
  EXPECT_EQ(W(doc->GetTagName(5)), L"");
  EXPECT_EQ(W(doc->GetTagName(-1)), L"");
  EXPECT_EQ(W(doc->GetTagName(1)), L"e");
}

TEST(Attributes, TrimOrCollapseWhitespaceOnlyWhenAsked) {
  const wchar_t* text = L"<e v=\"  one \r\n\t two  \" r=\"&#32;x&#32;\"/>";
  struct Case {
    uint32_t flags;
    const wchar_t* v;
    const wchar_t* r;
  } cases[] = {
      {0, L"  one \r\n\t two  ", L" x "},
      {XmlDoc::TrimWhitespace, L"one \r\n\t two", L" x "},
      {XmlDoc::CollapseWhitespace, L"one two", L" x "},
  };
  for (const Case& c : cases) {
    auto doc = ParseChecked(text, c.flags);
    ASSERT_TRUE(doc->FindElement());
    EXPECT_EQ(W(doc->GetAttribute(L"v")), c.v) << c.flags;
    EXPECT_EQ(W(doc->GetAttribute(L"r")), c.r) << c.flags;
  }
}

TEST(StreamModes, RefuseTextAndFinds) {
  XmlDoc doc(L"<r><files lastversion='1'/></r>");
  doc.SetDocFlags(XmlDoc::ReadStream);
  EXPECT_FALSE(doc.SetText(L"<other/>"));
  EXPECT_EQ(W(doc.GetText()), L"<r><files lastversion='1'/></r>");
  EXPECT_FALSE(doc.FindChildElement(L"files"));
  EXPECT_TRUE(doc.FindElement(L"r"));
  doc.SetDocFlags(XmlDoc::WriteStream);
  EXPECT_FALSE(doc.SetText(nullptr));
  EXPECT_FALSE(doc.FindElement());
  EXPECT_FALSE(doc.FindChildElement());
  doc.SetDocFlags(0);
  EXPECT_TRUE(doc.FindChildElement(L"files"));
  EXPECT_EQ(W(doc.GetChildAttribute(L"lastversion")), L"1");
}

}  // namespace

// Editing a document in place: after every edit the index must still hold
// and must be what parsing the edited text gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/result_log.h"
#include "xml_test_util.h"

namespace {

constexpr int kNoBreak = XmlDoc::NoLineBreak;

std::wstring Text(const XmlDoc& doc) { return W(doc.GetText()); }

#define EXPECT_EDIT_OK(doc) EXPECT_EQ(EditProblem(doc), "") << W((doc).GetText()).size()

TEST(ResultLogByWriting, AddElementAndSetAttributeWriteWhatAddResultWrites) {
  XmlDoc doc;
  ASSERT_TRUE(doc.AddElement(L"read", nullptr, kNoBreak));
  EXPECT_EQ(Text(doc), L"<read/>");
  int32_t read = doc.GetMainPos();
  ASSERT_TRUE(doc.AddElement(L"nulls_removed", nullptr, kNoBreak));
  EXPECT_EQ(Text(doc), L"<read/><nulls_removed/>");
  EXPECT_EQ(doc.GetIndex()[read].next, doc.GetMainPos());
  EXPECT_EQ(doc.GetIndex()[doc.GetMainPos()].parent, 0);
  EXPECT_TRUE(doc.SetAttribute(read, L"encoding", L"UTF-8"));
  EXPECT_EQ(Text(doc), L"<read encoding=\"UTF-8\"/><nulls_removed/>");
  EXPECT_TRUE(doc.SetAttribute(read, L"length", 4));
  EXPECT_EQ(Text(doc), L"<read encoding=\"UTF-8\" length=\"4\"/><nulls_removed/>");
  EXPECT_TRUE(doc.SetAttribute(read, L"encoding", L"GBK"));
  EXPECT_EQ(Text(doc), L"<read encoding=\"GBK\" length=\"4\"/><nulls_removed/>");
  EXPECT_EDIT_OK(doc);

  // A whole log, entry by entry, against AddResult.
  WStr log;
  XmlDoc written;
  std::vector<int32_t> entries;
  auto entry = [&](const wchar_t* name) {
    EXPECT_TRUE(written.AddElement(name, nullptr, kNoBreak));
    entries.push_back(written.GetMainPos());
  };
  AddResult(log, 0, L"unended_start_tag", L"a\"<&>'", 12, 30);
  entry(L"unended_start_tag");
  written.SetAttribute(entries.back(), L"tagname", L"a\"<&>'");
  written.SetAttribute(entries.back(), L"offset", 12);
  written.SetAttribute(entries.back(), L"offset2", 30);
  AddResult(log, kResultEncoding | kResultLength, L"read", L"", 4096, -1);
  entry(L"read");
  written.SetAttribute(entries.back(), L"encoding", L"");
  written.SetAttribute(entries.back(), L"length", 4096);
  AddResult(log, kResultMsg | kResultN, L"file_error", L"Access is denied.", 5, -1);
  entry(L"file_error");
  written.SetAttribute(entries.back(), L"msg", L"Access is denied.");
  written.SetAttribute(entries.back(), L"n", 5);
  AddResult(log, kResultLength, L"write", nullptr, -1, -1);
  entry(L"write");
  written.SetAttribute(entries.back(), L"length", -1);
  // Updates change the first entry of the name in place.
  AddResult(log, kResultUpdate | kResultEncoding, L"read", L"UTF-8", -1, -1);
  written.SetAttribute(entries[1], L"encoding", L"UTF-8");
  AddResult(log, kResultUpdate | kResultLength, L"read", nullptr, 4093, -1);
  written.SetAttribute(entries[1], L"length", 4093);
  AddResult(log, kResultUpdate | kResultCount, L"unended_start_tag", nullptr, 2, -1);
  written.SetAttribute(entries[0], L"count", 2);
  EXPECT_EQ(Text(written), W(log));
  EXPECT_EDIT_OK(written);
}

TEST(EncodeText, EscapesAndKeepsReferencesOnRequest) {
  auto encode = [](int options, const wchar_t* text) {
    return W(XmlDoc::EncodeText(options, text));
  };
  EXPECT_EQ(encode(XmlDoc::AttributeValue, L"a<b&\"c\""), L"a&lt;b&amp;&quot;c&quot;");
  EXPECT_EQ(encode(XmlDoc::AttributeValue, L"it's > 1"), L"it&apos;s &gt; 1");
  EXPECT_EQ(encode(0, L"\"q\" 'a' <>&"), L"\"q\" 'a' &lt;&gt;&amp;");
  EXPECT_EQ(encode(XmlDoc::KeepReferences,
                   L"&amp; &#x41; &#65; &_x.y-z; &\x4E2D; &a:b; & x; &1; &a b; &; &abc"),
            L"&amp; &#x41; &#65; &_x.y-z; &\x4E2D; &a:b; &amp; x; &amp;1; &amp;a b; &amp;; "
            L"&amp;abc");
  EXPECT_EQ(encode(0, L"&amp;"), L"&amp;amp;");
  EXPECT_EQ(encode(0, L""), L"");
  EXPECT_EQ(encode(0, nullptr), L"");
}

TEST(AddElement, ValuesEncodedOrAsCdataSplitAtTheirEnd) {
  XmlDoc doc;
  ASSERT_TRUE(doc.AddElement(L"v", L"a<b & c", kNoBreak));
  ASSERT_TRUE(doc.AddElement(L"k", L"&lt; & &#33;", kNoBreak | XmlDoc::KeepReferences));
  ASSERT_TRUE(doc.AddElement(L"c", L"x]]>y]]>", kNoBreak | XmlDoc::Cdata));
  EXPECT_EQ(Text(doc),
            L"<v>a&lt;b &amp; c</v><k>&lt; &amp; &#33;</k>"
            L"<c><![CDATA[x]]]]><![CDATA[>y]]]]><![CDATA[>]]></c>");
  const ElementRecord& c = doc.GetIndex()[doc.GetMainPos()];
  EXPECT_EQ(c.StartTagLength(), 3u);
  EXPECT_EQ(c.EndTagLength(), 4u);
  EXPECT_EDIT_OK(doc);
  // The CDATA section ends where it should: nothing after it is content.
  XmlDoc again(doc.GetText().c_str());
  EXPECT_EQ(W(again.GetResultLog()), L"<root_has_sibling/>");
}

TEST(AddElement, LineBreaksWhereWhitespaceOrTheEndFollows) {
  XmlDoc doc;
  ASSERT_TRUE(doc.AddElement(L"a"));
  EXPECT_EQ(Text(doc), L"<a/>\r\n");
  ASSERT_TRUE(doc.AddElement(L"b", nullptr, XmlDoc::SpaceBeforeSlash));
  EXPECT_EQ(Text(doc), L"<a/>\r\n<b />\r\n");
  ASSERT_TRUE(doc.AddElement(L"c", nullptr, XmlDoc::InsertBefore));
  EXPECT_EQ(Text(doc), L"<a/>\r\n<c/>\r\n<b />\r\n");
  EXPECT_EQ(Outline(doc), L"a c b");
  EXPECT_EDIT_OK(doc);

  // Text after the insertion point: no line break, the offset stays.
  auto mixed = ParseChecked(L"<r><a/>text</r>");
  ASSERT_TRUE(mixed->FindChildElement(L"a"));
  mixed->FindElement(nullptr);  // the root stays the main element
  ASSERT_TRUE(mixed->AddChildElement(L"n", nullptr, XmlDoc::InsertBefore));
  EXPECT_EQ(Text(*mixed), L"<r><n/>\r\n<a/>text</r>");
  ASSERT_TRUE(mixed->AddChildElement(L"m"));
  EXPECT_EQ(Text(*mixed), L"<r><n/>\r\n<m/>\r\n<a/>text</r>");
  EXPECT_EDIT_OK(*mixed);
}

TEST(AddChildElement, AtTheEndOfTheContentOrItsStartInAParsedDocument) {
  auto doc = ParseChecked(L"<?xml version=\"1.0\"?>\r\n<r>\r\n  <a x='1'/>\r\n</r>\r\n");
  ASSERT_TRUE(doc->FindElement(L"r"));
  ASSERT_TRUE(doc->AddChildElement(L"b", L"2"));
  EXPECT_EQ(Text(*doc), L"<?xml version=\"1.0\"?>\r\n<r>\r\n  <a x='1'/>\r\n<b>2</b>\r\n</r>\r\n");
  EXPECT_EQ(W(doc->GetTagName(doc->GetChildPos())), L"b");
  EXPECT_EDIT_OK(*doc);
  doc->SetText(doc->GetText().c_str());
  ASSERT_TRUE(doc->FindChildElement(L"a"));
  // Before the current child, which is the first: it becomes the first.
  ASSERT_TRUE(doc->AddChildElement(L"z", nullptr, XmlDoc::InsertBefore));
  EXPECT_EQ(Outline(*doc), L"r(z a b)");
  EXPECT_EQ(W(doc->GetChildAttribute(L"x")), L"");
  EXPECT_EQ(Text(*doc),
            L"<?xml version=\"1.0\"?>\r\n<r>\r\n  <z/>\r\n<a x='1'/>\r\n<b>2</b>\r\n</r>\r\n");
  EXPECT_EDIT_OK(*doc);
  // Attributes of elements after the edits are still read from the right place.
  doc->SetText(doc->GetText().c_str());
  ASSERT_TRUE(doc->FindChildElement(L"a"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"x")), L"1");
}

TEST(AddChildElement, OpensEmptyAndUnendedParents) {
  XmlDoc doc;
  ASSERT_TRUE(doc.AddElement(L"p", nullptr, kNoBreak));
  ASSERT_TRUE(doc.AddChildElement(L"c"));
  EXPECT_EQ(Text(doc), L"<p>\r\n<c/></p>");
  const ElementRecord& p = doc.GetIndex()[doc.GetMainPos()];
  EXPECT_EQ(p.StartTagLength(), 3u);
  EXPECT_EQ(p.EndTagLength(), 4u);
  EXPECT_EQ(p.length, 13u);
  EXPECT_EDIT_OK(doc);

  XmlDoc spaced;
  ASSERT_TRUE(spaced.AddElement(L"p", nullptr, kNoBreak | XmlDoc::SpaceBeforeSlash));
  ASSERT_TRUE(spaced.AddChildElement(L"c", L"v", kNoBreak));
  EXPECT_EQ(Text(spaced), L"<p ><c>v</c></p>");
  EXPECT_EDIT_OK(spaced);

  XmlDoc unended;
  ASSERT_TRUE(unended.AddElement(L"ul", nullptr, kNoBreak | XmlDoc::NoEndTag));
  EXPECT_EQ(Text(unended), L"<ul>");
  EXPECT_TRUE(unended.GetIndex()[unended.GetMainPos()].flags & ElementRecord::Unended);
  EXPECT_EDIT_OK(unended);
  ASSERT_TRUE(unended.AddChildElement(L"li", L"one", kNoBreak));
  ASSERT_TRUE(unended.AddChildElement(L"li", L"two", kNoBreak));
  EXPECT_EQ(Text(unended), L"<ul><li>one</li><li>two</li></ul>");
  EXPECT_FALSE(unended.GetIndex()[unended.GetMainPos()].flags & ElementRecord::Unended);
  EXPECT_EQ(Outline(unended), L"ul(li li)");
  EXPECT_EDIT_OK(unended);

  // The end tag has the name as the parser reads it, not as a token.
  auto odd = ParseChecked(L"<a;b/>");
  ASSERT_TRUE(odd->FindElement());
  ASSERT_TRUE(odd->AddChildElement(L"c", nullptr, kNoBreak));
  EXPECT_EQ(Text(*odd), L"<a;b><c/></a;b>");
  EXPECT_EDIT_OK(*odd);

  // Opening a parsed empty element shifts what follows it.
  auto parsed = ParseChecked(L"<a/><b k='v'/>");
  ASSERT_TRUE(parsed->FindElement(L"a"));
  ASSERT_TRUE(parsed->AddChildElement(L"c"));
  EXPECT_EQ(Text(*parsed), L"<a>\r\n<c/></a><b k='v'/>");
  EXPECT_EDIT_OK(*parsed);
  ASSERT_TRUE(parsed->FindElement(L"b"));
  EXPECT_EQ(W(parsed->GetAttribute(L"k")), L"v");
}

TEST(AddElement, RefusalsChangeNothing) {
  XmlDoc doc;
  EXPECT_FALSE(doc.AddChildElement(L"c"));  // no main element
  EXPECT_FALSE(doc.AddElement(L"a", L"v", XmlDoc::NoEndTag));
  for (const wchar_t* bad : {L"", L"a b", L"a>", L"a/", L"<a", L"1a", L"-a", L"a\"", L"a=b", L"a;b",
                             L"a!", L"a\\b", L"a[1]", L"a?"})
    EXPECT_FALSE(doc.AddElement(bad)) << W(WStr(bad));
  EXPECT_FALSE(doc.AddElement(nullptr));
  EXPECT_EQ(Text(doc), L"");
  ASSERT_TRUE(doc.AddElement(L"a", nullptr, kNoBreak));
  EXPECT_FALSE(doc.AddElement(std::wstring(1100, L'n').c_str()));  // end tag beyond 1,023
  uint32_t flags = doc.GetDocFlags();
  doc.SetDocFlags(flags | XmlDoc::ReadStream);
  EXPECT_FALSE(doc.AddElement(L"b"));
  EXPECT_FALSE(doc.SetAttribute(doc.GetMainPos(), L"x", L"1"));
  doc.SetDocFlags(flags | XmlDoc::WriteStream);
  EXPECT_FALSE(doc.AddChildElement(L"b"));
  doc.SetDocFlags(flags);
  EXPECT_EQ(Text(doc), L"<a/>");
  EXPECT_EDIT_OK(doc);
}

TEST(SetAttribute, ReplacesEveryKindOfValueAndAddsAfterTheLast) {
  struct Case {
    const wchar_t* text;
    const wchar_t* name;
    const wchar_t* after;
  };
  const Case cases[] = {
      {L"<e a='x'/>", L"a", L"<e a=\"v\"/>"},
      {L"<e a=\"x\" b=y>t</e>", L"b", L"<e a=\"x\" b=\"v\">t</e>"},
      {L"<e a=x/>", L"a", L"<e a=\"v\">"},  // the '/' belonged to the value
      {L"<input checked disabled>", L"checked", L"<input checked=\"v\" disabled>"},
      {L"<input checked>", L"checked", L"<input checked=\"v\">"},
      {L"<e a=>", L"a", L"<e a=\"v\">"},
      {L"<e/>", L"n", L"<e n=\"v\"/>"},
      {L"<e />", L"n", L"<e n=\"v\" />"},
      {L"<e  a='1'  >x</e>", L"n", L"<e  a='1' n=\"v\"  >x</e>"},
      {L"<e\r\n a='1'\r\n/>", L"n", L"<e\r\n a='1' n=\"v\"\r\n/>"},
      {L"<e a=x/>", L"n", L"<e a=x/ n=\"v\">"},  // not empty: the '/' stays in the value
      {L"<e>", L"n", L"<e n=\"v\">"},            // unended
  };
  for (const Case& c : cases) {
    auto doc = ParseChecked(c.text);
    ASSERT_TRUE(doc->FindElement()) << W(WStr(c.text));
    EXPECT_TRUE(doc->SetAttribute(doc->GetMainPos(), c.name, L"v")) << W(WStr(c.text));
    EXPECT_EQ(Text(*doc), c.after);
    EXPECT_EQ(W(doc->GetAttribute(c.name)), L"v");
    EXPECT_EDIT_OK(*doc);
  }
}

TEST(SetAttribute, ShiftsChildrenAndFollowersAndRefusesBadPositions) {
  auto doc = ParseChecked(L"<r><a><b c='1'/></a><d e='2'/></r>");
  ASSERT_TRUE(doc->FindChildElement(L"a"));
  int32_t a = doc->GetChildPos();
  EXPECT_TRUE(doc->SetAttribute(a, L"long", L"a value with \"quotes\""));
  EXPECT_EDIT_OK(*doc);
  ASSERT_TRUE(doc->FindChildElement(L"d"));
  EXPECT_EQ(W(doc->GetChildAttribute(L"e")), L"2");
  EXPECT_EQ(W(doc->GetTagName(doc->GetIndex()[a].firstChild)), L"b");

  EXPECT_FALSE(doc->SetAttribute(0, L"x", L"1"));
  EXPECT_FALSE(doc->SetAttribute(999, L"x", L"1"));
  EXPECT_FALSE(doc->SetAttribute(a, L"", L"1"));
  EXPECT_FALSE(doc->SetAttribute(a, L"x y", L"1"));
  EXPECT_FALSE(doc->SetAttribute(a, L"x=", L"1"));
  EXPECT_FALSE(doc->SetAttribute(a, nullptr, L"1"));
  EXPECT_TRUE(doc->SetAttribute(a, L"none", nullptr));
  XmlDoc fresh(L"<r/>");
  EXPECT_FALSE(fresh.SetAttribute(1, L"x", L"1"));  // no find has made it current
  EXPECT_EQ(Text(fresh), L"<r/>");
}

struct Random {
  uint32_t state;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  uint32_t Below(uint32_t n) { return n ? (Next() >> 8) % n : 0; }
};

// Random edits of real documents, each checked at once.
TEST(Edits, RandomSequencesKeepTheIndexAsAParseWouldBuildIt) {
  const wchar_t* starts[] = {
      L"",
      L"<r/>",
      L"<?xml version=\"1.0\"?>\r\n<root>\r\n  <files lastversion=\"1.2.3.4\"/>\r\n"
      L"  <notes lang='zh'>\x4FEE\x590D &amp; more</notes>\r\n</root>\r\n",
      L"<html><body class=main><p id=intro>text <br> <input checked>\n<a href=x>l</a></p>"
      L"<ul><li>one<li>two</ul></body></html>\n",
  };
  const wchar_t* names[] = {L"a", L"item", L"x:y", L"\x4E2D"};
  const wchar_t* values[] = {nullptr, L"", L"v", L"a<b&c", L"]]>", L"&amp; \"q\""};
  const int options[] = {0,
                         kNoBreak,
                         XmlDoc::SpaceBeforeSlash,
                         XmlDoc::NoEndTag,
                         XmlDoc::InsertBefore,
                         XmlDoc::Cdata,
                         XmlDoc::KeepReferences | kNoBreak};
  Random random{4242};
  int edits = 0;
  for (const wchar_t* start : starts) {
    for (int round = 0; round < 40; ++round) {
      auto doc = ParseChecked(start);
      for (int step = 0; step < 25; ++step) {
        uint32_t what = random.Below(6);
        const wchar_t* name = names[random.Below(4)];
        const wchar_t* value = values[random.Below(6)];
        int option = options[random.Below(7)];
        // An element without end tag takes the next end tag of its name for
        // its own when parsed again: such names are used once only.
        std::wstring unique = L"u" + std::to_wstring(edits);
        if (option & XmlDoc::NoEndTag) name = unique.c_str();
        if (what == 0) {
          doc->FindElement();
        } else if (what == 1) {
          doc->FindChildElement();
        } else if (what == 2) {
          doc->AddElement(name, value, option);
        } else if (what == 3) {
          doc->AddChildElement(name, value, option);
        } else {
          int32_t pos = random.Below(2) ? doc->GetMainPos() : doc->GetChildPos();
          doc->SetAttribute(pos, names[random.Below(4)], value, option);
        }
        ++edits;
        std::string problem = EditProblem(*doc);
        if (!problem.empty()) {
          std::wstring text = W(doc->GetText());
          ADD_FAILURE() << problem << " round " << round << " step " << step << " what " << what
                        << " option " << option << ": " << std::string(text.begin(), text.end());
          return;
        }
      }
    }
  }
  EXPECT_GT(edits, 3000);
}

}  // namespace

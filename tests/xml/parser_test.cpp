#include <gtest/gtest.h>

#include <vector>

#include "xml/node_scanner.h"
#include "xml_test_util.h"

namespace {

struct Node {
  NodeKind kind;
  int start, length;
  bool operator==(const Node& o) const {
    return kind == o.kind && start == o.start && length == o.length;
  }
};
std::ostream& operator<<(std::ostream& os, const Node& n) {
  return os << "{" << static_cast<int>(n.kind) << "," << n.start << "," << n.length << "}";
}

std::vector<Node> Scan(const std::wstring& text, std::wstring* log = nullptr) {
  NodeScanner scanner(text.c_str(), static_cast<int32_t>(text.size()), 0);
  NodeInfo info;
  std::vector<Node> nodes;
  while (scanner.NextNode(info) != NodeKind::EndOfDocument) {
    nodes.push_back({info.kind, info.start, info.length});
    if (log) *log += W(info.log);
    if (nodes.size() > text.size()) break;
  }
  return nodes;
}

const NodeKind kEnd = NodeKind::EndTag, kElem = NodeKind::Element, kText = NodeKind::Text,
               kSpace = NodeKind::Whitespace, kCdata = NodeKind::CdataSection,
               kPi = NodeKind::ProcessingInstruction, kComment = NodeKind::Comment,
               kDoctype = NodeKind::DocumentType, kError = NodeKind::SyntaxError;

TEST(NodeScanner, CutsEveryKindOfNode) {
  std::wstring text =
      L"<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e \"a>b\">"
      L"<!-- c > d --><?p x?>]><r a='>'>t>u<![CDATA[<x>]]]><!---->  <e/></r>";
  std::vector<Node> expected = {
      {kPi, 0, 21},     {kSpace, 21, 1}, {kDoctype, 22, 69}, {kElem, 91, 9},
      {kText, 100, 2},  {kText, 102, 1}, {kCdata, 103, 16},  {kComment, 119, 7},
      {kSpace, 126, 2}, {kElem, 128, 4}, {kEnd, 132, 4},
  };
  EXPECT_EQ(Scan(text), expected);
  EXPECT_EQ(Scan(L"<!-->x"), (std::vector<Node>{{kComment, 0, 5}, {kText, 5, 1}}));
  EXPECT_EQ(Scan(L" \t<a>"), (std::vector<Node>{{kSpace, 0, 2}, {kElem, 2, 3}}));
  EXPECT_EQ(Scan(L" x <a>"), (std::vector<Node>{{kText, 0, 3}, {kElem, 3, 3}}));
}

TEST(NodeScanner, LogsEachKindOfSyntaxError) {
  struct Case {
    const wchar_t* text;
    const wchar_t* log;
  } cases[] = {
      {L"< a>", L"<first_tag_syntax offset=\"0\"/>"},
      {L"x<!x>", L"<exclamation_tag_syntax offset=\"1\"/>"},
      {L"<!-x>", L"<comment_tag_syntax offset=\"0\"/>"},
      {L"<![x>", L"<cdata_section_syntax offset=\"0\"/>"},
      {L"<a", L"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/>"},
      {L"<r></r", L"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"},
      {L"<!--x->", L"<unterminated_tag_syntax type=\"comment\" offset=\"0\"/>"},
      {L"<![CDATA[x]>", L"<unterminated_tag_syntax type=\"cdata_section\" offset=\"0\"/>"},
      {L"<?pi >", L"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"0\"/>"},
      {L"<!DOCTYPE r [<!-- x -->",
       L"<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/>"},
      {L"<", L"<unterminated_tag_syntax type=\"tag\" offset=\"0\"/>"},
      {L"<e a=\"x>", L"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/>"},
  };
  for (const Case& c : cases) {
    std::wstring log;
    Scan(c.text, &log);
    EXPECT_EQ(log, c.log) << c.text;
  }
}

TEST(Parse, EmptyElementsEndAtSlashGreaterUnlessTheSlashIsInAValue) {
  auto a = ParseChecked(L"<a/>");
  const ElementRecord& ra = a->GetIndex()[1];
  EXPECT_EQ(ra.length, 4u);
  EXPECT_EQ(ra.StartTagLength(), 4u);
  EXPECT_EQ(ra.EndTagLength(), 0u);
  EXPECT_TRUE(a->IsWellFormed());
  EXPECT_EQ(ParseChecked(L"<a />")->GetIndex()[1].length, 5u);
  EXPECT_TRUE(ParseChecked(L"<a b=\"c\"/>")->IsWellFormed());
  EXPECT_TRUE(ParseChecked(L"<a b=c />")->IsWellFormed());
  auto open = ParseChecked(L"<a b=c/>");
  EXPECT_FALSE(open->IsWellFormed());
  EXPECT_EQ(W(open->GetResultLog()),
            L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"8\"/>");
  auto closed = ParseChecked(L"<a b=c/></a>");
  EXPECT_TRUE(closed->IsWellFormed());
  EXPECT_EQ(closed->GetIndex()[1].length, 12u);
}

TEST(Parse, ClosesUnendedElementsAndMovesTheirChildrenUp) {
  auto doc = ParseChecked(L"<r><a></r>");
  EXPECT_FALSE(doc->IsWellFormed());
  EXPECT_EQ(W(doc->GetResultLog()),
            L"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"7\"/>");
  const ElementIndex& index = doc->GetIndex();
  EXPECT_EQ(index[2].length, 3u);
  EXPECT_TRUE(index[2].flags & ElementRecord::Unended);
  EXPECT_EQ(index[1].length, 10u);
  EXPECT_TRUE(index[0].flags & ElementRecord::IllFormed);

  auto deep = ParseChecked(L"<r><a><b></b><c><d/></r><s/>");
  EXPECT_EQ(Outline(*deep), L"r(a* b c* d) s");
  EXPECT_EQ(W(deep->GetResultLog()),
            L"<unended_start_tag tagname=\"c\" offset=\"13\" offset2=\"21\"/>"
            L"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"21\"/>"
            L"<root_has_sibling/>");
  // At the end of the text, offset2 is the text length.
  auto eof = ParseChecked(L"<r><a><b/>");
  EXPECT_EQ(Outline(*eof), L"r* a* b");
  EXPECT_EQ(W(eof->GetResultLog()),
            L"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"10\"/>"
            L"<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"10\"/>"
            L"<root_has_sibling/>");
}

TEST(Parse, LoneEndTagsAreLoggedAndSkipped) {
  auto doc = ParseChecked(L"</x><a/>");
  EXPECT_EQ(W(doc->GetResultLog()), L"<lone_end_tag tagname=\"x\" offset=\"0\"/>");
  EXPECT_EQ(Outline(*doc), L"a");
  EXPECT_FALSE(doc->IsWellFormed());
  auto inner = ParseChecked(L"<r><a></b></a></r>");
  EXPECT_EQ(Outline(*inner), L"r(a#)");
  EXPECT_EQ(W(inner->GetResultLog()), L"<lone_end_tag tagname=\"b\" offset=\"6\"/>");
  auto empty = ParseChecked(L"<r></></r>");
  EXPECT_EQ(W(empty->GetResultLog()), L"<lone_end_tag tagname=\"\" offset=\"3\"/>");
}

TEST(Parse, SyntaxErrorsMarkTheElementAndMoveUpWhenItIsUnended) {
  auto doc = ParseChecked(L"<r><a>< </a><b><!x></r>");
  EXPECT_EQ(Outline(*doc), L"r#(a# b*)");
  EXPECT_EQ(W(doc->GetResultLog()),
            L"<first_tag_syntax offset=\"6\"/><exclamation_tag_syntax offset=\"15\"/>"
            L"<unended_start_tag tagname=\"b\" offset=\"12\" offset2=\"20\"/>");
  EXPECT_FALSE(doc->IsWellFormed());
}

TEST(Parse, ReportsRootProblems) {
  auto empty = ParseChecked(L"");
  EXPECT_FALSE(empty->IsWellFormed());
  EXPECT_EQ(W(empty->GetResultLog()), L"");
  EXPECT_FALSE(empty->FindElement());
  auto text = ParseChecked(L"just text");
  EXPECT_EQ(W(text->GetResultLog()), L"<no_root_element/>");
  EXPECT_FALSE(text->IsWellFormed());
  auto two = ParseChecked(L"<a/><b/>");
  EXPECT_EQ(W(two->GetResultLog()), L"<root_has_sibling/>");
  EXPECT_FALSE(two->IsWellFormed());
  auto prolog = ParseChecked(L"<?xml version='1.0'?><!-- c --><!DOCTYPE r><r/><!-- end -->\n");
  EXPECT_TRUE(prolog->IsWellFormed());
  EXPECT_EQ(W(prolog->GetResultLog()), L"");
}

TEST(Parse, DoctypeWithAnInternalSubsetIsOneNode) {
  auto doc = ParseChecked(L"<!DOCTYPE r [<!ELEMENT r ANY>]><r/>");
  EXPECT_TRUE(doc->IsWellFormed());
  EXPECT_EQ(Outline(*doc), L"r");
  EXPECT_EQ(Scan(L"<!DOCTYPE r [<!ELEMENT r ANY>]><r/>"),
            (std::vector<Node>{{kDoctype, 0, 31}, {kElem, 31, 4}}));
  // A bad declaration inside is not silently accepted.
  auto bad = ParseChecked(L"<!DOCTYPE r [<!X>]><r/>");
  EXPECT_FALSE(bad->IsWellFormed());
  EXPECT_EQ(W(bad->GetResultLog()), L"<doctype_tag_syntax offset=\"0\"/>");
}

TEST(Parse, MatchesEndTagsByCaseOnlyWithIgnoreCase) {
  auto folded = ParseChecked(L"<A></a>", XmlDoc::IgnoreCase);
  EXPECT_TRUE(folded->IsWellFormed());
  EXPECT_EQ(folded->GetIndex()[1].length, 7u);
  auto exact = ParseChecked(L"<A></a>");
  EXPECT_FALSE(exact->IsWellFormed());
  EXPECT_EQ(W(exact->GetResultLog()),
            L"<lone_end_tag tagname=\"a\" offset=\"3\"/>"
            L"<unended_start_tag tagname=\"A\" offset=\"0\" offset2=\"7\"/>");
  // The innermost open element of that name is closed.
  auto nested = ParseChecked(L"<a><b><a></a></b></a>");
  EXPECT_TRUE(nested->IsWellFormed());
  EXPECT_EQ(Outline(*nested), L"a(b(a))");
}

TEST(Parse, TextWithGreaterThanChangesNothingInTheIndex) {
  auto doc = ParseChecked(L"<r>a > b >> c</r>");
  EXPECT_TRUE(doc->IsWellFormed());
  EXPECT_EQ(doc->GetFreePos(), 2);
}

TEST(Parse, SetTextReplacesTheDocumentAndNullEmptiesIt) {
  XmlDoc doc(L"<a><b/></a>");
  EXPECT_TRUE(doc.IsWellFormed());
  EXPECT_TRUE(doc.FindChildElement(L"b"));
  EXPECT_FALSE(doc.SetText(L"<x"));
  EXPECT_EQ(doc.GetChildPos(), 0);
  EXPECT_NE(W(doc.GetResultLog()), L"");
  EXPECT_FALSE(doc.SetText(nullptr));
  EXPECT_EQ(W(doc.GetResultLog()), L"");
  EXPECT_EQ(IndexProblem(doc), "");
  EXPECT_FALSE(doc.FindElement());
  EXPECT_TRUE(doc.SetText(L"<c/>"));
  EXPECT_EQ(Outline(doc), L"c");
}

TEST(Parse, TagsBeyondTheIndexWidthsAreKeptInsideTheText) {
  std::wstring big = L"<r><e a=\"" + std::wstring(5000000, L'x') + L"\"/></r>";
  auto doc = ParseChecked(big);
  const ElementRecord& e = doc->GetIndex()[2];
  EXPECT_EQ(e.StartTagLength(), ElementRecord::kMaxStartTag);
  EXPECT_TRUE(e.flags & ElementRecord::HasError);
  EXPECT_FALSE(doc->IsWellFormed());
  std::wstring longEnd = L"<r></r" + std::wstring(2000, L' ') + L">";
  auto end = ParseChecked(longEnd);
  EXPECT_EQ(end->GetIndex()[1].EndTagLength(), ElementRecord::kMaxEndTag);
  EXPECT_FALSE(end->IsWellFormed());
}

TEST(ElementIndex, NumbersPositionsByPageAndSlotAndGrowsAPageAtATime) {
  ElementIndex index;
  EXPECT_TRUE(index.Reserve(10));
  EXPECT_EQ(index.count(), 10);
  EXPECT_TRUE(index.Reserve(100000));  // page 0 filled, page 1 cut to the request
  EXPECT_EQ(index.count(), 100000);
  EXPECT_TRUE(index.Reserve(300000));  // page 1 filled, one page more
  EXPECT_EQ(index.count(), 3 * 65536);
  index[65535].start = 1;
  index[65536].start = 2;
  index[3 * 65536 - 1].start = 3;
  EXPECT_EQ(index[65535].start, 1u);
  EXPECT_EQ(index[65536].start, 2u);
  EXPECT_EQ(index[3 * 65536 - 1].start, 3u);
  EXPECT_TRUE(index.Reserve(5));
  EXPECT_EQ(index.count(), 3 * 65536);
}

TEST(ElementIndex, DocumentsOfMorePagesStayNavigable) {
  std::wstring text = L"<r>";
  for (int i = 0; i < 140000; ++i) text += L"<i n='" + std::to_wstring(i) + L"'/>";
  text += L"</r>";
  auto doc = ParseChecked(text);
  EXPECT_TRUE(doc->IsWellFormed());
  EXPECT_EQ(doc->GetFreePos(), 140002);
  int count = 0;
  while (doc->FindChildElement(L"i")) ++count;
  EXPECT_EQ(count, 140000);
  EXPECT_EQ(doc->GetChildPos(), 140001);
  EXPECT_EQ(W(doc->GetChildAttribute(L"n")), L"139999");
  EXPECT_EQ(W(doc->GetTagName(65537)), L"i");
  // 32 bytes a element beside the text, and one partial page at most.
  EXPECT_LT(doc->GetIndex().count(), 140002 + 65536);
}

}  // namespace

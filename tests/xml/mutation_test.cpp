// Bad input must never crash, hang or corrupt the index: real documents are
// cut, flipped, duplicated and nested to extremes, and every result is
// parsed, checked and read through the whole navigation interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_paths.h"
#include "xml/decode_text.h"
#include "xml_test_util.h"

namespace {

const wchar_t kManifest[] =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n"
    L"  <files lastversion=\"1.2.3.4\" size=\"10485760\" "
    L"md5=\"0cc175b9c0f1b6a831c399e269772661\"/>\r\n"
    L"  <notes lang='zh-CN'>\u4FEE\u590D &amp; \u6539\u8FDB "
    L"&#x4E2D;&#25991;</notes>\r\n</root>\r\n";

const wchar_t kPage[] =
    L"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    L"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
    L"<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\"><head><title>Caf&eacute; &mdash; "
    L"menu</title>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>\n"
    L"<script type=\"text/javascript\">//<![CDATA[\nif (a < b && c > d) { x = '</p>'; }\n//]]>"
    L"</script></head>\n<body class=main><p id=intro>Prices in &euro;: 3 &lt; 4, "
    L"&copy; 2024 &Oslash;ystein <br> <input type=checkbox checked disabled>\n"
    L"<a href=\"/menu?x=1&amp;y=2\" title='say \"hi\"'>link</a></p>\n<!-- footer -->"
    L"<ul><li>one<li>two</ul></body></html>\n";

const wchar_t kConfig[] =
    L"<?xml version=\"1.0\"?>\n<!DOCTYPE config [\n  <!ELEMENT config (entry*)>\n"
    L"  <!ATTLIST entry key CDATA #REQUIRED>\n  <!ENTITY company \"Quelda &amp; Co > Ltd\">\n"
    L"  <!-- a comment with <tags> inside -->\n  <?tool run?>\n]>\n"
    L"<config version='2'>\n  <entry key=\"path\">C:\\Program Files\\Quelda</entry>\n"
    L"  <entry key=\"empty\"/>\n  <entry key='multi'\n         value=\"line one\n line two\"/>\n"
    L"  <![CDATA[ raw <data> & ]] stuff ]]>\n  <?pi with > inside ?>\n</config>\n";

const wchar_t kSvg[] =
    L"<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">"
    L"<svg:g transform=\"translate(1,1)\"><svg:rect x=\"0\" y=\"0\" width=\"8\" height=\"8\" "
    L"style=\"fill:#f00;stroke:none\"/><svg:text x=\"1\" y=\"7\">&#x1F600; &#128512;</svg:text>"
    L"</svg:g><_private:meta a:b=\"c\"/></svg:svg>";

const wchar_t kResultLogDoc[] =
    L"<read encoding=\"UTF-8\" length=\"812\"/><nulls_removed count=\"2\"/>"
    L"<lone_end_tag tagname=\"&lt;x&amp;\" offset=\"3\"/>"
    L"<unended_start_tag tagname=\"a\" offset=\"12\" offset2=\"30\"/>";

std::vector<std::wstring> RealDocuments() {
  std::vector<std::wstring> docs = {kManifest, kPage, kConfig, kSvg, kResultLogDoc};
  // The setup's own application manifest, as the build makes it.
  std::wstring path = L"Z:" QUELDA_BINARY_DIR L"/generated/setup.manifest";
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  std::string bytes = ReadFileBytes(path);
  EXPECT_FALSE(bytes.empty());
  docs.push_back(std::wstring(bytes.begin(), bytes.end()));
  return docs;
}

struct Random {
  uint32_t state;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  size_t Below(size_t n) { return n ? (Next() >> 8) % n : 0; }
};

// Reads whatever can be read, so that the readers meet the broken index too.
void ReadEverything(XmlDoc& doc) {
  for (int32_t pos = 0; pos <= doc.GetFreePos(); ++pos) doc.GetTagName(pos);
  const wchar_t* names[] = {nullptr, L"lastversion", L"key", L"a", L"x", L"href", L"tagname"};
  for (int top = 0; top < 1000 && doc.FindElement(); ++top) {
    for (const wchar_t* name : names) doc.GetAttribute(name);
    for (int child = 0; child < 1000 && doc.FindChildElement(); ++child) {
      for (const wchar_t* name : names) doc.GetChildAttribute(name);
    }
  }
  doc.FindChildElement(L"files");
  doc.FindElement(L"entry[@key='path']");
  const WStr& text = doc.GetText();
  DecodeText(static_cast<int32_t>(text.size()), text.c_str(), XmlDoc::CollapseWhitespace);
}

void ParseAndRead(const std::wstring& text, uint32_t flags = 0) {
  auto doc = ParseChecked(text, flags);
  ReadEverything(*doc);
}

TEST(Mutations, TruncatedFlippedAndDuplicatedDocumentsKeepASoundIndex) {
  const wchar_t kSpecial[] = L"<>/\"'=&;![]-?# \n\x00E9\xD800\xFFFF";
  Random random{12345};
  int parsed = 0;
  for (const std::wstring& original : RealDocuments()) {
    for (size_t cut = 0; cut <= original.size(); ++cut) {
      ParseAndRead(original.substr(0, cut), cut % 2 ? XmlDoc::IgnoreCase : 0);
      ++parsed;
    }
    for (int round = 0; round < 300; ++round) {
      std::wstring text = original;
      size_t flips = 1 + random.Below(8);
      for (size_t i = 0; i < flips; ++i) {
        size_t at = random.Below(text.size());
        text[at] = random.Below(4) ? kSpecial[random.Below(wcslen(kSpecial))]
                                   : static_cast<wchar_t>(1 + random.Below(0xFFFE));
      }
      ParseAndRead(text);
      ++parsed;
    }
    for (int round = 0; round < 200; ++round) {
      std::wstring text = original;
      size_t from = random.Below(text.size());
      size_t length = random.Below(text.size() - from);
      std::wstring slice = text.substr(from, length);
      if (round % 2) {
        text.insert(random.Below(text.size()), slice);  // tags duplicated
      } else {
        text.erase(from, length);
      }
      ParseAndRead(text);
      ++parsed;
    }
  }
  EXPECT_GT(parsed, 3000);
}

TEST(Mutations, NestingOfAHundredThousandLevels) {
  const int kDepth = 100000;
  std::wstring open, close, lone;
  for (int i = 0; i < kDepth; ++i) open += L"<a>", close += L"</a>", lone += L"</b>";

  auto closed = ParseChecked(open + close);
  EXPECT_TRUE(closed->IsWellFormed());
  EXPECT_EQ(closed->GetIndex()[kDepth].Level(), ElementRecord::kLevelMask);

  // Unended at the end of the text: all of them end up as top-level siblings.
  auto unended = ParseChecked(open);
  EXPECT_FALSE(unended->IsWellFormed());
  int top = 0;
  while (unended->FindElement()) ++top;
  EXPECT_EQ(top, kDepth);

  // End tags that match nothing, each compared with a deep open stack.
  auto lonely = ParseChecked(open + lone);
  EXPECT_FALSE(lonely->IsWellFormed());

  // Closing the outermost element closes all the others at once.
  auto outer = ParseChecked(L"<r>" + open + L"</r>");
  EXPECT_EQ(outer->GetIndex()[1].firstChild, 2);

  // Alternating: each end tag closes one unended element above it.
  std::wstring pairs;
  for (int i = 0; i < kDepth / 2; ++i) pairs += L"<a><b>";
  for (int i = 0; i < kDepth / 2; ++i) pairs += L"</a>";
  ParseAndRead(pairs);
}

TEST(Mutations, FiftyMillionCharacters) {
  const size_t kSize = 50u * 1000 * 1000;
  std::vector<std::wstring> docs = RealDocuments();
  Random random{777};
  std::wstring text;
  text.reserve(kSize + 100);
  text += L"<big>";
  while (text.size() < kSize - 6000000) {
    std::wstring piece = docs[random.Below(docs.size())];
    if (random.Below(3) == 0) piece[random.Below(piece.size())] = L'<';
    if (random.Below(5) == 0) piece.resize(random.Below(piece.size()));
    text += piece;
  }
  // One start tag longer than the index can describe.
  text += L"<huge a=\"";
  text.append(kSize - text.size(), L'x');
  text += L"\">";
  auto doc = ParseChecked(text);
  EXPECT_FALSE(doc->IsWellFormed());
  EXPECT_GT(doc->GetFreePos(), 100000);
  EXPECT_LT(doc->GetResultLog().size(), 1200u);
  doc->FindElement();
  doc->GetAttribute(L"a");
}

}  // namespace

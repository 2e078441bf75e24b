#include <gtest/gtest.h>

#include "xml/decode_text.h"
#include "xml/xml_doc.h"
#include "xml_test_util.h"

namespace {

std::wstring Decode(const std::wstring& text, uint32_t flags = 0) {
  return W(DecodeText(static_cast<int32_t>(text.size()), text.c_str(), flags));
}

TEST(DecodeText, ReplacesEntityAndCharacterReferences) {
  EXPECT_EQ(Decode(L"x &lt; y &#65;&#x42;"), L"x < y AB");
  EXPECT_EQ(Decode(L"&amp;&quot;&apos;&gt;&#X43;&#0067;"), L"&\"'>CC");
  EXPECT_EQ(Decode(L"&AMP;&Lt;"), L"&<");  // names fold to lower case
  EXPECT_EQ(Decode(L"&#65x;"), L"A");      // digits end at the first non-digit
}

TEST(DecodeText, CopiesMalformedReferencesAsWritten) {
  for (const wchar_t* text : {L"&nosuch;", L"&;", L"&", L"a & b", L"&amp", L"&#;", L"&#x;", L"&#0;",
                              L"&#-5;", L"&# 65;", L"&abcdefghij;", L"&\u00E9;", L"&#xFFFFFFFF;",
                              L"&#x110000;", L"&#1114112;", L"&lt", L"&&lt"}) {
    EXPECT_EQ(Decode(text), text) << text;
  }
  EXPECT_EQ(Decode(L"&&lt;"), L"&<");
  EXPECT_EQ(Decode(L"&#65"), L"&#65");  // the end of the text comes before ';'
  // Only the given length is decoded.
  EXPECT_EQ(W(DecodeText(3, L"&lt;", 0)), L"&lt");
}

TEST(DecodeText, EncodesCodePointsAboveTheBmpAsSurrogatePairs) {
  EXPECT_EQ(Decode(L"&#x1F600;"), L"\xD83D\xDE00");
  EXPECT_EQ(Decode(L"&#128512;"), L"\xD83D\xDE00");
  EXPECT_EQ(Decode(L"&#x10000;"), L"\xD800\xDC00");
  EXPECT_EQ(Decode(L"&#x10FFFF;"), L"\xDBFF\xDFFF");
  EXPECT_EQ(Decode(L"&#xFFFF;"), L"\xFFFF");
}

TEST(DecodeText, FindsEntitiesOfEveryLengthAndCapitalsFirst) {
  struct Case {
    const wchar_t* name;
    wchar_t code;
  } cases[] = {
      {L"lt", 60},       {L"ne", 8800},      {L"Mu", 924},       {L"mu", 924},
      {L"reg", 174},     {L"yen", 165},      {L"ETH", 208},      {L"eth", 208},
      {L"nbsp", 160},    {L"euro", 8364},    {L"sup2", 178},     {L"sup", 8835},
      {L"apos", 39},     {L"image", 8465},   {L"Prime", 8243},   {L"prime", 8243},
      {L"hArr", 8660},   {L"harr", 8660},    {L"diams", 9830},   {L"Oslash", 216},
      {L"oslash", 216},  {L"dagger", 8225},  {L"Dagger", 8225},  {L"frac34", 190},
      {L"Yuml", 376},    {L"yuml", 376},     {L"alefsym", 8501}, {L"epsilon", 917},
      {L"omicron", 927}, {L"thetasym", 977}, {L"sigmaf", 962},   {L"zwnj", 8204},
      {L"there4", 8756}, {L"lowast", 8727},  {L"fnof", 402},     {L"crarr", 8629},
  };
  for (const Case& c : cases) {
    std::wstring ref = std::wstring(L"&") + c.name + L";";
    EXPECT_EQ(Decode(ref), std::wstring(1, c.code)) << c.name;
  }
  for (const wchar_t* unknown : {L"&ap;", L"&sup4;", L"&thetasy;", L"&thetasyms;", L"&x;"})
    EXPECT_EQ(Decode(unknown), unknown);
}

TEST(DecodeText, TrimsAndCollapsesWhitespaceButNotDecodedReferences) {
  const std::wstring text = L" \t a  b\r\n c \n";
  EXPECT_EQ(Decode(text), text);
  EXPECT_EQ(Decode(text, XmlDoc::TrimWhitespace), L"a  b\r\n c");
  EXPECT_EQ(Decode(text, XmlDoc::CollapseWhitespace), L"a b c");
  EXPECT_EQ(Decode(L"&#32; a &#10;", XmlDoc::CollapseWhitespace), L"  a \n");
  EXPECT_EQ(Decode(L"   ", XmlDoc::TrimWhitespace), L"");
}

}  // namespace

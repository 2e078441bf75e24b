// Encoding names, the converter, UTF-8 by hand, chunk ends and declared
// encodings, checked against Windows' own converters and the name list the
// table is generated from.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "support/wide_text.h"
#include "encoding/text_encoding.h"

namespace {

using Bytes = std::string;

// The name list of the table's generator, read independently of the
// generated buckets: name -> code page.
std::vector<std::pair<std::string, int>> GeneratorNames() {
  std::wstring path = L"Z:" QUELDA_SOURCE_DIR L"/tools/make_code_page_table.py";
  std::string source = ReadFileBytes(path);
  size_t from = source.find("CODE_PAGES = \"\"\"");
  size_t to = source.find("\"\"\"", from + 16);
  std::string list = source.substr(from + 16, to - from - 16);
  std::vector<std::pair<std::string, int>> names;
  list = std::regex_replace(list, std::regex(",\n *"), ", ");
  std::regex line(R"((\d+):([^\n]*))");
  for (std::sregex_iterator it(list.begin(), list.end(), line), end; it != end; ++it) {
    int page = std::stoi((*it)[1]);
    std::string rest = (*it)[2];
    size_t start = 0;
    while (start <= rest.size()) {
      size_t comma = rest.find(',', start);
      std::string name = rest.substr(start, comma == std::string::npos ? comma : comma - start);
      name.erase(0, name.find_first_not_of(" \n"));
      name.erase(name.find_last_not_of(" \n") + 1);
      for (char& c : name) c = c == '|' ? ' ' : c;
      names.emplace_back(name, page);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return names;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(CodePageFromName, EveryNameOfTheListInAnyCase) {
  auto names = GeneratorNames();
  ASSERT_EQ(names.size(), 365u);
  for (const auto& [name, page] : names) {
    std::wstring lower = Widen(name), upper = lower;
    for (wchar_t& c : upper) c = c >= L'a' && c <= L'z' ? c - 32 : c;
    if (upper.compare(0, 6, L"UTF-32") == 0) upper[0] = L'u';  // that case is ours
    EXPECT_EQ(CodePageFromName(lower.c_str()), page) << name;
    EXPECT_EQ(CodePageFromName(upper.c_str()), page) << name;
    // A name is matched whole, never with one more character.
    if (lower.compare(0, 6, L"utf-32") != 0 && lower != L"cp1256") {
      EXPECT_EQ(CodePageFromName((lower + L"x").c_str()), -1) << name;
    }
  }
}

TEST(CodePageFromName, OwnUtf32EmptyUnknownAndLongNames) {
  EXPECT_EQ(CodePageFromName(L"UTF-8"), 65001);
  EXPECT_EQ(CodePageFromName(L"utf-8"), 65001);
  EXPECT_EQ(CodePageFromName(L"UTF-16"), 1200);
  EXPECT_EQ(CodePageFromName(L"UTF-32"), kCodePageUtf32);
  EXPECT_EQ(CodePageFromName(L"UTF-32BE"), kCodePageUtf32);
  EXPECT_EQ(CodePageFromName(L"UTF-32anything"), kCodePageUtf32);
  EXPECT_EQ(CodePageFromName(L"utf-32"), 12000);
  EXPECT_EQ(CodePageFromName(L"Utf-32"), 12000);
  EXPECT_EQ(CodePageFromName(L"utf-32be"), 12001);
  EXPECT_EQ(CodePageFromName(L"cp1256 "), 1256);
  EXPECT_EQ(CodePageFromName(L"shifft_jis"), 932);
  EXPECT_EQ(CodePageFromName(L"nosuch"), -1);
  EXPECT_EQ(CodePageFromName(L"utf-8 "), -1);
  EXPECT_EQ(CodePageFromName(L""), 0);
  EXPECT_EQ(CodePageFromName(nullptr), 0);
  EXPECT_EQ(CodePageFromName(L"\x00E9tf-8"), -1);
  EXPECT_EQ(CodePageFromName(L"\xFFFF\xFFFF\xFFFF"), -1);
  std::wstring longName(99, L'a');
  EXPECT_EQ(CodePageFromName(longName.c_str()), -1);
  longName = L"utf-8" + std::wstring(200, L' ');
  EXPECT_EQ(CodePageFromName(longName.c_str()), -1);
}

Bytes Utf8Of(uint32_t c) {
  unsigned char out[4];
  int n = 0;
  EncodeUtf8Char(c, out, n);
  return Bytes(reinterpret_cast<char*>(out), n);
}

int Decode(const Bytes& bytes, size_t* taken = nullptr) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* start = p;
  int c = DecodeUtf8Char(p, p + bytes.size());
  if (taken) *taken = p - start;
  return c;
}

TEST(Utf8Chars, EncodeAndDecodeAgreeWithWindowsAtEveryLengthBoundary) {
  for (uint32_t c :
       {0x1u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0x20ACu, 0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu}) {
    wchar_t wide[2];
    int units = c < 0x10000 ? 1 : 2;
    if (units == 1) {
      wide[0] = static_cast<wchar_t>(c);
    } else {
      wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      wide[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
    char windows[8];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, units, windows, 8, nullptr, nullptr);
    Bytes ours = Utf8Of(c);
    EXPECT_EQ(ours, Bytes(windows, n)) << std::hex << c;
    int counted = 0;
    EncodeUtf8Char(c, nullptr, counted);
    EXPECT_EQ(counted, n);
    size_t taken = 0;
    EXPECT_EQ(Decode(ours, &taken), static_cast<int>(c));
    EXPECT_EQ(taken, ours.size());
  }
  EXPECT_EQ(Utf8Of(0x110000), "?");
  EXPECT_EQ(Utf8Of(0xFFFFFFFF), "?");
}

TEST(Utf8Chars, RefusesCutAndMisplacedBytesAndAlwaysMoves) {
  size_t taken = 0;
  EXPECT_EQ(Decode("\xE2\x82", &taken), -1);  // cut by the end
  EXPECT_EQ(taken, 2u);
  EXPECT_EQ(Decode("\xE2"
                   "A",
                   &taken),
            -1);  // ASCII where a following byte belongs
  EXPECT_EQ(taken, 1u);
  EXPECT_EQ(Decode("\xF8\x80\x80\x80\x80", &taken), -1);
  EXPECT_EQ(taken, 1u);
  EXPECT_EQ(Decode("\x82\xAC", &taken), -1);  // a following byte cannot lead
  EXPECT_EQ(taken, 1u);
  EXPECT_EQ(Decode("", &taken), -1);
  EXPECT_EQ(taken, 0u);
  // A lead byte where a following byte belongs starts the next character.
  EXPECT_EQ(Decode("\xC3\xE9", &taken), -1);
  EXPECT_EQ(taken, 1u);
}

// Runs a conversion with a capacity and guard bytes after it.
template <typename Unit>
std::vector<Unit> Convert(const wchar_t* from, const void* source, int length, const wchar_t* to,
                          bool* loss = nullptr, int capacity = -1) {
  TextConverter converter(from, source, length);
  int count = converter.Convert(nullptr, to);
  if (capacity < 0) capacity = count;
  std::vector<Unit> out(capacity + 4, static_cast<Unit>(0x5A));
  converter.capacity = capacity;
  int n = capacity ? converter.Convert(out.data(), nullptr) : 0;
  EXPECT_EQ(n, converter.result);
  for (int i = capacity; i < capacity + 4; ++i) EXPECT_EQ(out[i], static_cast<Unit>(0x5A));
  if (loss) *loss = converter.lossFlag;
  out.resize(n < 0 ? 0 : n);
  return out;
}

Bytes AsBytes(const std::vector<char>& v) { return Bytes(v.begin(), v.end()); }

TEST(TextConverter, Utf16ToUtf8AndOtherCodePages) {
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"abc", 3, L"UTF-8")), "abc");
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"\x20AC", 1, L"UTF-8")), "\xE2\x82\xAC");
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"\xD83D\xDE00", 2, L"utf-8")), "\xF0\x9F\x98\x80");
  bool loss = true;
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"\x4E2D\x6587", 2, L"GBK", &loss)),
            "\xD6\xD0\xCE\xC4");
  EXPECT_FALSE(loss);
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"a\x4E2D", 2, L"windows-1252", &loss)), "a?");
  EXPECT_TRUE(loss);
  // UTF-8 takes no loss flag: asking Windows with one would fail the call.
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-16", L"a\x4E2D", 2, L"UTF-8", &loss)), "a\xE4\xB8\xAD");
  EXPECT_FALSE(loss);
}

TEST(TextConverter, ByteEncodingsToUtf16AndBetweenEachOther) {
  std::vector<wchar_t> wide = Convert<wchar_t>(L"gb2312", "\xD6\xD0x", 3, L"UTF-16");
  EXPECT_EQ(std::wstring(wide.begin(), wide.end()), L"\x4E2Dx");
  // Shift_JIS to UTF-8 through UTF-16.
  EXPECT_EQ(AsBytes(Convert<char>(L"Shift_JIS", "\x93\xFA\x96\x7B", 4, L"UTF-8")),
            "\xE6\x97\xA5\xE6\x9C\xAC");
  // Unknown names are the ANSI code page.
  std::vector<wchar_t> ansi = Convert<wchar_t>(L"no-such-name", "abc", 3, L"UTF-16");
  EXPECT_EQ(std::wstring(ansi.begin(), ansi.end()), L"abc");
}

TEST(TextConverter, OwnUtf32BothWaysWithSurrogatesAndBadUnits) {
  const uint32_t points[] = {0x41, 0x20AC, 0x1F600, 0x10FFFF, 0x110000};
  std::vector<wchar_t> wide = Convert<wchar_t>(L"UTF-32", points, 5, L"UTF-16");
  EXPECT_EQ(std::wstring(wide.begin(), wide.end()), L"A\x20AC\xD83D\xDE00\xDBFF\xDFFF?");
  EXPECT_EQ(AsBytes(Convert<char>(L"UTF-32", points, 3, L"UTF-8")),
            "A\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_TRUE(Convert<char>(L"UTF-32", points, 3, L"GBK").empty());

  // A pair combines; a lone surrogate is '?' and the unit after it stays.
  const wchar_t units[] =
      L"\xD83D\xDE00|\xD800"
      L"A|\xDC00\xD800|\xD800";
  std::vector<uint32_t> back = Convert<uint32_t>(L"UTF-16", units, 10, L"UTF-32");
  EXPECT_EQ(back, (std::vector<uint32_t>{0x1F600, '|', '?', 'A', '|', '?', '?', '|', '?'}));

  std::vector<uint32_t> fromUtf8 =
      Convert<uint32_t>(L"UTF-8", "a\xE2\x82\xAC\xFF\xE2\x82", 7, L"UTF-32");
  EXPECT_EQ(fromUtf8, (std::vector<uint32_t>{'a', 0x20AC, '?', '?'}));
  EXPECT_TRUE(Convert<uint32_t>(L"GBK", "ab", 2, L"UTF-32").empty());
}

TEST(TextConverter, CapacityBoundsEveryRowAndZeroOnlyCounts) {
  const uint32_t points[] = {0x1F600, 0x1F600, 0x1F600};
  EXPECT_EQ(Convert<wchar_t>(L"UTF-32", points, 3, L"UTF-16", nullptr, 5).size(), 4u);
  EXPECT_EQ(Convert<char>(L"UTF-32", points, 3, L"UTF-8", nullptr, 7).size(), 4u);
  EXPECT_EQ(Convert<uint32_t>(L"UTF-8", "abcdef", 6, L"UTF-32", nullptr, 2).size(), 2u);
  EXPECT_EQ(Convert<uint32_t>(L"UTF-16", L"abcdef", 6, L"UTF-32", nullptr, 3).size(), 3u);
  EXPECT_EQ(Convert<wchar_t>(L"UTF-16", L"abcdef", 6, L"UTF-16", nullptr, 3).size(), 3u);
  // Windows refuses a destination that is too small rather than cut it.
  EXPECT_EQ(Convert<char>(L"UTF-16", L"abcdef", 6, L"GBK", nullptr, 3).size(), 0u);
  TextConverter counter(L"UTF-16", L"abc", 3);
  char unused[1] = {'z'};
  EXPECT_EQ(counter.Convert(unused, L"UTF-8"), 3);
  EXPECT_EQ(unused[0], 'z');
  TextConverter empty(L"UTF-16", nullptr, 5);
  EXPECT_EQ(empty.Convert(nullptr, L"UTF-8"), 0);
}

// For every cut of a text in an encoding, holding back leaves a prefix that
// converts to a prefix of the whole text and a rest that converts to the rest.
void ExpectEveryCutIsACharacterBoundary(const wchar_t* encoding, const std::wstring& text,
                                        bool byTails = false) {
  ByteStr encoded = WideToBytes(text.c_str(), static_cast<int>(text.size()), encoding, nullptr);
  Bytes bytes(encoded.c_str(), encoded.size());
  ASSERT_FALSE(bytes.empty()) << encoding;
  int page = CodePageFromName(encoding);
  for (size_t cut = 1; cut < bytes.size(); ++cut) {
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    int held = byTails                 ? HeldBackByTails(page, raw, static_cast<int>(cut))
               : page == kCodePageUtf8 ? HeldBackUtf8(raw, static_cast<int>(cut))
                                       : HeldBackCodePage(page, raw, static_cast<int>(cut));
    // Fewer than three agreeing tails leave the end undecided.
    if (byTails && held < 0 && cut < 8) continue;
    ASSERT_GE(held, 0) << encoding << " cut " << cut;
    size_t end = cut - held;
    WStr head = BytesToWide(bytes.data(), static_cast<int>(end), encoding);
    WStr tail = BytesToWide(bytes.data() + end, static_cast<int>(bytes.size() - end), encoding);
    ASSERT_EQ(W(head) + W(tail), text) << encoding << " cut " << cut << " held " << held;
  }
}

const wchar_t kChinese[] = L"<a>\x4E2D\x6587 x\x9F8D\x00B7\x4E00\xFF01</a>";
const wchar_t kJapanese[] = L"<a>\x65E5\x672C\x8A9E \xFF71\x30AB\x30BF\x30AB\x30CA</a>";

TEST(HeldBack, EveryCutOfMultiByteTextsEndsOnACharacter) {
  ExpectEveryCutIsACharacterBoundary(L"UTF-8", L"a\x20AC\x20AC\xD83D\xDE00\x00E9z\x20AC");
  ExpectEveryCutIsACharacterBoundary(L"GBK", kChinese);
  ExpectEveryCutIsACharacterBoundary(L"Shift_JIS", kJapanese);
  ExpectEveryCutIsACharacterBoundary(L"big5", L"\x4E2D\x6587\x5B57 ab");
  ExpectEveryCutIsACharacterBoundary(L"ks_c_5601-1987", L"\xD55C\xAD6D\xC5B4 ab");
  ExpectEveryCutIsACharacterBoundary(L"GB18030", L"\x4E2D\xD83D\xDE00\x20AC a\x00E9\x4E00");
  // The fallback for code pages that shift states, tried on ones that do not.
  ExpectEveryCutIsACharacterBoundary(L"GBK", kChinese, true);
  ExpectEveryCutIsACharacterBoundary(L"Shift_JIS", kJapanese, true);
}

TEST(HeldBack, EachEncodingsOwnRule) {
  auto u8 = [](const char* s) {
    return HeldBackUtf8(reinterpret_cast<const unsigned char*>(s), static_cast<int>(strlen(s)));
  };
  EXPECT_EQ(u8("ab\xE2\x82"), 2);
  EXPECT_EQ(u8("ab\xE2\x82\xAC"), 0);
  EXPECT_EQ(u8("\xE2\x82\xAC\xE2\x82"), 2);  // the completed one before is no start
  EXPECT_EQ(u8("a\xF0\x9F\x98"), 3);
  EXPECT_EQ(u8("a\xF0"), 1);
  EXPECT_EQ(u8("a\xE4&"), 2);  // invalid, but the converter would swallow the '&'
  EXPECT_EQ(u8("a\xE4&'"), 0);
  EXPECT_EQ(u8("a\xE4=\xF0&"), 4);  // holding back the last leaves the one before cut
  EXPECT_EQ(u8("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"), 0);
  EXPECT_EQ(HeldBackUtf16(L"a\xD83D", 2), 2);
  EXPECT_EQ(HeldBackUtf16(L"\xD83D\xDE00", 2), 0);  // a low surrogate completes its pair
  EXPECT_EQ(HeldBackUtf16(L"ab", 2), 0);
  EXPECT_EQ(HeldBackUtf32(10), 2);
  const unsigned char gbk[] = {'a', 0xD6, 0xD0, 0xD6};
  EXPECT_EQ(HeldBackCodePage(936, gbk, 4), 1);
  EXPECT_EQ(HeldBackCodePage(936, gbk, 3), 0);
  const unsigned char gb18030[] = {'a', 0x81, 0x30, 0x81};
  EXPECT_EQ(HeldBackCodePage(54936, gb18030, 4), 3);
  const unsigned char latin[] = {'a', 0xE9, 0xD6};
  EXPECT_EQ(HeldBackCodePage(1252, latin, 3), 0);
  EXPECT_EQ(HeldBackCodePage(874, latin, 3), 0);
}

TEST(Utf8Detection, ValidCutAtAChunkEndAndForeignBytes) {
  auto looks = [](const char* s, bool last) {
    return LooksLikeUtf8(reinterpret_cast<const unsigned char*>(s), static_cast<int>(strlen(s)),
                         last);
  };
  EXPECT_TRUE(looks("plain ascii", true));
  EXPECT_TRUE(looks("caf\xC3\xA9 \xE4\xB8\xAD", true));
  EXPECT_TRUE(looks("caf\xC3\xA9 \xE4\xB8", false));
  EXPECT_FALSE(looks("caf\xC3\xA9 \xE4\xB8", true));
  EXPECT_FALSE(looks("caf\xE9 au lait", false));   // Latin-1
  EXPECT_FALSE(looks("\xD6\xD0\xCE\xC4", false));  // GBK
  EXPECT_FALSE(
      looks("\x80"
            "abc",
            false));
}

TEST(GetDeclaredEncoding, XmlDeclarationAndHtmlMeta) {
  auto declared = [](const wchar_t* text) { return W(GetDeclaredEncoding(text)); };
  EXPECT_EQ(declared(L"<?xml version=\"1.0\" encoding=\"GBK\"?><r/>"), L"GBK");
  EXPECT_EQ(declared(L"<?xml encoding='Shift_JIS' version='1.0'?>"), L"Shift_JIS");
  EXPECT_EQ(declared(L"<?XML version=\"1.0\" standalone=\"yes\" ENCODING=utf-8 ?>"), L"utf-8");
  EXPECT_EQ(declared(L"<?xml version=\"1.0\"?><r encoding=\"x\"/>"), L"");
  EXPECT_EQ(declared(L" <?xml version=\"1.0\" encoding=\"GBK\"?>"), L"");
  EXPECT_EQ(declared(L"<?xml-stylesheet encoding=\"GBK\"?><r/>"), L"");
  EXPECT_EQ(declared(L"<!DOCTYPE html><html><head><title>t</title>"
                     L"<meta name=x content=\"charset=no\">"
                     L"<META HTTP-EQUIV=\"Content-Type\" content=\"text/html; charset=gb2312\">"),
            L"gb2312");
  EXPECT_EQ(declared(L"<html><head></head><meta http-equiv=\"Content-Type\" "
                     L"content=\"text/html; charset=gb2312\"></html>"),
            L"");
  EXPECT_EQ(declared(L"<body><meta http-equiv=\"Content-Type\" content=\"charset=gbk\">"), L"");
  EXPECT_EQ(declared(L"<html><meta http-equiv=\"Content-Type\" content=\"text/html\"><"), L"");
  EXPECT_EQ(declared(L""), L"");
  EXPECT_EQ(declared(nullptr), L"");
  EXPECT_EQ(declared(L"<?xml encoding="), L"");
}

}  // namespace

// Files in many encodings, made by iconv (tools/xml_fixtures), read in
// chunks small enough that characters fall across chunk ends, through the
// file stream alone and through a read-stream document; documents written
// in write-stream mode against the same document written whole.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/test_paths.h"
#include "xml/file_stream.h"
#include "encoding/text_encoding.h"
#include "xml_test_util.h"

namespace {

struct Fixture {
  const char* name;
  const wchar_t* openAs;  // for files that neither mark nor declare their encoding
  const wchar_t* encoding;
};

const Fixture kFixtures[] = {
    {"utf8", nullptr, L"UTF-8"},
    {"utf8_bom", nullptr, L"UTF-8"},
    {"utf8_undeclared", nullptr, L"UTF-8"},
    {"utf16le", nullptr, L"UTF-16LE"},
    {"utf16be", nullptr, L"UTF-16BE"},
    {"gbk", nullptr, L"GBK"},
    {"sjis", nullptr, L"Shift_JIS"},
    {"gb18030", nullptr, L"GB18030"},
    {"utf32", L"UTF-32", L"UTF-32"},
    {"utf32be", L"UTF-32BE", L"UTF-32BE"},
};

std::wstring FixturePath(const char* name, const char* extension) {
  std::string file = std::string(name) + extension;
  return BuildDir() + L"\\xml_fixtures\\" + std::wstring(file.begin(), file.end());
}

std::wstring Reference(const char* name) {
  std::string bytes = ReadFileBytes(FixturePath(name, ".utf16"));
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::wstring ReadAll(FileStream& stream, std::vector<std::wstring>* logs = nullptr) {
  WStr text;
  for (int guard = 0; stream.filePosition < stream.fileSize && guard < 1000000; ++guard) {
    EXPECT_TRUE(stream.ReadChunk(text));
    if (logs) logs->push_back(W(stream.log));
  }
  return W(text);
}

TEST(FileStreamRead, EveryEncodingInSmallChunksGivesIconvsText) {
  for (const Fixture& f : kFixtures) {
    std::wstring reference = Reference(f.name);
    ASSERT_GT(reference.size(), 10000u) << f.name;
    for (int32_t chunk : {16, 20, 36, 100, 4096, 1 << 24}) {
      FileStream stream;
      ASSERT_TRUE(stream.OpenRead(FixturePath(f.name, ".xml").c_str(), f.openAs, chunk)) << f.name;
      std::vector<std::wstring> logs;
      std::wstring text = ReadAll(stream, &logs);
      ASSERT_EQ(text.size(), reference.size()) << f.name << " in chunks of " << chunk;
      EXPECT_TRUE(text == reference) << f.name << " in chunks of " << chunk;
      EXPECT_EQ(W(stream.encoding), f.encoding) << f.name;
      for (const std::wstring& log : logs) {
        ASSERT_EQ(log.compare(0, 15, L"<read encoding="), 0)
            << f.name << ": " << W(WStr(log.c_str()));
        EXPECT_EQ(log.find(L"truncation_error"), std::wstring::npos) << f.name;
        bool bytes = stream.unitSize != 2;
        EXPECT_EQ(log.find(L"<converted_to encoding=\"UTF-16\"") != std::wstring::npos, bytes)
            << f.name;
        EXPECT_EQ(log.find(L"<endian_swap/>") != std::wstring::npos,
                  std::string(f.name).find("be") != std::string::npos);
      }
    }
  }
}

std::wstring MakeFile(const std::wstring& dir, const char* name, const std::string& bytes) {
  std::wstring path = dir + L"\\" + std::wstring(name, name + strlen(name));
  EXPECT_TRUE(WriteFileBytes(path, bytes));
  return path;
}

TEST(FileStreamRead, LogOfEachStepOfAChunk) {
  std::wstring dir = MakeScratchDir(L"stream_logs");
  // Sixteen bytes end inside the euro sign; the zero byte goes.
  const char kNulls[] = "<r>\0abcdefghij\xE2\x82\xAC\xE2\x82\xAC</r>";
  std::string bytes(kNulls, sizeof kNulls - 1);
  FileStream stream;
  ASSERT_TRUE(stream.OpenRead(MakeFile(dir, "nulls.xml", bytes).c_str(), nullptr, 16));
  WStr text;
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(stream.log),
            L"<read encoding=\"UTF-8\" length=\"14\"/><nulls_removed count=\"1\"/>"
            L"<utf8_detection/><converted_to encoding=\"UTF-16\" length=\"13\"/>");
  EXPECT_EQ(stream.filePosition, 14);
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(
      W(stream.log),
      L"<read encoding=\"UTF-8\" length=\"10\"/><converted_to encoding=\"UTF-16\" length=\"6\"/>");
  EXPECT_EQ(W(text), L"<r>abcdefghij\x20AC\x20AC</r>");
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(stream.log), L"<read encoding=\"UTF-8\" length=\"0\"/>");

  // Big-endian UTF-16 with its mark, and a surrogate pair across the chunk end.
  const char kBigEndian[] = "\xFE\xFF\0<\0r\0>\0a\0b\0c\0d\xD8\x3D\xDE\x00\0<\0/\0r\0>";
  std::string be(kBigEndian, sizeof kBigEndian - 1);
  ASSERT_TRUE(stream.OpenRead(MakeFile(dir, "be.xml", be).c_str(), nullptr, 16));
  text.Clear();
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(stream.log), L"<read encoding=\"UTF-16BE\" length=\"7\"/><endian_swap/>");
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(text), L"<r>abcd\xD83D\xDE00</r>");

  // Not UTF-8: the ANSI code page, and detection is not tried again.
  std::string latin = "caf\xE9 " + std::string(40, 'x') + "\xC3\xA9";
  ASSERT_TRUE(stream.OpenRead(MakeFile(dir, "ansi.txt", latin).c_str(), nullptr, 16));
  text.Clear();
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(stream.log),
            L"<read encoding=\"\" length=\"16\"/><utf8_detection/>"
            L"<converted_to encoding=\"UTF-16\" length=\"16\"/>");
  std::wstring rest = ReadAll(stream);
  wchar_t ansi[64];
  int n = MultiByteToWideChar(CP_ACP, 0, latin.data(), static_cast<int>(latin.size()), ansi, 64);
  EXPECT_EQ(W(text) + rest, std::wstring(ansi, n));
  EXPECT_EQ(W(stream.encoding), L"");

  // A code page the system cannot convert: the chunk end is undecided.
  ASSERT_TRUE(
      stream.OpenRead(MakeFile(dir, "jis.txt", std::string(40, 'a')).c_str(), L"iso-2022-jp", 16));
  ASSERT_TRUE(stream.ReadChunk(text));
  if (!IsValidCodePage(50220)) {
    EXPECT_NE(W(stream.log).find(L"<truncation_error encoding=\"iso-2022-jp\"/>"),
              std::wstring::npos);
  }

  // UTF-32 units with zeros in them survive; zero units do not.
  const char kUtf32[] = "A\0\0\0\0\0\0\0\xAC\x20\0\0\0\xF6\x01\0";
  std::string utf32(kUtf32, sizeof kUtf32 - 1);
  ASSERT_TRUE(stream.OpenRead(MakeFile(dir, "utf32.txt", utf32).c_str(), L"UTF-32", 16));
  text.Clear();
  ASSERT_TRUE(stream.ReadChunk(text));
  EXPECT_EQ(W(text), L"A\x20AC\xD83D\xDE00");
  EXPECT_NE(W(stream.log).find(L"<nulls_removed count=\"1\"/>"), std::wstring::npos);
}

TEST(FileStreamRead, FileErrorsAreLoggedAndReportedAsFalse) {
  FileStream stream;
  std::wstring missing = MakeScratchDir(L"stream_missing") + L"\\no such file.xml";
  EXPECT_FALSE(stream.OpenRead(missing.c_str()));
  std::wstring log = W(stream.log);
  EXPECT_EQ(log.compare(0, 17, L"<file_error msg=\""), 0) << std::string(log.begin(), log.end());
  EXPECT_TRUE(log.find(L" n=\"2\"/>") != std::wstring::npos ||
              log.find(L" n=\"3\"/>") != std::wstring::npos);
  EXPECT_EQ(log.find(L'\n'), std::wstring::npos);
  EXPECT_FALSE(stream.IsOpen());
  WStr text;
  EXPECT_TRUE(stream.ReadChunk(text));  // nothing to read
  EXPECT_EQ(W(stream.log), L"<read encoding=\"\" length=\"0\"/>");
  EXPECT_FALSE(stream.OpenWrite((missing + L"\\below a file").c_str()));
  EXPECT_EQ(W(stream.log).compare(0, 17, L"<file_error msg=\""), 0);
  EXPECT_FALSE(stream.WriteText(L"x", 1));
}

// What a reader sees of a document, element by element in document order:
// name, some attributes and, with withParent, whether it has a parent (a
// streaming reader cannot know that an unended element will lose its
// children).
std::vector<std::wstring> Visit(XmlDoc& doc, bool stream, bool withParent = true) {
  std::vector<std::wstring> seen;
  if (stream) {
    while (doc.FindElement()) {
      int32_t pos = doc.GetMainPos();
      int32_t parent = doc.GetIndex()[pos].parent;
      seen.push_back(W(doc.GetTagName(pos)) + L"|" + W(doc.GetAttribute(L"id")) + L"|" +
                     W(doc.GetAttribute(L"name")) + L"|" + W(doc.GetAttribute(L"k")) + L"|" +
                     std::to_wstring(withParent && parent != 0));
    }
    return seen;
  }
  for (int32_t c : DocumentOrder(doc)) {
    XmlDoc probe;  // attributes through a document of the start tag alone
    const ElementRecord& e = doc.GetIndex()[c];
    probe.SetText(W(doc.GetText()).substr(e.start, e.StartTagLength()).c_str());
    probe.FindElement();
    seen.push_back(W(doc.GetTagName(c)) + L"|" + W(probe.GetAttribute(L"id")) + L"|" +
                   W(probe.GetAttribute(L"name")) + L"|" + W(probe.GetAttribute(L"k")) + L"|" +
                   std::to_wstring(withParent && e.parent != 0));
  }
  return seen;
}

TEST(ReadStream, EveryEncodingReadsAsTheWholeTextParses) {
  for (const Fixture& f : kFixtures) {
    auto whole = ParseChecked(Reference(f.name));
    std::vector<std::wstring> expected = Visit(*whole, false);
    ASSERT_GT(expected.size(), 400u);
    for (int32_t chunk : {16, 64, 4096}) {
      FileStream stream;
      ASSERT_TRUE(stream.OpenRead(FixturePath(f.name, ".xml").c_str(), f.openAs, chunk));
      XmlDoc doc;
      ASSERT_TRUE(doc.StartReadStream(stream));
      EXPECT_FALSE(doc.SetText(L"<x/>"));
      EXPECT_FALSE(doc.FindChildElement());
      EXPECT_FALSE(doc.AddElement(L"x"));
      std::vector<std::wstring> seen = Visit(doc, true);
      EXPECT_EQ(seen, expected) << f.name << " in chunks of " << chunk;
      EXPECT_TRUE(doc.IsWellFormed()) << f.name;
      EXPECT_EQ(W(doc.GetResultLog()), L"") << f.name;
      EXPECT_EQ(doc.GetMainPos(), 0);
      EXPECT_TRUE(doc.EndStream());
      EXPECT_EQ(doc.GetText().size(), 0u);
    }
  }
}

TEST(ReadStream, KeepsOnlyTheOpenElementsAndAWindowOfText) {
  FileStream stream;
  ASSERT_TRUE(stream.OpenRead(FixturePath("utf8", ".xml").c_str(), nullptr, 64));
  XmlDoc doc;
  ASSERT_TRUE(doc.StartReadStream(stream));
  size_t longestText = 0;
  int items = 0;
  while (doc.FindElement(L"item")) {
    ++items;
    longestText = std::max(longestText, doc.GetText().size());
    EXPECT_LE(doc.GetFreePos(), 6);
    EXPECT_EQ(W(doc.GetTagName(doc.GetMainPos())), L"item");
    if (items > 10) {
      EXPECT_EQ(W(doc.GetTagName(doc.GetParentPos())), L"");  // long gone
    }
  }
  EXPECT_EQ(items, 400);
  EXPECT_LE(longestText, 300u);
}

TEST(ReadStream, ProblemsAreLoggedAtTheOffsetsOfTheWholeText) {
  std::wstring text = Reference("utf8");
  // A lone end tag, an unended element and broken markup far into the text,
  // each at the start of a line.
  auto lineAfter = [&](size_t at) { return text.find(L"\r\n", at) + 2; };
  text.insert(lineAfter(5003), L"</lone>");
  text.insert(lineAfter(10007), L"<open a='1'>");
  text.insert(lineAfter(15011), L"<!x>");
  std::wstring dir = MakeScratchDir(L"stream_problems");
  ByteStr bytes = WideToBytes(text.c_str(), static_cast<int>(text.size()), L"UTF-8", nullptr);
  std::wstring path = MakeFile(dir, "broken.xml", std::string(bytes.c_str(), bytes.size()));
  auto whole = ParseChecked(text);
  for (int32_t chunk : {16, 100}) {
    FileStream stream;
    ASSERT_TRUE(stream.OpenRead(path.c_str(), nullptr, chunk));
    XmlDoc doc;
    ASSERT_TRUE(doc.StartReadStream(stream));
    EXPECT_EQ(Visit(doc, true), Visit(*whole, false));
    EXPECT_FALSE(doc.IsWellFormed());
    std::wstring log = W(doc.GetResultLog());
    EXPECT_NE(log.find(L"<lone_end_tag tagname=\"lone\""), std::wstring::npos);
    EXPECT_NE(log.find(L"<unended_start_tag tagname=\"open\""), std::wstring::npos);
    EXPECT_NE(log.find(L"<exclamation_tag_syntax"), std::wstring::npos);
    EXPECT_EQ(log, W(whole->GetResultLog()));
  }
}

// The same document, built by the same calls, in write-stream mode and whole.
void BuildDocument(XmlDoc& doc, const std::wstring& sample, int items) {
  ASSERT_TRUE(doc.AddElement(L"catalog", nullptr, XmlDoc::NoEndTag));
  for (int i = 0; i < items; ++i) {
    ASSERT_TRUE(doc.AddElement(L"item", (sample + L" " + std::to_wstring(i)).c_str(),
                               i % 5 == 0 ? XmlDoc::Cdata : 0));
    ASSERT_TRUE(doc.SetAttribute(doc.GetMainPos(), L"id", i));
    ASSERT_TRUE(doc.SetAttribute(doc.GetMainPos(), L"name", sample.substr(0, 3).c_str()));
    if (i % 3 == 0) {
      ASSERT_TRUE(doc.AddElement(L"e", nullptr, XmlDoc::SpaceBeforeSlash));
    }
  }
}

std::wstring WrittenDir() {
  static const std::wstring dir = MakeScratchDir(L"written");
  return dir;
}

TEST(WriteStream, ByteForByteWhatWritingTheWholeDocumentGives) {
  const std::wstring chinese = L"\x4E2D\x6587 & <\x6D4B\x8BD5> \x9F8D\x00B7\x4E00";
  const std::wstring japanese = L"\x65E5\x672C\x8A9E \xFF71\xFF72 \x30AB\x30BF";
  const std::wstring emoji = chinese + L" \x00A9\x20AC\xD83D\xDE00";
  struct Case {
    const char* file;
    const wchar_t* encoding;
    const std::wstring& sample;
  } cases[] = {
      {"utf-8", L"UTF-8", emoji},        {"utf-16le", L"UTF-16", emoji},
      {"utf-16be", L"UTF-16BE", emoji},  {"gbk", L"GBK", chinese},
      {"cp932", L"Shift_JIS", japanese}, {"gb18030", L"GB18030", emoji},
      {"utf-32le", L"UTF-32", emoji},    {"utf-32be", L"UTF-32BE", emoji},
  };
  for (const Case& c : cases) {
    std::wstring file(c.file, c.file + strlen(c.file));
    std::wstring streamed = WrittenDir() + L"\\" + file + L".xml";
    std::wstring whole = WrittenDir() + L"\\" + file + L".whole";
    {
      FileStream stream;
      ASSERT_TRUE(stream.OpenWrite(streamed.c_str(), c.encoding, 256));
      XmlDoc doc;
      ASSERT_TRUE(doc.StartWriteStream(stream));
      EXPECT_FALSE(doc.AddChildElement(L"x"));
      BuildDocument(doc, c.sample, 300);
      EXPECT_LE(doc.GetText().size(), 400u);
      EXPECT_LE(doc.GetFreePos(), 12);
      EXPECT_EQ(IndexProblem(doc), "");
      EXPECT_EQ(W(doc.GetResultLog()).compare(0, 1, L"<"), 0);
      ASSERT_TRUE(doc.EndStream());
      std::wstring log = W(doc.GetResultLog());
      EXPECT_NE(log.find(L"<write encoding=\"" + std::wstring(c.encoding) + L"\""),
                std::wstring::npos);
      EXPECT_EQ(log.find(L"conversion_loss"), std::wstring::npos) << file;
      ASSERT_TRUE(stream.Close());
    }
    XmlDoc doc;
    BuildDocument(doc, c.sample, 300);
    WStr text = doc.GetText();
    text += L"</catalog>";
    {
      FileStream stream;
      ASSERT_TRUE(stream.OpenWrite(whole.c_str(), c.encoding));
      ASSERT_TRUE(stream.WriteText(text.c_str(), text.size()));
      ASSERT_TRUE(stream.Close());
    }
    // The text itself, for the comparison with iconv on the Linux side.
    ASSERT_TRUE(WriteFileBytes(
        WrittenDir() + L"\\" + file + L".utf16",
        std::string(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t))));
    std::string streamedBytes = ReadFileBytes(streamed), wholeBytes = ReadFileBytes(whole);
    EXPECT_GT(streamedBytes.size(), 10000u);
    EXPECT_TRUE(streamedBytes == wholeBytes) << file;
    // And it reads back as the text it was made from.
    FileStream back;
    ASSERT_TRUE(back.OpenRead(streamed.c_str(), c.encoding, 64));
    EXPECT_TRUE(ReadAll(back) == W(text)) << file;
    auto parsed = ParseChecked(W(text));
    EXPECT_TRUE(parsed->IsWellFormed()) << W(parsed->GetResultLog()).size();
  }
}

TEST(WriteStream, ElementsLeftOpenEndInnermostFirst) {
  std::wstring path = WrittenDir() + L"\\open.txt";
  FileStream stream;
  ASSERT_TRUE(stream.OpenWrite(path.c_str(), L"UTF-8", 16));
  XmlDoc doc;
  ASSERT_TRUE(doc.StartWriteStream(stream));
  std::string expected, ends;
  // More open names than the name stack has buckets.
  for (int i = 0; i < 40; ++i) {
    std::string name = "level" + std::to_string(i % 30);
    ASSERT_TRUE(doc.AddElement(std::wstring(name.begin(), name.end()).c_str(), nullptr,
                               XmlDoc::NoEndTag | XmlDoc::NoLineBreak));
    expected += "<" + name + ">";
    ends = "</" + name + ">" + ends;
  }
  EXPECT_LT(doc.GetText().size(), 30u);
  ASSERT_TRUE(doc.EndStream());
  ASSERT_TRUE(stream.Close());
  EXPECT_EQ(ReadFileBytes(path), expected + ends);
  auto parsed = ParseChecked(std::wstring(expected.begin(), expected.end()) +
                             std::wstring(ends.begin(), ends.end()));
  EXPECT_TRUE(parsed->IsWellFormed());
}

TEST(WriteStream, EncodingFromTheDeclarationElseUtf8AndLossReported) {
  std::wstring path = WrittenDir() + L"\\default.txt";
  FileStream stream;
  ASSERT_TRUE(stream.OpenWrite(path.c_str()));
  stream.WriteText(L"<?xml version=\"1.0\" encoding=\"GBK\"?><r>\x4E2D</r>", 44);
  EXPECT_EQ(W(stream.encoding), L"GBK");
  ASSERT_TRUE(stream.Close());
  EXPECT_EQ(ReadFileBytes(path), "<?xml version=\"1.0\" encoding=\"GBK\"?><r>\xD6\xD0</r>");

  ASSERT_TRUE(stream.OpenWrite(path.c_str()));
  XmlDoc doc;
  ASSERT_TRUE(doc.StartWriteStream(stream));
  ASSERT_TRUE(doc.AddElement(L"r", L"\x20AC", XmlDoc::NoLineBreak));
  ASSERT_TRUE(doc.EndStream());
  EXPECT_EQ(W(doc.GetResultLog()),
            L"<converted_from encoding=\"UTF-16\" length=\"8\"/><write encoding=\"UTF-8\" "
            L"length=\"10\"/>");
  ASSERT_TRUE(stream.Close());
  EXPECT_EQ(ReadFileBytes(path), "<r>\xE2\x82\xAC</r>");

  ASSERT_TRUE(stream.OpenWrite(path.c_str(), L"windows-1252"));
  ASSERT_TRUE(stream.WriteText(L"a\x4E2D", 2));
  EXPECT_EQ(W(stream.log),
            L"<converted_from encoding=\"UTF-16\" length=\"2\"/><conversion_loss/>"
            L"<write encoding=\"windows-1252\" length=\"2\"/>");
}

}  // namespace

namespace {

struct Random {
  uint32_t state;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  uint32_t Below(uint32_t n) { return n ? (Next() >> 8) % n : 0; }
};

TEST(Mutations, GarbageInEveryEncodingEndsAndStaysInBounds) {
  std::wstring dir = MakeScratchDir(L"stream_garbage");
  const wchar_t* encodings[] = {nullptr,    L"UTF-8",          L"GBK",         L"Shift_JIS",
                                L"GB18030", L"UTF-16",         L"UTF-16BE",    L"UTF-32",
                                L"big5",    L"ks_c_5601-1987", L"iso-2022-jp", L"nosuch"};
  const char kBytes[] = "<>/=\"'!?-[]&; \r\n\0\x80\x81\xA1\xBF\xC0\xE2\xF0\xFE\xFF\x30\x39";
  Random random{99};
  for (int round = 0; round < 30; ++round) {
    std::string bytes;
    size_t size = random.Below(400);
    for (size_t i = 0; i < size; ++i)
      bytes += random.Below(3) ? kBytes[random.Below(sizeof kBytes - 1)]
                               : static_cast<char>(random.Below(256));
    std::wstring path = MakeFile(dir, "garbage.bin", bytes);
    for (const wchar_t* encoding : encodings) {
      for (int32_t chunk : {16, 20, 36}) {
        FileStream stream;
        ASSERT_TRUE(stream.OpenRead(path.c_str(), encoding, chunk));
        WStr text;
        int chunks = 0;
        while (stream.filePosition < stream.fileSize && chunks <= static_cast<int>(size) + 1) {
          stream.ReadChunk(text);
          ++chunks;
        }
        ASSERT_LE(chunks, static_cast<int>(size) + 1) << "no progress, round " << round;
        EXPECT_LE(text.size(), size);
        // Chunk ends never change what the bytes convert to.
        FileStream once;
        ASSERT_TRUE(once.OpenRead(path.c_str(), encoding, 1 << 20));
        EXPECT_TRUE(ReadAll(once) == W(text))
            << "round " << round << " chunk " << chunk << " "
            << (encoding ? std::string(encoding, encoding + wcslen(encoding)) : "detected");

        ASSERT_TRUE(stream.OpenRead(path.c_str(), encoding, chunk));
        XmlDoc doc;
        ASSERT_TRUE(doc.StartReadStream(stream));
        int found = 0;
        while (doc.FindElement() && found <= static_cast<int>(size)) {
          ++found;
          doc.GetAttribute(L"a");
          doc.GetTagName(doc.GetParentPos());
          EXPECT_LE(doc.GetText().size(), size);
        }
        EXPECT_LE(found, static_cast<int>(size));
      }
    }
  }
}

// Real documents cut short and with markup characters strewn in: in small
// chunks a read-stream document sees what parsing the whole text sees.
TEST(Mutations, DamagedDocumentsStreamAsTheyParse) {
  std::wstring dir = MakeScratchDir(L"stream_damaged");
  std::string original = ReadFileBytes(FixturePath("utf8", ".xml"));
  const char kMarkup[] = "<>/=\"'!?-[]& \n";
  Random random{7};
  for (int round = 0; round < 40; ++round) {
    std::string bytes = original.substr(0, random.Below(static_cast<uint32_t>(original.size())));
    for (int flips = random.Below(12); flips > 0 && !bytes.empty(); --flips)
      bytes[random.Below(static_cast<uint32_t>(bytes.size()))] =
          kMarkup[random.Below(sizeof kMarkup - 1)];
    std::wstring path = MakeFile(dir, "damaged.xml", bytes);
    WStr text = BytesToWide(bytes.data(), static_cast<int>(bytes.size()), L"UTF-8");
    auto whole = ParseChecked(W(text));
    for (int32_t chunk : {16, 52}) {
      FileStream stream;
      ASSERT_TRUE(stream.OpenRead(path.c_str(), nullptr, chunk));
      XmlDoc doc;
      ASSERT_TRUE(doc.StartReadStream(stream));
      ASSERT_EQ(Visit(doc, true, false), Visit(*whole, false, false)) << "round " << round;
      std::wstring expectedLog = W(whole->GetResultLog());
      // Only a whole parse looks for one root element.
      for (const wchar_t* entry : {L"<no_root_element/>", L"<root_has_sibling/>"}) {
        size_t at = expectedLog.find(entry);
        if (at != std::wstring::npos) expectedLog.erase(at, wcslen(entry));
      }
      EXPECT_EQ(W(doc.GetResultLog()), expectedLog) << "round " << round;
      EXPECT_EQ(doc.IsWellFormed(),
                !(whole->GetIndex()[0].flags & ElementRecord::IllFormed) || bytes.empty());
    }
  }
}

}  // namespace

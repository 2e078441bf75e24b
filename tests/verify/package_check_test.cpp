#include "verify/package_check.h"
#include "verify/manifest_fields.h"
#include "verify/version_manifest.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"

namespace {

TEST(PackageCheck, MatchesOnlyWhatTheManifestDeclares) {
  std::wstring path = MakeScratchDir(L"package_check") + L"\\package.zip";
  ASSERT_TRUE(WriteFileBytes(path, "abc"));
  const wchar_t* sha = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  struct Case {
    const wchar_t* size;
    const wchar_t* sha256;
    bool matches;
  } cases[] = {
      {L"", L"", true},
      {L"3", sha, true},
      {L"3", L"", true},
      {L"", sha, true},
      {L"3", L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true},
      {L"4", sha, false},
      {L"2", L"", false},
      {L"3", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae", false},
      // What cannot be read is no declaration the file can meet.
      {L"3 ", sha, false},
      {L"+3", sha, false},
      {L"0x3", L"", false},
      {L"18446744073709551619", L"", false},
      {L"3", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a", false},
      {L"3", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015adff", false},
      {L"3", L"ga7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PackageMatches(path.c_str(), ReadDeclaredFile(c.size, c.sha256)), c.matches)
        << std::string(c.size, c.size + wcslen(c.size)) << " "
        << std::string(c.sha256, c.sha256 + wcslen(c.sha256));
  }
  // Nothing declared asks nothing of the file; a declaration needs one.
  std::wstring missing = path + L".missing";
  EXPECT_TRUE(PackageMatches(missing.c_str(), ReadDeclaredFile(L"", L"")));
  EXPECT_FALSE(PackageMatches(missing.c_str(), ReadDeclaredFile(L"0", L"")));
  EXPECT_FALSE(PackageMatches(missing.c_str(), ReadDeclaredFile(L"", sha)));
}

TEST(ManifestFields, AVersionPartOver255IsNoVersion) {
  auto newest = [](const char* version) {
    std::string text = std::string("<q><files lastversion=\"") + version + "\"/></q>";
    return ReadManifest(ByteStr(text.data(), text.size())).newest;
  };
  EXPECT_EQ(newest("2.5.255.1"), 0x0205FF01u);
  EXPECT_EQ(newest("2.5.300.1"), 0u) << "not 2.5.44.1";
  EXPECT_EQ(newest("2.5.0256"), 0u);
  EXPECT_EQ(newest("2.5.00255"), 0x0205FF00u);
}

}  // namespace

// The worker of a setup built with update keys against sites that the
// tests' keys signed: what each key signed installs, nothing else does, and
// a refusal leaves the installation exactly as it was.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "apply/taken_serial.h"
#include "common/update_server.h"
#include "support/old_installation.h"
#include "support/server_control.h"
#include "support/test_paths.h"
#include "support/worker_run.h"
// The keys QueldaSetupKeyed is built with: the tests' first and second.
#include "update_keys.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class SignedUpdateServerIntegration : public ServerTest {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ServerTest::SetUp();
    run_.UseKeys(&kBuildUpdateKeys);
    InstallChoices& choices = run_.choices();
    choices.desktopLink = choices.programsLink = choices.startupLink = choices.quickLaunchLink =
        false;
    choices.demoDatabase = true;
  }
  void TearDown() override {
    run_.Stop();
    ServerTest::TearDown();
    CoUninitialize();
  }
  // A run of the site given the go-ahead from the start, to its end; with
  // staging, in install mode.
  WorkerReport Run(const std::wstring& folder, const wchar_t* site,
                   const std::wstring& settings = L"", const std::wstring& staging = L"") {
    EXPECT_TRUE(ServerReset() && ServerServe(site, settings));
    run_.Start(folder, staging);
    run_.Proceed();
    EXPECT_TRUE(run_.WaitForEnd());
    std::vector<WorkerReport> reports = run_.reports();
    return reports.empty() ? WorkerReport{} : reports.back();
  }
  std::string Serial(const std::wstring& folder) {
    return ReadFileBytes(folder + L"\\" + kSerialPath);
  }

  WorkerRun run_;
};

TEST_F(SignedUpdateServerIntegration, EachKeysUpdateInstallsAndAnOlderOneDoesNot) {
  std::wstring folder = MakeScratchDir(L"signed_round_trip");
  MakeOldInstallation(folder);
  // Signed by plain openssl with the first key, serial 1000.
  WorkerReport last = Run(folder, L"signed_openssl");
  ASSERT_EQ(last.kind, kStatusFinished) << Narrow(last.text);
  for (const std::wstring& name : ListTree(TestSite(L"app_expected"))) {
    EXPECT_TRUE(ReadFileBytes(folder + name) == ReadFileBytes(TestSite(L"app_expected") + name))
        << Narrow(name);
  }
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.mdb") ==
              ReadFileBytes(TestSite(L"signed_first") + L"\\quelda.mdb"));
  EXPECT_EQ(Serial(folder), "1000\n");

  // The second key's publication, serial 2000.
  last = Run(folder, L"signed_second");
  ASSERT_EQ(last.kind, kStatusFinished) << Narrow(last.text);
  EXPECT_TRUE(ReadFileBytes(folder + L"\\whatsnew.txt") ==
              ReadFileBytes(TestSite(L"signed_second_app") + L"\\whatsnew.txt"));
  EXPECT_EQ(Serial(folder), "2000\n");

  // The first publication again, validly signed but older: in update mode
  // refused before its package is fetched, in install mode at the go-ahead.
  const Tree before = Snapshot(folder);
  wchar_t older[128];
  _snwprintf_s(older, _countof(older), _TRUNCATE, kSerialOlder, L"1000", L"2000");
  std::wstring staging = MakeScratchDir(L"signed_round_trip_staging");
  for (const std::wstring& scratch : {std::wstring(), staging}) {
    last = Run(folder, L"signed_first", L"", scratch);
    EXPECT_EQ(last.id, ReportId::kNotVerified) << Narrow(last.text);
    std::vector<std::wstring> expected = {kManifestUrl, older};
    if (!scratch.empty()) expected.push_back(kInstallationIntact);
    EXPECT_EQ(last.arguments, expected);
    const Tree after = Snapshot(folder);
    EXPECT_TRUE(after == before) << Differences(before, after);
    if (!scratch.empty()) continue;
    for (const LoggedRequest& request : ServerRequests()) {
      EXPECT_EQ(request.path.find("zirorov.zip"), std::string::npos) << "fetched in update mode";
    }
  }
}

TEST_F(SignedUpdateServerIntegration, WhatNoKeyVouchesForLeavesTheInstallationAsItWas) {
  struct Case {
    const wchar_t* site;
    const wchar_t* settings;
    const wchar_t* url;
    const wchar_t* reason;
  } cases[] = {
      {L"signed_changed", L"", kManifestUrl, kSignatureForeign},
      {L"signed_foreign", L"", kManifestUrl, kSignatureForeign},
      // A reply other than 200 is no file, and is named.
      {L"signed_nosig", L"", kSignatureUrl, L"服务器回复的状态为 404，不是所请求的文件。"},
      {L"signed_first", L"fault=notfound&only=quelda.xml", kManifestUrl,
       L"服务器回复的状态为 404，不是所请求的文件。"},
      {L"signed_truncated", L"", kManifestUrl, kSignatureUnreadable},
      {L"signed_undeclared", L"", kManifestUrl, kManifestIncomplete},
      // What went on with version 0.0 before.
      {L"signed_first", L"fault=reset&at=0&only=quelda.xml", kManifestUrl, kManifestUnread},
      {L"signed_mixed", L"", kPackageUrl, kFileNotDeclared},
      {L"signed_altered_mdb", L"", kDatabaseUrl, kFileNotDeclared},
  };
  std::wstring folder = MakeScratchDir(L"signed_refused");
  MakeOldInstallation(folder);
  const Tree before = Snapshot(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.site) + " " + Narrow(c.settings));
    WorkerReport last = Run(folder, c.site, c.settings);
    EXPECT_EQ(last.id, ReportId::kNotVerified) << Narrow(last.text);
    EXPECT_EQ(last.kind, kStatusFailed);
    ASSERT_GE(last.arguments.size(), 2u);
    EXPECT_EQ(last.arguments[0], c.url);
    EXPECT_EQ(last.arguments[1], c.reason);
    const Tree after = Snapshot(folder);
    EXPECT_TRUE(after == before) << Differences(before, after);
  }
}

// A proxy's refusal is named, never taken for the server's answer; a
// manifest and signature compressed by the server verify as they are.
TEST_F(SignedUpdateServerIntegration, ProxyRefusalIsNamedAndCompressionIsRead) {
  std::wstring folder = MakeScratchDir(L"signed_proxy");
  MakeOldInstallation(folder);
  const Tree before = Snapshot(folder);
  {
    StandInProxy proxy;
    ASSERT_TRUE(proxy.set());
    WorkerReport last = Run(folder, L"signed_first", L"proxy=refuse");
    EXPECT_EQ(last.id, ReportId::kNotVerified) << Narrow(last.text);
    EXPECT_EQ(last.arguments, (std::vector<std::wstring>{
                                  kManifestUrl, L"服务器回复的状态为 403，不是所请求的文件。"}));
    const Tree after = Snapshot(folder);
    EXPECT_TRUE(after == before) << Differences(before, after);
  }
  WorkerReport last =
      Run(folder, L"signed_first", L"fault=encoded&coding=gzip&only=quelda.xml,quelda.xml.sig");
  EXPECT_EQ(last.kind, kStatusFinished) << Narrow(last.text);
  EXPECT_EQ(Serial(folder), "1000\n");
}

}  // namespace

// Debian's Wine keeps no access list that a program sets (it reads back one
// of its own), so what is tested is what the setup asks Windows for.
#include "disk/folder_access.h"

#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"

namespace {

std::wstring Text(const WStr& text) { return std::wstring(text.c_str(), text.size()); }

TEST(FolderAccess, TheInstallFolderIsTheUsersAlone) {
  WStr sid = CurrentUserSid();
  ASSERT_EQ(Text(sid).rfind(L"S-1-", 0), 0u) << Text(sid);
  WStr sddl = InstallFolderSddl(sid);
  // Protected, inherited by all below; the user, SYSTEM and Administrators
  // in full, Users read and execute, nobody else at all.
  EXPECT_EQ(Text(sddl), L"D:P(A;OICI;FA;;;" + Text(sid) +
                            L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GRGX;;;BU)");
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  EXPECT_EQ(dacl->AceCount, 4);
  LocalFree(descriptor);
}

TEST(FolderAccess, AFolderMadeForTheInstallationAndItsParents) {
  std::wstring root = MakeScratchDir(L"folder_access");
  std::wstring folder = root + L"\\Programs\\Quelda Manager";
  ASSERT_TRUE(MakeInstallFolder(folder.c_str()));
  DWORD attributes = GetFileAttributesW(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // One that is there is left as it is.
  EXPECT_TRUE(MakeInstallFolder(folder.c_str()));
  EXPECT_FALSE(MakeInstallFolder(L""));
}

}  // namespace

#pragma once

#include "common/str.h"

// The access list of an install folder that the setup creates: protected
// from its parent's inheritance (a drive's root lets every authenticated
// user change what is made below it, so on a computer a class shares any
// other user could replace Quelda.exe), full control for the installing
// user, SYSTEM and Administrators, read and execute for Users, nothing for
// anybody else. Inherited by everything made in it.
WStr InstallFolderSddl(const WStr& userSid);

// The calling user's SID as text ("S-1-5-21-..."); empty when it cannot
// be read.
WStr CurrentUserSid();

// Makes the install folder, its missing parents as they come and the
// folder itself with InstallFolderSddl for the current user; a folder that
// is there keeps its own access list. A last component with a dot is taken
// for a file's name, as by EnsureFolder: only its parents are made. True
// when the folder (or that parent) exists.
bool MakeInstallFolder(const wchar_t* folder);

#pragma once

// The update server's host comes from the build (QUELDA_UPDATE_HOST); its
// paths are fixed.
#include "update_host.h"

constexpr wchar_t kManifestUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/quelda.xml";
constexpr wchar_t kPackageUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/zirorov.zip";
constexpr wchar_t kDatabaseUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/quelda.mdb";

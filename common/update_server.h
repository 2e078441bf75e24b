#pragma once

// The update server's host comes from the build (QUELDA_UPDATE_HOST); its
// paths are fixed.
#include "update_host.h"

constexpr wchar_t kManifestUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/quelda.xml";
// The manifest's signature by the vendor (DER, as openssl writes it).
constexpr wchar_t kSignatureUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/quelda.xml.sig";
constexpr wchar_t kPackageUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/zirorov.zip";
constexpr wchar_t kDatabaseUrl[] =
    L"https://" QUELDA_UPDATE_HOST L"/zaradizazavor/download/quelda.mdb";

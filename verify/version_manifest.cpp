#include "verify/version_manifest.h"

#include <windows.h>

#include "common/text_convert.h"
#include "xml/xml_doc.h"

Manifest ReadManifest(const ByteStr& bytes) {
  WStr text = MultiByteToWide(bytes, CP_UTF8);
  XmlDoc doc;
  doc.SetText(text.c_str());
  Manifest manifest;
  if (!doc.FindChildElement(L"files")) return manifest;
  manifest.newest = ParseVersion(doc.GetChildAttribute(L"lastversion").c_str());
  manifest.packageSize = doc.GetChildAttribute(L"size");
  manifest.packageSha256 = doc.GetChildAttribute(L"sha256");
  manifest.databaseSize = doc.GetChildAttribute(L"mdbsize");
  manifest.databaseSha256 = doc.GetChildAttribute(L"mdbsha256");
  manifest.serial = doc.GetChildAttribute(L"serial");
  return manifest;
}

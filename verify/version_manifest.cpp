#include "verify/version_manifest.h"

#include <windows.h>

#include "common/number_text.h"
#include "common/text_convert.h"
#include "verify/manifest_fields.h"
#include "xml/xml_doc.h"

Manifest ReadManifest(const ByteStr& bytes) {
  WStr text = MultiByteToWide(bytes, CP_UTF8);
  XmlDoc doc;
  doc.SetText(text.c_str());
  Manifest manifest;
  if (!doc.FindChildElement(L"files")) return manifest;
  WStr version = doc.GetChildAttribute(L"lastversion");
  // A part over 255 makes the version unreadable: 0, as a manifest without one.
  manifest.newest = VersionPartsFit(version) ? ParseVersion(version.c_str()) : 0;
  manifest.package =
      ReadDeclaredFile(doc.GetChildAttribute(L"size"), doc.GetChildAttribute(L"sha256"));
  manifest.database =
      ReadDeclaredFile(doc.GetChildAttribute(L"mdbsize"), doc.GetChildAttribute(L"mdbsha256"));
  manifest.serialRead = ParseDecimal64(doc.GetChildAttribute(L"serial"), &manifest.serial);
  return manifest;
}

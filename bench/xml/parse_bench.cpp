// Parse throughput and index memory of XmlDoc for a generated 20 MB document
// of many small elements, against loading the same text with MSXML's DOM
// (Wine's msxml, loadXML) in the same run. Prints both and their ratios; the
// goal is a speed ratio of at least 1 and far less memory than the DOM.
#include <windows.h>

#include "support/clock.h"
#include <msxml2.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace {

// IXMLDOMDocument, spelt out so that no import library has to provide it.
const IID kIidXmlDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

double Now() { return MillisecondsNow() / 1000.0; }

// Committed private memory of the process, from its address space.
size_t CommittedBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;
       p = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<char*>(info.BaseAddress) + info.RegionSize < p) break;
  }
  return total;
}

// Many small elements, as a manifest or a log of many entries would hold.
std::wstring MakeDocument(size_t characters, size_t* elements) {
  std::wstring text = L"<?xml version=\"1.0\"?>\n<catalog>\n";
  size_t count = 1;
  wchar_t line[160];
  for (unsigned i = 0; text.size() < characters; ++i) {
    int n;
    switch (i % 4) {
      case 0:
        n = swprintf(line, 160, L"<item id=\"%u\" name=\"n%u\"><v>%u</v></item>\n", i, i, i * 7);
        count += 2;
        break;
      case 1:
        n = swprintf(line, 160, L"<e a=\"%u\"/>\n", i);
        count += 1;
        break;
      case 2:
        n = swprintf(line, 160, L"<note lang='en'>x &amp; y %u</note>\n", i);
        count += 1;
        break;
      default:
        n = swprintf(line, 160, L"<f k=\"v\" l=\"%u\"/><g/>\n", i);
        count += 2;
        break;
    }
    text.append(line, n);
  }
  text += L"</catalog>\n";
  *elements = count;
  return text;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 5;
  if (rounds < 1) rounds = 1;
  size_t elements = 0;
  std::wstring text = MakeDocument(20u * 1000 * 1000, &elements);
  const double megabytes = text.size() / 1e6;  // characters of text
  BSTR bstr = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)) &&
      FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid))) {
    fprintf(stderr, "no MSXML DOM document class\n");
    return 1;
  }

  std::vector<double> oursTimes, domTimes;
  size_t oursMemory = 0, domMemory = 0, indexBytes = 0;
  int32_t indexed = 0;
  bool wellFormed = false;
  for (int round = 0; round < rounds; ++round) {
    {
      size_t before = CommittedBytes();
      double start = Now();
      XmlDoc doc;
      wellFormed = doc.SetText(text.c_str());
      oursTimes.push_back(Now() - start);
      // Beside the text copy the document keeps.
      oursMemory = CommittedBytes() - before - doc.GetText().size() * sizeof(wchar_t);
      indexBytes = doc.GetIndex().Bytes();
      indexed = doc.GetFreePos() - 1;
    }
    {
      IXMLDOMDocument* dom = nullptr;
      if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument,
                                  reinterpret_cast<void**>(&dom)))) {
        fprintf(stderr, "cannot create the MSXML DOM document\n");
        return 1;
      }
      dom->put_async(VARIANT_FALSE);
      size_t before = CommittedBytes();
      double start = Now();
      VARIANT_BOOL ok = VARIANT_FALSE;
      HRESULT hr = dom->loadXML(bstr, &ok);
      domTimes.push_back(Now() - start);
      domMemory = CommittedBytes() - before;
      if (FAILED(hr) || ok != VARIANT_TRUE) {
        fprintf(stderr, "MSXML did not load the document (0x%lX)\n", hr);
        return 1;
      }
      dom->Release();
    }
  }
  SysFreeString(bstr);
  CoUninitialize();

  double ours = megabytes / Median(oursTimes);
  double dom = megabytes / Median(domTimes);
  printf("document: %.1f M characters, %zu elements (indexed %d, well formed %s)\n", megabytes,
         elements, indexed, wellFormed ? "yes" : "no");
  printf("parse throughput: XmlDoc %.1f MB/s, MSXML DOM %.1f MB/s, ratio %.2f (goal >= 1)\n", ours,
         dom, ours / dom);
  printf(
      "memory beside the text: XmlDoc %.1f MB (index %.1f MB, %.1f bytes an element), "
      "MSXML DOM %.1f MB, ratio %.2f (DOM / XmlDoc)\n",
      oursMemory / 1e6, indexBytes / 1e6, static_cast<double>(indexBytes) / elements,
      domMemory / 1e6, static_cast<double>(domMemory) / (oursMemory ? oursMemory : 1));
  return indexed == static_cast<int32_t>(elements) && wellFormed ? 0 : 2;
}

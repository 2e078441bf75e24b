#include "xml/node_scanner.h"
#include "encoding/text_encoding.h"
#include "xml/token_cursor.h"
#include "xml/xml_doc.h"
#include "xml/xml_names.h"

namespace {

bool SameIgnoringCase(const wchar_t* a, int n, const wchar_t* b) {
  for (int i = 0; i < n; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x += 32;
    if (y >= L'A' && y <= L'Z') y += 32;
    if (x != y || !y) return false;
  }
  return b[n] == 0;
}

// The tag name of a node is the scanner's last name token.
bool NameIs(const NodeScanner& scanner, const wchar_t* name) {
  return SameIgnoringCase(scanner.text + scanner.nameStart, scanner.nameEnd - scanner.nameStart + 1,
                          name);
}

WStr Attribute(const NodeScanner& scanner, const NodeInfo& node, const wchar_t* name) {
  TokenCursor cursor(scanner.text, node.start + 1, node.start + node.length, XmlDoc::IgnoreCase);
  if (!cursor.FindAttribute(name)) return WStr();
  return WStr(scanner.text + cursor.tokenStart, cursor.TokenLength());
}

// "text/html; charset=gbk": the token after "charset" and "=".
WStr CharsetOf(const WStr& content) {
  TokenCursor cursor(content.c_str(), 0, static_cast<int32_t>(content.size()), 0);
  int step = 0;
  while (cursor.NextToken()) {
    const wchar_t* token = content.c_str() + cursor.tokenStart;
    int n = cursor.TokenLength();
    if (step == 2) return WStr(token, n);
    if (step == 1) {
      step = n == 1 && token[0] == L'=' ? 2 : 0;
    }
    if (step == 0 && SameIgnoringCase(token, n, L"charset")) step = 1;
  }
  return WStr();
}

}  // namespace

WStr GetDeclaredEncoding(const wchar_t* text) {
  if (!text) return WStr();
  NodeScanner scanner(text, static_cast<int32_t>(WStr::Length(text)), XmlDoc::IgnoreCase);
  NodeInfo node;
  NodeKind kind = scanner.NextNode(node);
  if (kind == NodeKind::ProcessingInstruction && node.start == 0 && NameIs(scanner, L"xml")) {
    TokenCursor cursor(text, 2, node.length, XmlDoc::IgnoreCase);
    if (!cursor.FindAttribute(L"encoding")) return WStr();
    return WStr(text + cursor.tokenStart, cursor.TokenLength());
  }
  bool inHtml = false;
  for (; kind != NodeKind::EndOfDocument && kind != NodeKind::SyntaxError;
       kind = scanner.NextNode(node)) {
    if (kind == NodeKind::EndTag && NameIs(scanner, L"head")) break;
    if (kind != NodeKind::Element) continue;
    if (!inHtml) {
      if (!NameIs(scanner, L"html")) break;
      inHtml = true;
      continue;
    }
    if (!NameIs(scanner, L"meta")) continue;
    WStr equiv = Attribute(scanner, node, L"http-equiv");
    if (!SameIgnoringCase(equiv.c_str(), static_cast<int>(equiv.size()), L"content-type")) continue;
    WStr charset = CharsetOf(Attribute(scanner, node, L"content"));
    if (!charset.empty()) return charset;
  }
  return WStr();
}

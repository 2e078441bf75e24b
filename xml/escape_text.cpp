#include "xml/escape_text.h"

namespace {

bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

bool IsReferenceChar(wchar_t c) {
  return c == L'-' || c == L'.' || (c >= L'0' && c <= L'9') || c == L':' || c == L'_' ||
         IsLetter(c) || c > 127;
}

// Length of the reference that begins with the '&' at t, up to its ';'; 0
// when there is none.
size_t ReferenceLength(const wchar_t* t) {
  wchar_t c = t[1];
  if (!(c == L'#' || c == L':' || c == L'_' || IsLetter(c) || c > 127)) return 0;
  for (size_t i = 2; t[i]; ++i) {
    if (t[i] == L';') return i + 1;
    if (!IsReferenceChar(t[i])) return 0;
  }
  return 0;
}

}  // namespace

void AppendEscaped(WStr& out, const wchar_t* text, unsigned options) {
  for (size_t i = 0; text[i]; ++i) {
    wchar_t c = text[i];
    switch (c) {
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      case L'&': {
        size_t reference = (options & kKeepReferences) ? ReferenceLength(text + i) : 0;
        if (reference) {
          out.Append(text + i, reference);
          i += reference - 1;
        } else {
          out += L"&amp;";
        }
        break;
      }
      case L'"':
        out += (options & kEscapeQuotes) ? L"&quot;" : L"\"";
        break;
      case L'\'':
        out += (options & kEscapeQuotes) ? L"&apos;" : L"'";
        break;
      default:
        out += c;
    }
  }
}

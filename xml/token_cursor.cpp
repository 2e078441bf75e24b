#include "xml/token_cursor.h"

#include "xml/xml_doc.h"
#include "xml/xml_names.h"

namespace {

bool IsTokenStop(wchar_t c) {
  switch (c) {
    case L'\t':
    case L'\n':
    case L'\r':
    case L' ':
    case L'!':
    case L'"':
    case L'\'':
    case L'/':
    case L';':
    case L'<':
    case L'=':
    case L'>':
    case L'?':
    case L'\\':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TokenCursor::Skip() {
  while (next < end && IsXmlSpace(text[next])) ++next;
  tokenStart = next;
  tokenEnd = next - 1;
  return next < end;
}

bool TokenCursor::NextToken() {
  if (!Skip()) return false;
  if (IsTokenStop(text[next])) {
    ++next;
  } else {
    while (next < end && !IsTokenStop(text[next])) ++next;
  }
  tokenEnd = next - 1;
  return true;
}

bool TokenCursor::FindAttribute(const wchar_t* name) {
  bool ignoreCase = (flags & XmlDoc::IgnoreCase) != 0;
  int32_t counter = -1;
  int32_t foundStart = -1, foundEnd = 0;  // the matched name; foundEnd 0 = none
  bool afterEquals = false;
  auto matchedName = [&]() {
    tokenStart = foundStart;
    tokenEnd = foundEnd - 1;
    flags &= ~QuotedToken;
    return true;
  };
  for (;;) {
    int32_t spaceStart = next;
    if (!Skip()) {
      if (!foundEnd) return false;
      if (afterEquals) return true;  // the empty token here is the value
      return matchedName();
    }
    wchar_t c = text[next];
    if (c == L'"' || c == L'\'') {
      int32_t close = next + 1;
      while (close < end && text[close] != c) ++close;
      tokenStart = next + 1;
      tokenEnd = close - 1;
      next = close < end ? close + 1 : end;
      flags |= QuotedToken;
      if (afterEquals) {
        if (foundEnd) return true;
        afterEquals = false;
      } else if (foundEnd) {
        return matchedName();
      }
      continue;
    }
    flags &= ~QuotedToken;
    int32_t start = next;
    if (afterEquals) {
      while (next < end && !IsXmlSpace(text[next]) && text[next] != L'>') ++next;
    } else {
      while (next < end && !IsXmlSpace(text[next]) && text[next] != L'/' && text[next] != L'=' &&
             text[next] != L'>' && text[next] != L'?')
        ++next;
    }
    if (next == start) ++next;
    tokenStart = start;
    tokenEnd = next - 1;
    if (afterEquals) {
      if (foundEnd) return true;
      afterEquals = false;
      continue;
    }
    int32_t length = next - start;
    wchar_t first = text[start];
    if (length == 1 && first == L'=') {
      afterEquals = true;
      continue;
    }
    if (length == 1 && (first == L'>' || first == L'/' || first == L'?')) {
      next = start;
      if (!foundEnd) return false;
      return matchedName();
    }
    if (foundEnd) return matchedName();
    if (++counter == 0) continue;  // the tag name
    if (!name) return true;
    if (CompareNames(text + start, name, length, ignoreCase)) {
      foundStart = start;
      foundEnd = next;
      attributeStart = start;
      whitespaceBefore = spaceStart;
    }
  }
}

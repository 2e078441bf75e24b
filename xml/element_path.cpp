#include "xml/element_path.h"

#include "xml/xml_names.h"

namespace {

void SkipName(const wchar_t* t, int32_t& i) {
  while (!IsPathNameEnd(t[i])) ++i;
}

}  // namespace

ElementPath::ElementPath(const wchar_t* path, bool forbid)
    : forbidChildPredicates(forbid), text(path) {
  if (!path || !*path) return;
  const wchar_t* t = path;
  int32_t& i = cursor;
  if (t[0] == L'/' && t[1] == L'/') {
    kind = Anywhere;
    i = 2;
  } else if (t[0] == L'/') {
    kind = Absolute;
    i = 1;
  } else {
    kind = Relative;
  }
  firstStep = i;
  for (;;) {
    int32_t step = i;
    SkipName(t, i);
    if (i == step) break;  // an empty step
    while (t[i] == L'[') {
      ++i;
      if (!Predicate()) {
        kind = Invalid;
        return;
      }
    }
    if (t[i] == 0) return;
    if (t[i] != L'/' || kind == Anywhere) break;
    ++i;
    if (t[i] == L'@') {
      attributeStep = i++;
      int32_t name = i;
      SkipName(t, i);
      if (i > name && t[i] == 0) return;
      break;
    }
  }
  kind = Invalid;
}

// After '[': an index, "@name", "@name=value" (quoted or not) or a child
// name, closed by ']'.
bool ElementPath::Predicate() {
  const wchar_t* t = text;
  int32_t& i = cursor;
  if (t[i] >= L'1' && t[i] <= L'9') {
    while (t[i] >= L'0' && t[i] <= L'9') ++i;
  } else if (t[i] == L'@') {
    int32_t name = ++i;
    SkipName(t, i);
    if (i == name) return false;
    if (t[i] == L'=') {
      ++i;
      wchar_t quote = t[i];
      if (quote == L'\'' || quote == L'"') {
        int32_t value = ++i;
        while (t[i] && t[i] != quote) ++i;
        if (!t[i]) return false;
        quotedValueLength = i - value;
        ++i;
      } else {
        while (t[i] && t[i] != L']') ++i;
      }
    }
  } else {
    if (forbidChildPredicates) return false;
    int32_t name = i;
    SkipName(t, i);
    if (i == name) return false;
  }
  if (t[i] != L']') return false;
  ++i;
  return true;
}

#pragma once

#include <stdint.h>

// Walks the tokens of a tag: names, '=', quoted and unquoted values. The
// text is read up to end only (a tag's end, or the end of the text).
class TokenCursor {
 public:
  static constexpr uint32_t QuotedToken = 0x8000;

  TokenCursor(const wchar_t* text, int32_t start, int32_t end, uint32_t docFlags)
      : next(start), text(text), end(end), flags(docFlags) {}

  // Moves over whitespace; the token becomes empty there. True when a
  // character remains.
  bool Skip();
  // The next token: a run of name characters, or one special character.
  bool NextToken();
  // Looks for an attribute from the tag name on; on success the token is its
  // value (the name itself for an attribute without one). A null name finds
  // the first attribute's name.
  bool FindAttribute(const wchar_t* name);

  int32_t TokenLength() const { return tokenEnd - tokenStart + 1; }

  int32_t tokenStart = 0;
  int32_t tokenEnd = -1;  // inclusive
  int32_t next;
  const wchar_t* text;
  int32_t end;
  uint32_t flags;
  int32_t attributeStart = -1;    // start of the matched attribute name
  int32_t whitespaceBefore = -1;  // where the whitespace before it began
};

#include "xml/decode_text.h"
#include "xml/element_path.h"
#include "xml/token_cursor.h"
#include "xml/xml_doc.h"
#include "xml/xml_names.h"

bool XmlDoc::StartTagCursor(int32_t pos, TokenCursor* cursor) const {
  if (!IsElementPos(pos)) return false;
  const ElementRecord& e = index_[pos];
  uint64_t end = uint64_t(e.start) + e.StartTagLength();
  if (end > text_.size() || e.StartTagLength() == 0) return false;
  // Attributes are read inside the start tag only, never out of the
  // content that follows a malformed one.
  *cursor = TokenCursor(text_.c_str(), static_cast<int32_t>(e.start) + 1, static_cast<int32_t>(end),
                        flags_);
  return true;
}

bool XmlDoc::NameMatches(int32_t pos, const wchar_t* step) const {
  TokenCursor cursor(text_.c_str(), 0, 0, flags_);
  if (!StartTagCursor(pos, &cursor) || !cursor.NextToken()) return false;
  return CompareNames(text_.c_str() + cursor.tokenStart, step, cursor.TokenLength(),
                      (flags_ & IgnoreCase) != 0);
}

int32_t XmlDoc::FindCore(int32_t parent, int32_t after, const wchar_t* name) const {
  ElementPath path(name);
  if (path.kind != ElementPath::NoName && path.kind != ElementPath::Relative) return 0;
  int32_t candidate = after ? index_[after].next : index_[parent].firstChild;
  if (path.kind == ElementPath::NoName) return candidate;
  const wchar_t* step = path.text + path.firstStep;
  for (; candidate; candidate = index_[candidate].next) {
    if (NameMatches(candidate, step)) return candidate;
  }
  return 0;
}

bool XmlDoc::FindElement(const wchar_t* name) {
  if ((flags_ & WriteStream) || index_.count() == 0 || freePos_ == 0) return false;
  if ((flags_ & ReadStream) && reader_) return FindNextInStream(name);
  int32_t found = FindCore(parentPos_, mainPos_, name);
  if (!found) return false;
  SetMainElement(found);
  return true;
}

void XmlDoc::SetMainElement(int32_t found) {
  mainPos_ = found;
  parentPos_ = index_[found].parent;
  childPos_ = 0;
  nodeOffset_ = nodeLength_ = 0;
  nodeKind_ = 1;
}

bool XmlDoc::FindChildElement(const wchar_t* name) {
  if (flags_ & (ReadStream | WriteStream)) return false;
  if (index_.count() == 0 || freePos_ == 0) return false;
  if (!mainPos_) FindElement(nullptr);
  int32_t found = FindCore(mainPos_, childPos_, name);
  if (!found) return false;
  childPos_ = found;
  mainPos_ = index_[found].parent;
  parentPos_ = index_[mainPos_].parent;
  nodeOffset_ = nodeLength_ = 0;
  nodeKind_ = mainPos_ ? 1 : 0;
  return true;
}

WStr XmlDoc::ReadAttribute(int32_t pos, const wchar_t* name) const {
  TokenCursor cursor(text_.c_str(), 0, 0, flags_);
  if (nodeKind_ != 1 || !name || !StartTagCursor(pos, &cursor)) return WStr();
  if (!cursor.FindAttribute(name)) return WStr();
  return DecodeText(cursor.TokenLength(), text_.c_str() + cursor.tokenStart, flags_);
}

WStr XmlDoc::GetAttribute(const wchar_t* name) const { return ReadAttribute(mainPos_, name); }

WStr XmlDoc::GetChildAttribute(const wchar_t* name) const { return ReadAttribute(childPos_, name); }

WStr XmlDoc::GetTagName(int32_t pos) const {
  TokenCursor cursor(text_.c_str(), 0, 0, flags_);
  if (!StartTagCursor(pos, &cursor) || !cursor.NextToken()) return WStr();
  return WStr(text_.c_str() + cursor.tokenStart, cursor.TokenLength());
}

#include <stdio.h>

#include "xml/escape_text.h"
#include "xml/file_stream.h"
#include "xml/token_cursor.h"
#include "xml/xml_doc.h"
#include "xml/xml_names.h"

namespace {

// A name with any of these would end its tag early or break the markup; an
// element name must also begin the way the parser expects a start tag to.
bool IsWritableName(const wchar_t* name, bool element) {
  if (!name || !name[0]) return false;
  wchar_t first = name[0];
  if (element &&
      !(first > 0x60 || (first >= L'A' && first <= L'Z') || first == L'_' || first == L':'))
    return false;
  for (const wchar_t* p = name; *p; ++p) {
    // The characters that end a token when names are read back, and those
    // that end a step of a path.
    switch (*p) {
      case L'<':
      case L'>':
      case L'/':
      case L'=':
      case L'"':
      case L'\'':
      case L'&':
      case L'?':
      case L'!':
      case L';':
      case L'\\':
      case L'[':
      case L']':
        return false;
      default:
        if (IsXmlSpace(*p)) return false;
    }
  }
  return true;
}

WStr CdataSection(const wchar_t* value) {
  WStr out = L"<![CDATA[";
  for (const wchar_t* p = value; *p; ++p) {
    if (p[0] == L']' && p[1] == L']' && p[2] == L'>') {
      out += L"]]]]><![CDATA[>";
      p += 2;
    } else {
      out += *p;
    }
  }
  out += L"]]>";
  return out;
}

}  // namespace

WStr XmlDoc::EncodeText(int options, const wchar_t* text) {
  WStr out;
  if (!text) return out;
  size_t length = WStr::Length(text);
  out.Reserve(length + length / 10 + 7);
  AppendEscaped(out, text,
                ((options & AttributeValue) ? unsigned(kEscapeQuotes) : 0u) |
                    ((options & KeepReferences) ? unsigned(kKeepReferences) : 0u));
  return out;
}

bool XmlDoc::Splice(uint32_t offset, uint32_t removed, const WStr& inserted) {
  size_t size = text_.size();
  size_t grown = size - removed + inserted.size();
  if (grown > 0x7FFFFFFF || offset + removed > size) return false;
  if (grown > size && !text_.Resize(grown)) return false;
  wchar_t* d = text_.data();
  memmove(d + offset + inserted.size(), d + offset + removed,
          (size - offset - removed) * sizeof(wchar_t));
  memcpy(d + offset, inserted.c_str(), inserted.size() * sizeof(wchar_t));
  if (grown < size) text_.Resize(grown);
  return true;
}

// After an edit of delta characters at pos (inside its start tag when
// insidePos): the element and its ancestors grow, and everything after the
// edit point moves, descendants of pos included.
void XmlDoc::ShiftAfter(int32_t pos, int32_t delta, bool insidePos) {
  auto shiftSubtree = [&](int32_t root) {
    for (int32_t c = root;;) {
      index_[c].start += static_cast<uint32_t>(delta);
      if (index_[c].firstChild) {
        c = index_[c].firstChild;
        continue;
      }
      while (c != root && !index_[c].next) c = index_[c].parent;
      if (c == root) break;
      c = index_[c].next;
    }
  };
  if (insidePos) {
    index_[pos].length += static_cast<uint32_t>(delta);
    for (int32_t c = index_[pos].firstChild; c; c = index_[c].next) shiftSubtree(c);
  }
  for (int32_t x = pos; x; x = index_[x].parent) {
    for (int32_t s = index_[x].next; s; s = index_[s].next) shiftSubtree(s);
    if (index_[x].parent) index_[index_[x].parent].length += static_cast<uint32_t>(delta);
  }
  index_[0].length += static_cast<uint32_t>(delta);
}

bool XmlDoc::AddElement(const wchar_t* name, const wchar_t* value, int options) {
  return AddNode(name, value, options & ~AsChild);
}

bool XmlDoc::AddChildElement(const wchar_t* name, const wchar_t* value, int options) {
  if (!mainPos_ || (flags_ & WriteStream)) return false;
  return AddNode(name, value, options | AsChild);
}

bool XmlDoc::AddNode(const wchar_t* name, const wchar_t* value, int options) {
  if ((flags_ & ReadStream) || freePos_ == 0 || !IsWritableName(name, true)) return false;
  const bool hasValue = value && *value;
  if ((options & NoEndTag) && hasValue) return false;
  const bool asChild = (options & AsChild) != 0;
  const bool breaks = !(options & NoLineBreak);
  int32_t parent = asChild ? mainPos_ : parentPos_;
  int32_t main = asChild ? childPos_ : mainPos_;
  if ((parent && !IsElementPos(parent)) || (main && !IsElementPos(main))) return false;

  const uint32_t nameLength = static_cast<uint32_t>(WStr::Length(name));
  WStr element = L"<";
  element += name;
  uint32_t startTag, endTag = 0;
  if (hasValue) {
    element += L'>';
    startTag = nameLength + 2;
    element +=
        (options & Cdata) ? CdataSection(value) : EncodeText(options & KeepReferences, value);
    element += L"</";
    element += name;
    element += L'>';
    endTag = nameLength + 3;
  } else {
    element += (options & NoEndTag) ? L">" : (options & SpaceBeforeSlash) ? L" />" : L"/>";
    startTag = static_cast<uint32_t>(element.size());
  }
  if (startTag > ElementRecord::kMaxStartTag || endTag > ElementRecord::kMaxEndTag ||
      nameLength + 3 > ElementRecord::kMaxEndTag)
    return false;
  if ((flags_ & WriteStream) && text_.size() + element.size() + 2 > size_t(stream_->chunkSize) &&
      !FlushBefore(main))
    return false;

  bool open = false, emptyParent = false;
  WStr parentName;  // as the parser reads it: up to whitespace, '/' or '>'
  if (parent) {
    const ElementRecord& p = index_[parent];
    if (p.length == p.StartTagLength() && !p.EndTagLength()) {
      open = true;
      emptyParent = !(p.flags & ElementRecord::Unended);
      uint32_t end = p.start + p.StartTagLength();
      for (uint32_t c = p.start + 1; c < end && !IsTagNameEnd(text_[c]); ++c)
        parentName += text_[c];
      if (parentName.size() + 3 > ElementRecord::kMaxEndTag) return false;
    }
  }
  // The record first: growing the index may move the records.
  int32_t i = NewRecord();
  if (!i) return false;
  ElementRecord& p = index_[parent];
  uint32_t offset, removed = 0, elementAt = 0;
  int32_t after;  // the sibling the new record follows; 0 = first child
  WStr inserted;
  if (open) {
    // "<p/>" becomes "<p>" CR LF "<new/></p>", "<p>" written without an end
    // tag the same: the parent's own '>' closes the new end tag.
    uint32_t tagEnd = p.start + p.StartTagLength();
    offset = tagEnd - 1;
    if (emptyParent) {
      if (p.StartTagLength() < 3 || text_[tagEnd - 2] != L'/') {
        ReleaseRecord(i);
        return false;
      }
      offset = tagEnd - 2;
      removed = 1;
    }
    inserted = L">";
    if (breaks) inserted += L"\r\n";
    elementAt = static_cast<uint32_t>(inserted.size());
    inserted += element;
    inserted += L"</";
    inserted += parentName;
    after = 0;
  } else {
    if (main) {
      const ElementRecord& m = index_[main];
      if (options & InsertBefore) {
        offset = m.start;
        after = (m.flags & ElementRecord::FirstSibling) ? 0 : m.prev;
      } else {
        offset = m.start + m.length;
        after = main;
      }
    } else if (options & InsertBefore) {
      offset = parent ? p.start + p.StartTagLength() : 0;
      after = 0;
    } else {
      offset = parent ? p.start + p.length - p.EndTagLength() : static_cast<uint32_t>(text_.size());
      after = p.firstChild ? index_[p.firstChild].prev : 0;
    }
    inserted = element;
    if (breaks) {
      uint32_t j = offset;
      while (j < text_.size() && IsXmlSpace(text_[j])) ++j;
      if (j >= text_.size() || text_[j] == L'<') {
        offset = j;
        inserted += L"\r\n";
      }
    }
  }
  if (!Splice(offset, removed, inserted)) {
    ReleaseRecord(i);
    return false;
  }

  ElementRecord& e = index_[i];
  ElementRecord& par = index_[parent];
  e = ElementRecord{};
  e.start = offset + elementAt;
  e.length = static_cast<uint32_t>(element.size());
  e.tagLengths = startTag | (endTag << 22);
  uint32_t level = parent ? par.Level() + 1 : index_[0].Level();
  e.flags = level < ElementRecord::kLevelMask ? level : ElementRecord::kLevelMask;
  if (options & NoEndTag) e.flags |= ElementRecord::Unended;
  e.parent = parent;
  if (!after) {
    int32_t first = par.firstChild;
    e.next = first;
    e.prev = first ? index_[first].prev : i;
    if (first) {
      index_[first].flags &= ~ElementRecord::FirstSibling;
      index_[first].prev = i;
    }
    e.flags |= ElementRecord::FirstSibling;
    par.firstChild = i;
  } else {
    ElementRecord& a = index_[after];
    e.next = a.next;
    e.prev = after;
    a.next = i;
    if (e.next) {
      index_[e.next].prev = i;
    } else {
      index_[par.firstChild].prev = i;
    }
  }
  if (open) {
    uint32_t start = par.StartTagLength() - (emptyParent ? 1 : 0);
    par.tagLengths = start | ((static_cast<uint32_t>(parentName.size()) + 3) << 22);
    par.flags &= ~ElementRecord::Unended;
  }
  ShiftAfter(i, static_cast<int32_t>(inserted.size()) - static_cast<int32_t>(removed), false);

  if ((flags_ & WriteStream) && (options & NoEndTag)) stream_->names.Push(name, nameLength, i);
  if (asChild) {
    childPos_ = i;
  } else {
    mainPos_ = i;
    childPos_ = 0;
  }
  nodeKind_ = 1;
  nodeOffset_ = nodeLength_ = 0;
  return true;
}

bool XmlDoc::SetAttribute(int32_t pos, const wchar_t* name, int value, int options) {
  wchar_t number[16];
  _snwprintf_s(number, 16, _TRUNCATE, L"%d", value);
  return SetAttribute(pos, name, number, options);
}

bool XmlDoc::SetAttribute(int32_t pos, const wchar_t* name, const wchar_t* value, int options) {
  if ((flags_ & ReadStream) || !pos || nodeKind_ != 1 || !IsElementPos(pos) ||
      !IsWritableName(name, false))
    return false;
  WStr quoted = L"\"";
  quoted += EncodeText(options | AttributeValue, value ? value : L"");
  quoted += L'"';
  if ((flags_ & WriteStream) &&
      text_.size() + quoted.size() + WStr::Length(name) + 2 > size_t(stream_->chunkSize)) {
    if (!FlushBefore(pos)) return false;
  }
  TokenCursor cursor(text_.c_str(), 0, 0, flags_);
  if (!StartTagCursor(pos, &cursor)) return false;
  const ElementRecord& e = index_[pos];
  const uint32_t tagEnd = e.start + e.StartTagLength();
  uint32_t at, removed = 0;
  WStr inserted;
  if (cursor.FindAttribute(name)) {
    uint32_t start = static_cast<uint32_t>(cursor.tokenStart);
    uint32_t end = static_cast<uint32_t>(cursor.tokenEnd + 1);
    at = start;
    inserted = quoted;
    if (cursor.tokenStart == cursor.attributeStart) {
      // Given without a value, the attribute's own name came back.
      at = end;
      inserted = L"=";
      inserted += quoted;
    } else if (cursor.flags & TokenCursor::QuotedToken) {
      at = start - 1;
      removed = end - at;
      if (end < tagEnd && text_[end] == text_[at]) ++removed;  // the closing quote
    } else if (end > start && text_[start] != L'>') {
      removed = end - start;
    }
    // Never into the tag's closing '>'.
    if (at + removed >= tagEnd) return false;
  } else {
    at = tagEnd;
    if (at > e.start && text_[at - 1] == L'>') --at;
    bool empty = e.length == e.StartTagLength() && !(e.flags & ElementRecord::Unended);
    if (empty && at > e.start + 1 && text_[at - 1] == L'/') --at;
    while (at > e.start + 1 && IsXmlSpace(text_[at - 1])) --at;
    inserted = L" ";
    inserted += name;
    inserted += L'=';
    inserted += quoted;
  }
  int32_t delta = static_cast<int32_t>(inserted.size()) - static_cast<int32_t>(removed);
  if (e.StartTagLength() + delta > ElementRecord::kMaxStartTag) return false;
  if (!Splice(at, removed, inserted)) return false;
  ElementRecord& edited = index_[pos];
  edited.tagLengths = (edited.StartTagLength() + delta) | (edited.EndTagLength() << 22);
  ShiftAfter(pos, delta, true);
  return true;
}

// Write-stream mode: the text before pos goes to the file, and the records
// of the elements written with it are given back.
bool XmlDoc::FlushBefore(int32_t pos) {
  uint32_t n = pos ? index_[pos].start : static_cast<uint32_t>(text_.size());
  if (n == 0) return true;
  size_t before = text_.size();
  stream_->text = &text_;
  bool ok = stream_->Write(n);
  resultLog_ = stream_->log;
  if (!ok) return false;
  uint32_t written = static_cast<uint32_t>(before - text_.size());
  ElementRecord& doc = index_[0];
  int32_t c = doc.firstChild;
  int32_t last = c ? index_[c].prev : 0;
  while (c && c != pos && index_[c].start + index_[c].length <= written) {
    int32_t next = index_[c].next;
    ReleaseSubtree(c);
    c = next;
  }
  index_[0].firstChild = c;
  if (c) {
    index_[c].flags |= ElementRecord::FirstSibling;
    index_[c].prev = last;
  }
  for (int32_t p = 1; p < freePos_; ++p) {
    if (!(index_[p].flags & ElementRecord::Released)) index_[p].start -= written;
  }
  index_[0].length = static_cast<uint32_t>(text_.size());
  return true;
}

bool XmlDoc::StartWriteStream(FileStream& stream) { return StartStream(stream, WriteStream); }

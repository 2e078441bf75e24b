#include "xml/xml_doc.h"

#include <new>

#include "xml/element_path.h"
#include "xml/file_stream.h"
#include "xml/name_stack.h"
#include "xml/node_scanner.h"
#include "xml/result_log.h"

// Builds the element index from the scanner's nodes, keeping the open
// elements on a name stack.
class XmlDoc::Builder {
 public:
  explicit Builder(XmlDoc& doc)
      : doc_(doc),
        index_(doc.index_),
        scanner_(doc.text_.c_str(), static_cast<int32_t>(doc.text_.size()), doc.flags_) {}

  // Read-stream mode: the scanner refills the text from the stream.
  void ReadFrom(FileStream* stream, bool (*refill)(FileStream*, int32_t, int32_t*)) {
    scanner_.stream = stream;
    scanner_.refill = refill;
  }

  // Returns the first element created, 0 when there is none.
  int32_t Build() {
    while (Next()) {
    }
    return first_;
  }

  // Scans on to the next start tag and returns the element made for it, or
  // 0 at the end of the document (every open element then closed).
  int32_t Next() {
    if (done_) return 0;
    for (;;) {
      NodeKind kind = scanner_.NextNode(node_);
      Rebase();
      // A node the scanner found fault with counts as a syntax error, also
      // when it still ended as a declaration inside a document type.
      if (kind == NodeKind::SyntaxError || !node_.log.empty()) {
        MarkError();
        if (doc_.resultLog_.size() <= kResultLogLimit) doc_.resultLog_ += node_.log;
      }
      if (kind == NodeKind::Element) {
        int32_t i = AddElement();
        if (i) return i;
        MarkError();
        kind = NodeKind::EndOfDocument;
      } else if (kind == NodeKind::EndTag) {
        EndTag();
      }
      if (kind == NodeKind::EndOfDocument) {
        CloseAbove(0, scanner_.base + scanner_.textLength);
        done_ = true;
        return 0;
      }
    }
  }

 private:
  ElementRecord& At(int32_t pos) { return index_[pos]; }

  void MarkError() {
    At(0).flags |= ElementRecord::IllFormed;
    At(current_).flags |= ElementRecord::HasError;
  }

  // Read-stream mode drops the text before the node being scanned; the
  // records still held move down with it. Those whose start tags have gone
  // are left pointing before the text, which the readers refuse.
  void Rebase() {
    int32_t moved = scanner_.base - base_;
    if (!moved) return;
    base_ = scanner_.base;
    for (int32_t p = 1; p < doc_.freePos_; ++p) {
      if (!(At(p).flags & ElementRecord::Released)) At(p).start -= static_cast<uint32_t>(moved);
    }
  }

  int32_t AddElement() {
    const NodeInfo& node = node_;
    // Streaming keeps only the open elements: the closed children of the
    // element that gets a new one are given back first.
    if (doc_.stream_) doc_.ReleaseChildren(current_);
    int32_t i = doc_.NewRecord();
    if (!i) return 0;
    ElementRecord& e = At(i);
    uint32_t depth = At(0).Level() + static_cast<uint32_t>(names_.Top());
    // Levels beyond 16 bits stay at the deepest one rather than spill into the flags.
    e.flags = depth < ElementRecord::kLevelMask ? depth : ElementRecord::kLevelMask;
    e.start = static_cast<uint32_t>(node.start);
    e.length = static_cast<uint32_t>(node.length);
    e.tagLengths = static_cast<uint32_t>(node.length);
    if (e.tagLengths > ElementRecord::kMaxStartTag) {
      // The index cannot describe this start tag: keep the record inside the
      // text and say so.
      e.tagLengths = ElementRecord::kMaxStartTag;
      e.flags |= ElementRecord::HasError;
      At(0).flags |= ElementRecord::IllFormed;
    }
    e.parent = current_;
    e.firstChild = 0;
    e.next = 0;
    ElementRecord& parent = At(current_);
    if (!parent.firstChild) {
      parent.firstChild = i;
      e.prev = i;
      e.flags |= ElementRecord::FirstSibling;
    } else {
      int32_t last = At(parent.firstChild).prev;
      At(last).next = i;
      e.prev = last;
      At(parent.firstChild).prev = i;
    }
    if (!first_) first_ = i;
    if (node.flags & NodeInfo::EmptyElement) return i;
    int32_t nameLength = scanner_.nameEnd - scanner_.nameStart + 1;
    if (!names_.Push(scanner_.text + scanner_.nameStart, nameLength > 0 ? nameLength : 0, i))
      return 0;
    current_ = i;
    return i;
  }

  void EndTag() {
    const NodeInfo& node = node_;
    const wchar_t* name = scanner_.text + scanner_.nameStart;
    int32_t nameLength = scanner_.nameEnd - scanner_.nameStart + 1;
    if (nameLength < 0) nameLength = 0;
    bool ignoreCase = (doc_.flags_ & XmlDoc::IgnoreCase) != 0;
    int32_t level = names_.FindFromTop(name, nameLength, ignoreCase);
    if (!level) {
      MarkError();
      if (doc_.resultLog_.size() <= kResultLogLimit) {
        WStr tagName(name, nameLength);
        AddResult(doc_.resultLog_, 0, L"lone_end_tag", tagName.c_str(), scanner_.base + node.start,
                  -1);
      }
      return;
    }
    int32_t m = names_.Pos(level);
    ElementRecord& e = At(m);
    e.length = static_cast<uint32_t>(node.start + node.length) - e.start;
    uint32_t endLength = static_cast<uint32_t>(node.length);
    if (endLength > ElementRecord::kMaxEndTag) {
      endLength = ElementRecord::kMaxEndTag;
      e.flags |= ElementRecord::HasError;
      At(0).flags |= ElementRecord::IllFormed;
    }
    e.tagLengths = e.StartTagLength() | (endLength << 22);
    CloseAbove(level, scanner_.base + node.start + 1);
    names_.Pop();
    current_ = At(m).parent;
  }

  // Closes every element open above level k as unended, innermost first:
  // each loses its end tag and its children follow it as siblings. Done in
  // one pass over the open chain, since closing them one by one would move
  // the same children again at every level.
  void CloseAbove(int32_t k, int32_t offset2) {
    int32_t top = names_.Top();
    if (top <= k) return;
    At(0).flags |= ElementRecord::IllFormed;
    for (int32_t level = top; level > k; --level) {
      ElementRecord& x = At(names_.Pos(level));
      x.tagLengths = x.StartTagLength();
      x.length = x.tagLengths;
      x.flags |= ElementRecord::Unended;
      if (x.flags & ElementRecord::HasError) {
        x.flags &= ~ElementRecord::HasError;
        At(x.parent).flags |= ElementRecord::HasError;
      }
      AddResult(doc_.resultLog_, 0, L"unended_start_tag", names_.Name(level),
                scanner_.base + static_cast<int32_t>(x.start), offset2);
    }
    // The open chain is the last child of each level in turn, so the
    // flattened children are the child lists of the chain, concatenated.
    int32_t target = k ? names_.Pos(k) : 0;
    int32_t last = names_.Pos(k + 1);
    for (int32_t level = k + 1; level <= top; ++level) {
      ElementRecord& x = At(names_.Pos(level));
      int32_t child = x.firstChild;
      if (!child) continue;
      int32_t lastChild = At(child).prev;
      At(child).flags &= ~ElementRecord::FirstSibling;
      At(last).next = child;
      At(child).prev = last;
      for (int32_t c = child; c; c = At(c).next) At(c).parent = target;
      last = lastChild;
      x.firstChild = 0;
    }
    At(At(target).firstChild).prev = last;
    while (names_.Top() > k) names_.Pop();
    current_ = target;
  }

  XmlDoc& doc_;
  ElementIndex& index_;
  NodeScanner scanner_;
  NodeInfo node_;
  NameStack names_;
  int32_t current_ = 0;
  int32_t first_ = 0;
  int32_t base_ = 0;
  bool done_ = false;
};

XmlDoc::XmlDoc(const wchar_t* text) { SetText(text); }

XmlDoc::~XmlDoc() { DeleteReader(); }

// By hand rather than with new and delete: operator new would link the C++
// library's exception support into the setup.
void XmlDoc::DeleteReader() {
  if (!reader_) return;
  reader_->~Builder();
  free(reader_);
  reader_ = nullptr;
}

bool XmlDoc::IsElementPos(int32_t pos) const {
  return pos > 0 && pos < freePos_ && !(index_[pos].flags & ElementRecord::Released);
}

int32_t XmlDoc::NewRecord() {
  if (freeList_) {
    int32_t i = freeList_;
    freeList_ = index_[i].next;
    return i;
  }
  if (freePos_ >= index_.count()) {
    int32_t want = freePos_ + freePos_ / 2;
    if (want <= freePos_) want = freePos_ + 1;
    if (!index_.Reserve(want) || freePos_ >= index_.count()) return 0;
  }
  return freePos_++;
}

void XmlDoc::ReleaseRecord(int32_t pos) {
  ElementRecord& e = index_[pos];
  e = ElementRecord{};
  e.flags = ElementRecord::Released;
  e.next = freeList_;
  freeList_ = pos;
}

// Children before parents, without recursion: documents nest deeply.
void XmlDoc::ReleaseChildren(int32_t pos) {
  int32_t c = index_[pos].firstChild;
  index_[pos].firstChild = 0;
  while (c) {
    ElementRecord& e = index_[c];
    if (e.firstChild) {
      int32_t child = e.firstChild;
      e.firstChild = 0;
      // Remember where to come back: the child's parent link is c already.
      c = child;
      continue;
    }
    int32_t next = e.next, parent = e.parent;
    ReleaseRecord(c);
    c = next ? next : parent != pos ? parent : 0;
  }
}

void XmlDoc::ReleaseSubtree(int32_t pos) {
  ReleaseChildren(pos);
  ReleaseRecord(pos);
}

void XmlDoc::ResetIndex() {
  parentPos_ = mainPos_ = childPos_ = 0;
  nodeKind_ = nodeOffset_ = nodeLength_ = 0;
  freePos_ = 1;
  freeList_ = 0;
  if (index_.count() < 8) index_.Reserve(8);
  if (index_.count() == 0) {
    freePos_ = 0;
    return;
  }
  index_[0] = ElementRecord{};
}

bool XmlDoc::SetText(const wchar_t* text) {
  if (flags_ & (ReadStream | WriteStream)) return false;
  if (text) {
    text_ = text;
  } else {
    text_.Clear();
    index_.FreeAll();
  }
  resultLog_.Clear();
  Parse();
  return wellFormed_;
}

void XmlDoc::Parse() {
  parentPos_ = mainPos_ = childPos_ = 0;
  nodeKind_ = nodeOffset_ = nodeLength_ = 0;
  freePos_ = 1;
  freeList_ = 0;
  wellFormed_ = false;
  int32_t length = static_cast<int32_t>(text_.size());
  int32_t want = length / 64 + 8;
  if (index_.count() < want) index_.Reserve(want);
  if (index_.count() == 0) {
    freePos_ = 0;
    return;
  }
  ElementRecord& doc = index_[0];
  doc = ElementRecord{};
  if (length > 0) {
    int32_t first = Builder(*this).Build();
    ElementRecord& root = index_[0];
    root.length = static_cast<uint32_t>(length);
    if (!first) {
      AddResult(resultLog_, 0, L"no_root_element", nullptr, -1, -1);
    } else {
      root.firstChild = first;
      if (index_[first].next) AddResult(resultLog_, 0, L"root_has_sibling", nullptr, -1, -1);
    }
  }
  const ElementRecord& root = index_[0];
  bool illFormed = (root.flags & ElementRecord::IllFormed) != 0;
  if (flags_ & WriteStream) {
    wellFormed_ = true;
  } else if (flags_ & ReadStream) {
    wellFormed_ = !illFormed;
  } else {
    wellFormed_ = !illFormed && root.firstChild && !index_[root.firstChild].next;
  }
}

bool XmlDoc::StartStream(FileStream& stream, uint32_t mode) {
  if ((flags_ & (ReadStream | WriteStream)) || !stream.IsOpen()) return false;
  text_.Clear();
  resultLog_.Clear();
  ResetIndex();
  if (freePos_ == 0) return false;
  flags_ |= mode;
  stream_ = &stream;
  stream.text = &text_;
  wellFormed_ = true;
  return true;
}

bool XmlDoc::StartReadStream(FileStream& stream) {
  if (!StartStream(stream, ReadStream)) return false;
  DeleteReader();
  void* memory = malloc(sizeof(Builder));
  if (!memory) {
    flags_ &= ~ReadStream;
    stream.text = nullptr;
    stream_ = nullptr;
    return false;
  }
  reader_ = new (memory) Builder(*this);
  // Set here, not by the builder: a document parsed from memory must not
  // reach the file code.
  reader_->ReadFrom(&stream, [](FileStream* s, int32_t keepMark, int32_t* dropped) {
    s->keepMark = keepMark;
    return s->Refill(dropped);
  });
  return true;
}

bool XmlDoc::FindNextInStream(const wchar_t* name) {
  ElementPath path(name);
  if (!reader_ || (path.kind != ElementPath::NoName && path.kind != ElementPath::Relative))
    return false;
  const wchar_t* step = path.text + path.firstStep;
  for (;;) {
    int32_t found = reader_->Next();
    wellFormed_ = !(index_[0].flags & ElementRecord::IllFormed);
    if (!found) {
      // The stream cannot go back: what the current element was is gone.
      parentPos_ = mainPos_ = childPos_ = 0;
      nodeKind_ = 0;
      return false;
    }
    if (path.kind == ElementPath::NoName || NameMatches(found, step)) {
      SetMainElement(found);
      return true;
    }
  }
}

bool XmlDoc::EndStream() {
  bool ok = true;
  if (flags_ & WriteStream) {
    // The elements left open end here, innermost first.
    NameStack& names = stream_->names;
    for (int32_t level = names.Top(); level > 0; --level) {
      text_ += L"</";
      text_.Append(names.Name(level), names.NameLength(level));
      text_ += L'>';
    }
    while (names.Top()) names.Pop();
    stream_->text = &text_;
    ok = stream_->Write(text_.size());
    resultLog_ = stream_->log;
  } else if (!(flags_ & ReadStream)) {
    return false;
  }
  DeleteReader();
  stream_->text = nullptr;
  stream_ = nullptr;
  flags_ &= ~(ReadStream | WriteStream);
  text_.Clear();
  ResetIndex();
  return ok;
}

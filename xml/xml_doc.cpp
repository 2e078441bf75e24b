#include "xml/xml_doc.h"

#include "xml/name_stack.h"
#include "xml/node_scanner.h"
#include "xml/result_log.h"

// Builds the element index from the scanner's nodes, keeping the open
// elements on a name stack.
class XmlDoc::Builder {
 public:
  explicit Builder(XmlDoc& doc) : doc_(doc), index_(doc.index_) {}

  // Returns the first element created, 0 when there is none.
  int32_t Build() {
    const int32_t length = static_cast<int32_t>(doc_.text_.size());
    NodeScanner scanner(doc_.text_.c_str(), length, doc_.flags_);
    NodeInfo node;
    for (;;) {
      NodeKind kind = scanner.NextNode(node);
      // A node the scanner found fault with counts as a syntax error, also
      // when it still ended as a declaration inside a document type.
      if (kind == NodeKind::SyntaxError || !node.log.empty()) {
        MarkError();
        if (doc_.resultLog_.size() <= kResultLogLimit) doc_.resultLog_ += node.log;
      }
      if (kind == NodeKind::Element) {
        if (!AddElement(scanner, node)) {
          MarkError();
          CloseAbove(0, length);
          return first_;
        }
      } else if (kind == NodeKind::EndTag) {
        EndTag(scanner, node);
      } else if (kind == NodeKind::EndOfDocument) {
        CloseAbove(0, length);
        return first_;
      }
    }
  }

 private:
  ElementRecord& At(int32_t pos) { return index_[pos]; }

  void MarkError() {
    At(0).flags |= ElementRecord::IllFormed;
    At(current_).flags |= ElementRecord::HasError;
  }

  bool AddElement(const NodeScanner& scanner, const NodeInfo& node) {
    int32_t& freePos = doc_.freePos_;
    if (freePos == index_.count()) {
      int32_t want = freePos + freePos / 2;
      if (want <= freePos) want = freePos + 1;
      if (!index_.Reserve(want) || freePos >= index_.count()) return false;
    }
    int32_t i = freePos++;
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
    if (node.flags & NodeInfo::EmptyElement) return true;
    int32_t nameLength = scanner.nameEnd - scanner.nameStart + 1;
    if (!names_.Push(scanner.text + scanner.nameStart, nameLength > 0 ? nameLength : 0, i))
      return false;
    current_ = i;
    return true;
  }

  void EndTag(const NodeScanner& scanner, const NodeInfo& node) {
    const wchar_t* name = scanner.text + scanner.nameStart;
    int32_t nameLength = scanner.nameEnd - scanner.nameStart + 1;
    if (nameLength < 0) nameLength = 0;
    bool ignoreCase = (doc_.flags_ & XmlDoc::IgnoreCase) != 0;
    int32_t level = names_.FindFromTop(name, nameLength, ignoreCase);
    if (!level) {
      MarkError();
      if (doc_.resultLog_.size() <= kResultLogLimit) {
        WStr tagName(name, nameLength);
        AddResult(doc_.resultLog_, 0, L"lone_end_tag", tagName.c_str(), node.start, -1);
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
    CloseAbove(level, node.start + 1);
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
                static_cast<int32_t>(x.start), offset2);
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
  NameStack names_;
  int32_t current_ = 0;
  int32_t first_ = 0;
};

XmlDoc::XmlDoc(const wchar_t* text) { SetText(text); }

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

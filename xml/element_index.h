#pragma once

#include <stdint.h>

// One element of a document: offsets into the kept text plus tree links.
// Positions are record numbers; position 0 stands for the document.
struct ElementRecord {
  uint32_t start;       // offset of the element's '<'
  uint32_t length;      // from '<' to the end of the end tag (or of the start tag)
  uint32_t tagLengths;  // bits 0-21 start tag, bits 22-31 end tag
  uint32_t flags;       // bits 0-15 level, and the flags below
  int32_t parent;
  int32_t firstChild;
  int32_t next;
  int32_t prev;  // the first child's prev is the last child

  uint32_t StartTagLength() const { return tagLengths & kMaxStartTag; }
  uint32_t EndTagLength() const { return tagLengths >> 22; }
  uint32_t Level() const { return flags & kLevelMask; }

  static constexpr uint32_t kMaxStartTag = 0x3FFFFF;
  static constexpr uint32_t kMaxEndTag = 0x3FF;
  static constexpr uint32_t kLevelMask = 0xFFFF;
  static constexpr uint32_t Released = 0x20000;
  static constexpr uint32_t FirstSibling = 0x80000;
  static constexpr uint32_t Unended = 0x100000;
  static constexpr uint32_t HasError = 0x200000;
  static constexpr uint32_t IllFormed = 0x800000;
};

// Records in pages of 65536: position i lives in page i >> 16 at slot
// i & 0xFFFF. All pages but the last are full and the last is allocated to
// exactly the records it holds, so growing moves at most one partial page.
class ElementIndex {
 public:
  static constexpr int32_t kPageSize = 65536;

  ElementIndex() = default;
  ElementIndex(const ElementIndex&) = delete;
  ElementIndex& operator=(const ElementIndex&) = delete;
  ~ElementIndex() { FreeAll(); }

  // Makes at least one more record available when count < n, at most up to
  // the end of the next page. False when memory runs out.
  bool Reserve(int32_t n);
  void FreeAll();

  int32_t count() const { return count_; }
  ElementRecord& operator[](int32_t pos) { return pages_[pos >> 16][pos & 0xFFFF]; }
  const ElementRecord& operator[](int32_t pos) const { return pages_[pos >> 16][pos & 0xFFFF]; }
  // Bytes held by pages and page table, for measurements.
  size_t Bytes() const;

 private:
  ElementRecord** pages_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;  // entries of the page table
};

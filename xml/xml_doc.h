#pragma once

#include <stdint.h>

#include "common/str.h"
#include "xml/element_index.h"

struct FileStream;

// A markup document that keeps its text whole, exactly as given, and indexes
// its elements beside it. Parsing is tolerant: problems go into the result
// log and mark the document as not well formed, and parsing goes on.
// Owned by its creator, used by one thread at a time.
class XmlDoc {
 public:
  // Document flags.
  static constexpr uint32_t IgnoreCase = 0x08;
  static constexpr uint32_t ReadStream = 0x10;
  static constexpr uint32_t WriteStream = 0x20;
  static constexpr uint32_t TrimWhitespace = 0x100;
  static constexpr uint32_t CollapseWhitespace = 0x200;

  explicit XmlDoc(const wchar_t* text = nullptr);
  XmlDoc(const XmlDoc&) = delete;
  XmlDoc& operator=(const XmlDoc&) = delete;
  ~XmlDoc() = default;

  // Copies the text (null empties it) and rebuilds the index; refused with
  // false in a stream mode. Returns IsWellFormed.
  bool SetText(const wchar_t* text);
  bool IsWellFormed() const { return wellFormed_; }

  // The next sibling of the current element whose name matches the path
  // (any name for null); makes it the current element.
  bool FindElement(const wchar_t* name = nullptr);
  // The next matching child of the current element (the root element when
  // there is none yet); makes it the current child.
  bool FindChildElement(const wchar_t* name = nullptr);
  // Decoded attribute values; empty when the element or attribute is missing.
  WStr GetAttribute(const wchar_t* name) const;
  WStr GetChildAttribute(const wchar_t* name) const;
  // Tag name of the element at a position; empty for 0 or no element.
  WStr GetTagName(int32_t pos) const;

  uint32_t GetDocFlags() const { return flags_; }
  void SetDocFlags(uint32_t flags) { flags_ = flags; }
  const WStr& GetText() const { return text_; }
  const WStr& GetResultLog() const { return resultLog_; }
  int32_t GetParentPos() const { return parentPos_; }
  int32_t GetMainPos() const { return mainPos_; }
  int32_t GetChildPos() const { return childPos_; }
  // Records 0 (the document) to GetFreePos() - 1 are in use.
  int32_t GetFreePos() const { return freePos_; }
  const ElementIndex& GetIndex() const { return index_; }

 private:
  class Builder;

  void Parse();
  bool IsElementPos(int32_t pos) const { return pos > 0 && pos < freePos_; }
  int32_t FindCore(int32_t parent, int32_t after, const wchar_t* path) const;
  WStr ReadAttribute(int32_t pos, const wchar_t* name) const;

  WStr text_;
  WStr resultLog_;
  int32_t parentPos_ = 0;
  int32_t mainPos_ = 0;
  int32_t childPos_ = 0;
  int32_t freePos_ = 0;
  int32_t freeList_ = 0;
  int32_t nodeKind_ = 0;
  int32_t nodeOffset_ = 0;
  int32_t nodeLength_ = 0;
  uint32_t flags_ = 0;
  FileStream* stream_ = nullptr;
  ElementIndex index_;
  bool wellFormed_ = false;
};

#pragma once

#include <stdint.h>

#include "common/str.h"
#include "xml/element_index.h"

struct FileStream;
class TokenCursor;

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

  // Options of AddElement, AddChildElement, SetAttribute and EncodeText.
  static constexpr int Cdata = 0x01;             // the value as a CDATA section
  static constexpr int NoLineBreak = 0x02;       // no CR LF with the new element
  static constexpr int SpaceBeforeSlash = 0x04;  // " />" instead of "/>"
  static constexpr int KeepReferences = 0x08;    // references in the value stay as they are
  static constexpr int NoEndTag = 0x10;          // no end tag (no value allowed); Unended
  static constexpr int AttributeValue = 0x100;   // EncodeText: quotes escaped too
  static constexpr int InsertBefore = 0x2000;    // before the main element
  static constexpr int AsChild = 0x4000;         // as a child of the main element

  explicit XmlDoc(const wchar_t* text = nullptr);
  XmlDoc(const XmlDoc&) = delete;
  XmlDoc& operator=(const XmlDoc&) = delete;
  ~XmlDoc();

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

  // Adds an element (value null or empty: an empty element) after the main
  // element, or at the end of the parent's content when there is none, and
  // makes it the main element. Refused in read-stream mode.
  bool AddElement(const wchar_t* name, const wchar_t* value = nullptr, int options = 0);
  // The same inside the main element, after the current child; makes it the
  // current child. Refused without a main element and in the stream modes.
  bool AddChildElement(const wchar_t* name, const wchar_t* value = nullptr, int options = 0);
  // Sets an attribute of the element at pos: replaces its value in place or
  // adds it after the last attribute.
  bool SetAttribute(int32_t pos, const wchar_t* name, const wchar_t* value, int options = 0);
  bool SetAttribute(int32_t pos, const wchar_t* name, int value, int options = 0);
  // The text with markup characters escaped (quotes too with AttributeValue).
  static WStr EncodeText(int options, const wchar_t* text);

  // Read-stream mode: the document reads an opened stream chunk by chunk and
  // FindElement moves forward through it in document order, at any depth;
  // only the open elements and the text from the current node on are kept.
  bool StartReadStream(FileStream& stream);
  // Write-stream mode: elements are added as usual and the text before the
  // main element goes to the stream whenever the text would outgrow the
  // stream's chunk size. Elements added with NoEndTag stay open until
  // EndStream, which writes what is left and their end tags.
  bool StartWriteStream(FileStream& stream);
  bool EndStream();

  uint32_t GetDocFlags() const { return flags_; }
  void SetDocFlags(uint32_t flags) { flags_ = flags; }
  const WStr& GetText() const { return text_; }
  const WStr& GetResultLog() const { return resultLog_; }
  int32_t GetParentPos() const { return parentPos_; }
  int32_t GetMainPos() const { return mainPos_; }
  int32_t GetChildPos() const { return childPos_; }
  // Records 0 (the document) to GetFreePos() - 1 are in use, except those on
  // the list of released records (linked by next) that starts at GetFreeList().
  int32_t GetFreePos() const { return freePos_; }
  int32_t GetFreeList() const { return freeList_; }
  const ElementIndex& GetIndex() const { return index_; }

 private:
  class Builder;

  void Parse();
  void ResetIndex();
  void DeleteReader();
  bool IsElementPos(int32_t pos) const;
  // A cursor over the start tag at pos after its '<'; false when that tag is
  // no longer in the text (read-stream mode).
  bool StartTagCursor(int32_t pos, TokenCursor* cursor) const;
  bool NameMatches(int32_t pos, const wchar_t* step) const;
  int32_t FindCore(int32_t parent, int32_t after, const wchar_t* path) const;
  bool FindNextInStream(const wchar_t* name);
  // A find's success: found becomes the main element.
  void SetMainElement(int32_t found);
  bool StartStream(FileStream& stream, uint32_t mode);
  WStr ReadAttribute(int32_t pos, const wchar_t* name) const;

  int32_t NewRecord();
  void ReleaseRecord(int32_t pos);
  void ReleaseChildren(int32_t pos);
  void ReleaseSubtree(int32_t pos);
  bool Splice(uint32_t offset, uint32_t removed, const WStr& inserted);
  void ShiftAfter(int32_t pos, int32_t delta, bool insidePos);
  bool AddNode(const wchar_t* name, const wchar_t* value, int options);
  bool FlushBefore(int32_t pos);

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
  Builder* reader_ = nullptr;  // read-stream mode: the parse, paused between finds
};

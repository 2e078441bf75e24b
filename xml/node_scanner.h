#pragma once

#include <stdint.h>

#include "common/str.h"

struct FileStream;

enum class NodeKind : int32_t {
  EndTag = 0,
  Element = 1,  // a start tag
  Text = 2,
  Whitespace = 4,
  CdataSection = 8,
  ProcessingInstruction = 16,
  Comment = 32,
  DocumentType = 64,
  SyntaxError = -1,
  EndOfDocument = -2,
};

// The word that names a kind of markup in the result log.
const wchar_t* NodeLogWord(NodeKind kind);

struct NodeInfo {
  static constexpr uint32_t EmptyElement = 0x10000;  // a start tag closed by "/>"

  NodeKind kind = NodeKind::EndOfDocument;
  int32_t start = 0;
  int32_t length = 0;
  uint32_t flags = 0;
  WStr log;  // syntax errors of this node, as result log entries
};

// Cuts a text into nodes in one pass, without copying: each call to
// NextNode describes the node at the cursor and moves past it.
class NodeScanner {
 public:
  NodeScanner(const wchar_t* text, int32_t length, uint32_t docFlags)
      : text(text), textLength(length), flags(docFlags) {}

  NodeKind NextNode(NodeInfo& node);

  int32_t nameStart = 0;
  int32_t nameEnd = -1;  // inclusive
  int32_t cursor = 0;
  const wchar_t* text;
  int32_t textLength;
  uint32_t flags;
  // Read-stream mode: the stream refills the text at its end, dropping what
  // lies before the node being scanned; base counts the dropped characters.
  // The refill is called through a pointer, so that documents parsed from
  // memory (the setup's manifest) do not link the file and encoding code.
  FileStream* stream = nullptr;
  bool (*refill)(FileStream* stream, int32_t keepMark, int32_t* dropped) = nullptr;
  int32_t base = 0;
};

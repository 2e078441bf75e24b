#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/wide_text.h"

#include "xml/xml_doc.h"

// Every document a test parses goes through here, so that every test also
// checks the index: children in text order inside their parent, one
// FirstSibling per child list, the backward ring, parent links, lengths
// inside the text, and every record in use reached exactly once.
std::unique_ptr<XmlDoc> ParseChecked(const std::wstring& text, uint32_t flags = 0);

// The first broken invariant of the index, or an empty string.
std::string IndexProblem(const XmlDoc& doc);

// Positions of the elements in document order.
std::vector<int32_t> DocumentOrder(const XmlDoc& doc);

// The first difference between two indexes, element by element in document
// order (offsets, lengths, levels, Unended), or an empty string.
std::string IndexDifference(const XmlDoc& a, const XmlDoc& b);
// After an edit: IndexProblem, then whether parsing the edited text again
// gives the same index.
std::string EditProblem(const XmlDoc& doc);

// The tree as tag names: "r(a* b(c))"; '*' marks Unended, '#' HasError.
std::wstring Outline(const XmlDoc& doc);

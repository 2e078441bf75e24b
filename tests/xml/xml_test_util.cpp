#include "xml_test_util.h"

#include <gtest/gtest.h>

#include <vector>

std::unique_ptr<XmlDoc> ParseChecked(const std::wstring& text, uint32_t flags) {
  auto doc = std::make_unique<XmlDoc>();
  doc->SetDocFlags(flags);
  doc->SetText(text.c_str());
  std::string problem = IndexProblem(*doc);
  EXPECT_EQ(problem, "") << "index of a text of " << text.size() << " units";
  return doc;
}

std::string IndexProblem(const XmlDoc& doc) {
  const ElementIndex& index = doc.GetIndex();
  const int32_t used = doc.GetFreePos();
  const uint64_t textLength = doc.GetText().size();
  if (used < 1) return used == 0 && index.count() == 0 ? "" : "no document record";
  if (used > index.count()) return "records in use beyond the index";
  if (index[0].length != textLength && textLength > 0) return "document length is not the text's";
  std::vector<bool> seen(used, false);
  int32_t released = 0;
  for (int32_t r = doc.GetFreeList(); r; r = index[r].next) {
    if (r < 1 || r >= used || seen[r]) return "free list out of the records or in a loop";
    if (!(index[r].flags & ElementRecord::Released)) return "record on the free list not released";
    seen[r] = true;
    ++released;
  }
  std::vector<int32_t> parents{0};
  int32_t reached = 0;
  while (!parents.empty()) {
    int32_t p = parents.back();
    parents.pop_back();
    const ElementRecord& parent = index[p];
    uint64_t lower = p ? uint64_t(parent.start) + parent.StartTagLength() : 0;
    uint64_t upper =
        p ? uint64_t(parent.start) + parent.length - parent.EndTagLength() : textLength;
    int32_t first = parent.firstChild, previous = 0, last = 0;
    uint64_t previousEnd = lower;
    for (int32_t c = first; c; c = index[c].next) {
      if (c < 1 || c >= used) return "link out of the records in use";
      if (seen[c]) return "record reached twice or released";
      seen[c] = true;
      ++reached;
      const ElementRecord& e = index[c];
      if (e.parent != p) return "wrong parent link";
      if (((e.flags & ElementRecord::FirstSibling) != 0) != (c == first))
        return "FirstSibling not on exactly the first child";
      if (previous && e.prev != previous) return "prev does not point back";
      if (e.start < previousEnd) return "children not in text order";
      if (uint64_t(e.start) + e.length > upper) return "child reaches beyond its parent";
      if (e.StartTagLength() > e.length || e.EndTagLength() > e.length - e.StartTagLength())
        return "tag lengths beyond the element";
      if ((e.flags & ElementRecord::Unended) && (e.EndTagLength() || e.firstChild))
        return "unended element keeps an end tag or children";
      if (e.start >= textLength || doc.GetText()[e.start] != L'<') return "start is no '<'";
      previousEnd = uint64_t(e.start) + e.length;
      previous = last = c;
      parents.push_back(c);
    }
    if (first && index[first].prev != last) return "first child's prev is not the last child";
  }
  if (reached + released != used - 1) return "records in use not reachable from the document";
  return "";
}

std::wstring Outline(const XmlDoc& doc) {
  std::wstring out;
  // Iterative: documents nest deeply in some tests.
  std::vector<int32_t> stack;
  int32_t c = doc.GetIndex()[0].firstChild;
  const ElementIndex& index = doc.GetIndex();
  while (c || !stack.empty()) {
    if (!c) {
      out += L')';
      c = index[stack.back()].next;
      stack.pop_back();
      if (c) out += L' ';
      continue;
    }
    out += W(doc.GetTagName(c));
    if (index[c].flags & ElementRecord::Unended) out += L'*';
    if (index[c].flags & ElementRecord::HasError) out += L'#';
    if (index[c].firstChild) {
      out += L'(';
      stack.push_back(c);
      c = index[c].firstChild;
    } else {
      c = index[c].next;
      if (c) out += L' ';
    }
  }
  return out;
}

std::vector<int32_t> DocumentOrder(const XmlDoc& doc) {
  std::vector<int32_t> order;
  if (!doc.GetFreePos()) return order;
  const ElementIndex& index = doc.GetIndex();
  std::vector<int32_t> stack;
  for (int32_t c = index[0].firstChild; c || !stack.empty();) {
    if (!c) {
      c = index[stack.back()].next;
      stack.pop_back();
      continue;
    }
    order.push_back(c);
    if (index[c].firstChild) {
      stack.push_back(c);
      c = index[c].firstChild;
    } else {
      c = index[c].next;
    }
  }
  return order;
}

std::string IndexDifference(const XmlDoc& a, const XmlDoc& b) {
  auto walk = [](const XmlDoc& doc) {
    std::vector<std::vector<uint32_t>> out;
    for (int32_t c : DocumentOrder(doc)) {
      const ElementRecord& e = doc.GetIndex()[c];
      out.push_back({e.start, e.length, e.tagLengths, e.Level(),
                     (e.flags & ElementRecord::Unended) ? 1u : 0u});
    }
    return out;
  };
  auto x = walk(a), y = walk(b);
  if (x.size() != y.size())
    return "elements: " + std::to_string(x.size()) + " against " + std::to_string(y.size());
  // The parser leaves the level of children it moves up from an unended
  // element as it was: levels are compared only where nothing is unended.
  bool unended = false;
  for (const auto& e : x) unended = unended || e[4];
  const char* fields[] = {"start", "length", "tag lengths", "level", "unended"};
  for (size_t i = 0; i < x.size(); ++i) {
    for (size_t f = 0; f < 5; ++f) {
      if (f == 3 && unended) continue;
      if (x[i][f] != y[i][f])
        return "element " + std::to_string(i) + ": " + fields[f] + " " + std::to_string(x[i][f]) +
               " against " + std::to_string(y[i][f]);
    }
  }
  return "";
}

std::string EditProblem(const XmlDoc& doc) {
  std::string problem = IndexProblem(doc);
  if (!problem.empty()) return problem;
  XmlDoc again;
  again.SetDocFlags(doc.GetDocFlags() & XmlDoc::IgnoreCase);
  again.SetText(doc.GetText().c_str());
  problem = IndexDifference(doc, again);
  return problem.empty() ? "" : "re-parsed: " + problem;
}

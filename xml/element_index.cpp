#include "xml/element_index.h"

#include <stdlib.h>

bool ElementIndex::Reserve(int32_t n) {
  if (n <= count_) return true;
  int32_t page = count_ / kPageSize;
  int32_t inPage = count_ % kPageSize;
  if (inPage != 0) {
    int32_t pageEnd = (page + 1) * kPageSize;
    int32_t want = n < pageEnd ? n : pageEnd;
    void* grown = realloc(pages_[page], sizeof(ElementRecord) * (want - page * kPageSize));
    if (!grown) return false;
    pages_[page] = static_cast<ElementRecord*>(grown);
    count_ = want;
    if (n <= count_) return true;
    ++page;
  }
  // Positions are 31-bit: no page beyond the last one they can number.
  if (page >= 0x7FFF) return count_ >= n;
  if (page >= capacity_) {
    int32_t capacity = 2 * page + 4;
    if (capacity > 0x8000) capacity = 0x8000;
    void* table = realloc(pages_, sizeof(ElementRecord*) * capacity);
    if (!table) return false;
    pages_ = static_cast<ElementRecord**>(table);
    capacity_ = capacity;
  }
  int32_t pageStart = page * kPageSize;
  int32_t want = n - pageStart < kPageSize ? n - pageStart : kPageSize;
  void* records = malloc(sizeof(ElementRecord) * want);
  if (!records) return false;
  pages_[page] = static_cast<ElementRecord*>(records);
  count_ = pageStart + want;
  return true;
}

void ElementIndex::FreeAll() {
  int32_t pages = (count_ + kPageSize - 1) / kPageSize;
  for (int32_t p = 0; p < pages; ++p) free(pages_[p]);
  free(pages_);
  pages_ = nullptr;
  count_ = 0;
  capacity_ = 0;
}

size_t ElementIndex::Bytes() const {
  return sizeof(ElementRecord) * static_cast<size_t>(count_) +
         sizeof(ElementRecord*) * static_cast<size_t>(capacity_);
}

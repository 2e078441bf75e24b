#pragma once

#include <stdint.h>

// A parsed element path: "name", "name[2]", "name[@a='v']/child/@attr",
// "/abs" or "//any". Only its syntax is checked; finds use the first step.
struct ElementPath {
  enum Kind : int32_t { Invalid = -1, NoName = 0, Relative = 1, Absolute = 2, Anywhere = 3 };

  explicit ElementPath(const wchar_t* path, bool forbidChildPredicates = false);

  int32_t kind = NoName;
  bool forbidChildPredicates;
  const wchar_t* text;
  int32_t cursor = 0;
  int32_t attributeStep = -1;  // the '@' of a trailing attribute step
  int32_t firstStep = 0;
  int32_t quotedValueLength = 0;

 private:
  bool Predicate();
};

// The set of absolute paths a capture has already added, so that each path
// goes into the bundle once however many entries name it.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

struct PathSet {
  StrView* slots;  // absent view = empty slot
  uint64_t mask;   // slot count - 1
  uint64_t count;
};

void path_set_init(Arena* a, PathSet* s);
bool path_set_has(const PathSet* s, StrView path);
// Adds an Arena copy of path; false when it was already present.
bool path_set_add(Arena* a, PathSet* s, StrView path);

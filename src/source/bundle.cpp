#include "source/bundle.h"

Source* bundle_open(Arena* a, const char* path, StrView* err) {
  *err = arena_sprintf(a, "'%s' is not a readable bundle", path);
  return nullptr;
}

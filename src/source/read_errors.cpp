// The Source's record of failed reads: one entry per path, the first reason
// kept. The paths are indexed, so a tree missing thousands of per-CPU files
// costs linear time.
#include "source/source.h"

void record_read_error(Source* src, StrView path, StrView name) {
  Arena* a = src->arena;
  StrIndex* ix = &src->read_error_index;
  for (; src->read_errors_indexed < src->read_errors.count; src->read_errors_indexed++) {
    size_t i = src->read_errors_indexed;
    strindex_add(ix, a, src->read_errors[i].path, static_cast<uint32_t>(i), nullptr);
  }
  uint32_t first;
  if (strindex_find(ix, path, &first)) return;  // the first reason stays
  StrView copy = arena_strndup(a, path);
  strindex_add(ix, a, copy, static_cast<uint32_t>(src->read_errors.count), nullptr);
  list_push(a, &src->read_errors, ReadError{copy, name});
  src->read_errors_indexed++;
}

void record_read_errno(Source* src, StrView path, int err) {
  record_read_error(src, path, errno_name(src->arena, err));
}

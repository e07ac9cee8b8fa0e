// The Source's record of failed reads: one entry per path, the first reason
// kept. A small open-addressing index over the paths keeps each lookup
// constant on average, so a tree missing thousands of per-CPU files costs
// linear time.
#include <cstring>

#include "source/source.h"

struct ReadErrorIndex {
  int32_t* slots;  // indices into read_errors, -1 = empty
  size_t mask;     // slot count - 1
  size_t indexed;  // entries of read_errors present in slots
};

namespace {

constexpr size_t kMinSlots = 64;

// The slot holding path, or the empty slot where it belongs.
size_t find_slot(const Source* src, StrView path) {
  const ReadErrorIndex* ix = src->read_error_index;
  size_t s = sv_hash(path) & ix->mask;
  while (ix->slots[s] >= 0 && !sv_eq(src->read_errors[ix->slots[s]].path, path)) {
    s = (s + 1) & ix->mask;
  }
  return s;
}

// (Re)builds the index with room for twice the entries it must hold.
void index_rebuild(Source* src, size_t need) {
  size_t n = kMinSlots;
  while (n < 2 * need) n *= 2;
  ReadErrorIndex* ix = src->read_error_index;
  if (!ix) ix = src->read_error_index = arena_new<ReadErrorIndex>(src->arena);
  ix->slots = arena_array<int32_t>(src->arena, n);
  memset(ix->slots, 0xff, n * sizeof(int32_t));
  ix->mask = n - 1;
  ix->indexed = 0;
  for (size_t i = 0; i < src->read_errors.count; i++) {
    size_t s = find_slot(src, src->read_errors[i].path);
    if (ix->slots[s] < 0) ix->slots[s] = static_cast<int32_t>(i);
    ix->indexed++;
  }
}

}  // namespace

void record_read_error(Source* src, StrView path, StrView name) {
  size_t count = src->read_errors.count;
  const ReadErrorIndex* ix = src->read_error_index;
  // Rebuilt when it fills up, or when entries were added behind its back.
  if (!ix || ix->indexed != count || 2 * (count + 1) > ix->mask + 1) index_rebuild(src, count + 1);
  size_t slot = find_slot(src, path);
  if (src->read_error_index->slots[slot] >= 0) return;  // the first reason stays
  list_push(src->arena, &src->read_errors, ReadError{arena_strndup(src->arena, path), name});
  src->read_error_index->slots[slot] = static_cast<int32_t>(count);
  src->read_error_index->indexed++;
}

void record_read_errno(Source* src, StrView path, int err) {
  record_read_error(src, path, errno_name(src->arena, err));
}

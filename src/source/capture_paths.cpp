#include "source/capture_paths.h"

#include "source/bundle.h"

namespace {

constexpr uint64_t kInitialSlots = 1024;

uint64_t probe(const PathSet* s, StrView path) {
  uint64_t i = sv_hash(path) & s->mask;
  while (sv_present(s->slots[i]) && !sv_eq(s->slots[i], path)) i = (i + 1) & s->mask;
  return i;
}

void grow(Arena* a, PathSet* s) {
  StrView* old = s->slots;
  uint64_t old_n = s->mask + 1;
  s->slots = arena_array<StrView>(a, old_n * 2);
  s->mask = old_n * 2 - 1;
  for (uint64_t i = 0; i < old_n; i++)
    if (sv_present(old[i])) s->slots[probe(s, old[i])] = old[i];
}

}  // namespace

void path_set_init(Arena* a, PathSet* s) {
  s->slots = arena_array<StrView>(a, kInitialSlots);
  s->mask = kInitialSlots - 1;
  s->count = 0;
}

bool path_set_has(const PathSet* s, StrView path) {
  return sv_present(s->slots[probe(s, path)]);
}

bool path_set_add(Arena* a, PathSet* s, StrView path) {
  uint64_t i = probe(s, path);
  if (sv_present(s->slots[i])) return false;
  s->slots[i] = arena_strndup(a, path);
  if (2 * ++s->count > s->mask + 1) grow(a, s);
  return true;
}

#include "base/str_index.h"

namespace {

constexpr size_t kMinSlots = 16;

StrIndexSlot* probe(const StrIndex* ix, StrView key, uint64_t h) {
  size_t s = h & ix->mask;
  while (ix->slots[s].key.ptr && !(ix->slots[s].hash == h && sv_eq(ix->slots[s].key, key))) {
    s = (s + 1) & ix->mask;
  }
  return &ix->slots[s];
}

void rehash(StrIndex* ix, Arena* a, size_t need) {
  size_t n = kMinSlots;
  while (n < 2 * need) n *= 2;
  StrIndex grown = {arena_array<StrIndexSlot>(a, n), n - 1, 0};
  for (size_t i = 0; ix->slots && i <= ix->mask; i++) {
    const StrIndexSlot& old = ix->slots[i];
    if (old.key.ptr) *probe(&grown, old.key, old.hash) = old;
  }
  grown.count = ix->count;
  *ix = grown;
}

}  // namespace

void strindex_init(StrIndex* ix, Arena* a, size_t expected) {
  *ix = StrIndex{};
  rehash(ix, a, expected);
}

bool strindex_find(const StrIndex* ix, StrView key, uint32_t* value) {
  if (!ix->slots || !key.ptr) return false;
  const StrIndexSlot* s = probe(ix, key, sv_hash(key));
  if (!s->key.ptr) return false;
  *value = s->value;
  return true;
}

bool strindex_add(StrIndex* ix, Arena* a, StrView key, uint32_t value, uint32_t* existing) {
  if (!key.ptr) return false;
  if (!ix->slots || 2 * (ix->count + 1) > ix->mask + 1) rehash(ix, a, ix->count + 1);
  uint64_t h = sv_hash(key);
  StrIndexSlot* s = probe(ix, key, h);
  bool added = !s->key.ptr;
  if (added) {
    *s = StrIndexSlot{h, key, value};
    ix->count++;
  }
  if (existing) *existing = s->value;
  return added;
}

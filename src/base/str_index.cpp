#include "base/str_index.h"

#include <cstring>

namespace {

constexpr size_t kMinSlots = 16;

bool slot_holds(const StrIndexSlot& s, StrView key) {
  return s.key_len == key.len && (key.len == 0 || memcmp(s.key, key.ptr, key.len) == 0);
}

// The slot holding key, or the empty slot where it belongs.
StrIndexSlot* probe(const StrIndex* ix, StrView key, uint64_t h) {
  size_t s = h & ix->mask;
  while (ix->slots[s].key && !slot_holds(ix->slots[s], key)) s = (s + 1) & ix->mask;
  return &ix->slots[s];
}

void rehash(StrIndex* ix, Arena* a, size_t need) {
  size_t n = kMinSlots;
  while (n < 2 * need) n *= 2;
  StrIndex grown = {arena_array<StrIndexSlot>(a, n), n - 1, 0};
  for (size_t i = 0; ix->slots && i <= ix->mask; i++) {
    const StrIndexSlot& old = ix->slots[i];
    StrView key{old.key, old.key_len};
    if (old.key) *probe(&grown, key, sv_hash(key)) = old;
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
  if (!s->key) return false;
  *value = s->value;
  return true;
}

bool strindex_add(StrIndex* ix, Arena* a, StrView key, uint32_t value, uint32_t* existing) {
  if (!key.ptr || key.len > UINT32_MAX) return false;
  if (!ix->slots || 2 * (ix->count + 1) > ix->mask + 1) rehash(ix, a, ix->count + 1);
  StrIndexSlot* s = probe(ix, key, sv_hash(key));
  bool added = !s->key;
  if (added) {
    *s = StrIndexSlot{key.ptr, static_cast<uint32_t>(key.len), value};
    ix->count++;
  }
  if (existing) *existing = s->value;
  return added;
}

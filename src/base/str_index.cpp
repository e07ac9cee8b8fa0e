#include "base/str_index.h"

#include <cstring>

namespace {

constexpr size_t kMinSlots = 16;

bool slot_holds(const StrIndexSlot& s, StrView key) {
  return s.key_len == key.len && (key.len == 0 || memcmp(s.key, key.ptr, key.len) == 0);
}

// The slot count for need keys: a quarter of the slots stay empty, so probes
// stay short. The count is not rounded up to a power of two, which could
// nearly double the largest table (a bundle's index of its member names).
size_t slots_for(size_t need) {
  size_t n = need + need / 3 + 1;
  return n < kMinSlots ? kMinSlots : n;
}

// Where the probe for hash h starts: the hash, its bits mixed, scaled to the
// slot count by its high bits. The mixing spreads keys that differ only in
// their last bytes ("state0", "state1") over the table, where nearly equal
// high bits would start their probes side by side.
size_t home_slot(uint64_t h, size_t slots) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return static_cast<size_t>((static_cast<unsigned __int128>(h) * slots) >> 64);
}

// The slot holding key, or the empty slot where it belongs.
StrIndexSlot* probe(const StrIndex* ix, StrView key, uint64_t h) {
  size_t s = home_slot(h, ix->size);
  while (ix->slots[s].key && !slot_holds(ix->slots[s], key)) s = s + 1 == ix->size ? 0 : s + 1;
  return &ix->slots[s];
}

void rehash(StrIndex* ix, Arena* a, size_t need) {
  size_t n = slots_for(need);
  StrIndex grown = {arena_array<StrIndexSlot>(a, n), n, 0};
  for (size_t i = 0; i < ix->size; i++) {
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
  // Past three quarters full the index regrows to twice the keys it holds.
  if (!ix->slots || 4 * (ix->count + 1) > 3 * ix->size) rehash(ix, a, 2 * (ix->count + 1));
  StrIndexSlot* s = probe(ix, key, sv_hash(key));
  bool added = !s->key;
  if (added) {
    *s = StrIndexSlot{key.ptr, static_cast<uint32_t>(key.len), value};
    ix->count++;
  }
  if (existing) *existing = s->value;
  return added;
}

// StrIndex: one string-keyed hash index for every table keyed by text (read
// errors by path, bundle members by name, written capture paths, threads by
// name). It maps a key to a 32-bit value, usually the key's position in the
// list that owns the records; it does not copy keys, so they must outlive it.
// Open addressing with linear probing over sv_hash, kept at most three
// quarters full; all memory comes from the Arena.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

// Sixteen bytes a slot: a bundle of 100,000 members indexes in 2 MiB. Keys
// longer than 4 GiB are refused.
struct StrIndexSlot {
  const char* key;  // null in an empty slot
  uint32_t key_len;
  uint32_t value;
};

struct StrIndex {
  StrIndexSlot* slots;
  size_t size;   // slot count; 0 with no slots yet
  size_t count;  // keys held
};

// Sizes the index for expected keys at once, so that filling it with that
// many never regrows (and leaves no outgrown arrays in the Arena).
void strindex_init(StrIndex* ix, Arena* a, size_t expected);
// The value stored for key, or false.
bool strindex_find(const StrIndex* ix, StrView key, uint32_t* value);
// Adds key with value unless the key is there; answers whether it was added.
// *existing (when given) receives the value now stored for key.
bool strindex_add(StrIndex* ix, Arena* a, StrView key, uint32_t value, uint32_t* existing);

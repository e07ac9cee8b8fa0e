// Arena-grown arrays: capacity 0, 8, 16, ... doubling through arena_realloc,
// so a list that is the Arena's latest allocation grows without copying.
#pragma once

#include <cstddef>

#include "base/arena.h"
#include "base/str.h"
#include "base/str_index.h"

template <class T>
struct List {
  T* items;
  size_t count;
  size_t capacity;

  T* begin() const { return items; }
  T* end() const { return items + count; }
  T& operator[](size_t i) const { return items[i]; }
};

// Makes room for one more item and returns it, zero-filled.
template <class T>
T* list_grow(Arena* a, List<T>* l) {
  if (l->count == l->capacity) {
    size_t cap = l->capacity ? l->capacity * 2 : 8;
    l->items = static_cast<T*>(
        arena_realloc(a, l->items, l->capacity * sizeof(T), cap * sizeof(T)));
    l->capacity = cap;
  }
  // Cleared explicitly: a list emptied by resetting count (an isolcpus flag
  // list parsed again) hands back slots that still hold the old items.
  T* slot = &l->items[l->count++];
  *slot = T{};
  return slot;
}

// Makes room for n items in all, so that growing to n never copies.
template <class T>
void list_reserve(Arena* a, List<T>* l, size_t n) {
  if (n <= l->capacity) return;
  l->items = static_cast<T*>(arena_realloc(a, l->items, l->capacity * sizeof(T), n * sizeof(T)));
  l->capacity = n;
}

template <class T>
void list_push(Arena* a, List<T>* l, const T& v) {
  *list_grow(a, l) = v;
}

using StrList = List<StrView>;

inline void strlist_add(Arena* a, StrList* l, StrView v) { list_push(a, l, v); }
bool strlist_contains(const StrList* l, StrView v);
// Sorts bytewise (sv_compare).
void strlist_sort(StrList* l);

struct KvPair {
  StrView key;
  StrView value;
};

// Pairs in the order they were added; a lookup answers with the last pair
// that has the key. A large list that is read many times (the kernel
// configuration) gets an index by key once it is complete (kv_index).
struct KvList : List<KvPair> {
  StrIndex index;  // key -> position of its last pair; no slots when not built
};

// Appends a pair; drops the index, so lookups scan again until kv_index.
void kv_add(Arena* a, KvList* l, StrView key, StrView value);
// Indexes the pairs by key, so that every later lookup is constant time.
void kv_index(Arena* a, KvList* l);
StrView kv_get(const KvList* l, const char* key);
bool kv_has(const KvList* l, const char* key);
bool kv_is_enabled(const KvList* l, const char* key);
bool kv_get_int(const KvList* l, const char* key, int64_t* out);

#include "base/list.h"

#include <algorithm>

#include "base/parse.h"

bool strlist_contains(const StrList* l, StrView v) {
  for (size_t i = 0; i < l->count; i++) {
    StrView it = l->items[i];
    if (!v.ptr ? !it.ptr : (it.ptr && sv_eq(it, v))) return true;
  }
  return false;
}

void strlist_sort(StrList* l) {
  if (l->count < 2) return;
  std::sort(l->items, l->items + l->count,
            [](StrView a, StrView b) { return sv_compare(a, b) < 0; });
}

namespace {

// The position of the last pair with key, or -1. A null key matches the
// pairs whose key is absent, which the index does not hold.
int64_t kv_find(const KvList* l, const char* key) {
  StrView k = sv_from_cstr(key);
  if (l->index.slots && key) {
    uint32_t at;
    return strindex_find(&l->index, k, &at) ? int64_t{at} : -1;
  }
  for (size_t i = l->count; i-- > 0;) {
    if (sv_eq(l->items[i].key, k)) return static_cast<int64_t>(i);
  }
  return -1;
}

}  // namespace

void kv_add(Arena* a, KvList* l, StrView key, StrView value) {
  list_push(a, l, KvPair{key, value});
  l->index = StrIndex{};
}

void kv_index(Arena* a, KvList* l) {
  strindex_init(&l->index, a, l->count);
  // From the last pair back: the index keeps the first key it is given.
  for (size_t i = l->count; i-- > 0;)
    strindex_add(&l->index, a, l->items[i].key, static_cast<uint32_t>(i), nullptr);
}

StrView kv_get(const KvList* l, const char* key) {
  int64_t at = kv_find(l, key);
  return at < 0 ? kNoneView : l->items[at].value;
}

bool kv_has(const KvList* l, const char* key) { return kv_find(l, key) >= 0; }

bool kv_is_enabled(const KvList* l, const char* key) {
  StrView v = kv_get(l, key);
  return sv_eq_cstr(v, "y") || sv_eq_cstr(v, "m");
}

bool kv_get_int(const KvList* l, const char* key, int64_t* out) {
  StrView v = kv_get(l, key);
  return v.ptr && v.len > 0 && parse_i64(v, out);
}

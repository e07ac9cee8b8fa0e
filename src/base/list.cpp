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

void kv_add(Arena* a, KvList* l, StrView key, StrView value) {
  list_push(a, l, KvPair{key, value});
}

StrView kv_get(const KvList* l, const char* key) {
  for (size_t i = l->count; i-- > 0;) {
    if (sv_eq_cstr(l->items[i].key, key)) return l->items[i].value;
  }
  return kNoneView;
}

bool kv_has(const KvList* l, const char* key) {
  for (size_t i = 0; i < l->count; i++) {
    if (sv_eq_cstr(l->items[i].key, key)) return true;
  }
  return false;
}

bool kv_is_enabled(const KvList* l, const char* key) {
  StrView v = kv_get(l, key);
  return sv_eq_cstr(v, "y") || sv_eq_cstr(v, "m");
}

bool kv_get_int(const KvList* l, const char* key, int64_t* out) {
  StrView v = kv_get(l, key);
  return v.ptr && v.len > 0 && parse_i64(v, out);
}

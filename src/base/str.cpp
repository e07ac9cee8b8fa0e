#include "base/str.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/log.h"

namespace {

constexpr size_t kMaxTextReserve = size_t{1} << 40;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

StrView sv_from_cstr(const char* s) { return s ? StrView{s, strlen(s)} : kNoneView; }

bool sv_eq(StrView a, StrView b) {
  if (!a.ptr || !b.ptr) return !a.ptr && !b.ptr;
  return a.len == b.len && (a.len == 0 || memcmp(a.ptr, b.ptr, a.len) == 0);
}

bool sv_eq_cstr(StrView a, const char* s) {
  if (!a.ptr || !s) return !a.ptr && !s;
  size_t n = strlen(s);
  return a.len == n && (n == 0 || memcmp(a.ptr, s, n) == 0);
}

bool sv_starts_with(StrView v, const char* s) {
  if (!v.ptr || !s) return false;
  size_t n = strlen(s);
  return n <= v.len && (n == 0 || memcmp(v.ptr, s, n) == 0);
}

bool sv_ends_with(StrView v, const char* s) {
  if (!v.ptr || !s) return false;
  size_t n = strlen(s);
  return n <= v.len && (n == 0 || memcmp(v.ptr + v.len - n, s, n) == 0);
}

bool sv_contains(StrView v, const char* s) {
  if (!v.ptr || !s) return false;
  size_t n = strlen(s);
  if (n == 0) return true;
  if (n > v.len) return false;
  return memmem(v.ptr, v.len, s, n) != nullptr;
}

bool sv_all_digits(StrView v) {
  if (v.len == 0) return false;
  for (size_t i = 0; i < v.len; i++)
    if (v.ptr[i] < '0' || v.ptr[i] > '9') return false;
  return true;
}

StrView sv_slice(StrView v, size_t begin, size_t end) {
  if (!v.ptr) return v;
  if (end > v.len) end = v.len;
  if (begin > end) begin = end;
  return StrView{v.ptr + begin, end - begin};
}

bool sv_split_once(StrView v, char c, StrView* head, StrView* tail) {
  const char* at = v.ptr ? static_cast<const char*>(memchr(v.ptr, c, v.len)) : nullptr;
  if (!at) {
    *head = v;
    *tail = kNoneView;
    return false;
  }
  size_t i = static_cast<size_t>(at - v.ptr);
  *head = StrView{v.ptr, i};
  *tail = StrView{at + 1, v.len - i - 1};
  return true;
}

bool sv_consume_prefix(StrView* v, StrView prefix) {
  if (!v->ptr || prefix.len > v->len || (prefix.len && memcmp(v->ptr, prefix.ptr, prefix.len))) return false;
  *v = StrView{v->ptr + prefix.len, v->len - prefix.len};
  return true;
}

bool sv_consume_suffix(StrView* v, StrView suffix) {
  if (!v->ptr || suffix.len > v->len ||
      (suffix.len && memcmp(v->ptr + v->len - suffix.len, suffix.ptr, suffix.len)))
    return false;
  v->len -= suffix.len;
  return true;
}

StrView sv_trim(StrView v) {
  if (!v.ptr) return v;
  size_t b = 0, e = v.len;
  while (b < e && is_space(v.ptr[b])) b++;
  while (e > b && is_space(v.ptr[e - 1])) e--;
  return StrView{v.ptr + b, e - b};
}

StrView sv_next_token(StrView* cur, const char* delims) {
  if (!cur->ptr) return kNoneView;
  const char* at = nullptr;
  if (delims[0] && !delims[1]) {
    at = static_cast<const char*>(memchr(cur->ptr, delims[0], cur->len));
  } else {
    // One bit per byte value: each byte of the text costs one table load.
    uint64_t table[4] = {};
    for (const char* d = delims; *d; d++) {
      auto b = static_cast<unsigned char>(*d);
      table[b >> 6] |= uint64_t{1} << (b & 63);
    }
    for (size_t i = 0; i < cur->len && !at; i++) {
      auto b = static_cast<unsigned char>(cur->ptr[i]);
      if ((table[b >> 6] >> (b & 63)) & 1) at = cur->ptr + i;
    }
  }
  StrView tok = *cur;
  if (!at) {
    *cur = kNoneView;
    return tok;
  }
  tok.len = static_cast<size_t>(at - cur->ptr);
  *cur = StrView{at + 1, cur->len - tok.len - 1};
  return tok;
}

StrView sv_next_line(StrView* cur) {
  StrView line = sv_next_token(cur, "\n");
  if (line.len > 0 && line.ptr[line.len - 1] == '\r') line.len--;
  return line;
}

void sv_put(FILE* out, StrView v) {
  if (v.ptr && v.len) fwrite(v.ptr, 1, v.len, out);
}

int sv_compare(StrView a, StrView b) {
  size_t n = a.len < b.len ? a.len : b.len;
  int c = n ? memcmp(a.ptr, b.ptr, n) : 0;
  if (c != 0) return c;
  return a.len < b.len ? -1 : (a.len > b.len ? 1 : 0);
}

StrView arena_strndup(Arena* a, StrView v) {
  if (!v.ptr) return kNoneView;
  char* p = static_cast<char*>(arena_alloc(a, v.len + 1));
  if (v.len) memcpy(p, v.ptr, v.len);
  return StrView{p, v.len};
}

char* arena_cstr(Arena* a, StrView v) { return const_cast<char*>(arena_strndup(a, v).ptr); }

StrView arena_vsprintf(Arena* a, const char* fmt, va_list ap) {
  va_list ap2;
  va_copy(ap2, ap);
  int n = vsnprintf(nullptr, 0, fmt, ap);
  if (n < 0) {
    va_end(ap2);
    return kNoneView;
  }
  char* p = static_cast<char*>(arena_alloc(a, static_cast<size_t>(n) + 1));
  vsnprintf(p, static_cast<size_t>(n) + 1, fmt, ap2);
  va_end(ap2);
  return StrView{p, static_cast<size_t>(n)};
}

StrView arena_sprintf(Arena* a, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  StrView v = arena_vsprintf(a, fmt, ap);
  va_end(ap);
  return v;
}

// Eight bytes at a time, each word folded in with a multiply: the indexes
// hash every member name of a bundle and every path a capture stores, and a
// byte at a time waits on one multiply per byte.
uint64_t sv_hash(StrView v) {
  uint64_t h = 0x9e3779b97f4a7c15ull ^ v.len;
  size_t i = 0;
  for (; i + 8 <= v.len; i += 8) {
    uint64_t w;
    memcpy(&w, v.ptr + i, 8);
    h = (h ^ w) * 0xff51afd7ed558ccdull;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  if (i < v.len) memcpy(&tail, v.ptr + i, v.len - i);
  h = (h ^ tail) * 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 29);
}

void sb_init(StrBuf* sb, Arena* a) {
  sb->arena = a;
  sb->data = nullptr;
  sb->len = 0;
  sb->cap = 0;
}

void sb_reserve(StrBuf* sb, size_t n) {
  // Far beyond any real text; stops len + n + 1 and the doubling from wrapping.
  if (n > kMaxTextReserve) fatal("out of memory allocating %zu bytes", n);
  size_t need = sb->len + n + 1;
  if (sb->cap >= need) return;
  size_t cap = sb->cap;
  if (cap == 0) {
    cap = 256;
  } else {
    cap *= 2;
  }
  while (cap < need) cap *= 2;
  sb->data = static_cast<char*>(arena_realloc(sb->arena, sb->data, sb->cap, cap));
  sb->cap = cap;
}

void sb_append(StrBuf* sb, const char* p, size_t n) {
  if (n == 0 || !p) return;
  sb_reserve(sb, n);
  memcpy(sb->data + sb->len, p, n);
  sb->len += n;
  sb->data[sb->len] = 0;
}

void sb_append_cstr(StrBuf* sb, const char* s) {
  if (s) sb_append(sb, s, strlen(s));
}

void sb_append_char(StrBuf* sb, char c) { sb_append(sb, &c, 1); }

void sb_printf(StrBuf* sb, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  if (n >= 1) {
    sb_reserve(sb, static_cast<size_t>(n));
    vsnprintf(sb->data + sb->len, static_cast<size_t>(n) + 1, fmt, ap2);
    sb->len += static_cast<size_t>(n);
  }
  va_end(ap2);
}

StrView sb_view(const StrBuf* sb) {
  if (!sb->data) return sv_lit("");
  return StrView{sb->data, sb->len};
}

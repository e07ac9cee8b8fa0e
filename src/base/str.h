// Byte-slice text: StrView (a non-owning view), StrBuf (Arena-backed growable
// text) and the slicing operations every parser uses.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/arena.h"

// A pointer and a byte length. A null ptr means absent; a present view may be
// empty. Not necessarily NUL-terminated: print with "%.*s", SV_ARG(v).
struct StrView {
  const char* ptr;
  size_t len;
};

#define SV_ARG(v) static_cast<int>((v).len), ((v).ptr ? (v).ptr : "")

constexpr StrView kNoneView = {nullptr, 0};

// A view of a string literal, its length known at compile time.
template <size_t N>
constexpr StrView sv_lit(const char (&s)[N]) {
  return StrView{s, N - 1};
}

StrView sv_from_cstr(const char* s);
inline StrView sv_make(const char* p, size_t n) { return StrView{p, n}; }
inline bool sv_present(StrView v) { return v.ptr != nullptr; }
bool sv_eq(StrView a, StrView b);
bool sv_eq_cstr(StrView a, const char* s);
bool sv_starts_with(StrView v, const char* s);
bool sv_ends_with(StrView v, const char* s);
bool sv_contains(StrView v, const char* s);
// At least one byte, and every byte a decimal digit: an IRQ number, a process
// id, a counter. Signs and blanks do not count.
bool sv_all_digits(StrView v);
StrView sv_trim(StrView v);
// Next token up to the first byte of delims; the cursor moves past it.
// Returns {null, 0} once the cursor is exhausted.
StrView sv_next_token(StrView* cursor, const char* delims);
// Next line without "\n" and one trailing "\r".
StrView sv_next_line(StrView* cursor);
// Bytes [begin, end) of v, both clamped to v's length; absent stays absent.
StrView sv_slice(StrView v, size_t begin, size_t end);
// Splits v at the first byte c: *head gets what is before it, *tail what is
// after it. Without c, *head is v, *tail absent and the answer false.
bool sv_split_once(StrView v, char c, StrView* head, StrView* tail);
// Drops prefix (suffix) from *v when it is there; answers whether it was.
bool sv_consume_prefix(StrView* v, StrView prefix);
bool sv_consume_suffix(StrView* v, StrView suffix);
// Writes the bytes of v to out as they are; nothing for an absent view.
void sv_put(FILE* out, StrView v);
// Bytewise order; a prefix sorts before the longer text.
int sv_compare(StrView a, StrView b);

// NUL-terminated copy in the Arena, returned as a view of the same length.
StrView arena_strndup(Arena* a, StrView v);
// The same copy as a bare pointer (null for an absent view).
char* arena_cstr(Arena* a, StrView v);
StrView arena_sprintf(Arena* a, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
StrView arena_vsprintf(Arena* a, const char* fmt, va_list ap) __attribute__((format(printf, 2, 0)));
// A 64-bit hash of the bytes of v: the hash of the path and member-name indexes.
uint64_t sv_hash(StrView v);

struct StrBuf {
  Arena* arena;
  char* data;
  size_t len;
  size_t cap;
};

void sb_init(StrBuf* sb, Arena* a);
void sb_reserve(StrBuf* sb, size_t n);
void sb_append(StrBuf* sb, const char* p, size_t n);
inline void sb_append_view(StrBuf* sb, StrView v) { sb_append(sb, v.ptr, v.len); }
void sb_append_cstr(StrBuf* sb, const char* s);
void sb_append_char(StrBuf* sb, char c);
void sb_printf(StrBuf* sb, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
StrView sb_view(const StrBuf* sb);

// Canonical absolute paths: every path a collector names goes through here
// before any kind of Source sees it.
#include "source/path.h"

#include "source/source.h"

namespace {

constexpr size_t kMaxComponents = 256;

// Only "/" separates names: on Linux a backslash is a byte of a name like
// any other, so "node\" and "..\evil" are names of their own.
bool is_sep(char c) { return c == '/'; }

bool is_dot(StrView c) { return c.len == 1 && c.ptr[0] == '.'; }

bool is_dotdot(StrView c) { return c.len == 2 && c.ptr[0] == '.' && c.ptr[1] == '.'; }

// Already canonical: "/" and components that are neither empty, "." nor
// "..", no more than normalising keeps. Most paths are, and
// are then used as they are instead of copied.
bool is_canonical(StrView path) {
  if (!path.ptr || path.len == 0 || path.ptr[0] != '/') return false;
  if (path.len == 1) return true;
  StrView rest = sv_slice(path, 1, path.len), c;
  for (size_t n = 0; rest.ptr; n++) {
    c = sv_next_token(&rest, "/");
    if (n == kMaxComponents || c.len == 0 || is_dot(c) || is_dotdot(c)) return false;
  }
  return true;
}

// Where the last component of p begins: just after its last "/".
size_t base_start(StrView p) {
  size_t i = p.len;
  while (i > 0 && p.ptr[i - 1] != '/') i--;
  return i;
}

}  // namespace

StrView path_parent(StrView p) {
  size_t i = base_start(p);
  return sv_slice(p, 0, i > 1 ? i - 1 : 1);
}

StrView path_base_name(StrView p) { return sv_slice(p, base_start(p), p.len); }

StrView normalize_path(Arena* a, StrView path) {
  if (is_canonical(path)) return path;
  StrView parts[kMaxComponents];
  size_t n = 0;
  size_t i = 0;
  while (path.ptr && i < path.len) {
    while (i < path.len && is_sep(path.ptr[i])) i++;
    size_t start = i;
    while (i < path.len && !is_sep(path.ptr[i])) i++;
    StrView c{path.ptr + start, i - start};
    if (c.len == 0 || is_dot(c)) continue;
    if (is_dotdot(c)) {
      if (n > 0) n--;
    } else if (n < kMaxComponents) {
      parts[n++] = c;
    }
  }
  if (n == 0) return sv_lit("/");
  StrBuf sb;
  sb_init(&sb, a);
  size_t total = 0;
  for (size_t k = 0; k < n; k++) total += 1 + parts[k].len;
  sb_reserve(&sb, total);
  for (size_t k = 0; k < n; k++) {
    sb_append_char(&sb, '/');
    sb_append_view(&sb, parts[k]);
  }
  return sb_view(&sb);
}

bool path_has_wildcard(StrView c) {
  for (size_t i = 0; i < c.len; i++)
    if (c.ptr[i] == '*' || c.ptr[i] == '?' || c.ptr[i] == '[') return true;
  return false;
}

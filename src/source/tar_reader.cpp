#include "source/tar_reader.h"

#include <cstring>

#include "source/path.h"
#include "source/source.h"

namespace {

constexpr size_t kNameOff = 0, kNameLen = 100;
constexpr size_t kSizeOff = 124, kSizeLen = 12;
constexpr size_t kTypeOff = 156;
constexpr size_t kMagicOff = 257;
constexpr size_t kPrefixOff = 345, kPrefixLen = 155;

bool is_zero_block(const char* h) {
  for (size_t i = 0; i < kTarBlock; i++)
    if (h[i] != 0) return false;
  return true;
}

// A fixed-width text field up to its first NUL.
StrView field_text(const char* p, size_t width) {
  const void* nul = memchr(p, 0, width);
  return sv_make(p, nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : width);
}

// Octal size: leading NULs and spaces skipped, digits up to the first other
// byte; no digit is 0. Twelve digits at most, so it cannot overflow.
uint64_t field_octal(const char* p, size_t width) {
  size_t i = 0;
  while (i < width && (p[i] == 0 || p[i] == ' ')) i++;
  uint64_t v = 0;
  for (; i < width && p[i] >= '0' && p[i] <= '7'; i++)
    v = v * 8 + static_cast<uint64_t>(p[i] - '0');
  return v;
}

// POSIX ustar ("ustar\0"). The GNU magic "ustar  \0" shares the first five
// bytes, but GNU headers may keep times where ustar keeps the prefix.
bool has_ustar_prefix(const char* h) {
  return memcmp(h + kMagicOff, "ustar", 5) == 0 && h[kMagicOff + 5] == 0;
}

StrView header_name(Arena* a, const char* h) {
  StrView name = field_text(h + kNameOff, kNameLen);
  if (!has_ustar_prefix(h)) return name;
  StrView prefix = field_text(h + kPrefixOff, kPrefixLen);
  if (prefix.len == 0) return name;
  return arena_sprintf(a, "%.*s/%.*s", SV_ARG(prefix), SV_ARG(name));
}

uint64_t round_block(uint64_t n) {
  return (n + kTarBlock - 1) / kTarBlock * kTarBlock;
}

enum class Kind { file, dir, long_name, pax, keep_pending, skip };

struct TypeKind {
  char flag;
  Kind kind;
};

constexpr TypeKind kTypes[] = {
    {'0', Kind::file}, {'\0', Kind::file},        {'5', Kind::dir},          {'L', Kind::long_name},
    {'x', Kind::pax},  {'K', Kind::keep_pending}, {'g', Kind::keep_pending},
};

Kind type_kind(char flag) {
  for (const TypeKind& t : kTypes)
    if (t.flag == flag) return t.kind;
  return Kind::skip;
}

}  // namespace

StrView tar_pax_path(StrView records) {
  StrView path = kNoneView;
  size_t pos = 0;
  while (pos < records.len) {
    // "<length> <key>=<value>\n", length counting the whole record.
    size_t i = pos;
    uint64_t len = 0;
    while (i < records.len && records.ptr[i] >= '0' && records.ptr[i] <= '9' && len <= records.len)
      len = len * 10 + static_cast<uint64_t>(records.ptr[i++] - '0');
    if (i == pos || i >= records.len || records.ptr[i] != ' ') break;
    if (len <= i - pos + 1 || len > records.len - pos) break;
    StrView body = sv_make(records.ptr + i + 1, pos + len - (i + 1));
    if (body.len > 0 && body.ptr[body.len - 1] == '\n') body.len--;
    if (sv_consume_prefix(&body, sv_lit("path="))) path = body;
    pos += len;
  }
  return path;
}

StrView tar_clean_name(Arena* a, StrView name) {
  bool dotted = false;
  while (sv_consume_prefix(&name, sv_lit("./"))) dotted = true;
  while (name.len > 1 && name.ptr[name.len - 1] == '/') name.len--;
  // The "/" of the last "./" makes the rest absolute without a copy.
  if (dotted && name.len > 0) name = StrView{name.ptr - 1, name.len + 1};
  return normalize_path(a, name);
}

size_t tar_count_headers(StrView archive) {
  size_t n = 0;
  for (uint64_t h = 0; h + kTarBlock <= archive.len; h += kTarBlock) {
    const char* hdr = archive.ptr + h;
    if (is_zero_block(hdr)) continue;
    uint64_t size = field_octal(hdr + kSizeOff, kSizeLen);
    if (size > archive.len - h) break;
    n++;
    h += round_block(size);
  }
  return n;
}

bool tar_walk(Arena* a, StrView archive, List<BundleMember>* out, StrView* err) {
  const char* base = archive.ptr;
  uint64_t n = archive.len;
  StrView pending = kNoneView;
  for (uint64_t h = 0; h + kTarBlock <= n;) {
    const char* hdr = base + h;
    if (is_zero_block(hdr)) {
      h += kTarBlock;
      continue;
    }
    uint64_t size = field_octal(hdr + kSizeOff, kSizeLen);
    if (size > n || size > UINT32_MAX) {
      *err = sv_lit("bundle is corrupt: implausible member size");
      return false;
    }
    if (h + kTarBlock + size > n) {
      *err = sv_lit("bundle is truncated");
      return false;
    }
    StrView data = sv_make(hdr + kTarBlock, size);
    uint64_t next = h + kTarBlock + round_block(size);
    Kind kind = type_kind(hdr[kTypeOff]);
    StrView name = sv_present(pending) ? pending : header_name(a, hdr);
    h = next;
    if (kind == Kind::long_name) {
      pending = field_text(data.ptr, data.len);
      continue;
    }
    if (kind == Kind::pax) {
      StrView p = tar_pax_path(data);
      if (sv_present(p)) pending = field_text(p.ptr, p.len);
      continue;
    }
    if (kind == Kind::keep_pending) continue;
    pending = kNoneView;
    if (kind == Kind::skip) continue;
    StrView clean = tar_clean_name(a, name);
    if (path_is_root(clean)) continue;
    list_push(a, out, kind == Kind::dir ? bundle_dir(clean) : bundle_file(clean, data));
  }
  return true;
}

// Opening a Source and the operations every collector reads through. Paths
// are normalised here, so each kind of Source sees canonical absolute paths.
#include "source/source.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

#include "base/parse.h"

namespace {

constexpr StrView kBadGzip = sv_lit("EBADGZIP");
constexpr StrView kTooBig = sv_lit("EFBIG");

// A path built from the analysed machine's own text (a kernel release, say)
// may have a component longer than any file's name. It fails as the kernel
// fails it, before any kind of Source is asked, so that a tree and a bundle
// of the same machine report the same error.
bool names_fit(Source* src, StrView p) {
  size_t run = 0;
  for (size_t i = 0; i < p.len && run <= NAME_MAX; i++) run = p.ptr[i] == '/' ? 0 : run + 1;
  if (run <= NAME_MAX) return true;
  record_read_error(src, p, sv_lit("ENAMETOOLONG"));
  return false;
}

bool read_int_view(Source* src, StrView path, int base, int64_t* out) {
  StrView v = sv_trim(source_read_view(src, path));
  if (!v.ptr || v.len == 0) return false;
  StrView first = sv_trim(sv_next_token(&v, " \t\n"));
  return parse_int(first, base, out);
}

// Counts a successful read of a file of the kernel's own view.
StrView counted(Source* src, StrView path, StrView data) {
  if (data.ptr && (sv_starts_with(path, "/proc/") || sv_starts_with(path, "/sys/")))
    src->kernel_reads++;
  return data;
}

}  // namespace

bool source_has_kernel_data(const Source* src) { return src->kernel_reads > 0; }

StrView source_read_view(Source* src, StrView path) {
  StrView p = normalize_path(src->arena, path);
  StrView data;
  if (!names_fit(src, p) || !src->ops.read_raw(src, p, &data)) return kNoneView;
  if (!sv_ends_with(p, ".gz")) return counted(src, p, data);
  StrView inflated;
  Inflated r = gunzip_bounded(src->arena, data, &inflated, kMaxFileSize);
  if (r == Inflated::ok) return counted(src, p, inflated);
  record_read_error(src, p, r == Inflated::too_big ? kTooBig : kBadGzip);
  return kNoneView;
}

StrView source_read_reuse(Source* src, StrView path, ReadBuf* buf) {
  StrView p = normalize_path(src->arena, path);
  if (!src->ops.read_into || sv_ends_with(p, ".gz")) return source_read_view(src, p);
  StrView data;
  if (!names_fit(src, p)) return kNoneView;
  return src->ops.read_into(src, p, buf, &data) ? counted(src, p, data) : kNoneView;
}

StrView source_read(Source* src, const char* path) {
  return source_read_view(src, sv_from_cstr(path));
}

StrView source_read_trimmed(Source* src, const char* path) {
  return sv_trim(source_read(src, path));
}

bool source_read_int(Source* src, const char* path, int base, int64_t* out) {
  return read_int_view(src, sv_from_cstr(path), base, out);
}

bool source_exists(Source* src, const char* path) {
  return src->ops.exists(src, normalize_path(src->arena, sv_from_cstr(path)));
}

void source_list(Source* src, const char* dir, StrList* out) {
  src->ops.list(src, normalize_path(src->arena, sv_from_cstr(dir)), out);
}

void source_glob(Source* src, const char* pattern, StrList* out) {
  src->ops.glob(src, normalize_path(src->arena, sv_from_cstr(pattern)), false, out);
}

void source_glob_dot_names(Source* src, const char* pattern, StrList* out) {
  src->ops.glob(src, normalize_path(src->arena, sv_from_cstr(pattern)), true, out);
}

StrView source_read_trimmedf(Source* src, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  StrView path = arena_vsprintf(src->arena, fmt, ap);
  va_end(ap);
  if (!path.ptr) return kNoneView;
  return sv_trim(source_read_view(src, path));
}

bool source_read_intf(Source* src, int64_t* out, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  StrView path = arena_vsprintf(src->arena, fmt, ap);
  va_end(ap);
  return path.ptr && read_int_view(src, path, 10, out);
}

bool source_existsf(Source* src, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  StrView path = arena_vsprintf(src->arena, fmt, ap);
  va_end(ap);
  return path.ptr && src->ops.exists(src, normalize_path(src->arena, path));
}

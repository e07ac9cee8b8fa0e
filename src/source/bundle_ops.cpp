#include "source/bundle_ops.h"

#include <fnmatch.h>

#include <cstring>

#include "source/bundle_index.h"
#include "source/path.h"

namespace {

BundleIndex* index_of(Source* src) {
  return static_cast<BundleIndex*>(src->ctx);
}

// Why path names nothing: "ENOTDIR" when its nearest existing ancestor is a
// file, as a file system says, else "ENOENT".
const char* missing_reason(const BundleIndex* idx, StrView path) {
  for (StrView p = path_parent(path); !path_is_root(p); p = path_parent(p)) {
    int32_t m = bundle_lookup(idx, p);
    if (m >= 0) return bundle_is_dir(idx->members[m]) ? "ENOENT" : "ENOTDIR";
  }
  return "ENOENT";
}

bool bundle_read_raw(Source* src, StrView path, StrView* out) {
  BundleIndex* idx = index_of(src);
  int32_t m = path_is_root(path) ? -1 : bundle_lookup(idx, path);
  if (m >= 0 && !bundle_is_dir(idx->members[m])) {
    *out = bundle_data(idx->members[m]);
    if (out->len <= kMaxFileSize) return true;
    record_read_error(src, path, sv_lit("EFBIG"));
    return false;
  }
  bool dir = path_is_root(path) || m >= 0;
  record_read_error(src, path, sv_from_cstr(dir ? "EISDIR" : missing_reason(idx, path)));
  return false;
}

bool bundle_exists(Source* src, StrView path) {
  return path_is_root(path) || bundle_lookup(index_of(src), path) >= 0;
}

// The first entry of directory path, or -1 with *err naming why there is no
// directory there (null when it is simply empty).
int32_t first_entry(const BundleIndex* idx, StrView path, const char** err) {
  *err = nullptr;
  if (path_is_root(path)) return idx->root_first;
  int32_t m = bundle_lookup(idx, path);
  if (m < 0) {
    *err = missing_reason(idx, path);
    return -1;
  }
  // A file member that has entries below it (a malformed archive) still
  // lists them, as the names say it is a directory.
  if (!bundle_is_dir(idx->members[m]) && idx->first_child[m] < 0) *err = "ENOTDIR";
  return idx->first_child[m];
}

void bundle_list(Source* src, StrView path, StrList* out) {
  BundleIndex* idx = index_of(src);
  const char* err;
  int32_t e = first_entry(idx, path, &err);
  if (err) {
    record_read_error(src, path, sv_from_cstr(err));
    return;
  }
  for (; e >= 0; e = idx->members[e].next_sibling)
    strlist_add(src->arena, out, path_base_name(idx->members[e].name));
  strlist_sort(out);
}

struct GlobWalk {
  Source* src;
  BundleIndex* idx;
  StrList comps;  // NUL-terminated pattern components
  StrBuf scratch;
  StrList* out;
  int fnm_flags;
};

// A member's last name component as a NUL-terminated text in the scratch
// buffer, for fnmatch.
const char* scratch_name(GlobWalk* w, StrView name) {
  w->scratch.len = 0;
  sb_append_view(&w->scratch, path_base_name(name));
  return w->scratch.data ? w->scratch.data : "";
}

void glob_level(GlobWalk* w, int32_t dir, size_t level);

void glob_visit(GlobWalk* w, int32_t m, size_t level) {
  if (level + 1 == w->comps.count)
    strlist_add(w->src->arena, w->out, w->idx->members[m].name);
  else
    glob_level(w, m, level + 1);
}

// Matches component `level` of the pattern against the entries of dir (-1
// for "/"). Wildcards never match "/" (components are matched one by one)
// nor, unless asked, a leading "." of a name, as on a real file system.
void glob_level(GlobWalk* w, int32_t dir, size_t level) {
  StrView comp = w->comps[level];
  if (!path_has_wildcard(comp)) {
    w->scratch.len = 0;
    if (dir >= 0) sb_append_view(&w->scratch, w->idx->members[dir].name);
    sb_append_char(&w->scratch, '/');
    sb_append_view(&w->scratch, comp);
    int32_t m = bundle_lookup(w->idx, sb_view(&w->scratch));
    if (m >= 0) glob_visit(w, m, level);
    return;
  }
  int32_t e = dir >= 0 ? w->idx->first_child[dir] : w->idx->root_first;
  for (; e >= 0; e = w->idx->members[e].next_sibling)
    if (fnmatch(comp.ptr, scratch_name(w, w->idx->members[e].name), w->fnm_flags) == 0)
      glob_visit(w, e, level);
}

void bundle_glob(Source* src, StrView pattern, bool dot_names, StrList* out) {
  Arena* a = src->arena;
  if (path_is_root(pattern)) {
    strlist_add(a, out, pattern);
    return;
  }
  GlobWalk w{src, index_of(src), {}, {}, out, FNM_PATHNAME | (dot_names ? 0 : FNM_PERIOD)};
  StrView cursor = pattern;
  for (StrView c; sv_present(c = sv_next_token(&cursor, "/"));)
    if (c.len > 0) strlist_add(a, &w.comps, arena_strndup(a, c));
  if (w.comps.count == 0) return;
  sb_init(&w.scratch, a);
  glob_level(&w, -1, 0);
  strlist_sort(out);
}

}  // namespace

SourceOps bundle_source_ops() {
  return SourceOps{bundle_read_raw, bundle_exists, bundle_list, bundle_glob, nullptr};
}

#include "source/dir_glob.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include "source/dir_entries.h"
#include "source/path.h"

namespace {

struct GlobWalk {
  Arena* arena;
  size_t root_len;
  StrList comps;  // NUL-terminated pattern components
  StrBuf path;    // root and the names matched so far
  StrList* out;
  StrList* regular;
};

// Entries a further component can be looked up in: directories, and what
// the listing does not tell apart from one.
bool may_be_dir(unsigned char type) {
  return type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
}

void add_match(GlobWalk* w, bool is_regular) {
  StrView full = sb_view(&w->path);
  StrView m = arena_strndup(w->arena, sv_slice(full, w->root_len, full.len));
  strlist_add(w->arena, w->out, m);
  if (is_regular && w->regular) strlist_add(w->arena, w->regular, m);
}

void walk(GlobWalk* w, size_t level);

// The entries of one directory that a wildcard component matches; they are
// walked once the directory is closed.
struct Matches {
  Arena* arena;
  const char* comp;
  List<DirEntry> entries;
};

void add_if_matching(void* ctx, DirEntry e) {
  Matches* m = static_cast<Matches*>(ctx);
  if (fnmatch(m->comp, e.name.ptr, FNM_PATHNAME | FNM_PERIOD) == 0)
    list_push(m->arena, &m->entries, DirEntry{arena_strndup(m->arena, e.name), e.type});
}

// Goes on below the path plus "/" name: the next component, or the match
// itself when name was the last. A listed entry brings its type; a name
// taken from the pattern is looked at (without following a link) only when
// it is the last.
void step(GlobWalk* w, size_t level, StrView name, unsigned char type, bool listed) {
  size_t keep = w->path.len;
  sb_append_char(&w->path, '/');
  sb_append_view(&w->path, name);
  struct stat st;
  if (level + 1 < w->comps.count) {
    if (may_be_dir(type)) walk(w, level + 1);
  } else if (listed) {
    add_match(w, type == DT_REG);
  } else if (lstat(w->path.data, &st) == 0) {
    add_match(w, S_ISREG(st.st_mode));
  }
  w->path.len = keep;
  w->path.data[keep] = 0;
}

// Matches component `level` against the directory the path names. Errors
// (a directory that cannot be listed) only mean no match, as for a shell.
void walk(GlobWalk* w, size_t level) {
  StrView comp = w->comps[level];
  if (!path_has_wildcard(comp)) {
    step(w, level, comp, DT_UNKNOWN, false);
    return;
  }
  Matches m{w->arena, comp.ptr, {}};
  int fd = dir_open(AT_FDCWD, w->path.len ? w->path.data : "/");
  if (fd < 0) return;
  dir_each_entry(fd, add_if_matching, &m);
  close(fd);
  for (const DirEntry& e : m.entries) step(w, level, e.name, e.type, true);
}

}  // namespace

void dir_glob_expand(Arena* a, StrView root, StrView pattern, StrList* out, StrList* regular) {
  GlobWalk w{a, root.len, {}, {}, out, regular};
  StrView cursor = pattern;
  for (StrView c; sv_present(c = sv_next_token(&cursor, "/"));)
    if (c.len > 0) strlist_add(a, &w.comps, arena_strndup(a, c));
  sb_init(&w.path, a);
  sb_append_view(&w.path, root);
  if (w.comps.count == 0) {
    struct stat st;
    if (stat(w.path.len ? w.path.data : "/", &st) == 0) strlist_add(a, out, sv_lit("/"));
    return;
  }
  walk(&w, 0);
}

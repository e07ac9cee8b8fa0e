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
  RootDir* root;
  StrList comps;  // NUL-terminated pattern components
  StrBuf path;    // "/" and the names matched so far, as the machine names them
  StrList* out;
  StrList* regular;
  int fnm_flags;
};

// Entries a further component can be looked up in: directories, and what
// the listing does not tell apart from one.
bool may_be_dir(unsigned char type) {
  return type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
}

// The path so far relative to the root, as the root's lookups take it.
const char* rel_path(const GlobWalk* w) { return w->path.len > 1 ? w->path.data + 1 : "."; }

void add_match(GlobWalk* w, bool is_regular) {
  StrView m = arena_strndup(w->arena, sb_view(&w->path));
  strlist_add(w->arena, w->out, m);
  if (is_regular && w->regular) strlist_add(w->arena, w->regular, m);
}

// The entry the path names, itself and not where a link there leads, looked
// up inside the root.
bool look_in_root(GlobWalk* w, struct stat* st) {
  int fd = root_openat(w->root, w->root->fd, rel_path(w), O_PATH | O_NOFOLLOW | O_CLOEXEC,
                       RootWalk::in_root);
  if (fd < 0) return false;
  bool ok = fstat(fd, st) == 0;
  close(fd);
  return ok;
}

void walk(GlobWalk* w, size_t level);

// The entries of one directory that a wildcard component matches.
struct Matches {
  Arena* arena;
  const char* comp;
  int fnm_flags;
  List<DirEntry> entries;
};

void add_if_matching(void* ctx, DirEntry e) {
  Matches* m = static_cast<Matches*>(ctx);
  if (fnmatch(m->comp, e.name.ptr, m->fnm_flags) == 0)
    list_push(m->arena, &m->entries, DirEntry{arena_strndup(m->arena, e.name), e.type});
}

// A listed directory (not a link) whose entry is the pattern's last
// component: looked at from the listed directory, a lookup that meets no
// link, instead of a walk from the root.
bool is_last_below_listed(const GlobWalk* w, size_t level, unsigned char type, int listed_fd) {
  return listed_fd >= 0 && type == DT_DIR && level + 2 == w->comps.count &&
         !path_has_wildcard(w->comps[level + 1]);
}

void look_below_listed(GlobWalk* w, size_t level, StrView name, int listed_fd) {
  StrView last = w->comps[level + 1];
  size_t keep = w->path.len;
  sb_append_char(&w->path, '/');
  sb_append_view(&w->path, last);
  const char* below = w->path.data + w->path.len - last.len - 1 - name.len;
  struct stat st;
  if (fstatat(listed_fd, below, &st, AT_SYMLINK_NOFOLLOW) == 0) add_match(w, S_ISREG(st.st_mode));
  w->path.len = keep;
  w->path.data[keep] = 0;
}

// Goes on below the path plus "/" name: the next component, or the match
// itself when name was the last. A listed entry brings its type (listed_fd is
// its directory, else -1); a name taken from the pattern is looked at
// (without following a link) only when it is the last.
void step(GlobWalk* w, size_t level, StrView name, unsigned char type, int listed_fd) {
  size_t keep = w->path.len;
  sb_append_char(&w->path, '/');
  sb_append_view(&w->path, name);
  struct stat st;
  if (is_last_below_listed(w, level, type, listed_fd)) {
    look_below_listed(w, level, name, listed_fd);
  } else if (level + 1 < w->comps.count) {
    if (may_be_dir(type)) walk(w, level + 1);
  } else if (listed_fd >= 0) {
    add_match(w, type == DT_REG);
  } else if (look_in_root(w, &st)) {
    add_match(w, S_ISREG(st.st_mode));
  }
  w->path.len = keep;
  w->path.data[keep] = 0;
}

// Matches component `level` against the directory the path names. Errors
// (a directory that cannot be listed) only mean no match, as for a shell.
// The listed directory stays open while its matches are walked.
void walk(GlobWalk* w, size_t level) {
  StrView comp = w->comps[level];
  if (!path_has_wildcard(comp)) {
    step(w, level, comp, DT_UNKNOWN, -1);
    return;
  }
  Matches m{w->arena, comp.ptr, w->fnm_flags, {}};
  int fd = root_openat(w->root, w->root->fd, rel_path(w), kDirOpenFlags, RootWalk::in_root);
  if (fd < 0) return;
  dir_each_entry(fd, add_if_matching, &m);
  for (const DirEntry& e : m.entries) step(w, level, e.name, e.type, fd);
  close(fd);
}

}  // namespace

void dir_glob_expand(Arena* a, RootDir* root, StrView pattern, int fnm_flags, StrList* out,
                     StrList* regular) {
  GlobWalk w{a, root, {}, {}, out, regular, fnm_flags};
  StrView cursor = pattern;
  for (StrView c; sv_present(c = sv_next_token(&cursor, "/"));)
    if (c.len > 0) strlist_add(a, &w.comps, arena_strndup(a, c));
  sb_init(&w.path, a);
  sb_reserve(&w.path, 64);
  if (w.comps.count == 0) {
    struct stat st;
    if (root->fd >= 0 && fstat(root->fd, &st) == 0) strlist_add(a, out, sv_lit("/"));
    return;
  }
  walk(&w, 0);
}

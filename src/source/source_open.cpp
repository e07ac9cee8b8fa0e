#include "source/source_open.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "source/bundle.h"
#include "source/dir_source.h"

namespace {

Source* open_tree(Arena* a, const char* path) {
  StrView root = sv_from_cstr(path);
  while (root.len > 1 && root.ptr[root.len - 1] == '/') root.len--;
  root = arena_strndup(a, root);
  return dir_source_new(a, root, root.ptr, false);
}

}  // namespace

Source* source_open(Arena* a, const char* path, StrView* err) {
  if (!path || strcmp(path, "/") == 0) {
    return dir_source_new(a, sv_lit(""), "live system", true);
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    *err = arena_sprintf(a, "cannot open '%s': %s", path, strerror(errno));
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) return open_tree(a, path);
  if (S_ISREG(st.st_mode)) return bundle_open(a, path, err);
  *err = arena_sprintf(a, "'%s' is neither a directory nor a bundle file", path);
  return nullptr;
}

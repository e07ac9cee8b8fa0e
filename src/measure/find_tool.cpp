#include <unistd.h>

#include <cstdlib>

#include "measure/measure.h"

namespace {

constexpr const char* kToolDirs[] = {
    "/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/", "/usr/local/sbin/",
};

// The first absolute directory of PATH that holds an executable name. Empty
// and relative entries (the current directory) are skipped: a measurement
// runs as root and must not run a program planted where it happens to stand.
StrView find_on_path(Arena* a, const char* name) {
  const char* path = getenv("PATH");
  if (!path) return kNoneView;
  StrView cur = sv_from_cstr(path);
  while (cur.ptr) {
    StrView dir = sv_next_token(&cur, ":");
    if (dir.len == 0 || dir.ptr[0] != '/') continue;
    StrView full = arena_sprintf(a, "%.*s/%s", SV_ARG(dir), name);
    if (access(full.ptr, X_OK) == 0) return full;
  }
  return kNoneView;
}

}  // namespace

StrView find_tool(Arena* a, const char* name) {
  StrView on_path = find_on_path(a, name);
  if (sv_present(on_path)) return on_path;
  for (const char* dir : kToolDirs) {
    StrView path = arena_sprintf(a, "%s%s", dir, name);
    if (access(path.ptr, X_OK) == 0) return path;
  }
  return kNoneView;
}

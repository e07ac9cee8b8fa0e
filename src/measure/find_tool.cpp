#include <unistd.h>

#include "measure/measure.h"

namespace {

constexpr const char* kToolDirs[] = {
    "/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/", "/usr/local/sbin/",
};

}  // namespace

StrView find_tool(Arena* a, const char* name) {
  for (const char* dir : kToolDirs) {
    StrView path = arena_sprintf(a, "%s%s", dir, name);
    if (access(path.ptr, X_OK) == 0) return path;
  }
  return kNoneView;
}

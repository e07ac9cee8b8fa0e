// Symbolic names of the system errors a read can fail with, as recorded in
// the Source's read_errors and printed by the JSON report.
#include <cstddef>

#include "source/source.h"

namespace {

struct ErrnoName {
  int err;
  StrView name;
};

constexpr StrView name_of(const char* s, size_t n) { return StrView{s, n - 1}; }

#define KELVANE_ERRNO(num, text) ErrnoName{num, name_of(text, sizeof(text))}

// Linux numbering.
constexpr ErrnoName kErrnoNames[] = {
    KELVANE_ERRNO(1, "EPERM"),   KELVANE_ERRNO(2, "ENOENT"),   KELVANE_ERRNO(5, "EIO"),
    KELVANE_ERRNO(6, "ENXIO"),   KELVANE_ERRNO(12, "ENOMEM"),  KELVANE_ERRNO(13, "EACCES"),
    KELVANE_ERRNO(16, "EBUSY"),  KELVANE_ERRNO(19, "ENODEV"),  KELVANE_ERRNO(20, "ENOTDIR"),
    KELVANE_ERRNO(21, "EISDIR"), KELVANE_ERRNO(22, "EINVAL"),  KELVANE_ERRNO(27, "EFBIG"),
    KELVANE_ERRNO(36, "ENAMETOOLONG"),
    KELVANE_ERRNO(95, "EOPNOTSUPP"),
};

#undef KELVANE_ERRNO

}  // namespace

StrView errno_name(Arena* a, int err) {
  for (const ErrnoName& e : kErrnoNames) {
    if (e.err == err) return e.name;
  }
  return arena_sprintf(a, "errno %d", err);
}

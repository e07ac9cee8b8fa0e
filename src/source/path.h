// Absolute paths as the Source names them ("/", "/proc/irq/17"): the parts a
// directory walk needs, as views into the path itself.
#pragma once

#include "base/str.h"

inline bool path_is_root(StrView p) {
  return p.len == 1 && p.ptr[0] == '/';
}
// The directory holding p: "/a/b" gives "/a", "/a" gives "/".
StrView path_parent(StrView p);
// The last component: "/a/b" gives "b", "/" gives "".
StrView path_base_name(StrView p);
// Whether component c holds a wildcard ("*", "?" or "[") and so names the
// entries it matches rather than one of its own.
bool path_has_wildcard(StrView c);

#include "collect/sysfs.h"

#include <cstring>

#include "base/parse.h"

namespace {

// Nine digits always fit a signed 32-bit number.
constexpr size_t kMaxDigits = 9;

StrView last_component(StrView path) {
  const char* slash = static_cast<const char*>(memrchr(path.ptr, '/', path.len));
  if (!slash) return path;
  return sv_slice(path, static_cast<size_t>(slash - path.ptr) + 1, path.len);
}

}  // namespace

bool parse_numbered_name(StrView path, StrView prefix, int32_t* out) {
  if (!path.ptr) return false;
  StrView name = last_component(path);
  if (!sv_consume_prefix(&name, prefix)) return false;
  return name.len <= kMaxDigits && parse_id(name, out);
}

void read_opt_int(Source* src, const char* path, OptInt* out) {
  int64_t v;
  if (!source_read_int(src, path, 10, &v)) return;
  *out = opt_some(v);
}

StrView read_if_present(Source* src, const char* path) {
  return source_exists(src, path) ? source_read(src, path) : kNoneView;
}

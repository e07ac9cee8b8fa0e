#include "base/parse.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Trims v and copies it into buf (64 bytes); fails unless 1..63 bytes remain.
bool to_local(StrView v, char* buf) {
  if (!v.ptr) return false;
  v = sv_trim(v);
  if (v.len < 1 || v.len > 63) return false;
  memcpy(buf, v.ptr, v.len);
  buf[v.len] = 0;
  return true;
}

bool rest_is_space(const char* end) {
  for (; *end; end++) {
    if (!strchr(" \t\n\v\f\r", *end)) return false;
  }
  return true;
}

}  // namespace

bool parse_int(StrView v, int base, int64_t* out) {
  char buf[64];
  if (!to_local(v, buf)) return false;
  errno = 0;
  char* end = nullptr;
  long long r = strtoll(buf, &end, base);
  if (errno == ERANGE || end == buf || !rest_is_space(end)) return false;
  *out = r;
  return true;
}

bool parse_i64(StrView v, int64_t* out) { return parse_int(v, 10, out); }

bool parse_i32(StrView v, int32_t* out) {
  int64_t r;
  if (!parse_int(v, 10, &r)) return false;
  *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(r)));
  return true;
}

bool parse_double(StrView v, double* out) {
  char buf[64];
  if (!to_local(v, buf)) return false;
  errno = 0;
  char* end = nullptr;
  double r = strtod(buf, &end);
  if (errno == ERANGE || end == buf || !rest_is_space(end)) return false;
  *out = r;
  return true;
}

#include "base/parse.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Trims v and copies it into buf (64 bytes); fails unless 1..63 bytes remain.
// Returns the end of the copied text: a NUL byte inside the view is data, so
// the conversion must reach this end, not merely the first NUL.
const char* to_local(StrView v, char* buf) {
  if (!v.ptr) return nullptr;
  v = sv_trim(v);
  if (v.len < 1 || v.len > 63) return nullptr;
  memcpy(buf, v.ptr, v.len);
  buf[v.len] = 0;
  return buf + v.len;
}

// After trimming, only white space may follow the number; the text ends at
// `stop`, and a NUL byte before it is not white space.
bool rest_is_space(const char* end, const char* stop) {
  for (; end < stop; end++) {
    if (*end == 0 || !strchr(" \t\n\v\f\r", *end)) return false;
  }
  return true;
}

}  // namespace

bool parse_int(StrView v, int base, int64_t* out) {
  // strtoll leaves the end pointer unset for a base it does not know.
  if (base != 0 && (base < 2 || base > 36)) return false;
  char buf[64];
  const char* stop = to_local(v, buf);
  if (!stop) return false;
  errno = 0;
  char* end = nullptr;
  long long r = strtoll(buf, &end, base);
  if (errno == ERANGE || end == buf || !rest_is_space(end, stop)) return false;
  *out = r;
  return true;
}

bool parse_i64(StrView v, int64_t* out) { return parse_int(v, 10, out); }

bool parse_i32(StrView v, int32_t* out) {
  int64_t r;
  if (!parse_int(v, 10, &r) || r < INT32_MIN || r > INT32_MAX) return false;
  *out = static_cast<int32_t>(r);
  return true;
}

bool parse_id(StrView v, int32_t* out) {
  return sv_all_digits(v) && parse_i32(v, out);
}

bool parse_double(StrView v, double* out) {
  char buf[64];
  const char* stop = to_local(v, buf);
  if (!stop) return false;
  errno = 0;
  char* end = nullptr;
  double r = strtod(buf, &end);
  if (errno == ERANGE || end == buf || !rest_is_space(end, stop)) return false;
  *out = r;
  return true;
}

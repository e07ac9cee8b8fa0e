#include "measure/tool_text.h"

#include <cmath>
#include <cstring>

#include "base/parse.h"

namespace {

// Only these bytes make up a plain decimal number; strtod alone would also
// take "inf", "nan" and hexadecimal floats.
bool decimal_chars(StrView t) {
  for (size_t i = 0; i < t.len; i++) {
    char c = t.ptr[i];
    if (c == 0 || !strchr("0123456789+-.eE", c)) return false;
  }
  return t.len > 0;
}

}  // namespace

StrView tool_next_line(StrView* cursor) {
  if (!cursor->ptr) return kNoneView;
  StrView line = sv_next_token(cursor, "\n");
  return sv_trim(line);
}

StrView tool_next_token(StrView* cursor) {
  while (cursor->ptr) {
    StrView tok = sv_trim(sv_next_token(cursor, " \t"));
    if (tok.len > 0) return tok;
  }
  return kNoneView;
}

bool tool_number(StrView token, double* out) {
  StrView t = sv_trim(token);
  double v = 0;
  if (!decimal_chars(t) || !parse_double(t, &v) || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool tool_integer(StrView token, int64_t* out) {
  StrView t = sv_trim(token);
  if (!decimal_chars(t)) return false;
  return parse_i64(t, out);
}

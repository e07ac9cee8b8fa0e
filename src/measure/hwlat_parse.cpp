// hwlatdetect's closing lines:
//   Max Latency: 21us          (or "Max Latency: Below threshold")
//   Samples recorded: 4
//   Samples exceeding threshold: 4
#include <cstdint>

#include "measure/tool_parsers.h"
#include "measure/tool_text.h"

namespace {

// "21us" -> "21": the unit after the digits is dropped.
StrView drop_unit(StrView v) {
  while (v.len > 0 && (v.ptr[v.len - 1] < '0' || v.ptr[v.len - 1] > '9')) v.len--;
  return v;
}

}  // namespace

bool parse_hwlatdetect(StrView out, HwlatResult* r) {
  if (!out.ptr || out.len == 0) return false;
  double max = -1;
  int64_t samples = -1;
  bool seen = false;
  for (StrView line = tool_next_line(&out); line.ptr; line = tool_next_line(&out)) {
    if (sv_consume_prefix(&line, sv_lit("Max Latency:"))) {
      seen = true;
      StrView v = sv_trim(line);
      double x = 0;
      if (!sv_starts_with(v, "Below") && tool_number(drop_unit(v), &x)) max = x;
    } else if (sv_consume_prefix(&line, sv_lit("Samples exceeding threshold:"))) {
      seen = true;
      int64_t n = 0;
      if (tool_integer(line, &n)) samples = n;
    }
  }
  if (!seen) return false;
  r->valid = true;
  r->samples_exceeding = samples >= 0 ? samples : (max > 0 ? 1 : 0);
  if (max > 0) {
    r->max_us.has = true;
    r->max_us.value = max;
  }
  return true;
}

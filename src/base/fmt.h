// The short value texts seen in findings and reports.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

StrView fmt_duration_us(Arena* a, double us, bool ascii);
StrView fmt_khz(Arena* a, int64_t khz);
StrView fmt_count(Arena* a, double count);
StrView fmt_bytes(Arena* a, int64_t bytes);

// The plural ending of a counted English noun: "" for one, "s" otherwise
// ("1 thread", "2 threads").
inline const char* fmt_plural(int64_t n) {
  return n == 1 ? "" : "s";
}

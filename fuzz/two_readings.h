// The input of the interrupt-table fuzz targets: two readings of one /proc
// file, the bytes before the first NUL the first reading and those after it
// the second. Without a NUL both readings are the whole input.
#pragma once

#include <cstddef>
#include <cstring>

#include "base/str.h"

struct TwoReadings {
  StrView first;
  StrView second;
};

inline TwoReadings split_readings(const char* text, size_t size) {
  const char* nul = static_cast<const char*>(memchr(text, 0, size));
  if (!nul) return TwoReadings{StrView{text, size}, StrView{text, size}};
  size_t first = static_cast<size_t>(nul - text);
  return TwoReadings{StrView{text, first}, StrView{nul + 1, size - first - 1}};
}

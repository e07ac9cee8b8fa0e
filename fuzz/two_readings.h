// The input of the interrupt-table fuzz targets: two readings of one /proc
// file, the bytes before the first NUL the first reading and those after it
// the second. Without a NUL both readings are the whole input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/arena.h"
#include "base/str.h"
#include "collect/snapshot.h"

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

// Runs body(snapshot, readings) over an empty Snapshot in an Arena of its
// own, released afterwards.
template <class Body>
int fuzz_two_readings(const uint8_t* data, size_t size, Body body) {
  Arena a;
  arena_init(&a);
  Snapshot* s = arena_new<Snapshot>(&a);
  s->arena = &a;
  body(s, split_readings(reinterpret_cast<const char*>(data), size));
  arena_release(&a);
  return 0;
}

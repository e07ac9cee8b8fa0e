// Optional values: a presence flag and the value beside it, so that a value
// cannot be read without its presence being in the same record. A zero-filled
// Opt is absent, which keeps the Snapshot's "zero means unknown" convention.
#pragma once

#include <cstdint>
#include <type_traits>

#include "base/cpuset.h"

template <class T>
struct Opt {
  bool has;
  T value;
};

// An optional integer: absent means unknown.
using OptInt = Opt<int64_t>;
// An optional CPU set: absent (file missing) differs from present and empty.
using OptCpuSet = Opt<CpuSet>;

template <class T>
constexpr Opt<T> opt_some(const T& v) {
  return Opt<T>{true, v};
}

// The value when present, else fallback.
// The second parameter does not take part in deduction, so opt_or(x, 0) and
// opt_is(x, 1) work on an OptInt with plain int literals.
template <class T>
constexpr T opt_or(const Opt<T>& o, const std::type_identity_t<T>& fallback) {
  return o.has ? o.value : fallback;
}

// True when the value is present and equals v.
template <class T>
constexpr bool opt_is(const Opt<T>& o, const std::type_identity_t<T>& v) {
  return o.has && o.value == v;
}

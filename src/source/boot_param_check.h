// Boot parameters named in code are checked against the one table of the
// parameters the analysis reads (base/boot_params_read.h) at compile time, so a
// collector or rule can never read a parameter that capture --redact would
// hide or that the boot configuration comparison would skip.
#pragma once

#include "base/boot_params_read.h"

// Reached only when boot_param names a parameter outside the table; not
// constexpr, so the build fails there.
const char* not_an_analysed_boot_param(const char* name);

constexpr bool boot_param_same(const char* a, const char* b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

// The table's own text for name, checked at compile time.
consteval const char* boot_param(const char* name) {
  for (const BootParamRead& p : kBootParamsRead)
    if (boot_param_same(p.name, name)) return p.name;
  return not_an_analysed_boot_param(name);
}

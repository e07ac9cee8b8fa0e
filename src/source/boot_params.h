// The boot parameters the analysis reads from the kernel command line: one
// list that the command-line collector and the rules name them through, and
// that a redacted capture keeps while it hides every other value.
#pragma once

#include "base/arena.h"
#include "base/str.h"

inline constexpr const char* kAnalysedBootParams[] = {
    "isolcpus",      "nohz_full",            "rcu_nocbs",
    "irqaffinity",   "kthread_cpus",         "rcu_nocb_poll",
    "nosoftlockup",  "nowatchdog",           "skew_tick",
    "nosmt",         "audit",                "idle",
    "intel_pstate",  "mitigations",          "transparent_hugepage",
    "clocksource",   "processor.max_cstate", "intel_idle.max_cstate",
    "nmi_watchdog",  "threadirqs",
};

// Reached only when boot_param names a parameter outside the list; not
// constexpr, so the build fails there.
const char* not_an_analysed_boot_param(const char* name);

constexpr bool boot_param_same(const char* a, const char* b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

// The list's own text for name, checked at compile time: reading a
// parameter the list lacks does not build, so redaction can never hide a
// value the analysis needs.
consteval const char* boot_param(const char* name) {
  for (const char* p : kAnalysedBootParams)
    if (boot_param_same(p, name)) return p;
  return not_an_analysed_boot_param(name);
}

bool boot_param_analysed(StrView key);

// The boot line with the analysed parameters and the kernel file name of
// BOOT_IMAGE kept, and every other value replaced by "redacted" (a root=UUID
// or an ip= is the user's business); bare words stay. Words are separated
// by white space except inside double quotes, as the kernel reads them.
StrView boot_line_redact(Arena* a, StrView line);

// The kernel boot parameters kelvane's analysis reads, and how the kernel
// compares two readings of one. Shared by the rules that compare a configured
// boot line with the booted one and by capture, whose --redact keeps exactly
// these parameters of a boot line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

// How a parameter's value is compared: its presence alone, its text, a CPU
// list compared as a set, or isolcpus= (flag words and a CPU list, each a set).
enum class BootValueKind : uint8_t { flag, text, cpulist, isolcpus };

struct BootParamRead {
  const char* name;
  BootValueKind kind;
  const char* area;  // the category id of the rules that read it ("isolation")
};

// Every boot parameter a rule reads, with the category of that rule. A
// parameter missing here is neither compared with the boot configuration nor
// kept by capture --redact.
inline constexpr BootParamRead kBootParamsRead[] = {
    {"isolcpus", BootValueKind::isolcpus, "isolation"},
    {"nohz_full", BootValueKind::cpulist, "isolation"},
    {"rcu_nocbs", BootValueKind::cpulist, "isolation"},
    {"kthread_cpus", BootValueKind::cpulist, "isolation"},
    {"rcu_nocb_poll", BootValueKind::flag, "isolation"},
    {"nosmt", BootValueKind::flag, "isolation"},
    {"irqaffinity", BootValueKind::cpulist, "irq"},
    {"threadirqs", BootValueKind::flag, "preemption"},
    {"preempt", BootValueKind::text, "preemption"},
    {"idle", BootValueKind::text, "power"},
    {"processor.max_cstate", BootValueKind::text, "power"},
    {"intel_idle.max_cstate", BootValueKind::text, "power"},
    {"intel_pstate", BootValueKind::text, "power"},
    {"nosoftlockup", BootValueKind::flag, "noise"},
    {"nowatchdog", BootValueKind::flag, "noise"},
    {"nmi_watchdog", BootValueKind::text, "noise"},
    {"skew_tick", BootValueKind::text, "noise"},
    {"audit", BootValueKind::text, "noise"},
    {"mitigations", BootValueKind::text, "noise"},
    {"transparent_hugepage", BootValueKind::text, "noise"},
    {"clocksource", BootValueKind::text, "noise"},
    {"tsc", BootValueKind::text, "noise"},
    {"console", BootValueKind::text, "noise"},
    {"quiet", BootValueKind::flag, "noise"},
    {"loglevel", BootValueKind::text, "noise"},
    {"ignore_loglevel", BootValueKind::flag, "noise"},
    {"pcie_aspm", BootValueKind::text, "power"},
    {"efi", BootValueKind::text, "preemption"},
};
inline constexpr size_t kBootParamsReadCount = sizeof kBootParamsRead / sizeof kBootParamsRead[0];

// Parameter names as the kernel compares them: "-" and "_" are the same
// (Documentation/admin-guide/kernel-parameters.rst: "Hyphens (dashes) and
// underscores are equivalent in parameter names"). A byte of a name as it
// compares: "-" reads as "_".
inline char boot_name_byte(char c) { return c == '-' ? '_' : c; }
bool boot_name_eq(StrView a, StrView b);
// A copy of name in the Arena spelt with "_" only: two spellings of one
// parameter give the same key.
StrView boot_name_canonical(Arena* a, StrView name);

// The row of a parameter the analysis reads, or null.
const BootParamRead* boot_param_read_find(StrView name);

// The value of the last pair whose key names the same parameter (boot_name_eq);
// *found tells a bare word (found, value absent) from no word at all.
StrView boot_params_get(const KvList* params, StrView name, bool* found);

// One parameter's reading on one boot line: whether a word names it, and
// the value of the last such word (absent for a bare word).
struct BootValue {
  bool found;
  StrView value;
};

// Whether two readings of a parameter mean the same to the kernel: a flag by
// its presence, a text by its bytes, a CPU list as a set (with N and all
// written out for last_cpu, the last possible CPU, or -1 when unknown), and
// isolcpus= as its set of flag words and its set of CPUs, where no flag word
// means "domain" (Documentation/admin-guide/kernel-parameters.txt, isolcpus).
bool boot_values_same(Arena* a, BootValueKind kind, BootValue x, BootValue y, int32_t last_cpu);

// Platform facts beside the CPU's own settings: thermal throttling counters,
// the PCIe link power policy, whether the machine booted through EFI, the
// CPU feature flags, and the sched_ext scheduler class.
#pragma once

#include "collect/snapshot.h"

// The first "flags" line of /proc/cpuinfo, its value only; absent without one.
StrView parse_cpuinfo_flags(StrView cpuinfo);

// Whether a blank-separated word list holds word.
bool word_list_has(StrView list, const char* word);

void collect_platform(Snapshot* snap);

// A sched_ext scheduler is loaded: its state file reads "enabled".
bool sched_ext_enabled(const Snapshot* snap);

// Reads the thermal throttling counters again and stores their growth.
void sample_thermal(Snapshot* snap);

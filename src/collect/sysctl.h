// Sysctl and noise-source collector: real-time throttling, timer migration,
// NUMA balancing, watchdogs, statistics, swap, transparent huge pages, KSM,
// machine-check polling, workqueue masks, clock source and cgroup version.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"
#include "collect/snapshot.h"

// What /proc/swaps says: whether any device is in use, their total size in
// KiB and their names joined by ", " (empty text with no device line).
struct SwapSummary {
  bool active;
  int64_t total_kb;
  StrView devices;
};

// Parses the text of /proc/swaps: the first line is the column header; each
// further non-empty line is a device whose first word is its name and whose
// Size column (the second word after the name) adds to the total when it is
// a whole number of KiB. Device names are copied into the Arena.
void parse_swaps(Arena* a, StrView text, SwapSummary* out);

// The cgroup version from the text of /proc/mounts: 2 when the filesystem
// mounted at /sys/fs/cgroup has the type cgroup2; else 1 when any version-1
// cgroup hierarchy is mounted (the hybrid layout, with cgroup2 only at
// /sys/fs/cgroup/unified, is version 1); else 2 when a cgroup2 hierarchy is
// mounted elsewhere; else 0. Types are compared field by field.
int32_t parse_cgroup_version(StrView mounts);

// The CPU masks of unbound work: the workqueues' own and writeback's
// (Documentation/core-api/workqueue.rst). Read here, judged and rewritten by
// the noise rules.
struct WorkqueueMask {
  const char* path;
  OptCpuSet Snapshot::*set;
};

inline constexpr WorkqueueMask kWorkqueueMasks[] = {
    {"/sys/devices/virtual/workqueue/cpumask", &Snapshot::workqueue_cpumask},
    {"/sys/bus/workqueue/devices/writeback/cpumask", &Snapshot::writeback_cpumask},
};

// Fills the Sysctls and noise sources group of the Snapshot. Runs after the
// kernel step: it consults the parsed configuration.
void collect_sysctl(Snapshot* snap);

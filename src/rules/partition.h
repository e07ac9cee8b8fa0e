// The CPU partition kelvane proposes for the analysed machine: which cores to
// isolate for real-time work and which to keep for housekeeping. A pure
// function of the Snapshot, so that every finding and plan line that
// suggests CPUs suggests the same ones, and the ones this machine has.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/str.h"

struct Snapshot;

enum class PartitionKind : uint8_t {
  proposed,  // a new set of whole cores to isolate
  existing,  // the CPUs the machine already isolates in part, reused
  one_core,  // fewer than two cores: nothing to propose
  no_spare,  // every core stays for housekeeping: nothing to propose
  unknown,   // no online CPU is known
};

struct Partition {
  PartitionKind kind;
  CpuSet isolate;  // empty unless proposed or existing
  StrView reason;  // one line: why this set, or why none ("one core: ...")
};

// Proposed: the online CPUs grouped into cores by their SMT siblings, less the
// core of the first online CPU and of the lowest online CPU of every other
// NUMA node, less every core below the highest cpu_capacity when CPUs differ
// in capacity; a core is never split. Existing: the CPUs already named by the
// isolated set, isolcpus=, nohz_full=, rcu_nocbs= or an isolated cgroup
// partition, as far as the machine has them.
Partition partition_propose(Arena* a, const Snapshot* s);

// The boot parameters that apply the partition ("isolcpus=managed_irq,domain,P
// nohz_full=P rcu_nocbs=P"; nohz_full is left out on a kernel that ignores
// it); empty when there is nothing to isolate.
StrView partition_boot_params(Arena* a, const Snapshot* s, const Partition* p);

// Fair deadline server collector: the per-CPU time the scheduler reserves for
// normal tasks while real-time ones hold the CPU.
#pragma once

#include "collect/snapshot.h"

// Reads /sys/kernel/debug/sched/fair_server/cpuN/{runtime,period} (ns) into
// fair_server, ascending by CPU; fair_server_available is set when the
// directory has at least one cpuN entry. Part of the sysctl step.
void collect_fair_server(Snapshot* snap);

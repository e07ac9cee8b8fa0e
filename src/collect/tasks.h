// Task collector: every thread of every process under /proc, counted, with a
// record for each one at a real-time policy; on the live system also the
// SCHED_DEADLINE parameters through sched_getattr(2).
#pragma once

#include "collect/snapshot.h"

// Fills the Threads group of the Snapshot from its Source.
void collect_tasks(Snapshot* snap);

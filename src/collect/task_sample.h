// The second reading of the real-time threads' fault and preemption counters
// on the live system, after the sampling window.
#pragma once

#include <cstdint>

#include "collect/snapshot.h"

// Growth of a counter between two readings; absent when either is absent or
// the count went down (the thread ended and another took its id).
OptInt counter_growth(OptInt before, OptInt after);

// Reads each real-time thread's stat and status files again and stores the
// growth of its page faults and involuntary context switches, with the time
// passed since the first reading as the window.
void sample_tasks(Snapshot* snap);

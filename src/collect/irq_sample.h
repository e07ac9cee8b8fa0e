// The second reading of the interrupt and softirq counters on the live
// system, after the sampling window.
#pragma once

#include <cstdint>

#include "base/str.h"
#include "collect/snapshot.h"

// Waits interval_ms once, reads /proc/interrupts and /proc/softirqs again and
// stores each counter's growth; the window is the time that really passed
// between the two readings. Does nothing when the table was never read.
void sample_interrupts(Snapshot* snap, int32_t interval_ms);

// Stores the growth of every counter from the second reading (the texts of
// /proc/interrupts and /proc/softirqs; softirqs may be absent) and marks the
// Snapshot sampled over window_s seconds. The clock-free half of
// sample_interrupts.
void apply_interrupt_sample(Snapshot* snap, StrView interrupts, StrView softirqs, double window_s);

// Growth of a counter between two readings. /proc/interrupts prints 32-bit
// counters, so a count that went down while both readings fit in 32 bits
// wrapped around; any other decrease (a reset) counts as no growth.
uint64_t irq_counter_delta(uint64_t before, uint64_t after);

// The scheduling policy numbers Linux reports for a thread: field 41 of
// /proc/PID/task/TID/stat (Documentation/filesystems/proc.rst, "policy") and
// the sched_policy of sched_getattr(2). The numbers are the kernel's ABI,
// include/uapi/linux/sched.h; 4 is unused.
#pragma once

#include <cstdint>

constexpr int32_t kSchedOther = 0;  // SCHED_NORMAL in the kernel's own sources
constexpr int32_t kSchedFifo = 1;
constexpr int32_t kSchedRr = 2;
constexpr int32_t kSchedBatch = 3;
constexpr int32_t kSchedIdle = 5;
constexpr int32_t kSchedDeadline = 6;

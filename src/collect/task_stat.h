// Pure parsers of a thread's /proc/PID/task/TID/stat and status files, and
// the names kelvane gives to what kernel threads do.
#pragma once

#include <cstdint>

#include "base/str.h"
#include "collect/snapshot.h"

// PF_KTHREAD in the flags field of a stat line: the thread is a kernel thread.
constexpr uint64_t kPfKthread = 0x00200000;

// The fields kelvane takes from a stat line.
struct TaskStat {
  StrView comm;  // the name between the first "(" and the last ")", a view into the text
  StrView state;  // the state letter ("R", "S", "Z" ...)
  bool has_flags;  // flags parsed and not 0
  uint64_t flags;  // per-process flags (PF_*)
  int32_t nice;         // 0 when unreadable
  int32_t last_cpu;     // -1 when unreadable
  int32_t rt_priority;  // 0 when unreadable
  int32_t policy;       // 0 when unreadable
  OptInt minflt;        // minor faults (field 10)
  OptInt majflt;        // major faults (field 12)
};

// Parses a stat line. The name may hold blanks, parentheses and newlines, so
// it ends at the last ")"; at least 39 fields must follow it. False when the
// line does not have that shape.
bool parse_task_stat(StrView text, TaskStat* out);

// Reads the allowed CPUs (Cpus_allowed_list), the context switch counts and
// the process's locked and resident memory (VmLck, VmRSS: counts in "kB"
// only) of a status file into the thread's record.
void parse_task_status(StrView text, RtTask* task);

// "SCHED_FIFO" ... for a policy number, "SCHED_UNKNOWN" for any other.
StrView task_policy_name(int32_t policy);

// A real-time policy: SCHED_FIFO, SCHED_RR or SCHED_DEADLINE.
bool task_policy_is_rt(int32_t policy);

// What a kernel thread of this name does ("Softirq processing" for
// ksoftirqd/3 ...); absent when the name is not known.
StrView task_role(StrView comm);

// N of a threaded interrupt handler's name irq/N-name (or irq/N); absent for
// any other name.
StrView task_irq_number(StrView comm);

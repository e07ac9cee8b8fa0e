// The records of a latency measurement (--measure): the Measurement itself,
// the diagnostic results of the other tool runs and the notes explaining what
// was not measured. All zero means nothing was measured: every valid flag
// false, every Opt absent, every text absent, every list empty. Latencies are
// microseconds.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/list.h"
#include "base/opt.h"
#include "base/str.h"

// One bin of cyclictest's latency histogram: how many samples took us
// microseconds (the bin's lower edge).
struct HistBin {
  int32_t us;
  uint64_t count;
};

// Latency of one CPU as cyclictest reports it. A new entry has every flag
// false and only cpu set.
struct PerCpuLatency {
  int32_t cpu;
  Opt<double> min_us;
  Opt<double> avg_us;
  Opt<double> max_us;
  // cyclictest's histogram (-h): the non-zero bins in ascending us, and the
  // samples beyond its last bin. Empty when no histogram was printed.
  List<HistBin> histogram;
  Opt<uint64_t> overflows;
};

struct Measurement {
  bool valid;         // a latency tool ran and its output was accepted
  StrView source;     // "cyclictest" or "rtla timerlat"
  StrView command;    // the command as shown to users
  double duration_s;  // the requested duration, or the time the tool ran when cut short
  CpuSet cpus;        // the measured CPUs
  Opt<double> min_us;  // best latency over all CPUs (cyclictest only)
  Opt<double> avg_us;
  Opt<double> max_us;           // worst latency
  List<PerCpuLatency> per_cpu;  // in order of first appearance
  bool cut_short = false;       // the tool ended early: the result covers duration_s only
};

struct TimerlatResult {
  bool valid;
  Opt<double> irq_max_us;
  Opt<double> thread_max_us;
  Opt<double> irq_avg_us;
  Opt<double> thread_avg_us;
  double duration_s;
  bool cut_short = false;
};

struct NoiseResult {
  bool valid;
  double duration_s;
  // Interference events summed over all reported CPUs.
  double hw_count;
  double nmi_count;
  double irq_count;
  double softirq_count;
  double thread_count;
  StrView dominant;  // "hardware", "NMI", "IRQ", "softirq" or "threads"
  bool cut_short = false;
};

struct HwlatResult {
  bool valid;
  int64_t samples_exceeding;
  Opt<double> max_us;
  double duration_s;
  StrView command;  // "hwlatdetect --duration=%d --threshold=10"
  bool cut_short = false;
};

// Longest interrupts-disabled section.
struct IrqsoffResult {
  bool valid;
  Opt<double> max_us;
  StrView tracer;  // the tracer that measured it
};

// The entry of m->per_cpu for cpu, appended (only cpu set) when there is none
// yet. The pointer stays valid until the next entry is appended.
PerCpuLatency* per_cpu_entry(Arena* a, Measurement* m, int32_t cpu);

// Appends a copy of text to notes; an absent text adds nothing.
void add_measure_note(Arena* a, StrList* notes, StrView text);

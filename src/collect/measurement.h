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

// A measurement shorter than this, or without load, is a smoke test.
constexpr int32_t kQualifyS = 600;

// What a measurement ran under; two results compare only when these match.
struct MeasureConditions {
  StrView tool_version;   // the tool's own first line ("cyclictest V 2.40"), when known
  int32_t priority;       // SCHED_FIFO priority of the measuring threads
  int32_t interval_us;    // the measuring threads' wake-up period
  StrView pm_qos;         // "none" (no request), "held" (as production) or "forced" (--pm-qos)
  Opt<int32_t> pm_qos_us; // the /dev/cpu_dma_latency request held during the run
  StrView pm_qos_holder;  // "pid 812 (ctrl)": the production process holding it
  StrView load;           // "none" or "stress-ng"
  CpuSet load_cpus;       // where the load ran
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
  MeasureConditions cond;
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

// rtla timerlat's auto-analysis of the sample that crossed its threshold
// (--aa-only): the CPU and what it blames.
struct TimerlatAnalysis {
  bool valid;
  int32_t cpu;
  Opt<double> irq_delay_us;      // "IRQ handler delay"
  Opt<double> thread_latency_us; // "Thread latency"
  StrView blocking_thread;       // "comm:pid" that ran when the timer thread should have
  Opt<double> blocking_us;
  StrView irq;                   // the IRQ interference that took longest, "name:vector"
  Opt<double> irq_us;
};

// The entry of m->per_cpu for cpu, appended (only cpu set) when there is none
// yet. The pointer stays valid until the next entry is appended.
PerCpuLatency* per_cpu_entry(Arena* a, Measurement* m, int32_t cpu);

// Appends a copy of text to notes; an absent text adds nothing.
void add_measure_note(Arena* a, StrList* notes, StrView text);

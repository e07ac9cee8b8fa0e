// --measure: runs cyclictest (or else rtla timerlat) on the CPUs meant for
// real-time work, then rtla timerlat for the IRQ-versus-thread split where
// the kernel has the timerlat tracer, optionally under a stress-ng load on
// the other CPUs, and, when the worst latency misses the target, rtla's
// auto-analysis, hwlatdetect and rtla osnoise as diagnostics. C-states are
// left as production has them: the PM QoS request its holder of
// /dev/cpu_dma_latency makes, or none. Results and notes go into the
// Snapshot's measurement group; nothing here fails the run.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

struct Snapshot;

struct MeasureRequest {
  int32_t duration_s;  // at least 1; the option parser refuses less
  bool force;          // measure even when another tracer is active
  double target_us;    // already resolved to the profile's default
  int32_t priority;    // SCHED_FIFO priority of the measuring threads, 1-98
  int32_t pm_qos_us;   // --pm-qos: the request to hold; negative: as production
  bool load;           // --load: stress-ng on the CPUs not measured
};

// The default measuring priority, as rteval and rtla choose it: a thread at
// 99 outranks every kernel thread an application at its own priority has to
// let run, and so measures a latency the application never sees.
constexpr int32_t kMeasurePriority = 95;
// cyclictest's wake-up interval.
constexpr int32_t kMeasureIntervalUs = 200;

// The production PM QoS request: a process holding /dev/cpu_dma_latency
// open and the value in force.
struct PmQosHold {
  int32_t value_us;
  StrView holder;  // "pid 812 (ctrl)"
};

// How the measurement reaches the system: who we are, where the tools are,
// how one is run. The shipped table uses geteuid, find_tool and run_tool;
// tests hand in recorded output instead.
struct MeasureOps {
  bool (*is_root)(void* ctx);
  // Full path of the named tool, or absent.
  StrView (*find)(Arena* a, const char* name, void* ctx);
  // Runs the null-terminated argv; true when it gave at least one byte.
  // *ran_s is how long the run took by the monotonic clock.
  bool (*run)(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, double* ran_s,
              void* ctx);
  // Who holds /dev/cpu_dma_latency; false when nobody does.
  bool (*pm_qos)(Arena* a, PmQosHold* out, void* ctx);
  // Starts argv in the background, its output dropped; false when it could
  // not be started. stop_load ends it (SIGTERM, then SIGKILL) and reaps it.
  bool (*start_load)(const char* const* argv, void* ctx);
  void (*stop_load)(void* ctx);
  // The first line a tool prints about itself, or absent.
  StrView (*version)(Arena* a, const char* path, void* ctx);
  void* ctx;
};

extern const MeasureOps kSystemMeasureOps;

// Which tools a measurement may start. cyclictest never touches tracing.
// rtla (timerlat, osnoise) and hwlatdetect take a kernel tracer over, so while
// another one is active (current_tracer, as collected, names one other than
// "nop") they start only when forced: hwlatdetect would replace that tracer
// and, when it ends, leave "nop" behind.
struct ToolChoice {
  bool tracer_busy;  // another tracer is active
  bool tracing;      // rtla and hwlatdetect may run
};
ToolChoice choose_tools(StrView current_tracer, bool force);

// A run that ends more than this many seconds before the duration asked
// for (the tool died or was killed) is partial: its results stand for the
// time it really ran.
constexpr double kCutShortS = 1.0;

// The first directory of PATH holding an executable name (absolute entries
// only), else the first of /usr/bin, /usr/sbin, /bin, /sbin, /usr/local/bin
// and /usr/local/sbin that does.
StrView find_tool(Arena* a, const char* name);

// Fills the measurement group of s with the system's tools.
void run_measurement(Snapshot* s, Arena* a, const MeasureRequest* req);
void run_measurement_with(Snapshot* s, Arena* a, const MeasureRequest* req,
                          const MeasureOps* ops);

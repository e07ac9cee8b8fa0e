// --measure: runs cyclictest (or else rtla timerlat) on the CPUs meant for
// real-time work and, when the worst latency misses the target, hwlatdetect
// and rtla osnoise as diagnostics. Results and notes go into the Snapshot's
// measurement group; nothing here fails the run.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

struct Snapshot;

struct MeasureRequest {
  int32_t duration_s;  // at least 1; the option parser refuses less
  bool force;          // measure even when another tracer is active
  double target_us;    // already resolved to the profile's default
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

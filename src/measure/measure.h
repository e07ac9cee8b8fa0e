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
  bool (*run)(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, void* ctx);
  void* ctx;
};

extern const MeasureOps kSystemMeasureOps;

// The first directory of PATH holding an executable name (absolute entries
// only), else the first of /usr/bin, /usr/sbin, /bin, /sbin, /usr/local/bin
// and /usr/local/sbin that does.
StrView find_tool(Arena* a, const char* name);

// Fills the measurement group of s with the system's tools.
void run_measurement(Snapshot* s, Arena* a, const MeasureRequest* req);
void run_measurement_with(Snapshot* s, Arena* a, const MeasureRequest* req,
                          const MeasureOps* ops);

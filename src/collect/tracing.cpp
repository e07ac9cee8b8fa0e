#include "collect/tracing.h"

#include "source/source.h"

namespace {

// Where tracefs may be mounted, in the order they are tried.
constexpr const char* kTracingDirs[] = {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"};

// Tracers the measurement and the rules look for.
struct TracerFlag {
  const char* name;
  bool Snapshot::*flag;
};

constexpr TracerFlag kTracers[] = {
    {"osnoise", &Snapshot::osnoise_available},     {"timerlat", &Snapshot::timerlat_available},
    {"hwlat", &Snapshot::hwlat_available},         {"irqsoff", &Snapshot::irqsoff_available},
    {"wakeup_rt", &Snapshot::wakeup_rt_available},
};

// Tool paths that capture records in a bundle.
struct ToolPath {
  const char* member;
  StrView Snapshot::*field;
};

constexpr ToolPath kTools[] = {
    {"/.kelvane/cmd/which_cyclictest", &Snapshot::which_cyclictest},
    {"/.kelvane/cmd/which_rtla", &Snapshot::which_rtla},
    {"/.kelvane/cmd/which_hwlatdetect", &Snapshot::which_hwlatdetect},
    {"/.kelvane/cmd/which_chrt", &Snapshot::which_chrt},
    {"/.kelvane/cmd/which_taskset", &Snapshot::which_taskset},
    {"/.kelvane/cmd/which_tuna", &Snapshot::which_tuna},
    {"/.kelvane/cmd/which_turbostat", &Snapshot::which_turbostat},
};

// The first directory whose available_tracers can be read (even empty).
bool find_tracing_dir(Snapshot* snap) {
  for (const char* dir : kTracingDirs) {
    StrView tracers = source_read_trimmedf(snap->src, "%s/available_tracers", dir);
    if (!tracers.ptr) continue;
    snap->tracefs_available = true;
    snap->tracefs_path = sv_from_cstr(dir);
    snap->available_tracers = tracers;
    return true;
  }
  return false;
}

void read_tracing_dir(Snapshot* snap) {
  Source* src = snap->src;
  StrView dir = snap->tracefs_path;
  snap->current_tracer = source_read_trimmedf(src, "%.*s/current_tracer", SV_ARG(dir));
  snap->tracing_on.has =
      source_read_intf(src, &snap->tracing_on.value, "%.*s/tracing_on", SV_ARG(dir));
  snap->tracing_instances = source_existsf(src, "%.*s/instances", SV_ARG(dir));
  for (const TracerFlag& t : kTracers) snap->*t.flag = sv_contains(snap->available_tracers, t.name);
}

}  // namespace

void collect_tracing(Snapshot* snap) {
  if (find_tracing_dir(snap)) read_tracing_dir(snap);
  for (const ToolPath& t : kTools) snap->*t.field = source_read_trimmed(snap->src, t.member);
}

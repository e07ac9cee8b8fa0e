#include "collect/fair_server.h"

#include <algorithm>

#include "collect/sysfs.h"
#include "source/source.h"

// Since the deadline server replaced RT throttling as the guard of normal
// tasks, each CPU has a fair_server directory in the scheduler's debugfs
// whose runtime and period (ns) set that CPU's reservation
// (Documentation/scheduler/sched-deadline.rst, "deadline servers").
void collect_fair_server(Snapshot* snap) {
  StrList dirs{};
  source_glob(snap->src, "/sys/kernel/debug/sched/fair_server/cpu[0-9]*", &dirs);
  for (StrView dir : dirs) {
    int32_t cpu;
    if (!parse_numbered_name(dir, sv_lit("cpu"), &cpu) || cpu >= kMaxCpus) continue;
    FairServer* fs = list_grow(snap->arena, &snap->fair_server);
    fs->cpu = cpu;
    int64_t v;
    if (source_read_intf(snap->src, &v, "%.*s/runtime", SV_ARG(dir))) fs->runtime_ns = opt_some(v);
    if (source_read_intf(snap->src, &v, "%.*s/period", SV_ARG(dir))) fs->period_ns = opt_some(v);
  }
  snap->fair_server_available = snap->fair_server.count > 0;
  std::sort(snap->fair_server.begin(), snap->fair_server.end(),
            [](const FairServer& a, const FairServer& b) { return a.cpu < b.cpu; });
}

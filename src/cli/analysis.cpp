#include "cli/analysis.h"

#include <unistd.h>

#include <cstdio>

#include "collect/collect.h"
#include "collect/snapshot.h"
#include "measure/measure.h"
#include "rules/rules.h"

namespace {

const char kLiveOnly[] = "kelvane: --measure needs the live system; ignoring for a bundle\n";

}  // namespace

// A Source in which no file under /proc or /sys could be read holds no
// machine: grading it would give a verdict resting on nothing, so it is
// refused.
Report* analyse(Arena* a, const Options* o, Source* src) {
  Snapshot* snap = arena_new<Snapshot>(a);
  collect_snapshot(snap, a, src, o->interval_ms);
  if (!source_has_kernel_data(src)) {
    fprintf(stderr, "kelvane: '%s' holds no /proc or /sys data\n", src->live ? "/" : src->label);
    return nullptr;
  }
  snap->tool_version = sv_from_cstr(kVersion);
  snap->privileged = geteuid() == 0;
  double target = o->target_us > 0 ? o->target_us : default_target_us(o->profile);
  bool measured = false;
  if (o->measure && !src->live) {
    fputs(kLiveOnly, stderr);
  } else if (o->measure) {
    MeasureRequest req = {o->duration_s, o->force, target, o->priority, o->pm_qos_us, o->load};
    run_measurement(snap, a, &req);
    measured = snap->measure_requested;
  }
  Report* report = arena_new<Report>(a);
  run_rules(report, a, snap, o->profile, measured, target);
  return report;
}

// The measurement driver: CPU choice, cyclictest then rtla timerlat, and the
// diagnostics run when the worst latency misses the target.
#include "measure/measure.h"

#include <unistd.h>

#include <initializer_list>

#include "base/cpuset.h"
#include "base/log.h"
#include "collect/snapshot.h"
#include "measure/run_tool.h"
#include "measure/tool_parsers.h"

namespace {

constexpr int32_t kDiagnosticCapS = 30;

// What every tool run shares: the CPUs, their cpulist text (whole: a list
// cut inside a number would name other CPUs than the thread count covers),
// the main-thread CPU and the duration.
struct MeasurePlan {
  Snapshot* snap;
  Arena* arena;
  const MeasureOps* ops;
  CpuSet cpus;
  int32_t ncpus;
  int32_t main_cpu;
  const char* cpu_list;
  int32_t duration_s;
};

// A null-terminated argument vector, argv[0] the tool's full path.
struct Argv {
  static constexpr int kMax = 24;
  const char* w[kMax + 1];
  int n;
};

void arg(Argv* v, const char* word) {
  if (v->n < Argv::kMax) v->w[v->n++] = word;
  v->w[v->n] = nullptr;
}

void args(Argv* v, std::initializer_list<const char*> words) {
  for (const char* w : words) arg(v, w);
}

void note(MeasurePlan* p, StrView text) {
  add_measure_note(p->arena, &p->snap->measure_notes, text);
}

// Measured CPUs: the isolated set, else the online set. Main thread: the
// lowest housekeeping CPU, else the lowest online CPU, else 0.
void choose_cpus(MeasurePlan* p) {
  const Snapshot* s = p->snap;
  cpuset_copy(&p->cpus, cpuset_empty(&s->isolated) ? &s->online : &s->isolated);
  p->ncpus = cpuset_count(&p->cpus);
  int32_t main_cpu = cpuset_first(&s->housekeeping);
  if (main_cpu < 0) main_cpu = cpuset_first(&s->online);
  p->main_cpu = main_cpu < 0 ? 0 : main_cpu;
  p->cpu_list = cpuset_format_list(p->arena, &p->cpus).ptr;
  if (!p->cpu_list) p->cpu_list = "";
}

void check_tracer(MeasurePlan* p, bool force) {
  StrView tracer = sv_trim(p->snap->current_tracer);
  if (!sv_present(tracer) || sv_eq_cstr(tracer, "nop") || force) return;
  note(p, arena_sprintf(p->arena, "another tracer is active ('%.*s'); re-run with --force to override",
                        SV_ARG(tracer)));
}

bool run(MeasurePlan* p, const Argv* v, int32_t timeout_s, StrView* out) {
  return p->ops->run(p->arena, v->w, timeout_s, out, p->ops->ctx);
}

void run_cyclictest(MeasurePlan* p) {
  StrView path = p->ops->find(p->arena, "cyclictest", p->ops->ctx);
  if (!sv_present(path)) return;
  Arena* a = p->arena;
  int32_t threads = p->ncpus > 0 ? p->ncpus : 1;
  Argv v = {};
  arg(&v, path.ptr);
  args(&v, {"-q", "-m", "-D"});
  arg(&v, arena_sprintf(a, "%d", p->duration_s).ptr);
  args(&v, {"-p", "99", "-i", "200", "-t"});
  arg(&v, arena_sprintf(a, "%d", threads).ptr);
  arg(&v, "-a");
  arg(&v, p->cpu_list);
  arg(&v, arena_sprintf(a, "--mainaffinity=%d", p->main_cpu).ptr);
  arg(&v, "-h");
  arg(&v, "400");
  log_progress("running cyclictest for %d s on CPUs %s", p->duration_s, p->cpu_list);
  StrView out = kNoneView;
  Measurement* m = &p->snap->measured;
  if (!run(p, &v, p->duration_s, &out) || !parse_cyclictest(a, out, &p->cpus, m)) {
    note(p, sv_lit("cyclictest produced no parseable output"));
    return;
  }
  m->duration_s = p->duration_s;
  m->command = arena_sprintf(a, "cyclictest -D %d -p 99 -a %s", p->duration_s, p->cpu_list);
}

// Debian 12's rtla (6.1) knows no -q for timerlat hist and answers it with
// its usage text; without -q it prints the same histogram.
// Output the parser rejects gets one more run without -q.
bool run_timerlat(MeasurePlan* p, StrView path, const char* dur, StrView* out) {
  Argv v = {};
  args(&v, {path.ptr, "timerlat", "hist", "-d", dur, "-c", p->cpu_list, "-q"});
  TimerlatResult* t = &p->snap->timerlat_result;
  if (!run(p, &v, p->duration_s, out)) return false;  // silent: -q is not the cause
  if (parse_timerlat_hist(p->arena, *out, t)) return true;
  log_progress("rtla timerlat gave nothing usable with -q; running it again without");
  v.w[--v.n] = nullptr;
  return run(p, &v, p->duration_s, out) && parse_timerlat_hist(p->arena, *out, t);
}

void run_rtla_timerlat(MeasurePlan* p) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path)) return;
  Arena* a = p->arena;
  const char* dur = arena_sprintf(a, "%ds", p->duration_s).ptr;
  log_progress("running rtla timerlat for %d s", p->duration_s);
  StrView out = kNoneView;
  if (!run_timerlat(p, path, dur, &out)) {
    note(p, sv_lit("rtla timerlat produced no parseable output"));
    return;
  }
  TimerlatResult* t = &p->snap->timerlat_result;
  t->duration_s = p->duration_s;
  if (!t->thread_max_us.has) return;
  Measurement* m = &p->snap->measured;
  m->valid = true;
  m->source = sv_lit("rtla timerlat");
  m->command = arena_sprintf(a, "rtla timerlat hist -d %s -c %s", dur, p->cpu_list);
  m->duration_s = p->duration_s;
  cpuset_copy(&m->cpus, &p->cpus);
  m->max_us.has = true;
  m->max_us.value = t->thread_max_us.value;
  m->avg_us.has = t->thread_avg_us.has;
  m->avg_us.value = t->thread_avg_us.value;
}

void run_hwlatdetect(MeasurePlan* p, int32_t diag_s) {
  StrView path = p->ops->find(p->arena, "hwlatdetect", p->ops->ctx);
  if (!sv_present(path)) {
    note(p, sv_lit("hwlatdetect not installed; firmware latency was not ruled out"));
    return;
  }
  Argv v = {};
  arg(&v, path.ptr);
  arg(&v, arena_sprintf(p->arena, "--duration=%d", diag_s).ptr);
  arg(&v, "--threshold=10");
  log_progress("running hwlatdetect for %d s", diag_s);
  StrView out = kNoneView;
  HwlatResult* h = &p->snap->hwlat_result;
  if (!run(p, &v, diag_s, &out) || !parse_hwlatdetect(out, h)) {
    note(p, sv_lit("hwlatdetect did not run"));
    return;
  }
  h->duration_s = diag_s;
  h->command = arena_sprintf(p->arena, "hwlatdetect --duration=%d --threshold=10", diag_s);
}

// osnoise is a bonus: a missing rtla or unusable output adds no note.
void run_rtla_osnoise(MeasurePlan* p, int32_t diag_s) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path)) return;
  const char* dur = arena_sprintf(p->arena, "%ds", diag_s).ptr;
  Argv v = {};
  args(&v, {path.ptr, "osnoise", "top", "-d", dur, "-c", p->cpu_list, "-q"});
  log_progress("running rtla osnoise for %d s", diag_s);
  StrView out = kNoneView;
  NoiseResult* n = &p->snap->noise_result;
  if (run(p, &v, diag_s, &out) && parse_osnoise_top(out, n)) n->duration_s = diag_s;
}

bool system_is_root(void*) { return geteuid() == 0; }

StrView system_find(Arena* a, const char* name, void*) { return find_tool(a, name); }

bool system_run(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, void*) {
  return run_tool(a, argv, timeout_s, out);
}

}  // namespace

const MeasureOps kSystemMeasureOps = {system_is_root, system_find, system_run, nullptr};

void run_measurement_with(Snapshot* s, Arena* a, const MeasureRequest* req,
                          const MeasureOps* ops) {
  s->measure_requested = true;
  MeasurePlan p = {};
  p.snap = s;
  p.arena = a;
  p.ops = ops;
  p.duration_s = req->duration_s;
  if (!ops->is_root(ops->ctx)) {
    note(&p, sv_lit("measurement needs root"));
    return;
  }
  choose_cpus(&p);
  check_tracer(&p, req->force);
  run_cyclictest(&p);
  if (!s->measured.valid) run_rtla_timerlat(&p);
  if (!s->measured.valid) {
    note(&p, sv_lit("no latency tool available: install rt-tests (cyclictest) or rtla"));
    return;
  }
  if (!s->measured.max_us.has || !(s->measured.max_us.value > req->target_us)) return;
  log_progress("target missed; running diagnostics");
  int32_t diag_s = p.duration_s < kDiagnosticCapS ? p.duration_s : kDiagnosticCapS;
  run_hwlatdetect(&p, diag_s);
  run_rtla_osnoise(&p, diag_s);
}

void run_measurement(Snapshot* s, Arena* a, const MeasureRequest* req) {
  run_measurement_with(s, a, req, &kSystemMeasureOps);
}

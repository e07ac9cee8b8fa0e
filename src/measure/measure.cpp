// The measurement driver: CPU choice, cyclictest then rtla timerlat, and the
// diagnostics run when the worst latency misses the target.
#include "measure/measure.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/cpuset.h"
#include "base/log.h"
#include "collect/snapshot.h"
#include "measure/run_tool.h"
#include "measure/stop_signals.h"
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
  ToolChoice choice;
  bool tool_found;  // cyclictest or rtla is installed
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
  p->choice = choose_tools(p->snap->current_tracer, force);
  if (!p->choice.tracer_busy || p->choice.tracing) return;
  note(p, arena_sprintf(p->arena,
                        "another tracer is active ('%.*s'); rtla and hwlatdetect were not run: "
                        "re-run with --force to override",
                        SV_ARG(sv_trim(p->snap->current_tracer))));
}

// True when the kernel's list of tracers was read and lacks name. rtla
// timerlat and hwlatdetect drive the kernel's own "timerlat" and "hwlat"
// tracers, which the kernel offers only when built with them and lists in
// available_tracers (Documentation/trace/ftrace.rst,
// Documentation/trace/timerlat-tracer.rst, Documentation/trace/hwlat_detector.rst).
// An unread list proves nothing: the tool is tried.
bool tracer_missing(const Snapshot* s, const char* name) {
  if (!sv_present(s->available_tracers)) return false;
  StrView cur = s->available_tracers;
  while (cur.ptr) {
    if (sv_eq_cstr(sv_next_token(&cur, " \t\n"), name)) return false;
  }
  return true;
}

// The last non-blank line of a tool's output, at most 120 bytes: where a
// tool (or a Python traceback) says why it stopped.
StrView last_line(StrView out) {
  StrView last = kNoneView;
  StrView cur = out;
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_token(&cur, "\n"));
    if (line.len) last = line;
  }
  if (last.len > 120) last.len = 120;
  return last;
}

bool run(MeasurePlan* p, const Argv* v, int32_t timeout_s, StrView* out, double* ran_s) {
  *ran_s = 0;
  return p->ops->run(p->arena, v->w, timeout_s, out, ran_s, p->ops->ctx);
}

// The duration a tool's results stand for: the one asked for, or the time
// the tool really ran when it ended more than kCutShortS sooner, with a note
// saying so and *cut_short set: the rules grade no pass or fail from it.
double covered_s(MeasurePlan* p, const char* tool, int32_t asked_s, double ran_s,
                 bool* cut_short) {
  *cut_short = ran_s < asked_s - kCutShortS;
  if (!*cut_short) return asked_s;
  note(p, arena_sprintf(p->arena,
                        "%s stopped after %.1f s of the %d s asked for; its results cover only "
                        "that time",
                        tool, ran_s, asked_s));
  return ran_s;
}

void run_cyclictest(MeasurePlan* p) {
  StrView path = p->ops->find(p->arena, "cyclictest", p->ops->ctx);
  if (!sv_present(path)) return;
  p->tool_found = true;
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
  double ran_s = 0;
  Measurement* m = &p->snap->measured;
  if (!run(p, &v, p->duration_s, &out, &ran_s) || !parse_cyclictest(a, out, &p->cpus, m)) {
    note(p, sv_lit("cyclictest produced no parseable output"));
    return;
  }
  m->duration_s = covered_s(p, "cyclictest", p->duration_s, ran_s, &m->cut_short);
  m->command = arena_sprintf(a, "cyclictest -D %d -p 99 -a %s", p->duration_s, p->cpu_list);
}

// Debian 12's rtla (6.1) knows no -q for timerlat hist and answers it with
// its usage text; without -q it prints the same histogram.
// Output the parser rejects gets one more run without -q.
bool run_timerlat(MeasurePlan* p, StrView path, const char* dur, StrView* out, double* ran_s) {
  Argv v = {};
  args(&v, {path.ptr, "timerlat", "hist", "-d", dur, "-c", p->cpu_list, "-q"});
  TimerlatResult* t = &p->snap->timerlat_result;
  if (!run(p, &v, p->duration_s, out, ran_s)) return false;  // silent: -q is not the cause
  if (parse_timerlat_hist(p->arena, *out, t)) return true;
  log_progress("rtla timerlat gave nothing usable with -q; running it again without");
  v.w[--v.n] = nullptr;
  return run(p, &v, p->duration_s, out, ran_s) && parse_timerlat_hist(p->arena, *out, t);
}

void run_rtla_timerlat(MeasurePlan* p) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path)) return;
  p->tool_found = true;
  if (!p->choice.tracing) return;  // check_tracer has said why
  if (tracer_missing(p->snap, "timerlat")) {
    note(p, sv_lit("rtla is installed but this kernel has no timerlat tracer "
                   "(CONFIG_TIMERLAT_TRACER)"));
    return;
  }
  Arena* a = p->arena;
  const char* dur = arena_sprintf(a, "%ds", p->duration_s).ptr;
  log_progress("running rtla timerlat for %d s", p->duration_s);
  StrView out = kNoneView;
  double ran_s = 0;
  if (!run_timerlat(p, path, dur, &out, &ran_s)) {
    note(p, sv_lit("rtla timerlat produced no parseable output"));
    return;
  }
  TimerlatResult* t = &p->snap->timerlat_result;
  t->duration_s = covered_s(p, "rtla timerlat", p->duration_s, ran_s, &t->cut_short);
  if (!t->thread_max_us.has) {
    note(p, sv_lit("rtla timerlat reported no thread latency"));
    return;
  }
  Measurement* m = &p->snap->measured;
  m->valid = true;
  m->source = sv_lit("rtla timerlat");
  m->command = arena_sprintf(a, "rtla timerlat hist -d %s -c %s", dur, p->cpu_list);
  m->duration_s = t->duration_s;
  m->cut_short = t->cut_short;
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
  if (!p->choice.tracing) return;
  if (tracer_missing(p->snap, "hwlat")) {
    note(p, sv_lit("hwlatdetect did not run: this kernel has no hwlat tracer "
                   "(CONFIG_HWLAT_TRACER)"));
    return;
  }
  Argv v = {};
  arg(&v, path.ptr);
  arg(&v, arena_sprintf(p->arena, "--duration=%d", diag_s).ptr);
  arg(&v, "--threshold=10");
  log_progress("running hwlatdetect for %d s", diag_s);
  StrView out = kNoneView;
  double ran_s = 0;
  HwlatResult* h = &p->snap->hwlat_result;
  if (!run(p, &v, diag_s, &out, &ran_s)) {
    note(p, sv_lit("hwlatdetect did not run: it printed nothing"));
    return;
  }
  if (!parse_hwlatdetect(out, h)) {
    StrView why = last_line(out);
    note(p, why.len ? arena_sprintf(p->arena, "hwlatdetect did not run: %.*s", SV_ARG(why))
                    : sv_lit("hwlatdetect did not run: it printed nothing"));
    return;
  }
  h->duration_s = covered_s(p, "hwlatdetect", diag_s, ran_s, &h->cut_short);
  h->command = arena_sprintf(p->arena, "hwlatdetect --duration=%d --threshold=10", diag_s);
}

// osnoise is a bonus: a missing rtla or unusable output adds no note.
void run_rtla_osnoise(MeasurePlan* p, int32_t diag_s) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path) || !p->choice.tracing) return;
  const char* dur = arena_sprintf(p->arena, "%ds", diag_s).ptr;
  Argv v = {};
  args(&v, {path.ptr, "osnoise", "top", "-d", dur, "-c", p->cpu_list, "-q"});
  log_progress("running rtla osnoise for %d s", diag_s);
  StrView out = kNoneView;
  double ran_s = 0;
  NoiseResult* n = &p->snap->noise_result;
  if (run(p, &v, diag_s, &out, &ran_s) && parse_osnoise_top(out, n))
    n->duration_s = covered_s(p, "rtla osnoise", diag_s, ran_s, &n->cut_short);
}

bool system_is_root(void*) { return geteuid() == 0; }

StrView system_find(Arena* a, const char* name, void*) { return find_tool(a, name); }

// A signal kelvane caught while the tool ran ends kelvane with that signal,
// the tool already stopped and reaped. The measurement itself starts and
// changes nothing else on the machine (the tracers and the PM QoS request are
// the tools', undone by the tools as they stop), so nothing else is left to
// undo.
bool system_run(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, double* ran_s,
                void*) {
  ToolRun r = {};
  bool ok = run_tool(a, argv, timeout_s, &r);
  if (r.signal) {
    const char* name = strrchr(argv[0], '/');
    fprintf(stderr, "kelvane: %s; %s stopped\n", strsignal(r.signal), name ? name + 1 : argv[0]);
    die_of_signal(r.signal);
  }
  *out = r.out;
  *ran_s = static_cast<double>(r.elapsed_ms) / 1000;
  return ok;
}

}  // namespace

ToolChoice choose_tools(StrView current_tracer, bool force) {
  StrView tracer = sv_trim(current_tracer);
  ToolChoice c = {};
  c.tracer_busy = tracer.len > 0 && !sv_eq_cstr(tracer, "nop");
  c.tracing = force || !c.tracer_busy;
  return c;
}

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
    // A tool that was found and failed has said so in its own note.
    if (!p.tool_found)
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

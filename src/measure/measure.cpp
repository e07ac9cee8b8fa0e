// The measurement driver: CPU choice, the conditions (priority, PM QoS,
// load), cyclictest then rtla timerlat, and the diagnostics run when the
// worst latency misses the target.
#include "measure/measure.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/cpuset.h"
#include "base/log.h"
#include "collect/snapshot.h"
#include "measure/run_tool.h"
#include "base/stop_signals.h"
#include "measure/tool_parsers.h"
#include "source/pm_qos_hold.h"

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
  const char* priority;  // the measuring threads' priority, as text
  const char* pm_qos;    // the request to hold as text, or null: none
  bool loaded;           // the load runs
};

// A null-terminated argument vector, argv[0] the tool's full path.
struct Argv {
  static constexpr int kMax = 32;
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
// timerlat, rtla osnoise and hwlatdetect drive the kernel's own "timerlat",
// "osnoise" and "hwlat" tracers, which the kernel offers only when built with
// them and lists in available_tracers (Documentation/trace/ftrace.rst,
// timerlat-tracer.rst, osnoise-tracer.rst and hwlat_detector.rst there).
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

StrView tool_version(MeasurePlan* p, StrView path) {
  return p->ops->version ? p->ops->version(p->arena, path.ptr, p->ops->ctx) : kNoneView;
}

// rtla's scheduling and PM QoS arguments: the same priority and request as
// cyclictest's (rtla makes no request unless asked).
void rtla_conditions(MeasurePlan* p, Argv* v) {
  args(v, {"-P", arena_sprintf(p->arena, "f:%s", p->priority).ptr});
  if (p->pm_qos) args(v, {"--dma-latency", p->pm_qos});
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
  args(&v, {"-p", p->priority, "-i", arena_sprintf(a, "%d", kMeasureIntervalUs).ptr, "-t"});
  arg(&v, arena_sprintf(a, "%d", threads).ptr);
  arg(&v, "-a");
  arg(&v, p->cpu_list);
  arg(&v, arena_sprintf(a, "--mainaffinity=%d", p->main_cpu).ptr);
  arg(&v, "-h");
  arg(&v, "400");
  // Without --latency cyclictest requests 0 for the whole run; --laptop
  // makes no request at all (cyclictest(8)).
  const char* qos = p->pm_qos ? arena_sprintf(a, "--latency=%s", p->pm_qos).ptr : "--laptop";
  arg(&v, qos);
  log_progress("running cyclictest for %d s on CPUs %s", p->duration_s, p->cpu_list);
  StrView out = kNoneView;
  double ran_s = 0;
  Measurement* m = &p->snap->measured;
  if (!run(p, &v, p->duration_s, &out, &ran_s) || !parse_cyclictest(a, out, &p->cpus, m)) {
    note(p, sv_lit("cyclictest produced no parseable output"));
    return;
  }
  m->duration_s = covered_s(p, "cyclictest", p->duration_s, ran_s, &m->cut_short);
  m->command = arena_sprintf(a, "cyclictest -D %d -p %s -a %s %s", p->duration_s, p->priority,
                             p->cpu_list, qos);
  m->cond.interval_us = kMeasureIntervalUs;
  m->cond.tool_version = tool_version(p, path);
}

// Debian 12's rtla (6.1) knows no -q for timerlat hist and answers it with
// its usage text; without -q it prints the same histogram.
// Output the parser rejects gets one more run without -q.
bool run_timerlat(MeasurePlan* p, StrView path, int32_t dur_s, StrView* out, double* ran_s) {
  Argv v = {};
  const char* dur = arena_sprintf(p->arena, "%ds", dur_s).ptr;
  args(&v, {path.ptr, "timerlat", "hist", "-d", dur, "-c", p->cpu_list});
  rtla_conditions(p, &v);
  arg(&v, "-q");
  TimerlatResult* t = &p->snap->timerlat_result;
  if (!run(p, &v, dur_s, out, ran_s)) return false;  // silent: -q is not the cause
  if (parse_timerlat_hist(p->arena, *out, t)) return true;
  log_progress("rtla timerlat gave nothing usable with -q; running it again without");
  v.w[--v.n] = nullptr;
  return run(p, &v, dur_s, out, ran_s) && parse_timerlat_hist(p->arena, *out, t);
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
  log_progress("running rtla timerlat for %d s", p->duration_s);
  StrView out = kNoneView;
  double ran_s = 0;
  if (!run_timerlat(p, path, p->duration_s, &out, &ran_s)) {
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
  m->command = arena_sprintf(a, "rtla timerlat hist -d %ds -c %s -P f:%s%s%s", p->duration_s,
                             p->cpu_list, p->priority, p->pm_qos ? " --dma-latency " : "",
                             p->pm_qos ? p->pm_qos : "");
  m->cond.interval_us = 1000;  // rtla timerlat's default period
  m->cond.tool_version = tool_version(p, path);
  m->duration_s = t->duration_s;
  m->cut_short = t->cut_short;
  cpuset_copy(&m->cpus, &p->cpus);
  m->max_us.has = true;
  m->max_us.value = t->thread_max_us.value;
  m->avg_us.has = t->thread_avg_us.has;
  m->avg_us.value = t->thread_avg_us.value;
}

// After cyclictest: rtla timerlat on the same CPUs for min(duration, 30 s),
// for the IRQ-versus-thread split cyclictest cannot give. Only where the
// kernel lists the timerlat tracer; rtla's failure here is only a note.
void run_timerlat_split(MeasurePlan* p, int32_t diag_s) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path) || !p->choice.tracing || !sv_present(p->snap->available_tracers)) return;
  if (tracer_missing(p->snap, "timerlat")) return;
  log_progress("running rtla timerlat for %d s", diag_s);
  StrView out = kNoneView;
  double ran_s = 0;
  if (!run_timerlat(p, path, diag_s, &out, &ran_s)) {
    note(p, sv_lit("rtla timerlat produced no parseable output"));
    return;
  }
  TimerlatResult* t = &p->snap->timerlat_result;
  t->duration_s = covered_s(p, "rtla timerlat", diag_s, ran_s, &t->cut_short);
}

// rtla's auto-analysis (timerlat top --aa-only US, rtla 6.3 and later) of
// the first sample past the target: which IRQ or thread delayed the timer
// thread. Older rtla lacks it, and its -a saves a trace file instead: the
// help text decides.
void run_timerlat_analysis(MeasurePlan* p, int32_t diag_s, double target_us) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path) || !p->choice.tracing || !sv_present(p->snap->available_tracers)) return;
  if (tracer_missing(p->snap, "timerlat")) return;
  Argv help = {};
  args(&help, {path.ptr, "timerlat", "top", "--help"});
  StrView out = kNoneView;
  double ran_s = 0;
  if (!run(p, &help, 5, &out, &ran_s) || !sv_contains(out, "--aa-only")) {
    note(p, sv_lit("this rtla has no timerlat auto-analysis (--aa-only): the missed target was "
                   "not analysed"));
    return;
  }
  Arena* a = p->arena;
  int32_t us = target_us < 1 ? 1 : target_us > 1e6 ? 1000000 : static_cast<int32_t>(target_us);
  Argv v = {};
  args(&v, {path.ptr, "timerlat", "top", "--aa-only", arena_sprintf(a, "%d", us).ptr, "-d",
            arena_sprintf(a, "%ds", diag_s).ptr, "-c", p->cpu_list});
  rtla_conditions(p, &v);
  log_progress("running rtla timerlat auto-analysis for up to %d s", diag_s);
  if (!run(p, &v, diag_s, &out, &ran_s) ||
      !parse_timerlat_analysis(a, out, &p->snap->timerlat_analysis))
    note(p, sv_lit("rtla timerlat auto-analysis saw no sample past the target"));
}

// The PM QoS request to measure with: --pm-qos, else the one production
// holds, else none, so that C-state exit latency counts as it will for the
// application.
void choose_pm_qos(MeasurePlan* p, const MeasureRequest* req) {
  MeasureConditions* c = &p->snap->measured.cond;
  PmQosHold hold = {};
  if (req->pm_qos_us >= 0) {
    c->pm_qos = sv_lit("forced");
    c->pm_qos_us = opt_some(req->pm_qos_us);
  } else if (p->ops->pm_qos && p->ops->pm_qos(p->arena, &hold, p->ops->ctx)) {
    c->pm_qos = sv_lit("held");
    c->pm_qos_us = opt_some(hold.value_us);
    c->pm_qos_holder = hold.holder;
  } else {
    c->pm_qos = sv_lit("none");
    return;
  }
  p->pm_qos = arena_sprintf(p->arena, "%d", c->pm_qos_us.value).ptr;
}

// --load: stress-ng's CPU, memory and I/O stressors at normal priority on the
// CPUs not measured (all of them when every CPU is), running past the
// measurements it brackets only if kelvane dies, as a bound.
void start_load(MeasurePlan* p, int32_t span_s) {
  MeasureConditions* c = &p->snap->measured.cond;
  c->load = sv_lit("none");
  StrView path = p->ops->find(p->arena, "stress-ng", p->ops->ctx);
  if (!sv_present(path)) {
    note(p, sv_lit("--load asked for stress-ng, which is not installed: measured without load"));
    return;
  }
  Arena* a = p->arena;
  CpuSet* cpus = &c->load_cpus;
  cpuset_copy(cpus, &p->snap->online);
  for (int32_t cpu : CpuIter{&p->cpus}) cpuset_remove(cpus, cpu);
  if (cpuset_empty(cpus)) cpuset_copy(cpus, cpuset_empty(&p->snap->online) ? &p->cpus : &p->snap->online);
  int32_t n = cpuset_count(cpus) > 0 ? cpuset_count(cpus) : 1;
  const char* list = cpuset_format_list(a, cpus).ptr;
  Argv v = {};
  args(&v, {path.ptr, "--cpu", arena_sprintf(a, "%d", n).ptr, "--vm", "1", "--vm-bytes", "10%",
            "--io", "1", "--taskset", list ? list : "0", "--timeout",
            arena_sprintf(a, "%ds", span_s + kToolSlackS).ptr, "--quiet"});
  if (!p->ops->start_load || !p->ops->start_load(v.w, p->ops->ctx)) {
    note(p, sv_lit("stress-ng could not be started: measured without load"));
    return;
  }
  log_progress("stress-ng loading CPUs %s", list ? list : "");
  c->load = sv_lit("stress-ng");
  p->loaded = true;
}

void stop_load(MeasurePlan* p) {
  if (!p->loaded) return;
  p->loaded = false;
  if (p->ops->stop_load) p->ops->stop_load(p->ops->ctx);
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

// osnoise is a bonus: a missing rtla or unusable output adds no note; a
// kernel without the osnoise tracer (Documentation/trace/osnoise-tracer.rst)
// is said, rather than spending the diagnostic time on a run that fails.
void run_rtla_osnoise(MeasurePlan* p, int32_t diag_s) {
  StrView path = p->ops->find(p->arena, "rtla", p->ops->ctx);
  if (!sv_present(path) || !p->choice.tracing) return;
  if (tracer_missing(p->snap, "osnoise")) {
    note(p, sv_lit("rtla osnoise did not run: this kernel has no osnoise tracer "
                   "(CONFIG_OSNOISE_TRACER)"));
    return;
  }
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

// The load running in the background, stopped on every way out of a
// measurement, a caught signal included.
pid_t g_load = -1;

void system_stop_load(void*) {
  background_stop(g_load, kToolGraceMs);
  g_load = -1;
}

bool system_start_load(const char* const* argv, void* ctx) {
  system_stop_load(ctx);
  g_load = background_start(argv);
  return g_load > 0;
}

bool system_pm_qos(Arena* a, PmQosHold* out, void*) {
  PmQosHolder h = {};
  if (!pm_qos_find_holder(a, "/proc", "/dev/cpu_dma_latency", &h) || !h.value_known) return false;
  out->value_us = h.value_us;
  out->holder = pm_qos_holder_text(a, &h);
  return true;
}

// A signal kelvane caught while the tool ran ends kelvane with that signal,
// the tool already stopped and reaped and the load stopped. The tracers and
// the PM QoS request are the tools', undone by the tools as they stop.
bool system_run(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, double* ran_s,
                void* ctx) {
  ToolRun r = {};
  bool ok = run_tool(a, argv, timeout_s, &r);
  if (r.signal) {
    system_stop_load(ctx);
    const char* name = strrchr(argv[0], '/');
    fprintf(stderr, "kelvane: %s; %s stopped\n", strsignal(r.signal), name ? name + 1 : argv[0]);
    die_of_signal(r.signal);
  }
  *out = r.out;
  *ran_s = static_cast<double>(r.elapsed_ms) / 1000;
  return ok;
}

// The first non-blank line of "TOOL --help", at most 60 bytes.
StrView system_version(Arena* a, const char* path, void* ctx) {
  const char* argv[] = {path, "--help", nullptr};
  StrView out = kNoneView;
  double ran_s = 0;
  if (!system_run(a, argv, 1, &out, &ran_s, ctx)) return kNoneView;
  for (StrView cur = out; cur.ptr;) {
    StrView line = sv_trim(sv_next_token(&cur, "\n"));
    if (!line.len) continue;
    if (line.len > 60) line.len = 60;
    return line;
  }
  return kNoneView;
}

}  // namespace

ToolChoice choose_tools(StrView current_tracer, bool force) {
  StrView tracer = sv_trim(current_tracer);
  ToolChoice c = {};
  c.tracer_busy = tracer.len > 0 && !sv_eq_cstr(tracer, "nop");
  c.tracing = force || !c.tracer_busy;
  return c;
}

const MeasureOps kSystemMeasureOps = {system_is_root,    system_find,      system_run,
                                      system_pm_qos,     system_start_load, system_stop_load,
                                      system_version,    nullptr};

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
  int32_t prio = req->priority >= 1 && req->priority <= 98 ? req->priority : kMeasurePriority;
  p.priority = arena_sprintf(a, "%d", prio).ptr;
  choose_pm_qos(&p, req);
  int32_t diag_s = p.duration_s < kDiagnosticCapS ? p.duration_s : kDiagnosticCapS;
  s->measured.cond.load = sv_lit("none");
  if (req->load) start_load(&p, p.duration_s + diag_s);
  run_cyclictest(&p);
  if (s->measured.valid) run_timerlat_split(&p, diag_s);
  if (!s->measured.valid) run_rtla_timerlat(&p);
  stop_load(&p);
  s->measured.cond.priority = prio;
  if (!s->measured.valid) {
    // A tool that was found and failed has said so in its own note.
    if (!p.tool_found)
      note(&p, sv_lit("no latency tool available: install rt-tests (cyclictest) or rtla"));
    return;
  }
  if (!s->measured.max_us.has || !(s->measured.max_us.value > req->target_us)) return;
  log_progress("target missed; running diagnostics");
  run_timerlat_analysis(&p, diag_s, req->target_us);
  run_hwlatdetect(&p, diag_s);
  run_rtla_osnoise(&p, diag_s);
}

void run_measurement(Snapshot* s, Arena* a, const MeasureRequest* req) {
  run_measurement_with(s, a, req, &kSystemMeasureOps);
}

// System noise rules: background work that reaches every CPU (swap,
// transparent-hugepage defrag, timer migration, NUMA balancing, the lockup
// watchdogs, machine-check polling, same-page merging, VM statistics), the
// clocksource and the speculative-execution mitigations. A check whose input
// was not read emits nothing. Every finding here belongs to the "noise"
// category.
#include <cstdint>

#include "base/fmt.h"
#include "collect/snapshot.h"
#include "collect/sysctl.h"
#include "rules/finding.h"
#include "rules/isolated_overlap.h"
#include "rules/lockup_watchdog.h"
#include "rules/remedy.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::noise;

bool known(StrView v) {
  return v.ptr != nullptr && v.len > 0;
}

// /proc/swaps was read: the device list is then present, empty without swap.
void rule_swap(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!s->swap_active) {
    if (sv_present(s->swap_devices)) {
      add_finding(r, "noise.swap", kCat, Severity::pass, sv_lit("No swap configured"));
    }
    return;
  }
  Arena* a = r->arena;
  Severity sev = ctx->profile == Profile::low_latency ? Severity::warn : Severity::fail;
  int64_t kb = s->swap_total_kb;
  int64_t bytes = kb > INT64_MAX / 1024 ? INT64_MAX : kb * 1024;
  Finding* f = add_finding(r, "noise.swap", kCat, sev,
                           arena_sprintf(a, "Swap is active (%.*s)", SV_ARG(fmt_bytes(a, bytes))));
  if (known(s->swap_devices)) {
    finding_set_detail(f, arena_sprintf(a, "Devices: %.*s", SV_ARG(s->swap_devices)));
  } else {
    finding_set_detail(f, sv_lit("At least one swap area is enabled."));
  }
  finding_set_impact(f, sv_lit("A major fault in an RT thread blocks on storage. Nothing in the "
                               "scheduler bounds that wait, and mlockall() only protects the "
                               "process that calls it."));
  finding_set_remediation(f, sv_lit("swapoff -a   (and remove the swap entry from /etc/fstab)"));
  finding_set_weight(f, 2);
  finding_add_evidence_cstr(r, f, "/proc/swaps",
                            sv_present(s->swap_devices) ? s->swap_devices : sv_lit(""));
}

// The kernel brackets the selected mode. Defrag does nothing while
// transparent hugepages themselves are disabled.
void rule_thp_defrag(Report* r, const Snapshot* s) {
  if (!sv_present(s->thp_defrag)) return;
  const char* defrag_key = "/sys/kernel/mm/transparent_hugepage/defrag";
  Finding* f;
  if (!sv_contains(s->thp_defrag, "[always]")) {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::pass,
                    sv_lit("Transparent hugepage defrag is not 'always'"));
  } else if (sv_contains(s->thp_enabled, "[never]")) {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::pass,
                    sv_lit("Transparent hugepages disabled; defrag has no effect"));
    finding_add_evidence_cstr(r, f, "/sys/kernel/mm/transparent_hugepage/enabled", s->thp_enabled);
  } else {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::fail,
                    sv_lit("Transparent hugepage defrag set to 'always'"));
    finding_set_impact(f, sv_lit("A page fault can trigger synchronous compaction inside the "
                                 "faulting thread, stalling it for milliseconds while the kernel "
                                 "shuffles memory."));
    finding_set_command_code(f, r->arena, "echo defer > /sys/kernel/mm/transparent_hugepage/defrag",
                             sv_lit("or 'never'"));
    finding_set_weight(f, 1.5);
  }
  finding_add_evidence_cstr(r, f, defrag_key, s->thp_defrag);
}

// ---- Switches read from one file: on warns, off passes ----

struct SwitchCheck {
  const char* id;
  OptInt Snapshot::*value;
  bool on_only_at_1;     // only the value 1 counts as on; otherwise any non-zero
  const char* on_title;  // "%lld" may receive the value
  const char* off_title;
  const char* impact;
  const char* remediation;  // prose; null when the fix is a command
  const char* sysctl;       // the sysctl.d line that fixes it; null for other files
  const char* command;      // the command that fixes it, with its remark
  const char* remark;
};

constexpr SwitchCheck kTimerChecks[] = {
    {"noise.timer_migration", &Snapshot::timer_migration, false, "Timer migration enabled",
     "Timer migration disabled",
     "The kernel may move timers onto an idle CPU, which can pull timer interrupts onto an "
     "isolated core that was deliberately left quiet.",
     "Set kernel.timer_migration = 0 in /etc/sysctl.d/90-kelvane-rt.conf and apply it with "
     "sysctl --system.",
     "kernel.timer_migration = 0", nullptr, nullptr},
    {"noise.numa_balancing", &Snapshot::numa_balancing, false, "Automatic NUMA balancing enabled",
     "Automatic NUMA balancing disabled",
     "The kernel periodically unmaps pages to sample access patterns; the next touch takes a minor "
     "fault the application never asked for.",
     "Set kernel.numa_balancing = 0 in /etc/sysctl.d/90-kelvane-rt.conf and apply it with "
     "sysctl --system.",
     "kernel.numa_balancing = 0", nullptr, nullptr},
};

constexpr SwitchCheck kPollingChecks[] = {
    {"noise.mce_poll", &Snapshot::mce_check_interval, false, "Machine-check polling every %lld s",
     "Machine-check polling disabled",
     "The poll runs from a per-CPU timer and reads model-specific registers with interrupts "
     "disabled.",
     nullptr, nullptr, "echo 0 > /sys/devices/system/machinecheck/machinecheck0/check_interval",
     "repeat per CPU"},
    {"noise.ksm", &Snapshot::ksm_run, true, "Kernel same-page merging is running",
     "Kernel same-page merging is off",
     "ksmd scans and merges anonymous pages; a later write to a merged page takes a copy-on-write "
     "fault the application did not cause.",
     nullptr, nullptr, "echo 0 > /sys/kernel/mm/ksm/run", nullptr},
};

void rule_switch(Report* r, const Snapshot* s, const SwitchCheck& c) {
  const OptInt& opt = s->*c.value;
  if (!opt.has) return;
  int64_t v = opt.value;
  bool on = c.on_only_at_1 ? v == 1 : v != 0;
  if (!on) {
    add_finding(r, c.id, kCat, Severity::pass, sv_from_cstr(c.off_title));
    return;
  }
  Finding* f = add_finding(r, c.id, kCat, Severity::warn,
                           arena_sprintf(r->arena, c.on_title, static_cast<long long>(v)));
  finding_set_impact(f, sv_from_cstr(c.impact));
  if (c.remediation) finding_set_remediation(f, sv_from_cstr(c.remediation));
  if (c.command) {
    finding_set_command_code(f, r->arena, c.command, c.remark ? sv_from_cstr(c.remark) : kNoneView);
  }
  if (c.sysctl) finding_set_sysctl(f, sv_from_cstr(c.sysctl));
}

// ---- Watchdogs ----

// The NMI watchdog takes precedence over the soft-lockup watchdog: at most
// one finding. Either runs on every online CPU, so an enabled watchdog warns
// even when the online CPUs could not be read.
void rule_watchdog(Report* r, const Snapshot* s) {
  if (!s->watchdog.has && !s->nmi_watchdog.has) return;
  if (s->nmi_watchdog.has && s->nmi_watchdog.value != 0) {
    Finding* f =
        add_finding(r, "noise.watchdog", kCat, Severity::warn, sv_lit("NMI watchdog is enabled"));
    finding_set_impact(f, sv_lit("The NMI watchdog samples via a performance counter and its "
                                 "handler cannot be masked, deferred, or preempted by anything."));
    finding_set_remediation(f, sv_lit("Set kernel.nmi_watchdog = 0 in "
                                      "/etc/sysctl.d/90-kelvane-rt.conf and apply it with sysctl "
                                      "--system (or boot with nmi_watchdog=0)."));
    finding_set_sysctl(f, sv_lit("kernel.nmi_watchdog = 0"));
    return;
  }
  if (soft_lockup_watchdog_runs(s)) {
    Finding* f = add_finding(r, "noise.watchdog", kCat, Severity::warn,
                             sv_lit("Soft-lockup watchdog is enabled"));
    finding_set_impact(f, sv_lit("A per-CPU watchdog thread is woken on a timer purely to prove "
                                 "the CPU is alive."));
    finding_set_remediation(f, sv_lit("Set kernel.watchdog = 0 in /etc/sysctl.d/90-kelvane-rt.conf "
                                      "and apply it with sysctl --system (or boot with nowatchdog "
                                      "nosoftlockup)."));
    finding_set_sysctl(f, sv_lit("kernel.watchdog = 0"));
    return;
  }
  add_finding(r, "noise.watchdog", kCat, Severity::pass, sv_lit("Watchdogs disabled"));
}

// Only a short interval is reported; 0, negative or 10 s and more say nothing.
void rule_vm_stat_interval(Report* r, const Snapshot* s) {
  if (!s->stat_interval.has || s->stat_interval.value < 1 || s->stat_interval.value > 9) return;
  Finding* f = add_finding(r, "noise.vm_stat_interval", kCat, Severity::warn,
                           arena_sprintf(r->arena, "VM statistics folded every %lld s",
                                         static_cast<long long>(s->stat_interval.value)));
  finding_set_impact(f, sv_lit("vmstat_update runs as a per-CPU deferred work item, including on "
                               "isolated cores."));
  finding_set_remediation(f, sv_lit("Set vm.stat_interval = 300 in "
                                    "/etc/sysctl.d/90-kelvane-rt.conf and apply it with sysctl "
                                    "--system."));
  finding_set_sysctl(f, sv_lit("vm.stat_interval = 300"));
}

void rule_clocksource(Report* r, const Snapshot* s) {
  StrView name = s->clocksource;
  if (!known(name)) return;
  bool fast = sv_eq_cstr(name, "tsc") || sv_eq_cstr(name, "arch_sys_counter");
  Finding* f = add_finding(r, "noise.clocksource", kCat, fast ? Severity::pass : Severity::warn,
                           arena_sprintf(r->arena, "Clocksource is '%.*s'", SV_ARG(name)));
  if (!fast) {
    finding_set_impact(f, sv_lit("Reading the clock traps out of the vDSO into a device access, so "
                                 "every timestamp the application takes costs orders of magnitude "
                                 "more than a TSC read."));
    finding_set_remediation(f, sv_lit("Investigate why the TSC was rejected (dmesg | grep -i tsc); "
                                      "an unstable TSC is usually a firmware or virtualisation "
                                      "issue."));
  }
  finding_add_evidence_cstr(
      r, f, "/sys/devices/system/clocksource/clocksource0/current_clocksource", name);
}

void rule_mitigations(Report* r, const Snapshot* s) {
  StrView v = s->mitigations_param;
  if (!known(v)) return;
  if (sv_eq_cstr(v, "off")) {
    Finding* f = add_finding(r, "noise.mitigations", kCat, Severity::pass,
                             sv_lit("Speculative-execution mitigations disabled"));
    finding_set_detail(f, sv_lit("Removes the per-syscall and per-context-switch barrier cost, at "
                                 "a security tradeoff the operator has accepted."));
    return;
  }
  Finding* f = add_finding(r, "noise.mitigations", kCat, Severity::pass,
                           arena_sprintf(r->arena, "Mitigations set to '%.*s'", SV_ARG(v)));
  finding_set_detail(f, sv_lit("Mitigation barriers add a fixed cost to every syscall and context "
                               "switch."));
}

// ---- Unbound workqueues ----

// Unbound work items run on any CPU of the unbound cpumask, which user space
// may narrow through /sys/devices/virtual/workqueue/cpumask
// (Documentation/core-api/workqueue.rst, unbound workqueues and their
// cpumask); the writeback workqueue has a mask of its own. The fix writes the
// housekeeping CPUs as a mask into each of the files that was read.
void rule_workqueue_cpumask(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!ctx->has_isolation) return;
  Arena* a = r->arena;
  CpuSet on_isolated = {};
  ShellCmd fix;
  cmd_init(&fix, a);
  bool read = false;
  for (const WorkqueueMask& m : kWorkqueueMasks) {
    if (!(s->*m.set).has) continue;
    read = true;
    CpuSet w = (s->*m.set).value;
    cpuset_and(&w, &s->isolated);
    cpuset_or(&on_isolated, &w);
    if (fix.sb.len) cmd_code(&fix, "; ");
    cmd_code(&fix, "echo ");
    cmd_mask(&fix, &ctx->housekeeping_cpus);
    cmd_code(&fix, " > ");
    cmd_code(&fix, m.path);
  }
  if (!read) return;
  Finding* f = add_isolated_overlap(r, "noise.workqueue_cpumask", kCat, &on_isolated,
                                    "Unbound workqueues kept off the isolated CPUs",
                                    "Unbound workqueues may run on isolated CPUs %.*s");
  if (!f) return;
  finding_set_impact(f, sv_lit("Deferred kernel work queued anywhere on the system can be picked "
                               "up by a kworker on an isolated core and run there, ahead of "
                               "nothing but the RT thread."));
  if (!cpuset_empty(&ctx->housekeeping_cpus)) finding_set_command(f, a, &fix);
  for (const WorkqueueMask& m : kWorkqueueMasks) {
    const OptCpuSet& mask = s->*m.set;
    if (mask.has) finding_add_evidence_cstr(r, f, m.path, cpuset_format_list(a, &mask.value));
  }
}

// ---- The tick on nohz_full CPUs ----

// Local timer interrupts above this rate mean the tick did not stop.
constexpr double kTickStoppedRate = 2;

// The row that counts each CPU's local timer interrupts: LOC on x86, the
// arch_timer interrupt where there is no LOC row (arm64).
const IrqInfo* local_timer_row(const Snapshot* s) {
  for (const IrqInfo& irq : s->special_irqs)
    if (sv_eq_cstr(irq.name, "LOC")) return &irq;
  for (const IrqInfo& irq : s->irqs)
    if (sv_contains(irq.device, "arch_timer")) return &irq;
  return nullptr;
}

// hrtimer callbacks that keep a nohz_full CPU's tick, with the fix of each
// (kernel/sched/deadline.c, kernel/watchdog.c, kernel/time/*.c). The tick's
// own timer is no reason and is left out.
struct TimerCause {
  const char* function;
  const char* what;
};

constexpr TimerCause kTimerCauses[] = {
    {"dl_task_timer", "the fair server: write 0 to /sys/kernel/debug/sched/fair_server/cpuN/runtime"},
    {"watchdog_timer_fn", "the soft-lockup watchdog: boot with nowatchdog, or leave the CPU out of "
                          "kernel.watchdog_cpumask"},
    {"hrtimer_wakeup", "a task sleeping with a timeout: move it to a housekeeping CPU"},
    {"it_real_fn", "a process's interval timer (setitimer, alarm): move the process"},
    {"posix_timer_fn", "a POSIX timer: move its process"},
    {"sched_rt_period_timer", "RT throttling: set kernel.sched_rt_runtime_us to -1"},
    {"perf_mux_hrtimer_handler", "perf events: stop the perf session"},
    {"perf_swevent_hrtimer", "perf events: stop the perf session"},
};

// The timers queued on cpu, as /proc/timer_list lists them, each with the
// fix that removes it; empty when none are known.
StrView queued_timers(Arena* a, const Snapshot* s, int32_t cpu) {
  const CpuTimers* t = timers_of_cpu(&s->timer_list, cpu);
  if (!t) return sv_lit("");
  StrBuf sb;
  sb_init(&sb, a);
  for (StrView fn : t->functions) {
    if (sv_eq_cstr(fn, "tick_nohz_handler") || sv_eq_cstr(fn, "tick_sched_timer")) continue;
    sb_append_cstr(&sb, sb.len ? "; " : " Timers queued on the CPU (/proc/timer_list): ");
    sb_append_view(&sb, fn);
    for (const TimerCause& c : kTimerCauses) {
      if (!sv_eq_cstr(fn, c.function)) continue;
      sb_append_cstr(&sb, ", ");
      sb_append_cstr(&sb, c.what);
    }
  }
  if (sb.len) sb_append_cstr(&sb, ".");
  return sb.len ? sb_view(&sb) : sv_lit("");
}

// What each tick dependency of the timer:tick_stop event means and the fix
// that removes it (kernel/time/tick-sched.c, check_tick_dependency), in
// TickDep order.
constexpr const char* kTickDepFixes[] = {
    "no dependency named",
    "a process's POSIX CPU timer or setitimer on the CPU: move the process or drop its timer",
    "a perf event on the CPU: stop the perf session",
    "more than one runnable task on the CPU: keep one RT task there and move the rest",
    "the clocksource is unstable: boot with tsc=reliable only where the TSC is known good, or "
    "fix the clocksource",
    "RCU callbacks pending on the CPU: offload them with rcu_nocbs=",
    "an expedited RCU grace period: offload callbacks with rcu_nocbs= and avoid synchronize_rcu_expedited "
    "callers",
    "a dependency this version does not know",
};
static_assert(sizeof kTickDepFixes / sizeof *kTickDepFixes == static_cast<size_t>(TickDep::count));

// The dependencies the kernel reported for cpu in kelvane's tick_stop
// trace, each with its fix; empty when none was traced.
StrView tick_dependencies(Arena* a, const Snapshot* s, int32_t cpu) {
  const TickStopCpu* t = tick_stop_of_cpu(&s->tick_stops, cpu);
  if (!t) return sv_lit("");
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < static_cast<size_t>(TickDep::count); i++) {
    if (!(t->deps & (1u << i))) continue;
    sb_append_cstr(&sb, sb.len ? "; " : " The kernel kept the tick for (timer:tick_stop): ");
    sb_append_cstr(&sb, tick_dep_name(static_cast<TickDep>(i)));
    sb_append_cstr(&sb, ", ");
    sb_append_cstr(&sb, kTickDepFixes[i]);
  }
  if (sb.len) sb_append_cstr(&sb, ".");
  return sb.len ? sb_view(&sb) : sv_lit("");
}

// With a live sample, a nohz_full CPU whose local timer still fires more
// than twice a second has kept its tick. Documentation/timers/no_hz.rst
// lists what keeps it: more than one runnable task, POSIX CPU timers, RCU
// callbacks queued on the CPU and an unstable clocksource among them; the
// timer:tick_stop tracepoint names the dependency each time.
void rule_nohz_tick(Report* r, const Snapshot* s) {
  const IrqInfo* row = local_timer_row(s);
  if (!s->sampled || s->sample_window_s <= 0 || !row || cpuset_empty(&s->nohz_full)) return;
  int32_t worst_cpu = -1;
  double worst = 0;
  for (const IrqCount& c : row->per_cpu) {
    if (!cpuset_has(&s->nohz_full, c.cpu)) continue;
    double rate = static_cast<double>(c.delta) / s->sample_window_s;
    if (worst_cpu < 0 || rate > worst) {
      worst_cpu = c.cpu;
      worst = rate;
    }
  }
  if (worst_cpu < 0) return;
  Arena* a = r->arena;
  StrView rate = fmt_count(a, worst);
  if (worst <= kTickStoppedRate) {
    add_finding(r, "noise.nohz_tick", kCat, Severity::pass,
                arena_sprintf(a,
                              "Tick stopped on nohz_full CPUs (at most %.*s local timer "
                              "interrupts/s)",
                              SV_ARG(rate)));
    return;
  }
  Finding* f = add_finding(r, "noise.nohz_tick", kCat, Severity::warn,
                           arena_sprintf(a,
                                         "Tick still running on nohz_full CPU %d: %.*s local "
                                         "timer interrupts/s",
                                         worst_cpu, SV_ARG(rate)));
  finding_set_detail(f, arena_sprintf(a,
                                      "The tick keeps running while the CPU has more than one "
                                      "runnable task, a POSIX CPU timer, RCU callbacks queued on "
                                      "it, or an unstable clocksource.%.*s%.*s",
                                      SV_ARG(tick_dependencies(a, s, worst_cpu)),
                                      SV_ARG(queued_timers(a, s, worst_cpu))));
  finding_set_impact(f, sv_lit("Every tick interrupts the RT thread, which is what nohz_full was "
                               "meant to stop."));
  StrView trace = known(s->tracefs_path) ? s->tracefs_path : sv_lit("/sys/kernel/tracing");
  // A diagnosis, not a setting to keep: no "> /sys/" for the plan to persist.
  finding_set_remediation(
      f, arena_sprintf(a,
                       "Find the reason with the timer:tick_stop tracepoint: enable it in "
                       "%.*s/events/timer/tick_stop/enable and read %.*s/trace_pipe; each event "
                       "names the dependency that keeps the tick.",
                       SV_ARG(trace), SV_ARG(trace)));
  finding_add_evidence_cstr(
      r, f, "/proc/interrupts",
      arena_sprintf(a, "%.*s on CPU %d: %.*s/s", SV_ARG(row->name), worst_cpu, SV_ARG(rate)));
}

// ---- RCU callback-offload threads ----

// Documentation/timers/no_hz.rst asks that the rcuo kthreads of offloaded
// CPUs be kept on housekeeping CPUs; the kernel does not move them itself.
void rule_rcuo_affinity(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!ctx->has_isolation) return;
  int32_t judged = 0, stray = 0;
  const KthreadPlacement* first = nullptr;
  for (const KthreadPlacement& k : s->rcuo_threads) {
    if (!k.affinity.has) continue;
    judged++;
    if (!cpuset_intersects(&k.affinity.value, &s->isolated)) continue;
    stray++;
    if (!first) first = &k;
  }
  if (judged == 0) return;
  Arena* a = r->arena;
  if (!first) {
    add_finding(r, "noise.rcuo_affinity", kCat, Severity::pass,
                sv_lit("RCU offload threads kept on housekeeping CPUs"));
    return;
  }
  Finding* f = add_finding(r, "noise.rcuo_affinity", kCat, Severity::warn,
                           arena_sprintf(a, "%d RCU offload thread%s may run on isolated CPUs",
                                         stray, fmt_plural(stray)));
  finding_set_detail(
      f, arena_sprintf(a, "%.*s (tid %d) is allowed on %.*s.", SV_ARG(first->comm), first->tid,
                       SV_ARG(cpuset_format_list(a, &first->affinity.value))));
  finding_set_impact(f, sv_lit("The callbacks offloaded from the isolated CPUs run in these "
                               "threads; where they may run on an isolated CPU, the work comes "
                               "back to it."));
  if (!cpuset_empty(&ctx->housekeeping_cpus)) {
    finding_set_remediation(
        f, arena_sprintf(a, "for t in $(pgrep '^rcuo'); do taskset -pc %.*s $t; done",
                         SV_ARG(cpuset_format_list(a, &ctx->housekeeping_cpus))));
  }
  finding_add_evidence(r, f, arena_sprintf(a, "/proc/%d/task/%d/status", first->pid, first->tid),
                       arena_sprintf(a, "Cpus_allowed_list: %.*s",
                                     SV_ARG(cpuset_format_list(a, &first->affinity.value))));
}

}  // namespace

void noise_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_swap(report, ctx, s);
  rule_thp_defrag(report, s);
  for (const SwitchCheck& c : kTimerChecks) rule_switch(report, s, c);
  rule_watchdog(report, s);
  for (const SwitchCheck& c : kPollingChecks) rule_switch(report, s, c);
  rule_vm_stat_interval(report, s);
  rule_clocksource(report, s);
  rule_mitigations(report, s);
  rule_workqueue_cpumask(report, ctx, s);
  rule_nohz_tick(report, s);
  rule_rcuo_affinity(report, ctx, s);
}

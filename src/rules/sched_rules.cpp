// Thread scheduling rules: the real-time threads that are running, where they
// may run relative to the isolated CPUs, their priorities and policies, RT
// throttling, SCHED_DEADLINE bandwidth, and the cgroup set-up that blocks
// SCHED_FIFO. Every finding here belongs to the "scheduling" category.
#include <cstddef>
#include <cstdint>

#include "base/fmt.h"
#include "collect/sched_policy.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/remedy.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::scheduling;

// SCHED_FIFO and SCHED_RR priorities run 1..99; 0 is kept for safety.
constexpr int32_t kPriorityLevels = 100;
constexpr int64_t kDefaultRtPeriodUs = 1000000;
// Share of one CPU above which SCHED_DEADLINE admission is close to refusing.
constexpr double kDeadlineHeadroom = 0.9;

// A thread that is not a kernel thread.
bool is_application(const RtTask& t) {
  return !t.kthread;
}

// An application thread whose allowed CPUs were read: the only kind the
// placement checks can judge.
bool is_placed_application(const RtTask& t) {
  return !t.kthread && t.affinity.has;
}

StrView status_path(Arena* a, const RtTask& t) {
  return arena_sprintf(a, "/proc/%d/task/%d/status", t.pid, t.tid);
}

// RT group scheduling is built in but off at run time: a kernel that offers
// the rt_group_sched= boot parameter (it has the
// CONFIG_RT_GROUP_SCHED_DEFAULT_DISABLED symbol) starts with it off when that
// symbol is set, unless rt_group_sched=1 was booted, and rt_group_sched=0
// turns it off whatever the default
// (Documentation/admin-guide/kernel-parameters.txt, "rt_group_sched=").
bool rt_group_sched_off(const Snapshot* s) {
  StrView booted = kv_get(&s->cmdline_params, "rt_group_sched");
  if (sv_eq_cstr(booted, "0")) return true;
  return kv_is_enabled(&s->config, "CONFIG_RT_GROUP_SCHED_DEFAULT_DISABLED") &&
         !sv_eq_cstr(booted, "1");
}

// The word "cpu" (not "cpuset") among the controllers the root enables for
// its children.
bool cpu_controller_enabled(StrView subtree_control) {
  StrView cur = subtree_control;
  while (cur.ptr) {
    if (sv_eq_cstr(sv_next_token(&cur, " \t\n"), "cpu")) return true;
  }
  return false;
}

// With CONFIG_RT_GROUP_SCHED the cgroup v2 cpu controller can be enabled only
// while every RT task sits in the root cgroup, and a task in another cgroup
// cannot get a real-time policy (Documentation/admin-guide/cgroup-v2.rst,
// "CPU", and Documentation/scheduler/sched-rt-group.rst). The fix stays off
// the boot line unless the kernel takes rt_group_sched=0: going back to
// cgroup v1 is refused by current systemd, so it could stop the machine
// from booting.
void rule_cgroup_rt_group(Report* r, const Snapshot* s) {
  if (s->cgroup_version != 2 || !s->rt_group_sched || rt_group_sched_off(s)) return;
  if (!sv_present(s->cgroup_subtree_control)) {
    Finding* f =
        add_finding(r, "sched.cgroup_rt_group", kCat, Severity::unknown,
                    sv_lit("cgroup v2 with CONFIG_RT_GROUP_SCHED; cpu controller state unknown"));
    finding_set_detail(f, sv_lit("/sys/fs/cgroup/cgroup.subtree_control could not be read."));
    finding_set_impact(f, sv_lit("With the cpu controller enabled, threads outside the root cgroup "
                                 "cannot get a real-time policy."));
    return;
  }
  if (!cpu_controller_enabled(s->cgroup_subtree_control)) return;
  Finding* f = add_finding(r, "sched.cgroup_rt_group", kCat, Severity::fail,
                           sv_lit("cgroup v2 with CONFIG_RT_GROUP_SCHED blocks SCHED_FIFO"));
  finding_set_detail(f, sv_lit("The unified hierarchy has no rt_runtime_us knob, so every non-root "
                               "cgroup gets a real-time budget of zero."));
  finding_set_impact(f, sv_lit("sched_setscheduler() returns EPERM for any thread in a non-root "
                               "cgroup, including every container and every systemd service."));
  if (kv_has(&s->config, "CONFIG_RT_GROUP_SCHED_DEFAULT_DISABLED")) {
    finding_set_remediation(f, sv_lit("Boot with rt_group_sched=0, or use a kernel built without "
                                      "CONFIG_RT_GROUP_SCHED."));
    finding_set_cmdline(f, sv_lit("rt_group_sched=0"));
  } else {
    finding_set_remediation(f, sv_lit("Use a kernel built without CONFIG_RT_GROUP_SCHED."));
  }
  finding_set_weight(f, 2.5);
  finding_add_evidence_cstr(r, f, "CONFIG_RT_GROUP_SCHED", sv_lit("y"));
  finding_add_evidence_cstr(r, f, "/sys/fs/cgroup/cgroup.subtree_control",
                            s->cgroup_subtree_control);
}

void rule_inventory_unreadable(Report* r) {
  Finding* f = add_finding(r, "sched.inventory", kCat, Severity::unknown,
                           sv_lit("Thread table not readable"));
  finding_set_impact(f, sv_lit("Scheduling policies could not be evaluated."));
}

// The real-time threads by kind: application threads at SCHED_FIFO/RR,
// threads at SCHED_DEADLINE (kernel or not), kernel threads at FIFO/RR.
struct Inventory {
  int32_t user;
  int32_t deadline;
  int32_t kernel;
};

Inventory take_inventory(const Snapshot* s) {
  Inventory inv = {};
  for (const RtTask& t : s->rt_tasks) {
    if (t.policy == kSchedDeadline) {
      inv.deadline++;
    } else if (t.kthread) {
      inv.kernel++;
    } else {
      inv.user++;
    }
  }
  return inv;
}

void rule_inventory(Report* r, const Inventory& inv) {
  Arena* a = r->arena;
  int32_t apps = inv.user + inv.deadline;
  if (apps == 0) {
    Finding* f = add_finding(r, "sched.inventory", kCat, Severity::warn,
                             sv_lit("No real-time application threads found"));
    finding_set_detail(f, arena_sprintf(a,
                                        "%d kernel RT threads, no user threads at "
                                        "SCHED_FIFO/RR/DEADLINE.",
                                        inv.kernel));
    finding_set_impact(f, sv_lit("Either the workload is not running, or it is running at "
                                 "SCHED_OTHER and gets no real-time guarantee at all."));
    finding_set_remediation(f,
                            sv_lit("Start the workload before auditing, or raise it with chrt -f "
                                   "<priority> <command>."));
    return;
  }
  Finding* f =
      add_finding(r, "sched.inventory", kCat, Severity::pass,
                  arena_sprintf(a, "%d real-time application thread%s", apps, fmt_plural(apps)));
  finding_set_detail(f, arena_sprintf(a,
                                      "%d user SCHED_FIFO/RR, %d SCHED_DEADLINE, %d kernel RT "
                                      "threads.",
                                      inv.user, inv.deadline, inv.kernel));
}

// How many threads show one placement problem, and the first of them.
struct PlacementCount {
  int32_t count;
  const RtTask* first;
};

void placement_note(PlacementCount* c, const RtTask& t) {
  if (!c->first) c->first = &t;
  c->count++;
}

// One placement problem: how its title and detail word it and what it weighs.
struct PlacementProblem {
  const char* id;
  Severity severity;
  double weight;
  const char* title;        // after "<count> RT thread(s) "
  const char* detail_verb;  // "<comm> (tid <tid>) <verb> <cpus>, <tail>"
  const char* detail_tail;
  const char* impact;
  bool cite_allowed;  // evidence: the first thread's allowed CPUs
};

constexpr PlacementProblem kUnaffined = {
    "sched.rt_unaffined",
    Severity::fail,
    2,
    "can migrate off the isolated CPUs",
    "is allowed on",
    "which spans both isolated and housekeeping CPUs.",
    "The load balancer can move the thread onto a housekeeping CPU at any time, where it competes "
    "with all the work isolation was meant to keep away from it.",
    true,
};

constexpr PlacementProblem kOnHousekeeping = {
    "sched.rt_on_housekeeping",
    Severity::warn,
    1,
    "pinned entirely to housekeeping CPUs",
    "is confined to",
    "none of which is isolated.",
    "The isolated cores sit idle while the RT thread runs alongside the kernel work it was "
    "supposed to avoid.",
    false,
};

// Both placement problems name the first thread that shows it and are fixed
// the same way: pin the thread to the isolated CPUs.
void rule_placement_problem(Report* r, const Snapshot* s, const PlacementProblem& p,
                            const PlacementCount& c) {
  Arena* a = r->arena;
  const RtTask& t = *c.first;
  Finding* f =
      add_finding(r, p.id, kCat, p.severity,
                  arena_sprintf(a, "%d RT thread%s %s", c.count, fmt_plural(c.count), p.title));
  StrView allowed = cpuset_format_list(a, &t.affinity.value);
  finding_set_detail(f, arena_sprintf(a, "%.*s (tid %d) %s %.*s, %s", SV_ARG(t.comm), t.tid,
                                      p.detail_verb, SV_ARG(allowed), p.detail_tail));
  finding_set_impact(f, sv_from_cstr(p.impact));
  StrView iso = cpuset_format_list(a, &s->isolated);
  finding_set_remediation(f, arena_sprintf(a, "taskset -pc %.*s %d", SV_ARG(iso), t.tid));
  finding_set_weight(f, p.weight);
  if (p.cite_allowed) {
    finding_add_evidence(r, f, status_path(a, t),
                         arena_sprintf(a, "Cpus_allowed_list: %.*s", SV_ARG(allowed)));
  }
}

// With isolation: a thread allowed on both isolated and housekeeping CPUs can
// migrate; one allowed on no isolated CPU never uses them. A pass needs at
// least one thread whose allowed CPUs were read.
void rule_placement_isolated(Report* r, const Snapshot* s) {
  PlacementCount unaffined = {};
  PlacementCount on_housekeeping = {};
  int32_t judged = 0;
  for (const RtTask& t : s->rt_tasks) {
    if (!is_placed_application(t)) continue;
    judged++;
    bool on_isolated = cpuset_intersects(&t.affinity.value, &s->isolated);
    if (!on_isolated) {
      placement_note(&on_housekeeping, t);
    } else if (cpuset_intersects(&t.affinity.value, &s->housekeeping)) {
      placement_note(&unaffined, t);
    }
  }
  if (unaffined.count > 0) rule_placement_problem(r, s, kUnaffined, unaffined);
  if (on_housekeeping.count > 0) {
    rule_placement_problem(r, s, kOnHousekeeping, on_housekeeping);
  }
  if (unaffined.count > 0 || on_housekeeping.count > 0 || judged == 0) return;
  Finding* f = add_finding(r, "sched.rt_placement", kCat, Severity::pass,
                           sv_lit("RT threads are pinned to isolated CPUs"));
  finding_set_weight(f, 2);
}

// Without isolation: a thread allowed on every CPU of a multi-CPU machine is
// not pinned at all. A pass needs at least one judged thread.
void rule_placement_plain(Report* r, const Snapshot* s, int32_t ncpus) {
  int32_t unpinned = 0;
  int32_t judged = 0;
  for (const RtTask& t : s->rt_tasks) {
    if (!is_placed_application(t)) continue;
    judged++;
    if (ncpus > 1 && cpuset_count(&t.affinity.value) >= ncpus) unpinned++;
  }
  if (unpinned > 0) {
    Finding* f = add_finding(r, "sched.rt_placement", kCat, Severity::warn,
                             arena_sprintf(r->arena, "%d RT thread%s not pinned to any CPU",
                                           unpinned, fmt_plural(unpinned)));
    finding_set_impact(f,
                       sv_lit("Migration costs a cold cache on arrival, and the destination CPU's "
                              "state is not under the application's control."));
    finding_set_remediation(f, sv_lit("Pin RT threads with taskset -pc <cpu> <tid>."));
    return;
  }
  if (judged > 0) {
    add_finding(r, "sched.rt_placement", kCat, Severity::pass, sv_lit("RT threads are pinned"));
  }
}

// A SCHED_FIFO application thread whose allowed CPUs were read, at a priority
// two threads could share.
bool is_fifo_candidate(const RtTask& t) {
  return is_placed_application(t) && t.policy == kSchedFifo && t.rt_priority >= 0 &&
         t.rt_priority < kPriorityLevels;
}

// The first pair (in task-list order, first thread then second) of SCHED_FIFO
// threads at one priority whose first thread is pinned to a single CPU that
// the second may use. Walking the list backwards with the union of the
// allowed CPUs of every later thread per priority finds it in one pass, where
// comparing every pair would be quadratic in the number of threads.
bool find_equal_priority(Arena* a, const Snapshot* s, const RtTask** first, const RtTask** second) {
  CpuSet* later = arena_array<CpuSet>(a, kPriorityLevels);
  const RtTask* found = nullptr;
  for (size_t i = s->rt_tasks.count; i-- > 0;) {
    const RtTask& t = s->rt_tasks[i];
    if (!is_fifo_candidate(t)) continue;
    CpuSet* others = &later[t.rt_priority];
    if (cpuset_count(&t.affinity.value) == 1 && cpuset_intersects(&t.affinity.value, others))
      found = &t;
    cpuset_or(others, &t.affinity.value);
  }
  if (!found) return false;
  for (const RtTask* t = found + 1; t < s->rt_tasks.end(); t++) {
    if (is_fifo_candidate(*t) && t->rt_priority == found->rt_priority &&
        cpuset_intersects(&t->affinity.value, &found->affinity.value)) {
      *first = found;
      *second = t;
      return true;
    }
  }
  return false;
}

void rule_equal_priority(Report* r, const Snapshot* s) {
  Arena* a = r->arena;
  const RtTask* one = nullptr;
  const RtTask* two = nullptr;
  if (!find_equal_priority(a, s, &one, &two)) return;
  StrView cpu = cpuset_format_list(a, &one->affinity.value);
  Finding* f = add_finding(r, "sched.equal_priority", kCat, Severity::warn,
                           arena_sprintf(a, "Two SCHED_FIFO threads share priority %d on CPU %.*s",
                                         one->rt_priority, SV_ARG(cpu)));
  finding_set_detail(f, arena_sprintf(a, "%.*s (tid %d) and %.*s (tid %d).", SV_ARG(one->comm),
                                      one->tid, SV_ARG(two->comm), two->tid));
  finding_set_impact(f,
                     sv_lit("Under SCHED_FIFO neither preempts the other, so one runs to "
                            "completion while the other waits -- the delay is bounded by the first "
                            "thread's runtime, not by any scheduling parameter."));
  finding_set_remediation(f, sv_lit("Give them distinct priorities, or move one to another CPU."));
}

void rule_priority_too_high(Report* r, const Snapshot* s) {
  for (const RtTask& t : s->rt_tasks) {
    if (!is_application(t) || t.rt_priority <= 98) continue;
    Arena* a = r->arena;
    Finding* f = add_finding(r, "sched.priority_too_high", kCat, Severity::warn,
                             arena_sprintf(a, "%.*s runs at priority 99", SV_ARG(t.comm)));
    finding_set_detail(f, arena_sprintf(a, "tid %d, policy %.*s", t.tid, SV_ARG(t.policy_name)));
    finding_set_impact(f, sv_lit("Priority 99 matches the migration and watchdog kernel threads. A "
                                 "busy loop there starves the threads the kernel needs to stay "
                                 "responsive, and can hang the CPU."));
    finding_set_remediation(
        f, arena_sprintf(a, "chrt -f -p 80 %d   # leave headroom above the application", t.tid));
    return;
  }
}

void rule_rr_used(Report* r, const Snapshot* s) {
  for (const RtTask& t : s->rt_tasks) {
    if (!is_application(t) || t.policy != kSchedRr) continue;
    Arena* a = r->arena;
    Finding* f = add_finding(r, "sched.rr_used", kCat, Severity::warn,
                             arena_sprintf(a, "%.*s uses SCHED_RR", SV_ARG(t.comm)));
    if (s->sched_rr_timeslice_ms.has) {
      finding_set_detail(f, arena_sprintf(a, "Round-robin quantum is %lld ms.",
                                          static_cast<long long>(s->sched_rr_timeslice_ms.value)));
    } else {
      finding_set_detail(f, sv_lit("Round-robin quantum unknown."));
    }
    finding_set_impact(f,
                       sv_lit("SCHED_RR preempts the thread at the end of its quantum whenever a "
                              "peer of equal priority is runnable, adding a scheduling event that "
                              "SCHED_FIFO would not have."));
    finding_set_remediation(
        f, arena_sprintf(a, "chrt -f -p %d %d   # switch to SCHED_FIFO", t.rt_priority, t.tid));
    return;
  }
}

// What the fair servers of the RT CPUs reserve: how many were read, the CPUs
// whose runtime is above 0 and the first of them.
struct FairReservation {
  int32_t read;
  CpuSet reserving;
  const FairServer* first;
};

FairReservation fair_reservation(const RuleContext* ctx, const Snapshot* s) {
  FairReservation res = {};
  for (const FairServer& fs : s->fair_server) {
    if (!cpuset_has(&ctx->rt_cpus, fs.cpu) || !fs.runtime_ns.has) continue;
    res.read++;
    if (fs.runtime_ns.value <= 0) continue;
    cpuset_add(&res.reserving, fs.cpu);
    if (!res.first) res.first = &fs;
  }
  return res;
}

StrView ns_text(Arena* a, int64_t ns) {
  return fmt_duration_us(a, static_cast<double>(ns) / 1000, false);
}


void rule_fair_server_warn(Report* r, const FairReservation& res) {
  Arena* a = r->arena;
  const FairServer& fs = *res.first;
  StrView period = fs.period_ns.has ? ns_text(a, fs.period_ns.value) : sv_lit("period");
  Finding* f = add_finding(
      r, "sched.rt_throttling", kCat, Severity::warn,
      arena_sprintf(a, "Fair server: normal tasks waiting on CPU %d get %.*s of every %.*s", fs.cpu,
                    SV_ARG(ns_text(a, fs.runtime_ns.value)), SV_ARG(period)));
  StrView cpus = cpuset_format_list(a, &res.reserving);
  finding_set_detail(f, arena_sprintf(a,
                                      "The fair deadline server reserves time on CPU%s %.*s. It "
                                      "runs only while normal tasks wait there, and then preempts "
                                      "the RT threads for up to its runtime each period.",
                                      fmt_plural(cpuset_count(&res.reserving)), SV_ARG(cpus)));
  finding_set_impact(f, sv_lit("Any kernel thread or SCHED_OTHER task that becomes runnable on an "
                               "RT CPU takes that time from a busy RT thread; "
                               "sched_rt_runtime_us=-1 does not remove this reservation."));
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_cpu_loop(&cmd, &res.reserving, "echo 0 > /sys/kernel/debug/sched/fair_server/cpu$c/runtime");
  finding_set_command(f, a, &cmd,
                      sv_lit("then keep a starvation guard such as stalld running, so that kernel "
                             "threads on those CPUs still get to run"));
  finding_add_evidence(
      r, f, arena_sprintf(a, "/sys/kernel/debug/sched/fair_server/cpu%d/runtime", fs.cpu),
      arena_sprintf(a, "%lld", static_cast<long long>(fs.runtime_ns.value)));
}

// Where the scheduler has per-CPU fair servers, they and not RT throttling
// decide how long normal tasks may preempt RT ones: each CPU's server runs
// only while normal tasks wait, and sched_rt_runtime_us now bounds only
// admission (Documentation/scheduler/sched-deadline.rst, and
// Documentation/scheduler/sched-rt-group.rst on fair_server/cpuX).
void rule_fair_server(Report* r, const RuleContext* ctx, const Snapshot* s) {
  FairReservation res = fair_reservation(ctx, s);
  if (res.read == 0) {
    Finding* f = add_finding(r, "sched.rt_throttling", kCat, Severity::unknown,
                             sv_lit("Fair server runtime not readable on the RT CPUs"));
    finding_set_impact(f, sv_lit("How long normal tasks may preempt RT threads could not be "
                                 "evaluated."));
    return;
  }
  if (res.first) {
    rule_fair_server_warn(r, res);
    return;
  }
  Finding* f = add_finding(r, "sched.rt_throttling", kCat, Severity::pass,
                           sv_lit("Fair server reserves no time on the RT CPUs"));
  finding_set_detail(f, arena_sprintf(r->arena, "Runtime 0 on CPUs %.*s.",
                                      SV_ARG(cpuset_format_list(r->arena, &ctx->rt_cpus))));
}

void rule_rt_throttling(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (s->fair_server_available) {
    rule_fair_server(r, ctx, s);
    return;
  }
  if (!s->sched_rt_runtime_us.has) return;
  long long runtime = static_cast<long long>(s->sched_rt_runtime_us.value);
  if (runtime < 0) {
    Finding* f = add_finding(r, "sched.rt_throttling", kCat, Severity::pass,
                             sv_lit("RT throttling disabled"));
    finding_set_detail(f,
                       sv_lit("sched_rt_runtime_us is -1, so an RT thread may use its CPU without "
                              "the kernel forcibly descheduling it."));
    return;
  }
  Arena* a = r->arena;
  long long period = s->sched_rt_period_us.has ? static_cast<long long>(s->sched_rt_period_us.value)
                                               : kDefaultRtPeriodUs;
  double share = period > 0 ? static_cast<double>(runtime) * 100 / static_cast<double>(period) : 0;
  Finding* f = add_finding(r, "sched.rt_throttling", kCat, Severity::warn,
                           arena_sprintf(a, "RT throttling active: %.1f%% of each period", share));
  finding_set_detail(
      f, arena_sprintf(a, "sched_rt_runtime_us=%lld, sched_rt_period_us=%lld.", runtime, period));
  finding_set_impact(f, arena_sprintf(a,
                                      "A fully busy RT thread is forcibly descheduled for %.0f ms "
                                      "once every %.0f ms.",
                                      static_cast<double>(period - runtime) / 1000,
                                      static_cast<double>(period) / 1000));
  finding_set_remediation(f, sv_lit("Set kernel.sched_rt_runtime_us = -1 in "
                                    "/etc/sysctl.d/90-kelvane-rt.conf and apply it with sysctl "
                                    "--system (only with a workload you trust not to spin "
                                    "forever)."));
  finding_set_sysctl(f, sv_lit("kernel.sched_rt_runtime_us = -1"));
  finding_add_evidence_cstr(r, f, "/proc/sys/kernel/sched_rt_runtime_us",
                            arena_sprintf(a, "%lld", runtime));
}

void rule_deadline_params(Report* r, int32_t deadline, StrView why) {
  Finding* f = add_finding(r, "sched.deadline_params", kCat, Severity::unknown,
                           arena_sprintf(r->arena,
                                         "%d SCHED_DEADLINE thread%s, parameters not "
                                         "readable",
                                         deadline, fmt_plural(deadline)));
  finding_set_detail(f, why);
  finding_set_impact(f,
                     sv_lit("Runtime, deadline and period are not exposed in procfs, so admission "
                            "and constraint checks could not be evaluated."));
}

// What the SCHED_DEADLINE threads whose parameters were read add up to.
struct DeadlineLoad {
  int32_t read;               // threads with parameters and a period
  double bandwidth;           // sum of runtime / period, in CPUs
  const RtTask* constrained;  // the first with 0 < deadline < period
};

DeadlineLoad sum_deadline_load(const Snapshot* s) {
  DeadlineLoad load = {};
  for (const RtTask& t : s->rt_tasks) {
    if (t.policy != kSchedDeadline || !t.dl.has || t.dl.value.period_ns == 0) continue;
    load.read++;
    load.bandwidth +=
        static_cast<double>(t.dl.value.runtime_ns) / static_cast<double>(t.dl.value.period_ns);
    if (!load.constrained && t.dl.value.deadline_ns > 0 &&
        t.dl.value.deadline_ns < t.dl.value.period_ns) {
      load.constrained = &t;
    }
  }
  return load;
}

void rule_deadline_bandwidth(Report* r, const DeadlineLoad& load) {
  Severity sev = load.bandwidth > kDeadlineHeadroom ? Severity::warn : Severity::pass;
  Finding* f = add_finding(
      r, "sched.deadline_bandwidth", kCat, sev,
      arena_sprintf(r->arena, "SCHED_DEADLINE bandwidth %.1f%% of one CPU", load.bandwidth * 100));
  if (sev == Severity::pass) return;
  finding_set_impact(f, sv_lit("Close to the admission limit; a further deadline thread will be "
                               "refused with EBUSY."));
  finding_set_remediation(f, sv_lit("Reduce runtime or lengthen periods to leave admission "
                                    "headroom."));
}

double ms(uint64_t ns) {
  return static_cast<double>(ns) / 1000000;
}

void rule_deadline_constrained(Report* r, const RtTask& t) {
  Arena* a = r->arena;
  Finding* f = add_finding(r, "sched.deadline_constrained", kCat, Severity::pass,
                           arena_sprintf(a, "%.*s uses a constrained deadline", SV_ARG(t.comm)));
  finding_set_detail(f, arena_sprintf(a, "runtime %.2f ms, deadline %.2f ms, period %.2f ms.",
                                      ms(t.dl.value.runtime_ns), ms(t.dl.value.deadline_ns),
                                      ms(t.dl.value.period_ns)));
}

// Bandwidth counts only threads whose parameters were read. When none were,
// there is nothing to add up: the threads are reported as unreadable rather
// than as a passing bandwidth of 0.0%.
void rule_deadline(Report* r, const Snapshot* s, int32_t deadline) {
  if (!s->sched_getattr_ok) {
    StrView note = s->sched_getattr_note.len > 0 ? s->sched_getattr_note
                                                 : sv_lit("sched_getattr(2) unavailable.");
    rule_deadline_params(r, deadline, note);
    return;
  }
  DeadlineLoad load = sum_deadline_load(s);
  if (load.read == 0) {
    rule_deadline_params(r, deadline,
                         sv_lit("sched_getattr(2) gave no parameters for any of them."));
    return;
  }
  rule_deadline_bandwidth(r, load);
  if (load.constrained) rule_deadline_constrained(r, *load.constrained);
}

}  // namespace

void sched_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_cgroup_rt_group(report, s);
  if (!s->tasks_available) {
    rule_inventory_unreadable(report);
    return;
  }
  Inventory inv = take_inventory(s);
  rule_inventory(report, inv);
  if (inv.user + inv.deadline > 0) {
    if (ctx->has_isolation) {
      rule_placement_isolated(report, s);
    } else {
      rule_placement_plain(report, s, ctx->ncpus);
    }
  }
  rule_equal_priority(report, s);
  rule_priority_too_high(report, s);
  rule_rr_used(report, s);
  rule_rt_throttling(report, ctx, s);
  if (inv.deadline > 0) rule_deadline(report, s, inv.deadline);
}

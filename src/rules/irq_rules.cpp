// IRQ affinity rules: where hardware interrupts and softirqs land relative to
// the isolated CPUs, and whether threaded interrupt handlers outrank the RT
// application. Every finding here belongs to the "irq" category.
#include <cstddef>
#include <cstdint>

#include "base/fmt.h"
#include "collect/sched_policy.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/remedy.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::irq;

// Per second: a device interrupt this busy on an isolated CPU fails, a
// softirq this busy warns.
constexpr double kBusyRate = 100;
// Interrupt/CPU pairs listed as evidence, the busiest first.
constexpr size_t kPairEvidence = 6;
constexpr int32_t kMaxRtPriority = 99;

// One interrupt firing on one isolated CPU: its rate per second over the
// sampling window, or its count since boot when nothing was sampled.
struct IrqPair {
  const IrqInfo* irq;
  int32_t cpu;
  double value;
};

// The busiest pairs of one kind, largest first, and how many pairs there were
// in all. Keeping only the few that are reported keeps the walk over a large
// interrupt table linear.
struct PairTop {
  IrqPair best[kPairEvidence];
  size_t kept;
  size_t count;
};

// Inserts behind pairs of equal value, so ties keep table order.
void pair_top_add(PairTop* t, IrqPair p) {
  t->count++;
  size_t i = t->kept;
  if (i == kPairEvidence) {
    if (t->best[i - 1].value >= p.value) return;
    i--;
  } else {
    t->kept++;
  }
  for (; i > 0 && t->best[i - 1].value < p.value; i--) t->best[i] = t->best[i - 1];
  t->best[i] = p;
}

struct IsolatedPairs {
  PairTop unmanaged;
  PairTop managed;
};

// A sampled increase per second of the real sampling window (the raw increase
// when the window has no length); the count since boot otherwise.
double pair_value(const Snapshot* s, const IrqCount& c) {
  if (!s->sampled) return static_cast<double>(c.count);
  double delta = static_cast<double>(c.delta);
  return s->sample_window_s > 0 ? delta / s->sample_window_s : delta;
}

// A per-CPU vector (a GIC SGI or PPI such as arch_timer) fires on every CPU
// by design and has no affinity to move, like the named rows LOC or RES.
void collect_pairs(const Snapshot* s, IsolatedPairs* out) {
  for (const IrqInfo& irq : s->irqs) {
    if (irq.per_cpu_vector) continue;
    PairTop* top = irq.managed ? &out->managed : &out->unmanaged;
    for (const IrqCount& c : irq.per_cpu) {
      uint64_t fired = s->sampled ? c.delta : c.count;
      if (fired < 1 || !cpuset_has(&s->isolated, c.cpu)) continue;
      pair_top_add(top, IrqPair{&irq, c.cpu, pair_value(s, c)});
    }
  }
}

// "250/s" when sampled, "1.2k since boot" otherwise.
StrView rate_text(Arena* a, const Snapshot* s, double value) {
  StrView n = fmt_count(a, value);
  if (s->sampled) return arena_sprintf(a, "%.*s/s", SV_ARG(n));
  return arena_sprintf(a, "%.*s since boot", SV_ARG(n));
}

StrView effective_key(Arena* a, const IrqInfo* irq) {
  return arena_sprintf(a, "/proc/irq/%.*s/effective_affinity_list", SV_ARG(irq->name));
}

void rule_unavailable(Report* r) {
  Finding* f = add_finding(r, "irq.unavailable", kCat, Severity::unknown,
                           sv_lit("Interrupt table not readable"));
  finding_set_detail(f, sv_lit("/proc/interrupts could not be read."));
  finding_set_impact(f, sv_lit("Interrupt routing could not be evaluated."));
}

void rule_not_assessed(Report* r, const Snapshot* s) {
  Finding* f = add_finding(
      r, "irq.affinity", kCat, Severity::na,
      arena_sprintf(r->arena, "Interrupt routing not assessed (%zu interrupts, no isolated CPUs)",
                    s->irqs.count));
  finding_set_detail(f, sv_lit("Interrupt placement only means something once some CPUs are "
                               "reserved. Configure isolation first; this category will then be "
                               "scored."));
}

void rule_on_isolated(Report* r, const Snapshot* s, const PairTop* pairs) {
  Arena* a = r->arena;
  if (pairs->count == 0) {
    Finding* f = add_finding(r, "irq.on_isolated", kCat, Severity::pass,
                             sv_lit("No device interrupts on isolated CPUs"));
    if (s->sampled) {
      StrView iso = cpuset_format_list(a, &s->isolated);
      finding_set_detail(f, arena_sprintf(a, "Nothing fired on CPUs %.*s during a %.1f s sample.",
                                          SV_ARG(iso), s->sample_window_s));
    } else {
      finding_set_detail(f,
                         sv_lit("No interrupt has a nonzero count on an isolated CPU since boot."));
    }
    finding_set_weight(f, 2.5);
    return;
  }
  const IrqPair& top = pairs->best[0];
  const IrqInfo* irq = top.irq;
  Severity sev = s->sampled && top.value >= kBusyRate ? Severity::fail : Severity::warn;
  Finding* f = add_finding(r, "irq.on_isolated", kCat, sev,
                           arena_sprintf(a, "Interrupt %.*s (IRQ %.*s) lands on isolated CPU %d",
                                         SV_ARG(irq->device), SV_ARG(irq->name), top.cpu));
  StrView rate = rate_text(a, s, top.value);
  if (pairs->count == 1) {
    finding_set_detail(f, arena_sprintf(a, "Observed %.*s.", SV_ARG(rate)));
  } else {
    finding_set_detail(f, arena_sprintf(a,
                                        "%zu interrupt/CPU pairs land on isolated CPUs; the "
                                        "busiest is %.*s at %.*s.",
                                        pairs->count, SV_ARG(irq->device), SV_ARG(rate)));
  }
  finding_set_impact(f,
                     sv_lit("Each interrupt preempts the RT thread for the duration of the "
                            "handler, and the handler runs whether or not the thread is at a safe "
                            "point."));
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_code(&cmd, "echo ");
  cmd_cpulist(&cmd, &s->housekeeping);
  cmd_code(&cmd, " > ");
  cmd_word(&cmd, arena_sprintf(a, "/proc/irq/%.*s/smp_affinity_list", SV_ARG(irq->name)));
  finding_set_command(f, a, &cmd);
  finding_set_weight(f, 2.5);
  for (size_t i = 0; i < pairs->kept; i++) {
    const IrqPair& p = pairs->best[i];
    StrView n = fmt_count(a, p.value);
    StrView value =
        s->sampled
            ? arena_sprintf(a, "%.*s on CPU %d, %.*s/s", SV_ARG(p.irq->device), p.cpu, SV_ARG(n))
            : arena_sprintf(a, "%.*s on CPU %d, %.*s", SV_ARG(p.irq->device), p.cpu, SV_ARG(n));
    finding_add_evidence(r, f, effective_key(a, p.irq), value);
  }
}

void rule_managed_on_isolated(Report* r, const Snapshot* s, const PairTop* pairs) {
  if (pairs->count == 0) return;
  Arena* a = r->arena;
  const IrqPair& top = pairs->best[0];
  Finding* f =
      add_finding(r, "irq.managed_on_isolated", kCat, Severity::warn,
                  arena_sprintf(a, "Kernel-managed interrupt %.*s lands on isolated CPU %d",
                                SV_ARG(top.irq->device), top.cpu));
  finding_set_detail(f,
                     sv_lit("Managed (per-queue) vectors are bound by the driver when the device "
                            "is set up; writing smp_affinity returns EIO."));
  finding_set_impact(f, sv_lit("The queue serving this CPU raises its completions here, and the "
                               "affinity cannot be changed at runtime."));
  finding_set_remediation(f,
                          sv_lit("Add managed_irq to isolcpus (isolcpus=managed_irq,domain,...) so "
                                 "the kernel excludes isolated CPUs when assigning queues, or "
                                 "reduce the device's queue count."));
  StrView iso = cpuset_format_list(a, &s->isolated);
  finding_set_cmdline(f, arena_sprintf(a, "isolcpus=managed_irq,domain,%.*s", SV_ARG(iso)));
  finding_add_evidence(r, f, effective_key(a, top.irq),
                       cpuset_format_list(a, &top.irq->effective.value));
}

// Delivered somewhere it was not asked to go: both affinities known, and the
// effective one has a CPU outside the requested one.
bool escapes_affinity(const IrqInfo& irq) {
  if (irq.per_cpu_vector) return false;
  if (!irq.affinity.has || !irq.effective.has || cpuset_empty(&irq.effective.value)) return false;
  CpuSet outside = irq.effective.value;
  cpuset_andnot(&outside, &irq.affinity.value);
  return !cpuset_empty(&outside);
}

void rule_effective_escape(Report* r, const Snapshot* s) {
  size_t count = 0;
  const IrqInfo* first = nullptr;
  for (const IrqInfo& irq : s->irqs) {
    if (!escapes_affinity(irq)) continue;
    if (!first) first = &irq;
    count++;
  }
  if (count == 0) return;
  Arena* a = r->arena;
  Finding* f = add_finding(r, "irq.effective_escape", kCat, Severity::warn,
                           arena_sprintf(a,
                                         "%zu interrupt%s land outside the affinity they were "
                                         "given",
                                         count, fmt_plural(count)));
  StrView requested = cpuset_format_list(a, &first->affinity.value);
  StrView effective = cpuset_format_list(a, &first->effective.value);
  finding_set_detail(f, arena_sprintf(a, "IRQ %.*s (%.*s) requested %.*s but is effective on %.*s.",
                                      SV_ARG(first->name), SV_ARG(first->device), SV_ARG(requested),
                                      SV_ARG(effective)));
  finding_set_impact(f,
                     sv_lit("smp_affinity is being ignored for these vectors, so an audit of the "
                            "requested masks describes a routing that does not exist."));
  finding_set_remediation(f, sv_lit("Treat these as kernel-managed: isolate with "
                                    "isolcpus=managed_irq rather than by writing smp_affinity."));
  StrView iso = cpuset_format_list(a, &s->isolated);
  finding_set_cmdline(f, arena_sprintf(a, "isolcpus=managed_irq,domain,%.*s", SV_ARG(iso)));
}

// The kernel refuses a default affinity without an online CPU, so an empty
// set can only come from a file that did not parse: it says nothing, and in
// particular not that the isolated CPUs are excluded.
void rule_default_affinity(Report* r, const Snapshot* s) {
  if (!s->default_affinity.has || cpuset_empty(&s->default_affinity.value)) return;
  Arena* a = r->arena;
  CpuSet on_isolated = s->default_affinity.value;
  cpuset_and(&on_isolated, &s->isolated);
  if (cpuset_empty(&on_isolated)) {
    add_finding(r, "irq.default_affinity", kCat, Severity::pass,
                sv_lit("Default IRQ affinity excludes isolated CPUs"));
    return;
  }
  StrView both = cpuset_format_list(a, &on_isolated);
  Finding* f = add_finding(
      r, "irq.default_affinity", kCat, Severity::warn,
      arena_sprintf(a, "Default IRQ affinity includes isolated CPUs %.*s", SV_ARG(both)));
  finding_set_impact(f, sv_lit("Any device probed after boot -- a hotplugged NIC, a USB device, a "
                               "loaded module -- inherits this mask and starts interrupting the RT "
                               "cores."));
  StrView hk = cpuset_format_list(a, &s->housekeeping);
  finding_set_remediation(
      f, arena_sprintf(a, "Boot with irqaffinity=%.*s, which also sets the default.", SV_ARG(hk)));
  finding_set_cmdline(f, arena_sprintf(a, "irqaffinity=%.*s", SV_ARG(hk)));
  finding_add_evidence_cstr(r, f, "/proc/irq/default_smp_affinity",
                            cpuset_format_list(a, &s->default_affinity.value));
}

void rule_softirq_on_isolated(Report* r, const Snapshot* s) {
  if (s->softirqs.count == 0 || !s->sampled) return;
  const SoftirqInfo* busiest = nullptr;
  int32_t cpu = -1;
  uint64_t delta = 0;
  for (const SoftirqInfo& si : s->softirqs) {
    for (const IrqCount& c : si.per_cpu) {
      if (c.delta <= delta || !cpuset_has(&s->isolated, c.cpu)) continue;
      busiest = &si;
      cpu = c.cpu;
      delta = c.delta;
    }
  }
  if (!busiest) {
    add_finding(r, "irq.softirq_on_isolated", kCat, Severity::pass,
                sv_lit("No softirq activity on isolated CPUs"));
    return;
  }
  Arena* a = r->arena;
  double rate = static_cast<double>(delta);
  if (s->sample_window_s > 0) rate /= s->sample_window_s;
  StrView n = fmt_count(a, rate);
  Severity sev = rate >= kBusyRate ? Severity::warn : Severity::pass;
  Finding* f = add_finding(r, "irq.softirq_on_isolated", kCat, sev,
                           arena_sprintf(a, "Softirq %.*s runs on isolated CPU %d (%.*s/s)",
                                         SV_ARG(busiest->name), cpu, SV_ARG(n)));
  if (sev == Severity::pass) return;
  finding_set_impact(f,
                     sv_lit("Softirq work runs in the tick or in ksoftirqd on the isolated core, "
                            "competing with the RT thread."));
  finding_set_remediation(f,
                          sv_lit("Move the interrupts that raise it away from the isolated CPUs; "
                                 "softirqs follow their hard IRQs."));
}

// A threaded interrupt handler: the collector names its interrupt number.
bool is_irq_handler(const RtTask& t) {
  return t.irq_number.len > 0;
}

// The application thread with the highest real-time priority; DEADLINE
// threads have no priority to compare. Null when none is above 0.
const RtTask* top_application(const Snapshot* s) {
  const RtTask* top = nullptr;
  for (const RtTask& t : s->rt_tasks) {
    if (t.kthread || t.policy == kSchedDeadline || t.rt_priority <= 0) continue;
    if (!top || t.rt_priority > top->rt_priority) top = &t;
  }
  return top;
}

// The fix: raise the handler above the application; with the application
// at the top priority already, the handler can only reach it, so the
// application steps down below it.
StrView threaded_priority_fix(Arena* a, const RtTask& handler, const RtTask& app) {
  if (app.rt_priority < kMaxRtPriority) {
    return arena_sprintf(a, "chrt -f -p %d %d   # raise the handler above the application",
                         app.rt_priority + 1, handler.tid);
  }
  if (handler.rt_priority < kMaxRtPriority) {
    return arena_sprintf(a,
                         "chrt -f -p %d %d; chrt -f -p %d %d   # raise the handler to the top "
                         "and the application below it",
                         kMaxRtPriority, handler.tid, kMaxRtPriority - 1, app.tid);
  }
  return arena_sprintf(a, "chrt -f -p %d %d   # lower the application below the handler",
                       kMaxRtPriority - 1, app.tid);
}

// Under SCHED_FIFO a thread preempts only a lower priority, so a handler at
// the application's priority waits for it just as one below it does
// (Documentation/scheduler/sched-rt-group.rst, and sched(7)). Without
// handler threads there is nothing to judge.
void rule_threaded_priority(Report* r, const Snapshot* s) {
  if (!s->tasks_available || s->rt_tasks.count == 0) return;
  const RtTask* app = top_application(s);
  if (!app) return;
  int32_t top = app->rt_priority;
  const RtTask* low = nullptr;
  bool any_handler = false;
  for (const RtTask& t : s->rt_tasks) {
    if (!is_irq_handler(t)) continue;
    any_handler = true;
    if (t.rt_priority <= top) {
      low = &t;
      break;
    }
  }
  if (!any_handler) return;
  if (!low) {
    add_finding(r, "irq.threaded_priority", kCat, Severity::pass,
                sv_lit("Threaded IRQ handlers outrank the RT application"));
    return;
  }
  Arena* a = r->arena;
  StrView title =
      low->rt_priority < top
          ? arena_sprintf(a, "Threaded IRQ handler %.*s runs below the RT application",
                          SV_ARG(low->comm))
          : arena_sprintf(a, "Threaded IRQ handler %.*s runs at the RT application's priority",
                          SV_ARG(low->comm));
  Finding* f = add_finding(r, "irq.threaded_priority", kCat, Severity::warn, title);
  finding_set_detail(f, arena_sprintf(a, "Handler priority %d; highest application RT priority %d.",
                                      low->rt_priority, top));
  finding_set_impact(f, sv_lit("The handler cannot preempt the application, so incoming data waits "
                               "until the application blocks -- which, for a busy RT loop, may be "
                               "never."));
  finding_set_remediation(f, threaded_priority_fix(a, *low, *app));
  finding_add_evidence(r, f, arena_sprintf(a, "/proc/%d/task/%d/stat", low->pid, low->tid),
                       arena_sprintf(a, "%.*s prio %d", SV_ARG(low->comm), low->rt_priority));
}

}  // namespace

void irq_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  if (!s->interrupts_available) {
    rule_unavailable(report);
    return;
  }
  if (!ctx->has_isolation) {
    rule_not_assessed(report, s);
  } else {
    IsolatedPairs pairs = {};
    collect_pairs(s, &pairs);
    rule_on_isolated(report, s, &pairs.unmanaged);
    rule_managed_on_isolated(report, s, &pairs.managed);
    rule_effective_escape(report, s);
    rule_default_affinity(report, s);
    rule_softirq_on_isolated(report, s);
  }
  rule_threaded_priority(report, s);
}

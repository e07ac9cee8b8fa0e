// Measured-latency rules: grade what the latency tools observed under
// --measure. Every finding here belongs to the "measured" category, which
// weighs 25 of the 100 points whenever a measurement was attempted.
#include "base/fmt.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::measured;

StrView us(const Report* r, double v) {
  return fmt_duration_us(r->arena, v, false);
}

// The notes in their order, joined by "; ".
StrView joined_notes(const Report* r, const StrList* notes) {
  StrBuf sb;
  sb_init(&sb, r->arena);
  for (size_t i = 0; i < notes->count; i++) {
    if (i) sb_append_cstr(&sb, "; ");
    sb_append_view(&sb, (*notes)[i]);
  }
  return sb_view(&sb);
}

void rule_unavailable(Report* r, const Snapshot* s) {
  Finding* f = add_finding(r, "measured.unavailable", kCat, Severity::unknown,
                           sv_lit("Latency measurement did not produce a result"));
  if (s->measure_notes.count) finding_set_detail(f, joined_notes(r, &s->measure_notes));
  finding_set_impact(f, sv_lit("Static configuration was scored, but nothing was measured, so the "
                               "score describes intent rather than behaviour."));
  finding_set_remediation(f,
                          sv_lit("Install rt-tests (cyclictest) or rtla, and re-run as root with "
                                 "--measure."));
}

// The PM QoS request the run held, as the detail tells it.
StrView pm_qos_text(const Report* r, const MeasureConditions* c) {
  StrView value = c->pm_qos_us.has ? us(r, c->pm_qos_us.value) : sv_lit("?");
  if (sv_eq_cstr(c->pm_qos, "held"))
    return arena_sprintf(r->arena, "C-states as in production: held at %.*s, as %.*s holds it",
                         SV_ARG(value), SV_ARG(c->pm_qos_holder));
  if (sv_eq_cstr(c->pm_qos, "forced"))
    return arena_sprintf(r->arena, "C-states limited by --pm-qos to %.*s exit latency",
                         SV_ARG(value));
  return sv_lit("C-states as in production: no PM QoS request");
}

// " Priority 95; <PM QoS>; idle machine, 60 s: a smoke test; ..." for a run
// whose conditions were recorded (a measurement of this version), else empty.
StrView conditions_text(const Report* r, const Measurement* m) {
  const MeasureConditions* c = &m->cond;
  if (!c->priority) return sv_lit("");
  bool loaded = sv_eq_cstr(c->load, "stress-ng");
  StrView how = loaded ? sv_lit("under stress-ng load") : sv_lit("idle machine");
  StrView span = arena_sprintf(r->arena, "%.0f s", m->duration_s);
  StrView grade = loaded && m->duration_s >= kQualifyS
                      ? sv_lit("")
                      : sv_lit(": a smoke test; qualify under --load for hours");
  return arena_sprintf(r->arena, " Priority %d; %.*s; %.*s, %.*s%.*s.", c->priority,
                       SV_ARG(pm_qos_text(r, c)), SV_ARG(how), SV_ARG(span), SV_ARG(grade));
}

// A run cut short shows what it measured, over the time it ran, ungraded.
void rule_worst(Report* r, const RuleContext* ctx, const Measurement* m) {
  if (!m->max_us.has) return;
  double max = m->max_us.value, target = ctx->target_us;
  bool partial = m->cut_short;
  Severity sev = partial             ? Severity::unknown
                 : max <= target     ? Severity::pass
                 : max <= 2 * target ? Severity::warn
                                     : Severity::fail;
  StrView maxv = us(r, max), targetv = us(r, target);
  StrView avg = m->avg_us.has ? us(r, m->avg_us.value) : sv_lit("n/a");
  StrView title =
      partial ? arena_sprintf(r->arena, "Worst-case latency %.*s in a run cut short after %.1f s",
                              SV_ARG(maxv), m->duration_s)
              : arena_sprintf(r->arena, "Worst-case latency %.*s against a %.*s target",
                              SV_ARG(maxv), SV_ARG(targetv));
  Finding* f = add_finding(r, "measured.worst", kCat, sev, title);
  StrView over = partial ? arena_sprintf(r->arena, "%.1f s", m->duration_s)
                         : arena_sprintf(r->arena, "%.0f s", m->duration_s);
  finding_set_detail(
      f, arena_sprintf(r->arena, "Measured with %.*s over %.*s on CPUs %.*s; average %.*s.%.*s",
                       SV_ARG(m->source), SV_ARG(over),
                       SV_ARG(cpuset_format_list(r->arena, &m->cpus)), SV_ARG(avg),
                       SV_ARG(conditions_text(r, m))));
  if (partial) {
    finding_set_impact(f, sv_lit("The tool ended before its duration was up, so this worst case "
                                 "covers only part of the run and is not graded."));
    finding_set_remediation(f, sv_lit("Re-run --measure and let it finish."));
  } else if (sev != Severity::pass) {
    finding_set_impact(f, arena_sprintf(r->arena,
                                        "A deadline of %.*s will be missed; the observed worst "
                                        "case exceeds it by %.1fx.",
                                        SV_ARG(targetv), max / target));
    finding_set_remediation(f,
                            sv_lit("Address the failing static findings above, then re-measure. "
                                   "If they are all clean, run --measure again with hwlatdetect to "
                                   "separate firmware latency from kernel latency."));
  }
  finding_set_weight(f, 3);
  finding_add_evidence(r, f, m->command,
                       arena_sprintf(r->arena, "max %.*s, avg %.*s", SV_ARG(maxv), SV_ARG(avg)));
}

void rule_outliers(Report* r, const Measurement* m) {
  if (!m->max_us.has || !m->avg_us.has || !(m->avg_us.value > 0)) return;
  double ratio = m->max_us.value / m->avg_us.value;
  if (ratio < 20) {
    add_finding(
        r, "measured.outliers", kCat, Severity::pass,
        arena_sprintf(r->arena, "Latency distribution is tight (max is %.0fx the average)", ratio));
    return;
  }
  Finding* f = add_finding(
      r, "measured.outliers", kCat, Severity::warn,
      arena_sprintf(r->arena, "Latency is outlier-dominated (max is %.0fx the average)", ratio));
  finding_set_detail(
      f, arena_sprintf(r->arena, "Average %.*s, worst %.*s.", SV_ARG(us(r, m->avg_us.value)),
                       SV_ARG(us(r, m->max_us.value))));
  finding_set_impact(f,
                     sv_lit("The common path is healthy and something rare is interrupting it. "
                            "That profile points at an SMI, a deep C-state exit or a rare driver "
                            "path rather than at scheduler configuration."));
  finding_set_remediation(f,
                          sv_lit("Run hwlatdetect to test for SMIs, and check the C-state findings "
                                 "above before tuning anything in the scheduler."));
}

void rule_cpu_spread(Report* r, const RuleContext* ctx, const Measurement* m) {
  if (m->per_cpu.count < 2) return;
  double best = 1e18, worst = -1;
  int32_t worst_cpu = -1;
  for (const PerCpuLatency& c : m->per_cpu) {
    if (!c.max_us.has) continue;
    if (c.max_us.value < best) best = c.max_us.value;
    if (c.max_us.value > worst) {
      worst = c.max_us.value;
      worst_cpu = c.cpu;
    }
  }
  if (!(worst > 0 && best > 0 && best < 1e17 && worst / best >= 3)) return;
  Finding* f = add_finding(
      r, "measured.cpu_spread", kCat, Severity::warn,
      arena_sprintf(r->arena, "CPU %d is %.1fx worse than the best CPU", worst_cpu, worst / best));
  finding_set_detail(f, arena_sprintf(r->arena, "Best %.*s, worst %.*s.", SV_ARG(us(r, best)),
                                      SV_ARG(us(r, worst))));
  finding_set_impact(f, ctx->has_isolation
                            ? sv_lit("The isolated cores are not equivalent, so which core a "
                                     "thread lands on changes its worst case.")
                            : sv_lit("The cores are not equivalent, so which core a thread lands "
                                     "on changes its worst case."));
  finding_set_remediation(f, arena_sprintf(r->arena,
                                           "Compare interrupts and idle states on CPU %d against "
                                           "the others; the difference is usually a stray IRQ or "
                                           "an SMT sibling left busy.",
                                           worst_cpu));
}

// rtla's auto-analysis of the miss, as one sentence: what it blames.
StrView analysis_text(const Report* r, const TimerlatAnalysis* x) {
  if (!x->valid) return sv_lit("");
  StrBuf sb;
  sb_init(&sb, r->arena);
  sb_printf(&sb, " Auto-analysis of the miss on CPU %d:", x->cpu);
  const char* sep = " ";
  if (x->irq_delay_us.has) {
    sb_printf(&sb, "%sIRQ handler delay %s", sep, us(r, x->irq_delay_us.value).ptr);
    sep = "; ";
  }
  if (x->blocking_thread.ptr) {
    sb_printf(&sb, "%sblocking thread %.*s (%s)", sep, SV_ARG(x->blocking_thread),
               us(r, x->blocking_us.value).ptr);
    sep = "; ";
  }
  if (x->irq.ptr) {
    sb_printf(&sb, "%sIRQ %.*s (%s)", sep, SV_ARG(x->irq), us(r, x->irq_us.value).ptr);
    sep = "; ";
  }
  if (x->thread_latency_us.has)
    sb_printf(&sb, "%sthread latency %s", sep, us(r, x->thread_latency_us.value).ptr);
  sb_append_cstr(&sb, ".");
  return sb_view(&sb);
}

void rule_timerlat_split(Report* r, const RuleContext* ctx, const TimerlatResult* t,
                         const TimerlatAnalysis* x) {
  if (!t->valid || !t->irq_max_us.has || !t->thread_max_us.has) return;
  double irq = t->irq_max_us.value, thread = t->thread_max_us.value;
  double sched = irq < thread ? thread - irq : 0;
  Severity sev = irq > 0.5 * ctx->target_us ? Severity::warn : Severity::pass;
  Finding* f = add_finding(r, "measured.timerlat_split", kCat, sev,
                           arena_sprintf(r->arena, "Timer delivery %.*s, scheduling adds %.*s",
                                         SV_ARG(us(r, irq)), SV_ARG(us(r, sched))));
  finding_set_detail(f, arena_sprintf(r->arena, "IRQ max %.*s, thread max %.*s, over %.0f s.%.*s",
                                      SV_ARG(us(r, irq)), SV_ARG(us(r, thread)), t->duration_s,
                                      SV_ARG(analysis_text(r, x))));
  if (irq > thread - irq) {
    finding_set_impact(f,
                       sv_lit("Most of the delay is before the kernel gets control, so it is "
                              "hardware, firmware or virtualisation -- not something kernel tuning "
                              "will fix."));
    finding_set_remediation(f, sv_lit("Run hwlatdetect; if it also sees hits, pursue BIOS settings "
                                      "(SMI sources, power management, USB legacy emulation)."));
  } else {
    finding_set_impact(f, sv_lit("Most of the delay is added after the timer fires, so it is the "
                                 "scheduler path: preemption model, priorities, or a competing "
                                 "thread."));
  }
}

// A run cut short that saw nothing has not ruled firmware latency out.
void rule_hwlat(Report* r, const HwlatResult* h) {
  if (!h->valid) return;
  long long n = static_cast<long long>(h->samples_exceeding);
  if (n <= 0) {
    Severity sev = h->cut_short ? Severity::unknown : Severity::pass;
    Finding* f =
        add_finding(r, "measured.hwlat", kCat, sev, sv_lit("No firmware-induced latency detected"));
    finding_set_detail(
        f, arena_sprintf(r->arena, "%.0f s of hwlatdetect found no SMI.", h->duration_s));
    return;
  }
  StrView worst = h->max_us.has ? us(r, h->max_us.value) : sv_lit("unknown");
  Finding* f =
      add_finding(r, "measured.hwlat", kCat, Severity::fail,
                  arena_sprintf(r->arena, "Firmware stole the CPU %lld time%s (worst %.*s)", n,
                                n == 1 ? "" : "s", SV_ARG(worst)));
  finding_set_detail(f, arena_sprintf(r->arena, "Detected over %.0f s with %.*s.", h->duration_s,
                                      SV_ARG(h->command)));
  finding_set_impact(f, sv_lit("System management interrupts run in firmware with the OS suspended "
                               "entirely. The kernel cannot observe, defer or preempt them, so no "
                               "amount of tuning reduces this."));
  finding_set_remediation(f,
                          sv_lit("This is a BIOS problem, not a kernel one. Disable USB legacy "
                                 "emulation, hardware power capping/monitoring and thermal polling "
                                 "in firmware setup, and check for a BIOS update."));
  finding_set_weight(f, 2.5);
}

// The counts are interference events summed over the CPUs and the whole
// diagnostic run, not time: they are reported as such.
void rule_osnoise(Report* r, const NoiseResult* n) {
  if (!n->valid) return;
  double total = n->hw_count + n->nmi_count + n->irq_count + n->softirq_count + n->thread_count;
  if (!(total > 0)) {
    add_finding(r, "measured.osnoise", kCat,
                n->cut_short ? Severity::unknown : Severity::pass,
                sv_lit("No OS noise measured on the RT CPUs"));
    return;
  }
  Finding* f =
      add_finding(r, "measured.osnoise", kCat, Severity::warn,
                  arena_sprintf(r->arena, "OS noise dominated by %.*s", SV_ARG(n->dominant)));
  finding_set_detail(f, arena_sprintf(r->arena,
                                      "Interference events in %.0f s: hw %.0f, NMI %.0f, IRQ %.0f, "
                                      "softirq %.0f, thread %.0f.",
                                      n->duration_s, n->hw_count, n->nmi_count, n->irq_count,
                                      n->softirq_count, n->thread_count));
  finding_set_impact(f, sv_lit("This is time the application did not get, attributed to the source "
                               "that took it."));
  finding_set_remediation(f, arena_sprintf(r->arena,
                                           "Target %.*s specifically: for IRQ, move the interrupt; "
                                           "for thread, find the kthread still on the isolated "
                                           "core.",
                                           SV_ARG(n->dominant)));
}

void rule_partial(Report* r, const Snapshot* s) {
  if (!s->measure_notes.count) return;
  bool cut = s->measured.cut_short || s->timerlat_result.cut_short ||
             s->hwlat_result.cut_short || s->noise_result.cut_short;
  Finding* f = add_finding(r, "measured.partial", kCat, Severity::unknown,
                           cut ? sv_lit("A measurement was cut short")
                               : sv_lit("Some measurements were skipped"));
  finding_set_detail(f, joined_notes(r, &s->measure_notes));
}

}  // namespace

void measured_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  if (!s->measured.valid) {
    rule_unavailable(report, s);
    return;
  }
  rule_worst(report, ctx, &s->measured);
  rule_outliers(report, &s->measured);
  rule_cpu_spread(report, ctx, &s->measured);
  rule_timerlat_split(report, ctx, &s->timerlat_result, &s->timerlat_analysis);
  rule_hwlat(report, &s->hwlat_result);
  rule_osnoise(report, &s->noise_result);
  rule_partial(report, s);
}

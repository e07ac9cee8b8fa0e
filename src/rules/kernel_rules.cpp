// Kernel and preemption rules: how the kernel was built and booted. Every
// finding here belongs to the "preemption" category.
#include <cstdint>

#include "collect/snapshot.h"
#include "rules/finding.h"
#include "source/boot_param_check.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::preemption;

bool known(StrView v) {
  return v.ptr != nullptr && v.len > 0;
}

// Preemption models from weakest to strongest; full and lazy preempt alike.
struct ModelRank {
  const char* name;
  int rank;
};

constexpr ModelRank kModelRanks[] = {
    {"none", 0}, {"voluntary", 1}, {"full", 2}, {"lazy", 2}, {"rt", 3},
};

// The model's strength, or -1 for a name outside the known models.
int preempt_model_rank(StrView model) {
  for (const ModelRank& m : kModelRanks) {
    if (sv_eq_cstr(model, m.name)) return m.rank;
  }
  return -1;
}

void rule_rt(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (s->is_rt) {
    Finding* f = add_finding(r, "preempt.rt", kCat, Severity::pass, sv_lit("PREEMPT_RT enabled"));
    if (known(s->rt_evidence)) {
      finding_set_detail(f, arena_sprintf(r->arena, "Confirmed by %.*s.", SV_ARG(s->rt_evidence)));
    }
    finding_set_weight(f, 3);
    return;
  }
  // A PREEMPT_RT kernel says so in its version string and its configuration;
  // either one read without the mark shows a kernel that is not, whether or
  // not a model is named. With neither, nothing is known.
  if (!known(s->preempt_model) && !sv_present(s->proc_version) && !s->config_available) {
    Finding* f = add_finding(r, "preempt.rt", kCat, Severity::unknown,
                             sv_lit("Preemption model unknown"));
    finding_set_detail(f, sv_lit("Could not determine the preemption model."));
    finding_set_weight(f, 3);
    if (sv_present(s->proc_version))
      finding_add_evidence_cstr(r, f, "/proc/version", s->proc_version);
    return;
  }
  Severity sev = ctx->profile == Profile::low_latency ? Severity::warn : Severity::fail;
  Finding* f = add_finding(r, "preempt.rt", kCat, sev, sv_lit("PREEMPT_RT not enabled"));
  finding_set_detail(f, known(s->preempt_model)
                            ? arena_sprintf(r->arena, "Running the '%.*s' preemption model.",
                                            SV_ARG(s->preempt_model))
                            : sv_lit("Could not determine the preemption model."));
  finding_set_impact(f,
                     sv_lit("Non-preemptible kernel sections bound worst-case wakeup latency from "
                            "below; no amount of isolation or IRQ tuning removes them."));
  finding_set_remediation(f, sv_lit("Install a PREEMPT_RT kernel (Debian/Ubuntu: linux-image-rt-*; "
                                    "RHEL: kernel-rt) and boot it."));
  finding_set_weight(f, 3);
  if (sv_present(s->proc_version)) {
    finding_add_evidence_cstr(r, f, "/proc/version", s->proc_version);
  }
}

void rule_config_missing(Report* r) {
  Finding* f = add_finding(r, "preempt.config_missing", kCat, Severity::unknown,
                           sv_lit("Kernel configuration not readable"));
  finding_set_detail(f, sv_lit("Looked for /proc/config.gz, /boot/config-$(uname -r) and "
                               "/lib/modules/$(uname -r)/build/.config."));
  finding_set_impact(f,
                     sv_lit("Checks for tick rate, high-resolution timers, RCU boosting and debug "
                            "options could not be evaluated."));
  finding_set_remediation(f, sv_lit("Install the kernel headers package, or enable "
                                    "CONFIG_IKCONFIG_PROC to expose /proc/config.gz."));
}

// The model's strength on this kernel. On a PREEMPT_RT kernel full and lazy
// are the real-time preemptible models themselves: such a kernel offers only
// those two, with lazy never delaying real-time tasks
// (Documentation/scheduler/sched-preemption.rst).
int effective_rank(StrView model, bool is_rt) {
  int rank = preempt_model_rank(model);
  return is_rt && rank == preempt_model_rank(sv_lit("full")) ? preempt_model_rank(sv_lit("rt"))
                                                             : rank;
}

// The preempt= word to suggest: the compiled default when the preempt file
// lists it, else the strongest listed model stronger than the booted one;
// absent when the kernel accepts none (the preempt= parameter takes only the
// words that file lists, Documentation/admin-guide/kernel-parameters.txt).
StrView suggested_model(const Snapshot* s, StrView booted, StrView def) {
  if (strlist_contains(&s->preempt_models, def)) return def;
  StrView best = kNoneView;
  int best_rank = effective_rank(booted, s->is_rt);
  for (StrView m : s->preempt_models) {
    int rank = effective_rank(m, s->is_rt);
    if (rank > best_rank) {
      best = m;
      best_rank = rank;
    }
  }
  return best;
}

// Warns only when the booted model is weaker than the compiled default, or
// when either name is not a model we can rank: a machine booted with a
// stronger model than its build default is doing the right thing. The fix
// names only a model the kernel's preempt file lists; without one there is
// nothing to boot with and no finding.
void rule_dynamic_mismatch(Report* r, const Snapshot* s) {
  StrView booted = s->preempt_model;
  StrView def = s->config_preempt_model;
  if (!s->preempt_dynamic || !known(booted) || !known(def) || sv_eq(booted, def)) return;
  int booted_rank = effective_rank(booted, s->is_rt);
  int def_rank = effective_rank(def, s->is_rt);
  bool comparable = booted_rank >= 0 && def_rank >= 0;
  if (comparable && booted_rank >= def_rank) return;
  StrView fix = suggested_model(s, booted, def);
  if (!known(fix)) return;

  Finding* f = add_finding(
      r, "preempt.dynamic_mismatch", kCat, Severity::warn,
      arena_sprintf(r->arena,
                    "Booted preemption model '%.*s' differs from the compiled default '%.*s'",
                    SV_ARG(booted), SV_ARG(def)));
  finding_set_cmdline(f, arena_sprintf(r->arena, "preempt=%.*s", SV_ARG(fix)));
  finding_set_impact(f,
                     sv_lit("The running model is weaker than the build suggests, so config-based "
                            "audits of this machine are misleading."));
  if (sv_eq(fix, def)) {
    finding_set_remediation(
        f, arena_sprintf(r->arena,
                         "Boot with preempt=%.*s to match the compiled default, or accept the "
                         "runtime choice deliberately.",
                         SV_ARG(def)));
  } else {
    finding_set_remediation(
        f, arena_sprintf(r->arena,
                         "Boot with preempt=%.*s, the strongest model this kernel accepts, or "
                         "accept the runtime choice deliberately.",
                         SV_ARG(fix)));
  }
  finding_add_evidence_cstr(r, f, "/sys/kernel/debug/sched/preempt", booted);
}

// What a low tick rate costs. High-resolution timers expire on their own
// clock event, not on the tick (Documentation/timers/highres.rst), so with
// them the rate only sets the period of the scheduler tick and of the
// timer-wheel timeouts on CPUs that still tick.
StrView hz_impact(Arena* a, const Snapshot* s, long long hz) {
  double period_ms = 1000.0 / static_cast<double>(hz);
  if (kv_is_enabled(&s->config, "CONFIG_HIGH_RES_TIMERS")) {
    return arena_sprintf(a,
                         "High-resolution timers do not wait for the tick, but on CPUs that still "
                         "tick, the scheduler tick and timer-wheel timeouts come every %.1f ms: "
                         "time slices, load balancing and coarse timeouts are that late.",
                         period_ms);
  }
  return arena_sprintf(a,
                       "Timer granularity is %.1f ms; a thread waiting on a timer can be that "
                       "late without any other cause.",
                       period_ms);
}

// A tick rate of 0 or below is no rate at all: it is treated as unknown.
void rule_hz(Report* r, const Snapshot* s) {
  if (!s->hz.has || s->hz.value <= 0) return;
  long long hz = static_cast<long long>(s->hz.value);
  bool tickless = !cpuset_empty(&s->nohz_full);
  Severity sev = hz >= 1000 || tickless ? Severity::pass : Severity::warn;
  Finding* f =
      add_finding(r, "preempt.hz", kCat, sev, arena_sprintf(r->arena, "Tick rate %lld Hz", hz));
  if (hz < 1000 && tickless) {
    finding_set_detail(f, sv_lit("Below 1000 Hz, but nohz_full stops the tick on the isolated CPUs "
                                 "regardless."));
  } else if (sev == Severity::warn) {
    finding_set_impact(f, hz_impact(r->arena, s, hz));
    finding_set_remediation(f, sv_lit("Rebuild with CONFIG_HZ_1000=y, or enable nohz_full on the "
                                      "isolated CPUs."));
  }
  finding_add_evidence_cstr(r, f, "CONFIG_HZ", arena_sprintf(r->arena, "%lld", hz));
}

void rule_threadirqs(Report* r, const Snapshot* s) {
  bool forced = kv_is_enabled(&s->config, "CONFIG_IRQ_FORCED_THREADING");
  if (!s->is_rt && !forced) return;
  if (s->is_rt || kv_has(&s->cmdline_params, boot_param("threadirqs"))) {
    Finding* f = add_finding(r, "preempt.threadirqs", kCat, Severity::pass,
                             sv_lit("Interrupt handlers run in threads"));
    if (s->is_rt)
      finding_set_detail(f, sv_lit("PREEMPT_RT threads interrupt handlers by default."));
    return;
  }
  Finding* f = add_finding(r, "preempt.threadirqs", kCat, Severity::warn,
                           sv_lit("Forced IRQ threading available but not enabled"));
  finding_set_impact(
      f, sv_lit("Hard IRQ handlers run with interrupts disabled and cannot be preempted "
                "by an RT thread, whatever its priority."));
  finding_set_remediation(
      f, sv_lit("Boot with threadirqs to force handlers into schedulable threads."));
  finding_set_cmdline(f, sv_lit("threadirqs"));
}

// "A kernel option that should be built in": a pass when enabled, the gap's
// severity when present but disabled, nothing when the configuration does not
// mention it.
struct ConfigOptionCheck {
  const char* id;
  const char* option;
  const char* pass_title;
  Severity gap_severity;
  double gap_weight;
  const char* gap_title;
  const char* impact;
  const char* remediation;
};

constexpr ConfigOptionCheck kConfigOptionChecks[] = {
    {"preempt.hrtimers", "CONFIG_HIGH_RES_TIMERS", "High-resolution timers enabled", Severity::fail,
     2, "High-resolution timers disabled",
     "Every sleep and timer rounds up to a tick, so nanosleep() granularity collapses to "
     "milliseconds.",
     "Rebuild with CONFIG_HIGH_RES_TIMERS=y."},
    {"preempt.rcu_boost", "CONFIG_RCU_BOOST", "RCU priority boosting enabled", Severity::warn, 1,
     "RCU priority boosting disabled",
     "A preempted RCU reader can stall grace periods indefinitely when an RT thread monopolises "
     "its CPU.",
     "Rebuild with CONFIG_RCU_BOOST=y."},
};

void rule_config_option(Report* r, const Snapshot* s, const ConfigOptionCheck& c) {
  if (!kv_has(&s->config, c.option)) return;
  if (kv_is_enabled(&s->config, c.option)) {
    add_finding(r, c.id, kCat, Severity::pass, sv_from_cstr(c.pass_title));
    return;
  }
  Finding* f = add_finding(r, c.id, kCat, c.gap_severity, sv_from_cstr(c.gap_title));
  finding_set_impact(f, sv_from_cstr(c.impact));
  finding_set_remediation(f, sv_from_cstr(c.remediation));
  finding_set_weight(f, c.gap_weight);
}

// CONFIG_SCHEDSTATS only builds the statistics in: they are gathered while
// kernel.sched_schedstats is 1 (Documentation/admin-guide/sysctl/kernel.rst),
// so the option costs nothing when that sysctl reads anything else.
bool debug_option_costs(const Snapshot* s, StrView option) {
  if (!sv_eq_cstr(option, "CONFIG_SCHEDSTATS")) return true;
  return !s->sched_schedstats.has || s->sched_schedstats.value == 1;
}

void rule_debug_options(Report* r, const Snapshot* s) {
  size_t count = 0;
  for (const KvPair& opt : s->debug_options) count += debug_option_costs(s, opt.key) ? 1 : 0;
  if (count == 0) {
    add_finding(r, "preempt.debug_options", kCat, Severity::pass,
                sv_lit("No latency-costing debug options compiled in"));
    return;
  }
  Finding* f = add_finding(r, "preempt.debug_options", kCat, Severity::warn,
                           arena_sprintf(r->arena, "%zu kernel debug option%s compiled in", count,
                                         count == 1 ? "" : "s"));
  StrBuf names;
  sb_init(&names, r->arena);
  for (const KvPair& opt : s->debug_options) {
    if (!debug_option_costs(s, opt.key)) continue;
    if (names.len > 0) sb_append_cstr(&names, ", ");
    sb_append_view(&names, opt.key);
  }
  finding_set_detail(f, sb_view(&names));
  finding_set_impact(f, sv_lit("Instrumentation runs on every context switch, lock and allocation. "
                               "Individually small, collectively tens of microseconds."));
  finding_set_remediation(f,
                          sv_lit("Use a production kernel build with the debug and instrumentation "
                                 "options disabled."));
  for (const KvPair& opt : s->debug_options) {
    if (debug_option_costs(s, opt.key)) finding_add_evidence(r, f, opt.key, opt.value);
  }
}

}  // namespace

void preempt_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_rt(report, ctx, s);
  if (!s->config_available) {
    rule_config_missing(report);
    return;
  }
  rule_dynamic_mismatch(report, s);
  rule_hz(report, s);
  rule_config_option(report, s, kConfigOptionChecks[0]);  // rows in their places of the order
  rule_threadirqs(report, s);
  rule_config_option(report, s, kConfigOptionChecks[1]);
  rule_debug_options(report, s);
}

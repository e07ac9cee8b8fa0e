// Frequency and C-state rules: power management on the CPUs that carry
// real-time work (the isolated CPUs, or every online CPU when none is
// isolated). The deepest enabled idle state is weighed against the latency
// target; then deep idle entries seen while sampling, a held
// /dev/cpu_dma_latency, the frequency governor, turbo/boost and a scaling
// floor below the ceiling. Every finding here belongs to the "power" category.
#include <cstdint>

#include "base/fmt.h"
#include "collect/snapshot.h"
#include "rules/command_text.h"
#include "rules/remedy.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::power;

// Idle states whose exit latency is at most this share of the target pass.
constexpr double kFloorPassShare = 0.2;
// Above this share of the target the deepest state fails rather than warns.
constexpr double kFloorWarnShare = 0.8;
// Entries into states above this share of the target count as deep.
constexpr double kDeepShare = 0.1;

// The idle and frequency records indexed by CPU number once, so that a walk
// over the RT CPUs looks each one up directly. The first record of a CPU
// wins, as the Snapshot's own lookups answer.
struct PowerIndex {
  const CpuIdle** idle;
  const CpuFreq** freq;
};

template <class T>
const T** index_by_cpu(Arena* a, const List<T>& list) {
  const T** out = arena_array<const T*>(a, kMaxCpus);
  for (const T& rec : list) {
    if (rec.cpu < 0 || rec.cpu >= kMaxCpus || out[rec.cpu]) continue;
    out[rec.cpu] = &rec;
  }
  return out;
}

// "RT CPUs" when some CPU is isolated, else "CPUs " and the online list.
StrView cpu_label(Arena* a, const RuleContext* ctx) {
  if (ctx->has_isolation) return sv_lit("RT CPUs");
  return arena_sprintf(a, "CPUs %.*s", SV_ARG(cpuset_format_list(a, &ctx->rt_cpus)));
}

StrView duration(Arena* a, double us) {
  return fmt_duration_us(a, us, false);
}

// ---- C-state floor ----

void rule_cpuidle_missing(Report* r) {
  Finding* f = add_finding(r, "power.cstate_floor", kCat, Severity::unknown,
                           sv_lit("Idle state information not available"));
  finding_set_detail(f, sv_lit("No cpuidle sysfs entries were readable."));
  finding_set_impact(f, sv_lit("The wakeup latency floor imposed by idle states could not be "
                               "determined."));
}

// The idle states above the pass share, by state index, with the RT CPUs
// that have each one enabled.
struct DeepState {
  int32_t index;
  StrView name;  // as the first CPU that has it names it
  CpuSet cpus;
};

constexpr int kMaxDeepStates = 16;

int gather_deep_states(const RuleContext* ctx, const PowerIndex& idx, DeepState* out) {
  double limit = kFloorPassShare * ctx->target_us;
  int n = 0;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    const CpuIdle* idle = idx.idle[c];
    if (!idle) continue;
    for (const IdleState& st : idle->states) {
      if (st.disabled || !st.latency_us.has || static_cast<double>(st.latency_us.value) <= limit) {
        continue;
      }
      int k = 0;
      while (k < n && out[k].index != st.index) k++;
      if (k == n) {
        if (n == kMaxDeepStates) continue;
        out[n++] = DeepState{st.index, st.name, {}};
      }
      cpuset_add(&out[k].cpus, c);
    }
  }
  return n;
}

// The boot parameter that caps idle states belongs to the idle driver in
// use: intel_idle.max_cstate= for intel_idle, processor.max_cstate= for
// acpi_idle (Documentation/admin-guide/kernel-parameters.txt); other
// drivers (psci_idle, haltpoll ...) have none, and only the sysfs switch
// applies (Documentation/admin-guide/pm/cpuidle.rst, "disable").
const char* max_cstate_line(StrView driver) {
  if (sv_eq_cstr(driver, "intel_idle")) return "Or boot with intel_idle.max_cstate=1.";
  if (sv_eq_cstr(driver, "acpi_idle")) return "Or boot with processor.max_cstate=1.";
  return nullptr;
}

// One loop per deep state over every RT CPU that has it enabled; the state
// name is machine text inside a command.
void disable_states_fix(Finding* f, Arena* a, const RuleContext* ctx, const PowerIndex& idx,
                        StrView label) {
  Remedy fix;
  remedy_init(&fix, a);
  remedy_say(&fix, arena_sprintf(a, "Disable the deep states on %.*s:", SV_ARG(label)));
  DeepState states[kMaxDeepStates];
  int n = gather_deep_states(ctx, idx, states);
  for (int k = 0; k < n; k++) {
    ShellCmd cmd;
    cmd_init(&cmd, a);
    cmd_code(&cmd, "for c in ");
    cmd_cpu_words(&cmd, &states[k].cpus);
    cmd_code(&cmd, "; do echo 1 > /sys/devices/system/cpu/cpu$c/cpuidle/state");
    cmd_int(&cmd, states[k].index);
    cmd_code(&cmd, "/disable; done");
    remedy_run_remark(&fix, &cmd, command_text(a, states[k].name), RemarkForm::hash);
  }
  const char* boot = max_cstate_line(ctx->snapshot->cpuidle_driver);
  if (boot) remedy_say(&fix, sv_from_cstr(boot));
  finding_set_remedy(f, &fix);
}

// An idle state's exit latency is the longest a CPU in it may take to run its
// first instruction after a wakeup (Documentation/admin-guide/pm/cpuidle.rst,
// "latency"): a bound on the delay, not a delay every wakeup pays.
void rule_cstate_floor(Report* r, const RuleContext* ctx, const PowerIndex& idx) {
  Arena* a = r->arena;
  int32_t worst_cpu = -1;
  const IdleState* worst = nullptr;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    if (!idx.idle[c]) continue;
    const IdleState* st = cpu_idle_deepest(idx.idle[c]);
    if (st && (!worst || st->latency_us.value > worst->latency_us.value)) {
      worst = st;
      worst_cpu = c;
    }
  }
  if (!worst) {
    add_finding(r, "power.cstate_floor", kCat, Severity::unknown,
                sv_lit("No idle states reported for the RT CPUs"));
    return;
  }
  double target = ctx->target_us;
  auto latency = static_cast<double>(worst->latency_us.value);
  StrView lat = duration(a, latency);
  StrView tgt = duration(a, target);
  StrView label = cpu_label(a, ctx);
  Finding* f;
  if (latency <= kFloorPassShare * target) {
    f = add_finding(r, "power.cstate_floor", kCat, Severity::pass,
                    arena_sprintf(a, "Deepest enabled C-state %.*s costs %.*s", SV_ARG(worst->name),
                                  SV_ARG(lat)));
    finding_set_detail(
        f, arena_sprintf(a, "A wakeup on %.*s takes at most this long to leave the state; the "
                            "target is %.*s.",
                         SV_ARG(label), SV_ARG(tgt)));
  } else {
    Severity sev = latency <= kFloorWarnShare * target ? Severity::warn : Severity::fail;
    f = add_finding(r, "power.cstate_floor", kCat, sev,
                    arena_sprintf(a, "C-State %.*s enabled (%.*s exit latency)",
                                  SV_ARG(worst->name), SV_ARG(lat)));
    finding_set_detail(f, arena_sprintf(a, "Deepest state still enabled on %.*s (worst: CPU %d).",
                                        SV_ARG(label), worst_cpu));
    finding_set_impact(f, arena_sprintf(a,
                                        "A wakeup from this state can take up to %.*s before the "
                                        "CPU runs again, against a target of %.*s; only keeping "
                                        "the CPU out of the state removes that delay.",
                                        SV_ARG(lat), SV_ARG(tgt)));
    disable_states_fix(f, a, ctx, idx, label);
  }
  finding_set_weight(f, 2.5);
  finding_add_evidence(
      r, f, arena_sprintf(a, "/sys/devices/system/cpu/cpu%d/cpuidle/*/latency", worst_cpu),
      arena_sprintf(a, "%.*s = %.*s", SV_ARG(worst->name), SV_ARG(lat)));
}

// ---- Deep idle entries during the sampling window ----

void rule_cstates(Report* r, const RuleContext* ctx, const PowerIndex& idx) {
  Arena* a = r->arena;
  const Snapshot* s = ctx->snapshot;
  double deep = kDeepShare * ctx->target_us;
  bool sampled = false;
  int64_t most = 0;
  int32_t most_cpu = -1;
  const IdleState* most_state = nullptr;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    if (!idx.idle[c]) continue;
    for (const IdleState& st : idx.idle[c]->states) {
      if (!st.usage_delta.has) continue;
      sampled = true;
      if (!st.latency_us.has || static_cast<double>(st.latency_us.value) <= deep) continue;
      if (st.usage_delta.value > most) {
        most = st.usage_delta.value;
        most_cpu = c;
        most_state = &st;
      }
    }
  }
  if (!sampled) return;
  if (!most_state) {
    add_finding(r, "power.cstates", kCat, Severity::pass,
                sv_lit("No deep idle entries observed on the RT CPUs"));
    return;
  }
  auto rate = static_cast<double>(most);
  if (s->cpuidle_window_s > 0) rate /= s->cpuidle_window_s;
  Finding* f =
      add_finding(r, "power.cstates", kCat, Severity::fail,
                  arena_sprintf(a, "CPU %d entered %.*s %.*s times/s during the sample", most_cpu,
                                SV_ARG(most_state->name), SV_ARG(fmt_count(a, rate))));
  finding_set_impact(f, sv_lit("The core is idling into a deep state, and each wakeup from it "
                               "may take up to the state's exit latency, repeatedly."));
  finding_set_remediation(
      f, sv_lit("Disable the deep idle states on the isolated CPUs (echo 1 > "
                "/sys/devices/system/cpu/cpuN/cpuidle/stateN/disable), or keep the core busy with "
                "a polling loop between deadlines."));
  finding_set_weight(f, 2);
}

// ---- /dev/cpu_dma_latency ----

void rule_cpu_dma_latency(Report* r, const Snapshot* s) {
  if (!s->dma_latency_holder.has) return;
  Finding* f = add_finding(r, "power.cpu_dma_latency", kCat, Severity::pass,
                           sv_lit("/dev/cpu_dma_latency is held open"));
  if (s->dma_latency_us.has) {
    finding_set_detail(
        f, arena_sprintf(r->arena, "Requested maximum wakeup latency: %lld us (holder: %.*s).",
                         static_cast<long long>(s->dma_latency_us.value),
                         SV_ARG(s->dma_latency_holder.value)));
  } else {
    finding_set_detail(
        f, arena_sprintf(r->arena, "Held by %.*s.", SV_ARG(s->dma_latency_holder.value)));
  }
}

// ---- Frequency ----

// Answers false when there is no cpufreq driver: frequency is then not under
// the OS's control and the remaining frequency checks do not apply.
bool rule_governor(Report* r, const RuleContext* ctx, const PowerIndex& idx) {
  Arena* a = r->arena;
  if (!ctx->snapshot->cpufreq_available) {
    add_finding(r, "power.governor", kCat, Severity::na,
                sv_lit("No cpufreq driver (frequency is not under OS control)"));
    return false;
  }
  if (cpuset_empty(&ctx->rt_cpus)) return true;  // no CPU to judge
  int32_t scaling = 0;
  const CpuFreq* first = nullptr;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    const CpuFreq* fr = idx.freq[c];
    if (!fr || fr->governor.len == 0 || sv_eq_cstr(fr->governor, "performance")) continue;
    if (scaling++ == 0) first = fr;
  }
  StrView label = cpu_label(a, ctx);
  if (scaling == 0) {
    add_finding(r, "power.governor", kCat, Severity::pass,
                arena_sprintf(a, "Frequency governor is 'performance' on %.*s", SV_ARG(label)));
    return true;
  }
  Finding* f =
      add_finding(r, "power.governor", kCat, Severity::warn,
                  arena_sprintf(a, "CPU frequency scaling enabled on %.*s (governor '%.*s')",
                                SV_ARG(label), SV_ARG(first->governor)));
  finding_set_detail(
      f, arena_sprintf(a, "%d of the CPUs examined are not on the performance governor.", scaling));
  finding_set_impact(f, sv_lit("A core that has been idle wakes at a low frequency and takes tens "
                               "of microseconds to ramp, so the first iteration after a quiet "
                               "period is the slowest one."));
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_cpu_loop(&cmd, &ctx->rt_cpus,
               "echo performance > /sys/devices/system/cpu/cpu$c/cpufreq/scaling_governor");
  finding_set_command(f, a, &cmd);
  finding_add_evidence(
      r, f, arena_sprintf(a, "/sys/devices/system/cpu/cpu%d/cpufreq/scaling_governor", first->cpu),
      first->governor);
  return true;
}

// Boost counts as enabled when the cpufreq boost switch reads 1 or
// intel_pstate's no_turbo reads 0; neither file read says nothing.
void rule_boost(Report* r, const Snapshot* s) {
  if (!s->boost.has && !s->no_turbo.has) return;
  bool enabled =
      (s->boost.has && s->boost.value == 1) || (s->no_turbo.has && s->no_turbo.value == 0);
  if (!enabled) {
    Finding* f =
        add_finding(r, "power.boost", kCat, Severity::pass, sv_lit("Turbo/boost is disabled"));
    finding_set_detail(f, sv_lit("Clock frequency stays predictable regardless of package "
                                 "temperature and core count."));
    return;
  }
  Finding* f =
      add_finding(r, "power.boost", kCat, Severity::warn, sv_lit("Turbo/boost is enabled"));
  finding_set_impact(f, sv_lit("Boost clocks change with package temperature and how many cores "
                               "are active, so identical work takes different times depending on "
                               "what the rest of the machine is doing."));
  finding_set_command_code(f, r->arena,
                           s->no_turbo.has ? "echo 1 > /sys/devices/system/cpu/intel_pstate/no_turbo"
                                           : "echo 0 > /sys/devices/system/cpu/cpufreq/boost");
}

// Judged on the first RT CPU that has a frequency record only. intel_pstate
// picks the frequency itself, whatever the floor says.
void rule_scaling_floor(Report* r, const RuleContext* ctx, const PowerIndex& idx) {
  Arena* a = r->arena;
  const CpuFreq* fr = nullptr;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    if ((fr = idx.freq[c]) != nullptr) break;
  }
  if (!fr || !fr->scaling_min_khz.has || !fr->scaling_max_khz.has) return;
  if (fr->scaling_min_khz.value >= fr->scaling_max_khz.value ||
      sv_eq_cstr(fr->driver, "intel_pstate"))
    return;
  Finding* f = add_finding(r, "power.idle_driver", kCat, Severity::warn,
                           arena_sprintf(a, "Scaling floor (%.*s) is below the ceiling (%.*s)",
                                         SV_ARG(fmt_khz(a, fr->scaling_min_khz.value)),
                                         SV_ARG(fmt_khz(a, fr->scaling_max_khz.value))));
  finding_set_impact(f, sv_lit("The core may run below its maximum clock, so worst-case execution "
                               "time is set by the lowest frequency, not the label on the box."));
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_cpu_loop(&cmd, &ctx->rt_cpus,
               "cat /sys/devices/system/cpu/cpu$c/cpufreq/cpuinfo_max_freq > "
               "/sys/devices/system/cpu/cpu$c/cpufreq/scaling_min_freq");
  finding_set_command(f, a, &cmd);
}

}  // namespace

void power_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  PowerIndex idx = {index_by_cpu(report->arena, s->cpuidle),
                    index_by_cpu(report->arena, s->cpufreq)};
  if (s->cpuidle_available) {
    rule_cstate_floor(report, ctx, idx);
    rule_cstates(report, ctx, idx);
  } else {
    rule_cpuidle_missing(report);
  }
  rule_cpu_dma_latency(report, s);
  if (!rule_governor(report, ctx, idx)) return;
  rule_boost(report, s);
  rule_scaling_floor(report, ctx, idx);
}

// Power rules beyond frequency and idle states: the energy-performance
// preference of the RT CPUs, thermal throttling and the PCIe link power
// policy. The RT CPUs are those of the power rules: the isolated CPUs, or
// every online CPU when none is isolated. Every finding here belongs to the
// "power" category.
#include <cstdint>

#include "base/boot_params_read.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/remedy.h"
#include "rules/rules.h"
#include "source/boot_param_check.h"

namespace {

constexpr Category kCat = Category::power;

// ---- Energy-performance preference ----

// The preferences intel_pstate and amd-pstate offer in active mode
// (Documentation/admin-guide/pm/intel_pstate.rst, "Energy vs Performance
// Hints"; Documentation/admin-guide/pm/amd-pstate.rst). Any other text is
// not judged.
constexpr const char* kEppWords[] = {"default", "performance", "balance_performance",
                                     "balance_power", "power"};

bool epp_known(StrView v) {
  for (const char* w : kEppWords)
    if (sv_eq_cstr(v, w)) return true;
  return false;
}

// The hint is the driver's only in active mode, where the driver picks the
// frequency itself.
bool epp_applies(const Snapshot* s, const CpuFreq& f) {
  if (!sv_eq_cstr(s->pstate_status, "active")) return false;
  return sv_eq_cstr(f.driver, "intel_pstate") || sv_eq_cstr(f.driver, "amd-pstate-epp");
}

void rule_epp(Report* r, const RuleContext* ctx, const Snapshot* s) {
  Arena* a = r->arena;
  CpuSet off{};
  int32_t judged = 0;
  const CpuFreq* first = nullptr;
  for (int32_t c : CpuIter{&ctx->rt_cpus}) {
    const CpuFreq* f = find_cpu_freq(s, c, nullptr);
    if (!f || !epp_applies(s, *f) || !epp_known(f->epp)) continue;
    judged++;
    if (sv_eq_cstr(f->epp, "performance")) continue;
    if (!first) first = f;
    cpuset_add(&off, c);
  }
  if (judged == 0) return;
  if (!first) {
    add_finding(r, "power.epp", kCat, Severity::pass,
                sv_lit("Energy-performance preference is 'performance' on the RT CPUs"));
    return;
  }
  Finding* f = add_finding(r, "power.epp", kCat, Severity::warn,
                           arena_sprintf(a, "Energy-performance preference '%.*s' on CPUs %.*s",
                                         SV_ARG(first->epp),
                                         SV_ARG(cpuset_format_list(a, &off))));
  finding_set_impact(f, sv_lit("The processor trades speed for energy on its own: it ramps the "
                               "clock up late after idle and lets it drop between bursts of "
                               "work."));
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_cpu_loop(&cmd, &off,
               "echo performance > "
               "/sys/devices/system/cpu/cpu$c/cpufreq/energy_performance_preference");
  finding_set_said_command(f, a, sv_lit("Prefer performance on each of those CPUs:"), &cmd);
  finding_add_evidence(
      r, f,
      arena_sprintf(a, "/sys/devices/system/cpu/cpu%d/cpufreq/energy_performance_preference",
                    first->cpu),
      first->epp);
}

// ---- Thermal throttling ----

struct ThrottleSum {
  int32_t read;
  int64_t events;   // since boot, core and package together
  int64_t growth;   // during the sampling window
  const ThermalThrottle* worst;
};

ThrottleSum sum_throttle(const RuleContext* ctx, const Snapshot* s) {
  ThrottleSum t{};
  for (const ThermalThrottle& th : s->thermal) {
    if (!cpuset_has(&ctx->rt_cpus, th.cpu)) continue;
    t.read++;
    int64_t n = th.core.value + th.package.value;
    t.events += n;
    t.growth += th.core_delta.value + th.package_delta.value;
    if (n > 0 && (!t.worst || n > t.worst->core.value + t.worst->package.value)) t.worst = &th;
  }
  return t;
}

// Documentation/ABI/testing/sysfs-devices-system-cpu, thermal_throttle: the
// counts of the core's and the package's throttling events since boot.
void rule_thermal_throttle(Report* r, const RuleContext* ctx, const Snapshot* s) {
  Arena* a = r->arena;
  ThrottleSum t = sum_throttle(ctx, s);
  if (t.read == 0) return;
  if (t.events == 0) {
    add_finding(r, "power.thermal_throttle", kCat, Severity::pass,
                sv_lit("No thermal throttling recorded on the RT CPUs"));
    return;
  }
  Severity sev = t.growth > 0 ? Severity::fail : Severity::warn;
  Finding* f = add_finding(
      r, "power.thermal_throttle", kCat, sev,
      t.growth > 0 ? arena_sprintf(a, "RT CPUs were thermally throttled %lld times during the sample",
                                   static_cast<long long>(t.growth))
                   : arena_sprintf(a, "RT CPUs were thermally throttled (%lld events since boot)",
                                   static_cast<long long>(t.events)));
  finding_set_impact(f, sv_lit("A throttled core runs at a lower clock until it cools down, so the "
                               "same work takes longer at moments nobody chose."));
  finding_set_remediation(f, sv_lit("Improve the cooling, and check the platform's power limits "
                                    "(PL1/PL2, TDP, the firmware's thermal profile): throttling is "
                                    "cured there, not in the kernel."));
  const ThermalThrottle* w = t.worst;
  StrView dir = arena_sprintf(a, "/sys/devices/system/cpu/cpu%d/thermal_throttle", w->cpu);
  finding_add_evidence(r, f, arena_sprintf(a, "%.*s/core_throttle_count", SV_ARG(dir)),
                       arena_sprintf(a, "%lld", static_cast<long long>(w->core.value)));
  finding_add_evidence(r, f, arena_sprintf(a, "%.*s/package_throttle_count", SV_ARG(dir)),
                       arena_sprintf(a, "%lld", static_cast<long long>(w->package.value)));
}

// ---- PCIe ASPM ----

// The selected word of a bracketed list ("[default] performance ...").
StrView selected_word(StrView list) {
  StrView head, rest, word, tail;
  if (!sv_split_once(list, '[', &head, &rest) || !sv_split_once(rest, ']', &word, &tail))
    return kNoneView;
  return word;
}

// Documentation/admin-guide/kernel-parameters.txt, pcie_aspm= and
// pcie_aspm.policy=: "off" leaves link power management alone, the
// "performance" policy keeps the links out of their low-power states.
void rule_pcie_aspm(Report* r, const Snapshot* s) {
  StrView policy = selected_word(s->pcie_aspm_policy);
  if (!policy.ptr) return;
  bool off = sv_eq_cstr(kv_get(&s->cmdline_params, boot_param("pcie_aspm")), "off");
  if (off || sv_eq_cstr(policy, "performance")) {
    add_finding(r, "power.pcie_aspm", kCat, Severity::pass,
                off ? sv_lit("PCIe ASPM is off (pcie_aspm=off)")
                    : sv_lit("PCIe ASPM policy is 'performance'"));
    return;
  }
  Finding* f = add_finding(r, "power.pcie_aspm", kCat, Severity::warn,
                           arena_sprintf(r->arena, "PCIe ASPM policy is '%.*s'", SV_ARG(policy)));
  finding_set_impact(f, sv_lit("PCIe links may drop into low-power states between transfers; the "
                               "next transfer waits for the link to wake, microseconds on a "
                               "device the real-time path may depend on."));
  finding_set_said_code(f, r->arena,
                        sv_lit("Keep the links awake (or boot with pcie_aspm.policy=performance):"),
                        "echo performance > /sys/module/pcie_aspm/parameters/policy");
  finding_set_weight(f, 0.25);
  finding_add_evidence(r, f, sv_lit("/sys/module/pcie_aspm/parameters/policy"),
                       s->pcie_aspm_policy);
}

}  // namespace

void platform_power_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_epp(report, ctx, s);
  rule_thermal_throttle(report, ctx, s);
  rule_pcie_aspm(report, s);
}

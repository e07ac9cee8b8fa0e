#include <gtest/gtest.h>

#include "rules/rule_module_test.h"

namespace {

class PlatformPowerRulesTest : public RuleModuleTest {};

// CPUs 0-3, 2-3 isolated, under intel_pstate in this mode; preferences of 2, 3.
void epp(Snapshot* s, const char* mode, const char* epp2, const char* epp3) {
  machine(s, "0-3", "2-3");
  s->pstate_status = sv_from_cstr(mode);
  const char* prefs[] = {"power", "power", epp2, epp3};
  for (int32_t c = 0; c < 4; c++) {
    CpuFreq* f = list_grow(s->arena, &s->cpufreq);
    f->cpu = c;
    f->driver = sv_from_cstr("intel_pstate");
    f->epp = sv_from_cstr(prefs[c]);
  }
}

// CPUs 0-3, 2-3 isolated; CPU 3's counts and their growth (below 0: not sampled).
void throttle(Snapshot* s, int64_t core, int64_t growth) {
  machine(s, "0-3", "2-3");
  for (int32_t c = 0; c < 4; c++) {
    ThermalThrottle* t = list_grow(s->arena, &s->thermal);
    t->cpu = c;
    t->core = opt_some(c == 3 ? core : c == 0 ? int64_t{500} : int64_t{0});
    t->package = opt_some(int64_t{0});
    if (growth >= 0) t->core_delta = opt_some(c == 3 ? growth : int64_t{0});
  }
}

void aspm(Snapshot* s, const char* policy, bool off = false) {
  s->pcie_aspm_policy = sv_from_cstr(policy);
  if (off) kv_add(s->arena, &s->cmdline_params, sv_from_cstr("pcie_aspm"), sv_from_cstr("off"));
}

const RuleCase kCases[] = {
    {"balance_power on CPU 3", [](Snapshot* s) { epp(s, "active", "performance", "balance_power"); },
     Profile::hard_rt, "power.epp", Severity::warn, 1,
     "Energy-performance preference 'balance_power' on CPUs 3"},
    {"performance", [](Snapshot* s) { epp(s, "active", "performance", "performance"); },
     Profile::hard_rt, "power.epp", Severity::pass, 1,
     "Energy-performance preference is 'performance' on the RT CPUs"},
    {"unknown word", [](Snapshot* s) { epp(s, "active", "turbo", "128"); }, Profile::hard_rt,
     "power.epp", kNoFinding, 0, ""},
    {"throttled since boot", [](Snapshot* s) { throttle(s, 7, -1); }, Profile::hard_rt,
     "power.thermal_throttle", Severity::warn, 1,
     "RT CPUs were thermally throttled (7 events since boot)"},
    {"throttled during the sample", [](Snapshot* s) { throttle(s, 7, 2); }, Profile::hard_rt,
     "power.thermal_throttle", Severity::fail, 1,
     "RT CPUs were thermally throttled 2 times during the sample"},
    {"only a housekeeping CPU throttled", [](Snapshot* s) { throttle(s, 0, 0); }, Profile::hard_rt,
     "power.thermal_throttle", Severity::pass, 1, "No thermal throttling recorded on the RT CPUs"},
    {"aspm default", [](Snapshot* s) { aspm(s, "[default] performance powersave"); },
     Profile::hard_rt, "power.pcie_aspm", Severity::warn, 0.25, "PCIe ASPM policy is 'default'"},
    {"aspm performance", [](Snapshot* s) { aspm(s, "default [performance] powersave"); },
     Profile::hard_rt, "power.pcie_aspm", Severity::pass, 1, "PCIe ASPM policy is 'performance'"},
    {"pcie_aspm=off", [](Snapshot* s) { aspm(s, "[powersave]", true); }, Profile::hard_rt,
     "power.pcie_aspm", Severity::pass, 1, "PCIe ASPM is off (pcie_aspm=off)"},
};

TEST_F(PlatformPowerRulesTest, Cases) { expect_cases(platform_power_rules, kCases, Category::power); }

}  // namespace

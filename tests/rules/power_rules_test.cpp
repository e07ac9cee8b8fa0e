#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

class PowerRulesTest : public RuleModuleTest {
 protected:
  void run_power(Profile p = Profile::hard_rt, double target_us = 0) {
    run(power_rules, p, target_us);
  }
};

// Appends an idle state to the CPU's list (a new list when the CPU differs
// from the last one) and marks cpuidle as read.
IdleState* add_state(Snapshot* s, int32_t cpu, int32_t index, const char* name,
                     int64_t latency_us) {
  s->cpuidle_available = true;
  if (s->cpuidle.count == 0 || s->cpuidle[s->cpuidle.count - 1].cpu != cpu) {
    list_grow(s->arena, &s->cpuidle)->cpu = cpu;
  }
  IdleState* st = list_grow(s->arena, &s->cpuidle[s->cpuidle.count - 1].states);
  st->index = index;
  st->name = sv_from_cstr(name);
  st->latency_us.has = true;
  st->latency_us.value = latency_us;
  return st;
}

CpuFreq* add_freq(Snapshot* s, int32_t cpu, const char* governor, const char* driver = "") {
  s->cpufreq_available = true;
  CpuFreq* f = list_grow(s->arena, &s->cpufreq);
  f->cpu = cpu;
  f->governor = sv_from_cstr(governor);
  f->driver = sv_from_cstr(driver);
  return f;
}

// CPUs 0-3 with 2-3 isolated; each isolated CPU has POLL, C1 and the given
// deepest state.
void deepest(Snapshot* s, int64_t latency_us) {
  machine(s, "0-3", "2-3");
  for (int32_t c = 2; c <= 3; c++) {
    add_state(s, c, 0, "POLL", 0);
    add_state(s, c, 1, "C1", 2);
    add_state(s, c, 2, "C3", latency_us);
  }
}

void sampled(Snapshot* s, int64_t c3_entries) {
  deepest(s, 70);
  s->cpuidle_window_s = 2;
  s->sample_window_s = 5;  // the interrupts' window: not the idle counters'
  for (CpuIdle& idle : s->cpuidle) {
    for (IdleState& st : idle.states) st.usage_delta.has = true;
  }
  s->cpuidle[1].states[2].usage_delta.value = c3_entries;
  s->cpuidle[0].states[1].usage_delta.value = 100000;  // C1 is shallow: never deep
}

void boost(Snapshot* s, int boost_value, int no_turbo_value) {
  machine(s, "0-3");
  add_freq(s, 0, "performance");
  s->boost.has = boost_value >= 0;
  s->boost.value = boost_value;
  s->no_turbo.has = no_turbo_value >= 0;
  s->no_turbo.value = no_turbo_value;
}

void floor_below(Snapshot* s, const char* driver, int64_t min_khz) {
  machine(s, "0-3", "2-3");
  CpuFreq* f = add_freq(s, 2, "performance", driver);
  f->scaling_min_khz.has = f->scaling_max_khz.has = true;
  f->scaling_min_khz.value = min_khz;
  f->scaling_max_khz.value = 3500000;
}

struct Case {
  const char* name;
  void (*setup)(Snapshot* s);
  Profile profile;
  double target_us;  // 0: the profile's default
  const char* id;
  Severity severity;
  double weight;
  const char* title;
};

const Case kCases[] = {
    {"cpuidle unread", [](Snapshot* s) { machine(s, "0-3"); }, Profile::hard_rt, 0,
     "power.cstate_floor", Severity::unknown, 1, "Idle state information not available"},
    {"no state on an RT CPU",
     [](Snapshot* s) {
       machine(s, "0-3", "2-3");
       add_state(s, 0, 0, "C6", 100);
       add_state(s, 2, 0, "C6", 100)->disabled = true;
       add_state(s, 3, 0, "C6", 100)->latency_us.has = false;
     },
     Profile::hard_rt, 0, "power.cstate_floor", Severity::unknown, 1,
     "No idle states reported for the RT CPUs"},
    {"20 us of 100", [](Snapshot* s) { deepest(s, 20); }, Profile::hard_rt, 0, "power.cstate_floor",
     Severity::pass, 2.5, "Deepest enabled C-state C3 costs 20 \xC2\xB5s"},
    {"21 us of 100", [](Snapshot* s) { deepest(s, 21); }, Profile::hard_rt, 0, "power.cstate_floor",
     Severity::warn, 2.5, "C-State C3 enabled (21 \xC2\xB5s exit latency)"},
    {"80 us of 100", [](Snapshot* s) { deepest(s, 80); }, Profile::hard_rt, 0, "power.cstate_floor",
     Severity::warn, 2.5, "C-State C3 enabled (80 \xC2\xB5s exit latency)"},
    {"81 us of 100", [](Snapshot* s) { deepest(s, 81); }, Profile::hard_rt, 0, "power.cstate_floor",
     Severity::fail, 2.5, "C-State C3 enabled (81 \xC2\xB5s exit latency)"},
    {"200 us of low-latency's 1000", [](Snapshot* s) { deepest(s, 200); }, Profile::low_latency, 0,
     "power.cstate_floor", Severity::pass, 2.5, "Deepest enabled C-state C3 costs 200 \xC2\xB5s"},
    {"200 us of a 250 us target", [](Snapshot* s) { deepest(s, 200); }, Profile::low_latency, 250,
     "power.cstate_floor", Severity::warn, 2.5, "C-State C3 enabled (200 \xC2\xB5s exit latency)"},
    {"disabled deep state ignored",
     [](Snapshot* s) {
       deepest(s, 20);
       add_state(s, 3, 3, "C6", 200)->disabled = true;
     },
     Profile::hard_rt, 0, "power.cstate_floor", Severity::pass, 2.5,
     "Deepest enabled C-state C3 costs 20 \xC2\xB5s"},
    {"not sampled", [](Snapshot* s) { deepest(s, 70); }, Profile::hard_rt, 0, "power.cstates",
     kNoFinding, 0, ""},
    {"sampled, no deep entries", [](Snapshot* s) { sampled(s, 0); }, Profile::hard_rt, 0,
     "power.cstates", Severity::pass, 1, "No deep idle entries observed on the RT CPUs"},
    {"sampled, deep entries", [](Snapshot* s) { sampled(s, 500); }, Profile::hard_rt, 0,
     "power.cstates", Severity::fail, 2, "CPU 3 entered C3 250 times/s during the sample"},
    {"deep entries, no window length",
     [](Snapshot* s) {
       sampled(s, 1500);
       s->cpuidle_window_s = 0;
     },
     Profile::hard_rt, 0, "power.cstates", Severity::fail, 2,
     "CPU 3 entered C3 1.5k times/s during the sample"},
    {"70 us is shallow for a 1000 us target", [](Snapshot* s) { sampled(s, 500); },
     Profile::low_latency, 0, "power.cstates", Severity::pass, 1,
     "No deep idle entries observed on the RT CPUs"},
    {"cpu_dma_latency free", [](Snapshot* s) { machine(s, "0-3"); }, Profile::hard_rt, 0,
     "power.cpu_dma_latency", kNoFinding, 0, ""},
    {"cpu_dma_latency held",
     [](Snapshot* s) {
       machine(s, "0-3");
       s->dma_latency_holder.has = true;
     },
     Profile::hard_rt, 0, "power.cpu_dma_latency", Severity::pass, 1,
     "/dev/cpu_dma_latency is held open"},
    {"no cpufreq driver", [](Snapshot* s) { machine(s, "0-3"); }, Profile::hard_rt, 0,
     "power.governor", Severity::na, 1, "No cpufreq driver (frequency is not under OS control)"},
    {"performance on the isolated CPUs",
     [](Snapshot* s) {
       machine(s, "0-3", "2-3");
       add_freq(s, 0, "powersave");
       add_freq(s, 2, "performance");
       add_freq(s, 3, "performance");
     },
     Profile::hard_rt, 0, "power.governor", Severity::pass, 1,
     "Frequency governor is 'performance' on RT CPUs"},
    {"performance everywhere, nothing isolated",
     [](Snapshot* s) {
       machine(s, "0-3");
       add_freq(s, 0, "performance");
     },
     Profile::hard_rt, 0, "power.governor", Severity::pass, 1,
     "Frequency governor is 'performance' on CPUs 0-3"},
    {"no RT CPU has a record",
     [](Snapshot* s) {
       machine(s, "0-3", "2-3");
       add_freq(s, 0, "powersave");
     },
     Profile::hard_rt, 0, "power.governor", Severity::pass, 1,
     "Frequency governor is 'performance' on RT CPUs"},
    {"powersave on an isolated CPU",
     [](Snapshot* s) {
       machine(s, "0-3", "2-3");
       add_freq(s, 2, "performance");
       add_freq(s, 3, "powersave");
     },
     Profile::hard_rt, 0, "power.governor", Severity::warn, 1,
     "CPU frequency scaling enabled on RT CPUs (governor 'powersave')"},
    {"boost 1", [](Snapshot* s) { boost(s, 1, -1); }, Profile::hard_rt, 0, "power.boost",
     Severity::warn, 1, "Turbo/boost is enabled"},
    {"boost 0, no_turbo 0", [](Snapshot* s) { boost(s, 0, 0); }, Profile::hard_rt, 0, "power.boost",
     Severity::warn, 1, "Turbo/boost is enabled"},
    {"boost 0, no_turbo unread", [](Snapshot* s) { boost(s, 0, -1); }, Profile::hard_rt, 0,
     "power.boost", Severity::pass, 1, "Turbo/boost is disabled"},
    {"boost 0, no_turbo 1", [](Snapshot* s) { boost(s, 0, 1); }, Profile::hard_rt, 0, "power.boost",
     Severity::pass, 1, "Turbo/boost is disabled"},
    {"no_turbo 0 alone", [](Snapshot* s) { boost(s, -1, 0); }, Profile::hard_rt, 0, "power.boost",
     Severity::warn, 1, "Turbo/boost is enabled"},
    {"no_turbo 1 alone", [](Snapshot* s) { boost(s, -1, 1); }, Profile::hard_rt, 0, "power.boost",
     Severity::pass, 1, "Turbo/boost is disabled"},
    {"neither boost file", [](Snapshot* s) { boost(s, -1, -1); }, Profile::hard_rt, 0,
     "power.boost", kNoFinding, 0, ""},
    {"floor below ceiling", [](Snapshot* s) { floor_below(s, "acpi-cpufreq", 800000); },
     Profile::hard_rt, 0, "power.idle_driver", Severity::warn, 1,
     "Scaling floor (800 MHz) is below the ceiling (3.50 GHz)"},
    {"floor at ceiling", [](Snapshot* s) { floor_below(s, "acpi-cpufreq", 3500000); },
     Profile::hard_rt, 0, "power.idle_driver", kNoFinding, 0, ""},
    {"intel_pstate picks its own", [](Snapshot* s) { floor_below(s, "intel_pstate", 800000); },
     Profile::hard_rt, 0, "power.idle_driver", kNoFinding, 0, ""},
};

TEST_F(PowerRulesTest, EveryVariant) {
  expect_cases(power_rules, kCases, Category::power);
}

TEST_F(PowerRulesTest, WithoutCpufreqTheGovernorIsLast) {
  deepest(snap, 10);
  snap->boost.has = true;
  snap->boost.value = 1;
  snap->dma_latency_holder.has = true;
  run_power();
  EXPECT_EQ(ids(), (std::vector<std::string>{"power.cstate_floor", "power.cpu_dma_latency",
                                             "power.governor"}));
}

TEST_F(PowerRulesTest, FloorTexts) {
  deepest(snap, 10);
  run_power();
  const Finding* f = find("power.cstate_floor");
  EXPECT_EQ(str(f->detail),
            "A wakeup on RT CPUs takes at most this long to leave the state; the target is "
            "100 \xC2\xB5s.");
  EXPECT_EQ(evidence(f),
            (Ev{{"/sys/devices/system/cpu/cpu2/cpuidle/*/latency", "C3 = 10 \xC2\xB5s"}}));

  // The worst CPU is the first with the largest latency.
  fresh();
  machine(snap, "0-3");
  add_state(snap, 0, 1, "C1", 2);
  add_state(snap, 1, 1, "C1", 2);
  add_state(snap, 1, 2, "C6\n rm -rf /", 90);
  add_state(snap, 2, 2, "C6", 90);
  add_state(snap, 3, 2, "C6", 90);
  run_power();
  f = find("power.cstate_floor");
  EXPECT_EQ(str(f->detail), "Deepest state still enabled on CPUs 0-3 (worst: CPU 1).");
  EXPECT_EQ(str(f->impact),
            "A wakeup from this state can take up to 90 \xC2\xB5s before the CPU runs again, "
            "against a target of 100 \xC2\xB5s; only keeping the CPU out of the state removes "
            "that delay.");
  EXPECT_EQ(str(f->remediation),
            "Disable the deep states on CPUs 0-3:\n"
            "  for c in 1 2 3; do echo 1 > /sys/devices/system/cpu/cpu$c/cpuidle/state2/disable; "
            "done   # C6? rm -rf /");
}

// One loop per deep state over every CPU that has it enabled; the boot
// parameter only for the idle driver that reads it.
TEST_F(PowerRulesTest, FloorFixFitsTheIdleDriver) {
  machine(snap, "0-7");
  for (int32_t c = 0; c < 8; c++) {
    add_state(snap, c, 2, "C3", 33);
    add_state(snap, c, 3, "C6", 133)->disabled = c == 0;
  }
  const char* loops =
      "Disable the deep states on CPUs 0-7:\n"
      "  for c in 0 1 2 3 4 5 6 7; do echo 1 > /sys/devices/system/cpu/cpu$c/cpuidle/state2/"
      "disable; done   # C3\n"
      "  for c in 1 2 3 4 5 6 7; do echo 1 > /sys/devices/system/cpu/cpu$c/cpuidle/state3/disable; "
      "done   # C6\n";
  for (const char* driver : {"intel_idle", "acpi_idle", "psci_idle"}) {
    snap->cpuidle_driver = sv_from_cstr(driver);
    run_power();
    std::string boot = driver[0] == 'i' ? "Or boot with intel_idle.max_cstate=1."
                       : driver[0] == 'a' ? "Or boot with processor.max_cstate=1."
                                          : "";
    std::string want = std::string(loops) + boot;
    if (boot.empty()) want.pop_back();
    EXPECT_EQ(str(find("power.cstate_floor")->remediation), want) << driver;
  }
}

TEST_F(PowerRulesTest, DmaLatencyTexts) {
  machine(snap, "0-3");
  snap->dma_latency_holder.has = true;
  snap->dma_latency_holder.value = sv("tuned (pid 812)");
  run_power();
  EXPECT_EQ(str(find("power.cpu_dma_latency")->detail), "Held by tuned (pid 812).");
  snap->dma_latency_us.has = true;
  snap->dma_latency_us.value = 0;
  run_power();
  EXPECT_EQ(str(find("power.cpu_dma_latency")->detail),
            "Requested maximum wakeup latency: 0 us (holder: tuned (pid 812)).");
}

TEST_F(PowerRulesTest, GovernorFixLoopsOverCpuNumbers) {
  machine(snap, "0-7", "2-3,6-7");
  add_freq(snap, 2, "performance");
  add_freq(snap, 3, "schedutil");
  add_freq(snap, 6, "powersave");
  add_freq(snap, 7, "");  // no governor name: not counted
  run_power();
  const Finding* f = find("power.governor");
  EXPECT_EQ(str(f->title), "CPU frequency scaling enabled on RT CPUs (governor 'schedutil')");
  EXPECT_EQ(str(f->detail), "2 of the CPUs examined are not on the performance governor.");
  EXPECT_EQ(str(f->remediation),
            "for c in 2 3 6 7; do echo performance > "
            "/sys/devices/system/cpu/cpu$c/cpufreq/scaling_governor; done");
  EXPECT_EQ(evidence(f),
            (Ev{{"/sys/devices/system/cpu/cpu3/cpufreq/scaling_governor", "schedutil"}}));
}

TEST_F(PowerRulesTest, BoostAndFloorTexts) {
  floor_below(snap, "acpi-cpufreq", 800000);
  snap->boost.has = true;
  snap->boost.value = 1;
  cpuset_add(&snap->isolated, 5);  // a CPU without a record: 2 is still the first with one
  run_power();
  const Finding* f = find("power.boost");
  EXPECT_EQ(str(f->remediation), "echo 0 > /sys/devices/system/cpu/cpufreq/boost");
  f = find("power.idle_driver");
  EXPECT_EQ(str(f->remediation),
            "for c in 2 3 5; do cat /sys/devices/system/cpu/cpu$c/cpufreq/cpuinfo_max_freq > "
            "/sys/devices/system/cpu/cpu$c/cpufreq/scaling_min_freq; done");

  snap->no_turbo.has = true;
  snap->no_turbo.value = 0;
  run_power();
  EXPECT_EQ(str(find("power.boost")->remediation),
            "echo 1 > /sys/devices/system/cpu/intel_pstate/no_turbo");
  snap->no_turbo.value = 1;
  snap->boost.value = 0;
  run_power();
  EXPECT_EQ(str(find("power.boost")->detail),
            "Clock frequency stays predictable regardless of package temperature and core count.");
}

// Energy preference, thermal throttling and PCIe ASPM (the platform_power_rules module).
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

const RuleCase kPlatformCases[] = {
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

TEST_F(PlatformPowerRulesTest, Cases) { expect_cases(platform_power_rules, kPlatformCases, Category::power); }

}  // namespace

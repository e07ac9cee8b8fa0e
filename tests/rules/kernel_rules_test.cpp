#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "collect/cmdline.h"
#include "rules/rule_module_test.h"

namespace {

// The models the preempt file lists, blank-separated.
void lists(Snapshot* s, const char* words) {
  for (StrView cur = sv_from_cstr(words); cur.ptr;)
    strlist_add(s->arena, &s->preempt_models, sv_next_token(&cur, " "));
}

class PreemptRulesTest : public RuleModuleTest {
 protected:
  // A readable configuration with nothing in it yet.
  void with_config() { snap->config_available = true; }
  void config(const char* key, const char* value) {
    snap->config_available = true;
    kv_add(&arena, &snap->config, sv(key), sv(value));
  }
  void param(const char* key, const char* value = nullptr) {
    kv_add(&arena, &snap->cmdline_params, sv(key), value ? sv(value) : kNoneView);
  }

  void run(Profile profile = Profile::hard_rt) { RuleModuleTest::run(preempt_rules, profile); }
};

TEST_F(PreemptRulesTest, EveryFindingIsInThePreemptionCategory) {
  snap->is_rt = true;
  snap->preempt_dynamic = true;
  snap->preempt_model = sv("none");
  snap->config_preempt_model = sv("full");
  lists(snap, "none full");
  snap->hz.has = true;
  snap->hz.value = 250;
  config("CONFIG_HIGH_RES_TIMERS", "n");
  config("CONFIG_RCU_BOOST", "n");
  kv_add(&arena, &snap->debug_options, sv("CONFIG_KASAN"), sv("address sanitizer"));
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"preempt.rt", "preempt.dynamic_mismatch", "preempt.hz",
                                             "preempt.hrtimers", "preempt.threadirqs",
                                             "preempt.rcu_boost", "preempt.debug_options"}));
  for (const Finding* f : report.findings) EXPECT_EQ(f->category, Category::preemption) << f->id;
}

TEST_F(PreemptRulesTest, RtKernelPasses) {
  snap->is_rt = true;
  snap->rt_evidence = sv("PREEMPT_RT in /proc/version");
  snap->proc_version = sv("Linux version 6.6.0-rt PREEMPT_RT");
  run();
  const Finding* f = find("preempt.rt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "PREEMPT_RT enabled");
  EXPECT_EQ(str(f->detail), "Confirmed by PREEMPT_RT in /proc/version.");
  EXPECT_DOUBLE_EQ(f->weight, 3);
  EXPECT_EQ(text(f->impact), "");
  EXPECT_EQ(text(f->remediation), "");
}

TEST_F(PreemptRulesTest, NonRtKernelFailsUnderHardRtAndWarnsUnderLowLatency) {
  snap->preempt_model = sv("voluntary");
  snap->proc_version = sv("Linux version 6.1.0 (gcc) #1 SMP PREEMPT_DYNAMIC");
  for (Profile p : {Profile::hard_rt, Profile::low_latency}) {
    run(p);
    const Finding* f = find("preempt.rt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->severity, p == Profile::hard_rt ? Severity::fail : Severity::warn);
    EXPECT_EQ(str(f->title), "PREEMPT_RT not enabled");
    EXPECT_EQ(str(f->detail), "Running the 'voluntary' preemption model.");
    EXPECT_EQ(str(f->impact),
              "Non-preemptible kernel sections bound worst-case wakeup latency from below; no "
              "amount of isolation or IRQ tuning removes them.");
    EXPECT_EQ(str(f->remediation),
              "Install a PREEMPT_RT kernel (Debian/Ubuntu: linux-image-rt-*; RHEL: kernel-rt) and "
              "boot it.");
    EXPECT_EQ(text(f->cmdline), "");
    EXPECT_DOUBLE_EQ(f->weight, 3);
    EXPECT_EQ(evidence(f),
              (Ev{{"/proc/version", "Linux version 6.1.0 (gcc) #1 SMP PREEMPT_DYNAMIC"}}));
  }
}

TEST_F(PreemptRulesTest, UnknownModelAndUnreadVersion) {
  run();
  const Finding* f = find("preempt.rt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->detail), "Could not determine the preemption model.");
  EXPECT_TRUE(evidence(f).empty());

  snap->preempt_model = sv("");  // present but empty says nothing either
  run();
  EXPECT_EQ(str(find("preempt.rt")->detail), "Could not determine the preemption model.");
}

TEST_F(PreemptRulesTest, MissingConfigurationStopsTheModule) {
  param("threadirqs");
  snap->preempt_dynamic = true;
  snap->preempt_model = sv("none");
  snap->config_preempt_model = sv("full");
  snap->hz.has = true;
  snap->hz.value = 100;
  kv_add(&arena, &snap->debug_options, sv("CONFIG_KASAN"), sv("x"));
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"preempt.rt", "preempt.config_missing"}));
  const Finding* f = find("preempt.config_missing");
  EXPECT_EQ(f->severity, Severity::unknown);
  EXPECT_EQ(str(f->title), "Kernel configuration not readable");
  EXPECT_EQ(str(f->detail),
            "Looked for /proc/config.gz, /boot/config-$(uname -r) and "
            "/lib/modules/$(uname -r)/build/.config.");
  EXPECT_EQ(str(f->impact),
            "Checks for tick rate, high-resolution timers, RCU boosting and debug options could "
            "not be evaluated.");
  EXPECT_EQ(str(f->remediation),
            "Install the kernel headers package, or enable CONFIG_IKCONFIG_PROC to expose "
            "/proc/config.gz.");
  EXPECT_DOUBLE_EQ(f->weight, 1);
}

TEST_F(PreemptRulesTest, MinimalConfigurationGivesOnlyTheDebugPass) {
  with_config();
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"preempt.rt", "preempt.debug_options"}));
  const Finding* f = find("preempt.debug_options");
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "No latency-costing debug options compiled in");
  EXPECT_TRUE(evidence(f).empty());
}

TEST_F(PreemptRulesTest, BootedWeakerThanDefaultWarns) {
  with_config();
  snap->preempt_dynamic = true;
  snap->preempt_model = sv("voluntary");
  snap->config_preempt_model = sv("full");
  lists(snap, "none voluntary full lazy");
  run();
  const Finding* f = find("preempt.dynamic_mismatch");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f->weight, 1);
  EXPECT_EQ(str(f->title),
            "Booted preemption model 'voluntary' differs from the compiled default 'full'");
  EXPECT_EQ(str(f->cmdline), "preempt=full");
  EXPECT_EQ(str(f->impact),
            "The running model is weaker than the build suggests, so config-based audits of this "
            "machine are misleading.");
  EXPECT_EQ(str(f->remediation),
            "Boot with preempt=full to match the compiled default, or accept the runtime choice "
            "deliberately.");
  EXPECT_EQ(evidence(f), (Ev{{"/sys/kernel/debug/sched/preempt", "voluntary"}}));
}

TEST_F(PreemptRulesTest, MismatchOnlyWhenBootedModelIsWeaker) {
  struct Case {
    const char* booted;
    const char* def;
    bool warns;
  };
  const Case cases[] = {
      {"none", "voluntary", true},
      {"none", "full", true},
      {"voluntary", "full", true},
      {"voluntary", "lazy", true},
      {"full", "rt", true},
      {"lazy", "rt", true},
      {"none", "rt", true},
      {"full", "voluntary", false},
      {"lazy", "none", false},
      {"rt", "full", false},
      {"full", "lazy", false},
      {"lazy", "full", false},
      {"full", "full", false},
      {"voluntary", "none", false},
      // Names outside the five models cannot be ranked: say so.
      {"fancy", "full", true},
      {"full", "fancy", true},
      {"Full", "full", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.booted) + " vs " + c.def);
    fresh();
    with_config();
    snap->preempt_dynamic = true;
    snap->preempt_model = sv(c.booted);
    snap->config_preempt_model = sv(c.def);
    lists(snap, "none voluntary full lazy rt fancy Full");
    run();
    EXPECT_EQ(find("preempt.dynamic_mismatch") != nullptr, c.warns);
  }
}

TEST_F(PreemptRulesTest, MismatchNeedsDynamicPreemptionAndBothNames) {
  with_config();
  snap->preempt_model = sv("none");
  snap->config_preempt_model = sv("full");
  lists(snap, "none voluntary full lazy");
  run();  // not built with CONFIG_PREEMPT_DYNAMIC
  EXPECT_EQ(find("preempt.dynamic_mismatch"), nullptr);

  snap->preempt_dynamic = true;
  snap->preempt_model = kNoneView;
  run();
  EXPECT_EQ(find("preempt.dynamic_mismatch"), nullptr);

  snap->preempt_model = sv("none");
  snap->config_preempt_model = kNoneView;
  run();
  EXPECT_EQ(find("preempt.dynamic_mismatch"), nullptr);
}

TEST_F(PreemptRulesTest, TickRate1000Passes) {
  config("CONFIG_HZ", "1000");
  snap->hz.has = true;
  snap->hz.value = 1000;
  run();
  const Finding* f = find("preempt.hz");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "Tick rate 1000 Hz");
  EXPECT_EQ(text(f->detail), "");
  EXPECT_EQ(text(f->impact), "");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_HZ", "1000"}}));
}

TEST_F(PreemptRulesTest, LowTickRateWithNohzFullPasses) {
  with_config();
  snap->hz.has = true;
  snap->hz.value = 250;
  cpuset_parse_list(&snap->nohz_full, sv("2-3"));
  run();
  const Finding* f = find("preempt.hz");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "Tick rate 250 Hz");
  EXPECT_EQ(str(f->detail),
            "Below 1000 Hz, but nohz_full stops the tick on the isolated CPUs regardless.");
  EXPECT_EQ(text(f->impact), "");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_HZ", "250"}}));
}

TEST_F(PreemptRulesTest, LowTickRateWithoutNohzFullWarns) {
  with_config();
  snap->hz.has = true;
  snap->hz.value = 250;
  run();
  const Finding* f = find("preempt.hz");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f->weight, 1);
  EXPECT_EQ(str(f->title), "Tick rate 250 Hz");
  EXPECT_EQ(text(f->detail), "");
  EXPECT_EQ(str(f->impact),
            "Timer granularity is 4.0 ms; a thread waiting on a timer can be that late without "
            "any other cause.");
  EXPECT_EQ(str(f->remediation),
            "Rebuild with CONFIG_HZ_1000=y, or enable nohz_full on the isolated CPUs.");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_HZ", "250"}}));

  snap->hz.value = 300;
  run();
  EXPECT_EQ(str(find("preempt.hz")->impact).substr(0, 26), "Timer granularity is 3.3 m");
}

TEST_F(PreemptRulesTest, TickRateAbsentZeroOrNegativeIsUnknown) {
  with_config();
  run();
  EXPECT_EQ(find("preempt.hz"), nullptr);
  snap->hz.has = true;
  for (int64_t hz : {0LL, -100LL, static_cast<long long>(INT64_MIN)}) {
    snap->hz.value = hz;
    run();
    EXPECT_EQ(find("preempt.hz"), nullptr) << hz;
  }
  snap->hz.value = 1;  // the smallest real rate still reports
  run();
  ASSERT_NE(find("preempt.hz"), nullptr);
  EXPECT_EQ(str(find("preempt.hz")->impact).substr(0, 29), "Timer granularity is 1000.0 m");
}

TEST_F(PreemptRulesTest, HighResTimers) {
  config("CONFIG_HIGH_RES_TIMERS", "y");
  run();
  const Finding* f = find("preempt.hrtimers");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "High-resolution timers enabled");
  EXPECT_DOUBLE_EQ(f->weight, 1);

  config("CONFIG_HIGH_RES_TIMERS", "n");  // the later value wins
  run();
  f = find("preempt.hrtimers");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::fail);
  EXPECT_EQ(str(f->title), "High-resolution timers disabled");
  EXPECT_EQ(str(f->impact),
            "Every sleep and timer rounds up to a tick, so nanosleep() granularity collapses to "
            "milliseconds.");
  EXPECT_EQ(str(f->remediation), "Rebuild with CONFIG_HIGH_RES_TIMERS=y.");
  EXPECT_DOUBLE_EQ(f->weight, 2);
}

TEST_F(PreemptRulesTest, HighResTimersAbsentGivesNoFinding) {
  config("CONFIG_HZ", "1000");
  run();
  EXPECT_EQ(find("preempt.hrtimers"), nullptr);
}

TEST_F(PreemptRulesTest, ThreadirqsOnRtKernelPassesWithoutForcedThreading) {
  with_config();
  snap->is_rt = true;
  run();
  const Finding* f = find("preempt.threadirqs");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "Interrupt handlers run in threads");
  EXPECT_EQ(str(f->detail), "PREEMPT_RT threads interrupt handlers by default.");
  EXPECT_EQ(text(f->cmdline), "");
}

TEST_F(PreemptRulesTest, ThreadirqsBootParameterPasses) {
  config("CONFIG_IRQ_FORCED_THREADING", "y");
  param("quiet");
  param("threadirqs", "1");  // a value does not matter
  run();
  const Finding* f = find("preempt.threadirqs");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "Interrupt handlers run in threads");
  EXPECT_EQ(text(f->detail), "");
}

TEST_F(PreemptRulesTest, ForcedThreadingWithoutBootParameterWarns) {
  config("CONFIG_IRQ_FORCED_THREADING", "y");
  param("quiet");
  run();
  const Finding* f = find("preempt.threadirqs");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(str(f->title), "Forced IRQ threading available but not enabled");
  EXPECT_EQ(str(f->impact),
            "Hard IRQ handlers run with interrupts disabled and cannot be preempted by an RT "
            "thread, whatever its priority.");
  EXPECT_EQ(str(f->remediation),
            "Boot with threadirqs to force handlers into schedulable threads.");
  EXPECT_EQ(str(f->cmdline), "threadirqs");
  EXPECT_DOUBLE_EQ(f->weight, 1);
}

TEST_F(PreemptRulesTest, NoThreadingSupportGivesNoThreadirqsFinding) {
  config("CONFIG_IRQ_FORCED_THREADING", "n");
  param("threadirqs");
  run();
  EXPECT_EQ(find("preempt.threadirqs"), nullptr);
}

TEST_F(PreemptRulesTest, RcuBoost) {
  with_config();
  run();
  EXPECT_EQ(find("preempt.rcu_boost"), nullptr);

  config("CONFIG_RCU_BOOST", "y");
  run();
  const Finding* f = find("preempt.rcu_boost");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->title), "RCU priority boosting enabled");

  config("CONFIG_RCU_BOOST", "n");
  run();
  f = find("preempt.rcu_boost");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(str(f->title), "RCU priority boosting disabled");
  EXPECT_EQ(str(f->impact),
            "A preempted RCU reader can stall grace periods indefinitely when an RT thread "
            "monopolises its CPU.");
  EXPECT_EQ(str(f->remediation), "Rebuild with CONFIG_RCU_BOOST=y.");
}

TEST_F(PreemptRulesTest, OneDebugOptionIsSingular) {
  with_config();
  kv_add(&arena, &snap->debug_options, sv("CONFIG_DEBUG_PREEMPT"), sv("preemption checks"));
  run();
  const Finding* f = find("preempt.debug_options");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(str(f->title), "1 kernel debug option compiled in");
  EXPECT_EQ(str(f->detail), "CONFIG_DEBUG_PREEMPT");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_DEBUG_PREEMPT", "preemption checks"}}));
}

TEST_F(PreemptRulesTest, SeveralDebugOptionsArePluralAndKeepTheirOrder) {
  with_config();
  kv_add(&arena, &snap->debug_options, sv("CONFIG_LOCKDEP"), sv("lock dependency tracking"));
  kv_add(&arena, &snap->debug_options, sv("CONFIG_KASAN"), sv("address sanitizer"));
  kv_add(&arena, &snap->debug_options, sv("CONFIG_DEBUG_LIST"), sv("list checks"));
  run();
  const Finding* f = find("preempt.debug_options");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f->weight, 1);
  EXPECT_EQ(str(f->title), "3 kernel debug options compiled in");
  EXPECT_EQ(str(f->detail), "CONFIG_LOCKDEP, CONFIG_KASAN, CONFIG_DEBUG_LIST");
  EXPECT_EQ(str(f->impact),
            "Instrumentation runs on every context switch, lock and allocation. Individually "
            "small, collectively tens of microseconds.");
  EXPECT_EQ(str(f->remediation),
            "Use a production kernel build with the debug and instrumentation options disabled.");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_LOCKDEP", "lock dependency tracking"},
                             {"CONFIG_KASAN", "address sanitizer"},
                             {"CONFIG_DEBUG_LIST", "list checks"}}));
}

TEST_F(PreemptRulesTest, UntrustedModelNamesAreCarriedVerbatim) {
  // Bytes from the machine go into the texts as they are (the writers escape
  // them); a format directive in them is never interpreted.
  with_config();
  const std::string model = "%s%n%99999d\x1b[2J";
  snap->preempt_dynamic = true;
  snap->preempt_model = StrView{model.data(), model.size()};
  snap->config_preempt_model = sv("full");
  lists(snap, "full");
  run();
  const Finding* f = find("preempt.dynamic_mismatch");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->title),
            "Booted preemption model '" + model + "' differs from the compiled default 'full'");
  EXPECT_EQ(str(f->evidence[0].value), model);
  const Finding* rt = find("preempt.rt");
  EXPECT_EQ(str(rt->detail), "Running the '" + model + "' preemption model.");
}

TEST_F(PreemptRulesTest, ModelNameIsReadWithinItsLength) {
  // A view that is not NUL-terminated must not be read past its end.
  with_config();
  char* buf = static_cast<char*>(arena_alloc(&arena, 16));
  memcpy(buf, "fullXXXXXXXXXXXX", 16);
  snap->preempt_model = StrView{buf, 4};
  run();
  EXPECT_EQ(str(find("preempt.rt")->detail), "Running the 'full' preemption model.");
}

TEST_F(PreemptRulesTest, FullRtMachineScoresPerfectly) {
  snap->is_rt = true;
  snap->rt_evidence = sv("/sys/kernel/realtime = 1");
  snap->hz.has = true;
  snap->hz.value = 1000;
  config("CONFIG_HIGH_RES_TIMERS", "y");
  config("CONFIG_RCU_BOOST", "y");
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  size_t preemption = 0;
  for (const Finding* f : report.findings) preemption += f->category == Category::preemption;
  EXPECT_EQ(preemption, 6u);
  EXPECT_TRUE(report.category_scored[0]);
  EXPECT_EQ(report.category_score[0], 100);
  EXPECT_EQ(report.score, 100);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "excellent");
}

TEST_F(PreemptRulesTest, ProfileChangesOnlyTheRtSeverityAndScore) {
  with_config();
  config("CONFIG_HIGH_RES_TIMERS", "y");
  snap->preempt_model = sv("voluntary");
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  // rt fail (3), hrtimers pass (1), debug pass (1): 2 of 5.
  EXPECT_EQ(report.category_score[0], 40);
  run_rules(&report, &arena, snap, Profile::low_latency, false, 0);
  // rt warn: 1.5 + 2 of 5.
  EXPECT_EQ(report.category_score[0], 70);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "marginal");
}

void dynamic(Snapshot* s, bool rt, const char* booted, const char* def, const char* listed) {
  s->config_available = s->preempt_dynamic = true;
  s->is_rt = rt;
  s->preempt_model = sv_from_cstr(booted);
  s->config_preempt_model = sv_from_cstr(def);
  lists(s, listed);
}

// On kernels with dynamic preemption, PREEMPT_RT among them (schedstats off at
// run time: the rich golden).
constexpr RuleCase kCurrentKernelCases[] = {
    {"rt kernel booted full", [](Snapshot* s) { dynamic(s, true, "full", "rt", "full lazy"); },
     Profile::hard_rt, "preempt.dynamic_mismatch", kNoFinding, 0, ""},
    {"default not accepted, a stronger one is",
     [](Snapshot* s) { dynamic(s, false, "none", "full", "none voluntary lazy"); },
     Profile::hard_rt, "preempt.dynamic_mismatch", Severity::warn, 1,
     "Booted preemption model 'none' differs from the compiled default 'full'"},
    {"nothing stronger accepted",
     [](Snapshot* s) { dynamic(s, false, "voluntary", "full", "none voluntary"); },
     Profile::hard_rt, "preempt.dynamic_mismatch", kNoFinding, 0, ""},
};

TEST_F(PreemptRulesTest, CurrentKernels) {
  expect_cases(preempt_rules, kCurrentKernelCases, Category::preemption);
  fresh();
  dynamic(snap, false, "none", "full", "none voluntary lazy");
  run();
  EXPECT_EQ(str(get("preempt.dynamic_mismatch").cmdline), "preempt=lazy");
}

}  // namespace

// Build options that cost latency at run time (the build_rules module).
namespace {

class BuildRulesTest : public RuleModuleTest {};

void config(Snapshot* s, const char* symbol, const char* value) {
  s->config_available = true;
  kv_add(s->arena, &s->config, sv_from_cstr(symbol), sv_from_cstr(value));
}

// A PREEMPT_RT kernel booted through EFI (or not), with this boot line.
void efi(Snapshot* s, bool firmware, const char* disable_runtime, const char* line) {
  s->is_rt = true;
  s->efi_firmware = firmware;
  config(s, "CONFIG_EFI_DISABLE_RUNTIME", disable_runtime);
  parse_cmdline_words(s->arena, sv_from_cstr(line), &s->cmdline_params);
}

const RuleCase kCases[] = {
    {"preempt tracer", [](Snapshot* s) { config(s, "CONFIG_PREEMPT_TRACER", "y"); },
     Profile::hard_rt, "preempt.latency_tracers", Severity::warn, 1,
     "irqsoff/preempt latency tracers are built in"},
    {"tracers not set", [](Snapshot* s) { config(s, "CONFIG_IRQSOFF_TRACER", "n"); },
     Profile::hard_rt, "preempt.latency_tracers", kNoFinding, 0, ""},
    {"efi runtime on", [](Snapshot* s) { efi(s, true, "n", "ro"); }, Profile::hard_rt,
     "preempt.efi_runtime", Severity::warn, 1,
     "EFI runtime services are enabled on a PREEMPT_RT kernel"},
    {"efi=debug,noruntime", [](Snapshot* s) { efi(s, true, "n", "efi=debug,noruntime"); },
     Profile::hard_rt, "preempt.efi_runtime", kNoFinding, 0, ""},
    {"CONFIG_EFI_DISABLE_RUNTIME=y", [](Snapshot* s) { efi(s, true, "y", "ro"); },
     Profile::hard_rt, "preempt.efi_runtime", kNoFinding, 0, ""},
    {"no EFI firmware seen", [](Snapshot* s) { efi(s, false, "n", "ro"); }, Profile::hard_rt,
     "preempt.efi_runtime", kNoFinding, 0, ""},
};

TEST_F(BuildRulesTest, Cases) { expect_cases(build_rules, kCases, Category::preemption); }

}  // namespace

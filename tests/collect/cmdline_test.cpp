#include "collect/cmdline.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/cpuset.h"
#include "source/source.h"
#include "test_util.h"

namespace {

class CmdlineTest : public ArenaTest {
 protected:
  Snapshot* collect_dir(const std::string& path) {
    Source* src = open_source(path);
    Snapshot* snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    snap->src = src;
    collect_cmdline(snap);
    return snap;
  }
  // Collects a tree whose /proc/cmdline holds text.
  Snapshot* collect(const std::string& text) {
    dirs_.emplace_back();
    dirs_.back().write("proc/cmdline", text);
    return collect_dir(dirs_.back().path);
  }
  std::string cpus(const CpuSet& s) { return str(cpuset_format_list(&arena, &s)); }
  std::vector<std::string> words(const KvList& l) {
    std::vector<std::string> out;
    for (const KvPair& p : l) out.push_back(str(p.key) + (p.value.ptr ? "=" + str(p.value) : ""));
    return out;
  }
  std::vector<TempDir> dirs_;
};

TEST_F(CmdlineTest, WordsKeysAndValues) {
  Snapshot* s = collect("BOOT_IMAGE=/vmlinuz ro  nosmt\tquiet=  a=b=c =x key=\n");
  EXPECT_EQ(str(s->cmdline), "BOOT_IMAGE=/vmlinuz ro  nosmt\tquiet=  a=b=c =x key=");
  ASSERT_EQ(s->cmdline_params.count, 7u);
  const KvPair* p = s->cmdline_params.items;
  EXPECT_EQ(str(p[0].key), "BOOT_IMAGE");
  EXPECT_EQ(str(p[0].value), "/vmlinuz");
  EXPECT_EQ(str(p[1].key), "ro");
  EXPECT_FALSE(p[1].value.ptr);  // bare word: absent value
  EXPECT_EQ(str(p[2].key), "nosmt");
  EXPECT_EQ(str(p[3].key), "quiet");
  ASSERT_TRUE(p[3].value.ptr);  // "quiet=": present, empty
  EXPECT_EQ(p[3].value.len, 0u);
  EXPECT_EQ(str(p[4].key), "a");
  EXPECT_EQ(str(p[4].value), "b=c");
  EXPECT_EQ(str(p[5].key), "");
  EXPECT_EQ(str(p[5].value), "x");
  EXPECT_TRUE(s->nosmt);
}

TEST_F(CmdlineTest, QuotesHaveNoMeaning) {
  Snapshot* s = collect("dyndbg=\"file foo.c +p\" x=\"y\"");
  EXPECT_EQ(words(s->cmdline_params),
            (std::vector<std::string>{"dyndbg=\"file", "foo.c", "+p\"", "x=\"y\""}));
}

TEST_F(CmdlineTest, AnyWhiteSpaceSeparatesWords) {
  Snapshot* s = collect("a=1\nb=2\r\nc\vd\fe");
  EXPECT_EQ(words(s->cmdline_params), (std::vector<std::string>{"a=1", "b=2", "c", "d", "e"}));
}

TEST_F(CmdlineTest, Isolcpus) {
  Snapshot* s = collect("isolcpus=nohz,domain,2-7");
  EXPECT_TRUE(s->isolcpus.has);
  EXPECT_EQ(cpus(s->isolcpus.value), "2-7");
  ASSERT_EQ(s->isolcpus_flags.count, 2u);
  EXPECT_EQ(str(s->isolcpus_flags.items[0]), "nohz");
  EXPECT_EQ(str(s->isolcpus_flags.items[1]), "domain");

  s = collect("isolcpus=managed_irq,domain,1,3,5-6");
  EXPECT_EQ(cpus(s->isolcpus.value), "1,3,5,6");
  EXPECT_EQ(s->isolcpus_flags.count, 2u);

  s = collect("isolcpus=3");
  EXPECT_EQ(cpus(s->isolcpus.value), "3");
  EXPECT_EQ(s->isolcpus_flags.count, 0u);
}

TEST_F(CmdlineTest, LastOccurrenceCounts) {
  Snapshot* s = collect("isolcpus=1 isolcpus");
  EXPECT_FALSE(s->isolcpus.has);
  EXPECT_TRUE(cpuset_empty(&s->isolcpus.value));

  s = collect("nohz_full=1 nohz_full=2-3 intel_pstate=disable intel_pstate=passive");
  EXPECT_EQ(cpus(s->cmdline_nohz_full.value), "2,3");
  EXPECT_EQ(str(s->intel_pstate_param), "passive");

  s = collect("skew_tick=1 skew_tick=0 mitigations=off mitigations");
  EXPECT_FALSE(s->skew_tick);
  EXPECT_FALSE(s->mitigations_param.ptr);
}

TEST_F(CmdlineTest, EmptyValueIsPresentWithEmptySet) {
  Snapshot* s = collect("isolcpus= nohz_full= rcu_nocbs= irqaffinity= kthread_cpus=");
  EXPECT_TRUE(s->isolcpus.has);
  EXPECT_TRUE(s->cmdline_nohz_full.has);
  EXPECT_TRUE(s->rcu_nocbs.has);
  EXPECT_TRUE(s->irqaffinity.has);
  EXPECT_TRUE(s->kthread_cpus.has);
  EXPECT_TRUE(cpuset_empty(&s->isolcpus.value));
  EXPECT_TRUE(cpuset_empty(&s->cmdline_nohz_full.value));
  EXPECT_TRUE(cpuset_empty(&s->rcu_nocbs.value));
  EXPECT_TRUE(cpuset_empty(&s->irqaffinity.value));
  EXPECT_TRUE(cpuset_empty(&s->kthread_cpus.value));
}

TEST_F(CmdlineTest, BareCpuListWordsAreNotPresent) {
  Snapshot* s = collect("nohz_full rcu_nocbs irqaffinity kthread_cpus isolcpus");
  EXPECT_FALSE(s->cmdline_nohz_full.has);
  EXPECT_FALSE(s->rcu_nocbs.has);
  EXPECT_FALSE(s->irqaffinity.has);
  EXPECT_FALSE(s->kthread_cpus.has);
  EXPECT_FALSE(s->isolcpus.has);
}

TEST_F(CmdlineTest, KeyPresentFlags) {
  Snapshot* s = collect("rcu_nocb_poll=0 nosoftlockup nowatchdog=1 nosmt=force");
  EXPECT_TRUE(s->rcu_nocb_poll);
  EXPECT_TRUE(s->nosoftlockup);
  EXPECT_TRUE(s->nowatchdog);
  EXPECT_TRUE(s->nosmt);
  s = collect("quiet");
  EXPECT_FALSE(s->rcu_nocb_poll);
  EXPECT_FALSE(s->nosoftlockup);
  EXPECT_FALSE(s->nowatchdog);
  EXPECT_FALSE(s->nosmt);
}

TEST_F(CmdlineTest, ExactValueFlags) {
  Snapshot* s = collect("skew_tick=1 audit=0 idle=poll");
  EXPECT_TRUE(s->skew_tick);
  EXPECT_TRUE(s->audit_off);
  EXPECT_TRUE(s->idle_poll);
  s = collect("skew_tick=01 audit=00 idle=halt");
  EXPECT_FALSE(s->skew_tick);
  EXPECT_FALSE(s->audit_off);
  EXPECT_FALSE(s->idle_poll);
  s = collect("skew_tick audit idle");
  EXPECT_FALSE(s->skew_tick);
  EXPECT_FALSE(s->audit_off);
  EXPECT_FALSE(s->idle_poll);
}

TEST_F(CmdlineTest, TextParameters) {
  Snapshot* s = collect(
      "intel_pstate=disable mitigations=auto,nosmt transparent_hugepage=never clocksource=tsc");
  EXPECT_EQ(str(s->intel_pstate_param), "disable");
  EXPECT_EQ(str(s->mitigations_param), "auto,nosmt");
  EXPECT_EQ(str(s->thp_param), "never");
  EXPECT_EQ(str(s->clocksource_param), "tsc");
  s = collect("clocksource=");
  ASSERT_TRUE(s->clocksource_param.ptr);
  EXPECT_EQ(s->clocksource_param.len, 0u);
  EXPECT_FALSE(s->thp_param.ptr);
}

TEST_F(CmdlineTest, IntegerParameters) {
  Snapshot* s = collect("nmi_watchdog=panic processor.max_cstate=3 intel_idle.max_cstate=1");
  EXPECT_FALSE(s->nmi_watchdog_param.has);
  EXPECT_TRUE(s->max_cstate.has);
  EXPECT_EQ(s->max_cstate.value, 1);

  s = collect("nmi_watchdog=0 intel_idle.max_cstate=2");
  EXPECT_TRUE(s->nmi_watchdog_param.has);
  EXPECT_EQ(s->nmi_watchdog_param.value, 0);
  EXPECT_EQ(s->max_cstate.value, 2);

  s = collect("processor.max_cstate=0 intel_idle.max_cstate=5");
  EXPECT_EQ(s->max_cstate.value, 0);

  s = collect("processor.max_cstate=x intel_idle.max_cstate= nmi_watchdog");
  EXPECT_FALSE(s->max_cstate.has);
  EXPECT_FALSE(s->nmi_watchdog_param.has);

  s = collect("processor.max_cstate=9 intel_idle.max_cstate=bad");
  EXPECT_EQ(s->max_cstate.value, 9);
}

TEST_F(CmdlineTest, AbsentCommandLineLeavesEverythingZero) {
  TempDir d;
  d.write("proc/version", "x");
  Snapshot* s = collect_dir(d.path);
  Snapshot zero;
  memset(static_cast<void*>(&zero), 0, sizeof zero);
  zero.arena = s->arena;
  zero.src = s->src;
  EXPECT_EQ(memcmp(&zero, s, sizeof zero), 0);
}

TEST_F(CmdlineTest, EmptyCommandLineIsPresent) {
  Snapshot* s = collect("  \n");
  ASSERT_TRUE(s->cmdline.ptr);
  EXPECT_EQ(s->cmdline.len, 0u);
  EXPECT_EQ(s->cmdline_params.count, 0u);
}

TEST_F(CmdlineTest, HostileValuesStayBounded) {
  Snapshot* s = collect(
      "nohz_full=0-4294967295 rcu_nocbs=-5,4096,4095 irqaffinity=3-1 "
      "kthread_cpus=0-2147483647:1/0 isolcpus=domain,domain,nohz");
  EXPECT_TRUE(s->cmdline_nohz_full.has);
  EXPECT_LE(cpuset_count(&s->cmdline_nohz_full.value), kMaxCpus);
  EXPECT_EQ(cpus(s->rcu_nocbs.value), "4095");
  EXPECT_TRUE(cpuset_empty(&s->irqaffinity.value));
  EXPECT_TRUE(s->kthread_cpus.has);
  EXPECT_TRUE(s->isolcpus.has);
  EXPECT_TRUE(cpuset_empty(&s->isolcpus.value));
}

TEST_F(CmdlineTest, FixtureOfATunedRtMachine) {
  Snapshot* s = collect_dir(tests_dir() + "/fixtures/kernel-rt");
  EXPECT_TRUE(s->isolcpus.has);
  EXPECT_EQ(cpus(s->isolcpus.value), "2,3");
  ASSERT_EQ(s->isolcpus_flags.count, 2u);
  EXPECT_EQ(str(s->isolcpus_flags.items[0]), "managed_irq");
  EXPECT_EQ(str(s->isolcpus_flags.items[1]), "domain");
  EXPECT_EQ(cpus(s->cmdline_nohz_full.value), "2,3");
  EXPECT_EQ(cpus(s->rcu_nocbs.value), "2,3");
  EXPECT_EQ(cpus(s->irqaffinity.value), "0,1");
  EXPECT_EQ(cpus(s->kthread_cpus.value), "0,1");
  EXPECT_TRUE(s->rcu_nocb_poll);
  EXPECT_TRUE(s->nosoftlockup);
  EXPECT_TRUE(s->nowatchdog);
  EXPECT_EQ(s->nmi_watchdog_param.value, 0);
  EXPECT_TRUE(s->nmi_watchdog_param.has);
  EXPECT_TRUE(s->skew_tick);
  EXPECT_EQ(str(s->clocksource_param), "tsc");
  EXPECT_EQ(str(s->intel_pstate_param), "disable");
  EXPECT_EQ(s->max_cstate.value, 0);
  EXPECT_TRUE(s->idle_poll);
  EXPECT_TRUE(s->audit_off);
  EXPECT_EQ(str(s->mitigations_param), "off");
  EXPECT_EQ(str(s->thp_param), "never");
  EXPECT_FALSE(s->nosmt);
}

TEST_F(CmdlineTest, FixtureOfAGenericMachine) {
  Snapshot* s = collect_dir(tests_dir() + "/fixtures/kernel-generic");
  EXPECT_EQ(str(kv_get(&s->cmdline_params, "preempt")), "full");
  EXPECT_FALSE(s->isolcpus.has);
  EXPECT_FALSE(s->cmdline_nohz_full.has);
  EXPECT_TRUE(kv_has(&s->cmdline_params, "quiet"));
}

// Arbitrary bytes always give a result, every word within the input.
TEST_F(CmdlineTest, TotalOnArbitraryBytes) {
  std::mt19937 rng(7);
  const char alphabet[] = "= \t\n,-:/0123456789isolcpusnohz_full\"\0\xfe";
  for (int round = 0; round < 2000; round++) {
    size_t n = rng() % 120;
    char* buf = new char[n ? n : 1];
    for (size_t i = 0; i < n; i++) {
      buf[i] =
          (rng() % 4 == 0) ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
    }
    KvList l = {};
    parse_cmdline_words(&arena, StrView{buf, n}, &l);
    for (const KvPair& p : l) {
      ASSERT_TRUE(p.key.ptr);
      ASSERT_LE(p.key.len + p.value.len, n);
    }
    delete[] buf;
  }
}

}  // namespace

namespace {

// Parameters as the kernel reads them: '-' is '_' in names, a lone "--"
// ends the kernel's words, and isolcpus= flags without domain leave the
// CPUs to the scheduler.
TEST_F(CmdlineTest, ParametersAsTheKernelReadsThem) {
  struct Row {
    const char* line;
    const char* isolcpus;  // "" when absent
    bool domain;
    const char* nohz_full;
  };
  const Row rows[] = {
      {"nohz-full=2-3 isolcpus=2-3", "2,3", true, "2,3"},
      {"isolcpus=1 -- isolcpus=5 nohz_full=5", "1", true, ""},
      {"isolcpus=nohz,managed_irq,2-3", "2,3", false, ""},
      {"isolcpus=managed_irq,domain,4", "4", true, ""},
  };
  for (const Row& r : rows) {
    Snapshot* s = collect(r.line);
    EXPECT_EQ(cpus(s->isolcpus.value), r.isolcpus) << r.line;
    EXPECT_EQ(s->isolcpus_domain, r.domain) << r.line;
    EXPECT_EQ(cpus(s->cmdline_nohz_full.value), r.nohz_full) << r.line;
  }
}

}  // namespace

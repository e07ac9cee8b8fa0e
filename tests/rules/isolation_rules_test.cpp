#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/plan.h"
#include "rules/rule_module_test.h"

namespace {

class IsolationRulesTest : public RuleModuleTest {
 protected:
  void run_isolation(Profile p = Profile::hard_rt) { run(isolation_rules, p); }
};

void add_node(Snapshot* s, int32_t node, const char* cpus) {
  NumaNode* n = list_grow(s->arena, &s->nodes);
  n->node = node;
  set_cpus(&n->cpus, cpus);
}

void add_siblings(Snapshot* s, int32_t cpu, const char* siblings) {
  CpuTopology* t = list_grow(s->arena, &s->cpus);
  t->cpu = cpu;
  set_cpus(&t->siblings, siblings);
}

// CPUs 0-7, 2-3 isolated, tickless and without RCU callbacks: the usual
// starting point the rows below change.
void isolated_2_3(Snapshot* s) {
  machine(s, "0-7", "2-3");
  set_cpus(&s->nohz_full, "2-3");
  set_cpus(&s->rcu_nocbs.value, "2-3");
}

void watchdog_on(Snapshot* s, const char* mask) {
  isolated_2_3(s);
  s->watchdog.has = true;
  s->watchdog.value = 1;
  s->watchdog_cpumask.has = true;
  set_cpus(&s->watchdog_cpumask.value, mask);
}

const RuleCase kCases[] = {
    {"not isolated, hard-rt", [](Snapshot* s) { machine(s, "0-7"); }, Profile::hard_rt,
     "isolation.present", Severity::fail, 3, "No CPU isolation configured"},
    {"not isolated, low-latency", [](Snapshot* s) { machine(s, "0-7"); }, Profile::low_latency,
     "isolation.present", Severity::warn, 3, "No CPU isolation configured"},
    {"online CPUs unread", [](Snapshot*) {}, Profile::hard_rt, "isolation.present",
     Severity::unknown, 1, "Online CPUs could not be read"},
    {"isolated", isolated_2_3, Profile::hard_rt, "isolation.present", Severity::pass, 2,
     "CPU isolation detected: CPUs 2,3"},
    {"tickless", isolated_2_3, Profile::low_latency, "isolation.nohz_full", Severity::pass, 2,
     "nohz_full covers every isolated CPU"},
    {"tick on CPU 3",
     [](Snapshot* s) {
       isolated_2_3(s);
       set_cpus(&s->nohz_full, "2");
     },
     Profile::low_latency, "isolation.nohz_full", Severity::fail, 2.5,
     "Isolated CPUs still take the scheduler tick: 3"},
    {"rcu_nocbs covers", isolated_2_3, Profile::hard_rt, "isolation.rcu_nocbs", Severity::pass, 1,
     "RCU callbacks offloaded from isolated CPUs"},
    {"nohz_full offloads RCU without rcu_nocbs",
     [](Snapshot* s) {
       isolated_2_3(s);
       cpuset_clear(&s->rcu_nocbs.value);
     },
     Profile::hard_rt, "isolation.rcu_nocbs", Severity::pass, 1,
     "RCU callbacks offloaded from isolated CPUs"},
    {"rcu on CPU 3",
     [](Snapshot* s) {
       isolated_2_3(s);
       set_cpus(&s->nohz_full, "2");
       set_cpus(&s->rcu_nocbs.value, "1");
     },
     Profile::hard_rt, "isolation.rcu_nocbs", Severity::warn, 1,
     "RCU callbacks still run on isolated CPUs: 3"},
    {"SMT not in use", isolated_2_3, Profile::hard_rt, "isolation.smt_sibling", kNoFinding, 0, ""},
    {"siblings isolated together",
     [](Snapshot* s) {
       isolated_2_3(s);
       s->smt_in_use = true;
       add_siblings(s, 2, "3");
       add_siblings(s, 3, "2");
       add_siblings(s, 4, "5");
     },
     Profile::hard_rt, "isolation.smt_sibling", Severity::pass, 2,
     "Isolated CPUs are isolated with their SMT siblings"},
    {"siblings outside",
     [](Snapshot* s) {
       isolated_2_3(s);
       s->smt_in_use = true;
       add_siblings(s, 2, "6");
       add_siblings(s, 3, "7");
       add_siblings(s, 6, "2");
     },
     Profile::hard_rt, "isolation.smt_sibling", Severity::fail, 2,
     "Isolated CPUs share physical cores with non-isolated CPUs 6,7"},
    {"no housekeeping", [](Snapshot* s) { machine(s, "0-3", "0-3"); }, Profile::low_latency,
     "isolation.housekeeping", Severity::fail, 3, "No housekeeping CPUs left"},
    {"one housekeeping CPU of 8", [](Snapshot* s) { machine(s, "0-7", "1-7"); }, Profile::hard_rt,
     "isolation.housekeeping", Severity::warn, 1, "Only one housekeeping CPU"},
    {"one housekeeping CPU of 4", [](Snapshot* s) { machine(s, "0-3", "1-3"); }, Profile::hard_rt,
     "isolation.housekeeping", Severity::pass, 1, "1 housekeeping CPU available"},
    {"six housekeeping CPUs", isolated_2_3, Profile::hard_rt, "isolation.housekeeping",
     Severity::pass, 1, "6 housekeeping CPUs available"},
    {"isolated from the command line, online unread",
     [](Snapshot* s) { set_cpus(&s->isolated, "2-3"); }, Profile::hard_rt, "isolation.housekeeping",
     Severity::unknown, 1, "Housekeeping CPUs unknown"},
    {"single node", isolated_2_3, Profile::hard_rt, "isolation.housekeeping_numa", kNoFinding, 0,
     ""},
    {"every node keeps housekeeping",
     [](Snapshot* s) {
       isolated_2_3(s);
       add_node(s, 0, "0-3");
       add_node(s, 1, "4-7");
     },
     Profile::hard_rt, "isolation.housekeeping_numa", Severity::pass, 1,
     "Every NUMA node keeps a housekeeping CPU"},
    {"node without housekeeping",
     [](Snapshot* s) {
       machine(s, "0-7", "4-7");
       add_node(s, 0, "0-3");
       add_node(s, 1, "4-7");
       add_node(s, 2, "");      // memory only
       add_node(s, 3, "8-11");  // no online CPU
     },
     Profile::hard_rt, "isolation.housekeeping_numa", Severity::warn, 1,
     "NUMA node with no housekeeping CPU: node1"},
    {"two nodes without housekeeping",
     [](Snapshot* s) {
       machine(s, "0-11", "4-11");
       add_node(s, 0, "0-3");
       add_node(s, 1, "4-7");
       add_node(s, 2, "8-11");
     },
     Profile::hard_rt, "isolation.housekeeping_numa", Severity::warn, 1,
     "NUMA nodes with no housekeeping CPU: node1, node2"},
    {"isolated set within one node",
     [](Snapshot* s) {
       isolated_2_3(s);
       add_node(s, 0, "0-3");
       add_node(s, 1, "4-7");
     },
     Profile::hard_rt, "isolation.numa_span", kNoFinding, 0, ""},
    {"isolated set across nodes",
     [](Snapshot* s) {
       machine(s, "0-7", "3-4");
       add_node(s, 0, "0-3");
       add_node(s, 1, "4-7");
     },
     Profile::hard_rt, "isolation.numa_span", Severity::warn, 1, "Isolated CPUs span 2 NUMA nodes"},
    {"watchdog on housekeeping CPUs", [](Snapshot* s) { watchdog_on(s, "0-1,4-7"); },
     Profile::hard_rt, "isolation.watchdog_cpumask", Severity::pass, 1,
     "Watchdog confined to housekeeping CPUs"},
    {"watchdog on isolated CPUs", [](Snapshot* s) { watchdog_on(s, "0-7"); }, Profile::hard_rt,
     "isolation.watchdog_cpumask", Severity::warn, 1,
     "Soft-lockup watchdog still runs on isolated CPUs 2,3"},
    {"kernel.watchdog off",
     [](Snapshot* s) {
       watchdog_on(s, "0-7");
       s->watchdog.value = 0;
     },
     Profile::hard_rt, "isolation.watchdog_cpumask", kNoFinding, 0, ""},
    {"soft-lockup watchdog off, NMI watchdog on",
     [](Snapshot* s) {
       watchdog_on(s, "0-7");
       s->soft_watchdog.has = true;
       s->soft_watchdog.value = 0;
     },
     Profile::hard_rt, "isolation.watchdog_cpumask", kNoFinding, 0, ""},
    {"nosoftlockup, soft_watchdog unread",
     [](Snapshot* s) {
       watchdog_on(s, "0-7");
       s->nosoftlockup = true;
     },
     Profile::hard_rt, "isolation.watchdog_cpumask", kNoFinding, 0, ""},
    {"mask unread",
     [](Snapshot* s) {
       watchdog_on(s, "0-7");
       s->watchdog_cpumask.has = false;
     },
     Profile::hard_rt, "isolation.watchdog_cpumask", kNoFinding, 0, ""},
};

TEST_F(IsolationRulesTest, EveryVariant) {
  expect_cases(isolation_rules, kCases, Category::isolation);
}

TEST_F(IsolationRulesTest, FullyEquippedMachineEmitsEveryIdInOrder) {
  watchdog_on(snap, "0-1,4-7");
  snap->smt_in_use = true;
  add_siblings(snap, 2, "3");
  add_node(snap, 0, "0-3");
  add_node(snap, 1, "4-7");
  run_isolation();
  EXPECT_EQ(ids(), (std::vector<std::string>{
                       "isolation.present", "isolation.nohz_full", "isolation.rcu_nocbs",
                       "isolation.smt_sibling", "isolation.housekeeping",
                       "isolation.housekeeping_numa", "isolation.watchdog_cpumask"}));
  const Finding* f = find("isolation.present");
  EXPECT_EQ(str(f->detail), "2 isolated, 6 housekeeping.");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/cmdline", "2,3"}}));
  snap->isolated_from_sysfs = true;
  run_isolation();
  EXPECT_EQ(evidence(find("isolation.present")), (Ev{{"/sys/devices/system/cpu/isolated", "2,3"}}));
  EXPECT_EQ(evidence(find("isolation.nohz_full")),
            (Ev{{"/sys/devices/system/cpu/nohz_full", "2,3"}}));
}

TEST_F(IsolationRulesTest, NoIsolationTexts) {
  machine(snap, "0-7");
  isolated_2_3(snap);
  cpuset_clear(&snap->isolated);
  cpuset_copy(&snap->housekeeping, &snap->online);
  run_isolation();
  ASSERT_EQ(ids(), (std::vector<std::string>{"isolation.present"}));
  const Finding* f = find("isolation.present");
  EXPECT_EQ(str(f->detail),
            "All 8 online CPUs are available to the general scheduler. Proposed: isolate CPUs "
            "2,3; this reuses the CPUs this machine already isolates.");
  EXPECT_EQ(str(f->cmdline), "isolcpus=managed_irq,domain,2,3 nohz_full=2,3 rcu_nocbs=2,3");
}

// Nothing is judged from an empty online set: no "All 0 online CPUs", no
// "No housekeeping CPUs left".
TEST_F(IsolationRulesTest, UnreadOnlineCpusAreNotJudged) {
  run_isolation();
  ASSERT_EQ(ids(), (std::vector<std::string>{"isolation.present"}));
  EXPECT_EQ(find("isolation.present")->severity, Severity::unknown);

  set_cpus(&snap->isolated, "2-3");  // from isolcpus= alone
  set_cpus(&snap->nohz_full, "2-3");
  snap->watchdog.has = true;
  snap->watchdog.value = 1;
  snap->watchdog_cpumask.has = true;
  set_cpus(&snap->watchdog_cpumask.value, "0-3");
  add_node(snap, 0, "0-1");
  add_node(snap, 1, "2-3");
  run_isolation();
  EXPECT_EQ(str(find("isolation.present")->detail),
            "2 isolated; the online CPUs could not be read.");
  EXPECT_EQ(find("isolation.housekeeping")->severity, Severity::unknown);
  EXPECT_EQ(find("isolation.housekeeping_numa"), nullptr);
  const Finding* wd = find("isolation.watchdog_cpumask");
  ASSERT_NE(wd, nullptr);
  EXPECT_EQ(wd->severity, Severity::warn);
  EXPECT_EQ(text(wd->remediation), "");  // no housekeeping CPU to name
  for (const Finding* f : report.findings) EXPECT_NE(f->severity, Severity::fail) << f->id;
}

TEST_F(IsolationRulesTest, TickGapTexts) {
  isolated_2_3(snap);
  set_cpus(&snap->nohz_full, "2");
  snap->cmdline = sv("quiet isolcpus=2-3 nohz_full=2");
  snap->isolcpus.has = true;
  snap->cmdline_nohz_full.has = true;
  run_isolation();
  const Finding* f = find("isolation.nohz_full");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->detail), "nohz_full covers 2.");
  EXPECT_EQ(str(f->remediation),
            "Add nohz_full=2,3 to the kernel command line (it must match isolcpus).");
  EXPECT_EQ(str(f->cmdline), "nohz_full=2,3");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/cmdline", "quiet isolcpus=2-3 nohz_full=2"}}));

  snap->cmdline_nohz_full.has = false;
  cpuset_clear(&snap->nohz_full);
  run_isolation();
  EXPECT_EQ(str(find("isolation.nohz_full")->detail),
            "isolcpus is set but nohz_full is absent entirely.");

  // Isolation from sysfs alone, or nohz_full= without a value.
  snap->isolcpus.has = false;
  run_isolation();
  EXPECT_EQ(str(find("isolation.nohz_full")->detail), "nohz_full covers no CPU.");
  snap->isolcpus.has = true;
  snap->cmdline_nohz_full.has = true;
  run_isolation();
  EXPECT_EQ(str(find("isolation.nohz_full")->detail), "nohz_full covers no CPU.");
}

TEST_F(IsolationRulesTest, RcuGapTexts) {
  isolated_2_3(snap);
  cpuset_clear(&snap->nohz_full);
  set_cpus(&snap->rcu_nocbs.value, "3");
  run_isolation();
  const Finding* f = find("isolation.rcu_nocbs");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->title), "RCU callbacks still run on isolated CPUs: 2");
  EXPECT_EQ(str(f->remediation), "Add rcu_nocbs=2,3 to the kernel command line.");
  EXPECT_EQ(str(f->cmdline), "rcu_nocbs=2,3");
  EXPECT_TRUE(evidence(f).empty());

  set_cpus(&snap->nohz_full, "2");  // offloads CPU 2 as well
  run_isolation();
  f = find("isolation.rcu_nocbs");
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(evidence(f), (Ev{{"/proc/cmdline", "2,3"}}));
}

TEST_F(IsolationRulesTest, SiblingFixKeepsTheIsolcpusFlags) {
  isolated_2_3(snap);
  snap->smt_in_use = true;
  add_siblings(snap, 2, "6");
  add_siblings(snap, 3, "7");
  run_isolation();
  const Finding* f = find("isolation.smt_sibling");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->remediation),
            "Isolate the siblings too (add 6,7 to isolcpus), or disable SMT with nosmt.");
  EXPECT_EQ(str(f->cmdline), "isolcpus=2,3,6,7");
  EXPECT_EQ(evidence(f), (Ev{{"topology/thread_siblings_list", "6,7"}}));

  strlist_add(&arena, &snap->isolcpus_flags, sv("managed_irq"));
  strlist_add(&arena, &snap->isolcpus_flags, sv("domain"));
  run_isolation();
  EXPECT_EQ(str(find("isolation.smt_sibling")->cmdline), "isolcpus=managed_irq,domain,2,3,6,7");

  strlist_add(&arena, &snap->isolcpus_flags, sv("no\nhz"));  // never reaches a command raw
  run_isolation();
  EXPECT_EQ(str(find("isolation.smt_sibling")->cmdline),
            "isolcpus=managed_irq,domain,no?hz,2,3,6,7");
}

// The plan's command line replaces the current one whole: the flags the
// machine boots isolcpus= with survive the merge.
TEST_F(IsolationRulesTest, CombinedCommandLineKeepsTheBootFlags) {
  isolated_2_3(snap);
  set_cpus(&snap->nohz_full, "2");
  snap->isolcpus.has = snap->cmdline_nohz_full.has = true;
  strlist_add(&arena, &snap->isolcpus_flags, sv("managed_irq"));
  strlist_add(&arena, &snap->isolcpus_flags, sv("domain"));
  snap->smt_in_use = true;
  add_siblings(snap, 2, "6");
  add_siblings(snap, 3, "7");
  run_isolation();
  std::vector<const Finding*> boot;
  for (const Finding* f : build_plan(&arena, &report).items) {
    if (f->cmdline.len) boot.push_back(f);
  }
  EXPECT_EQ(str(combine_cmdline(&arena, boot.data(), boot.size())),
            "isolcpus=managed_irq,domain,2,3,6,7 nohz_full=2,3");
}

TEST_F(IsolationRulesTest, HousekeepingAndNumaTexts) {
  machine(snap, "0-7", "0-3");
  cpuset_clear(&snap->housekeeping);
  run_isolation();
  const Finding* f = find("isolation.housekeeping");

  machine(snap, "0-7", "0-4,6-7");
  add_node(snap, 0, "0-3");
  add_node(snap, 1, "4-7");
  run_isolation();
  f = find("isolation.housekeeping");
  EXPECT_EQ(str(f->detail), "CPU 5 carries all kernel work.");
  f = find("isolation.housekeeping_numa");
  EXPECT_EQ(str(f->title), "NUMA node with no housekeeping CPU: node0");
  f = find("isolation.numa_span");
}

TEST_F(IsolationRulesTest, WatchdogTexts) {
  watchdog_on(snap, "0-7");
  run_isolation();
  const Finding* f = find("isolation.watchdog_cpumask");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->sysctl), "kernel.watchdog_cpumask = 0,1,4-7");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/sys/kernel/watchdog_cpumask", "0-7"}}));
}

TEST_F(IsolationRulesTest, SiblingsOfManyCpusStayLinear) {
  // 4096 CPUs, every other one isolated, each with its SMT twin outside.
  machine(snap, "0-4095");
  cpuset_clear(&snap->isolated);
  for (int32_t c = 0; c < 4096; c += 2) {
    cpuset_add(&snap->isolated, c);
    CpuTopology* t = list_grow(&arena, &snap->cpus);
    t->cpu = c;
    cpuset_add(&t->siblings, c + 1);
  }
  cpuset_copy(&snap->housekeeping, &snap->online);
  cpuset_andnot(&snap->housekeeping, &snap->isolated);
  snap->smt_in_use = true;
  run_isolation();
  const Finding* f = find("isolation.smt_sibling");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->severity, Severity::fail);
  EXPECT_EQ(str(f->cmdline), "isolcpus=0-4095");
}


// Every invalid partition is named with the kernel's reason, root ones too,
// each with the fix for its own file; past 16 the last says how many more.
TEST_F(IsolationRulesTest, EveryInvalidPartitionIsNamed) {
  for (int i = 0; i < 18; i++) {
    *list_grow(&arena, &snap->cgroup_invalid) = CgroupPartition{
        arena_sprintf(&arena, "/sys/fs/cgroup/p%d", i), sv(i % 2 ? "root invalid (R)" : "isolated invalid (I)")};
  }
  run_isolation();
  std::vector<const Finding*> named;
  for (const Finding* f : report.findings) {
    if (std::string(f->id) == "isolation.cgroup_partition") named.push_back(f);
  }
  ASSERT_EQ(named.size(), 16u);
  EXPECT_EQ(str(named[1]->title), "cgroup partition /sys/fs/cgroup/p1 is invalid (R)");
  EXPECT_NE(str(named[1]->remediation).find("echo root > /sys/fs/cgroup/p1/"), std::string::npos);
  EXPECT_EQ(str(named[15]->detail), "2 more cpuset partitions are invalid.");
}

}  // namespace

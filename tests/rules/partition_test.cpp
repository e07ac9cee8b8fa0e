#include "rules/partition.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "collect/collect.h"
#include "rules/rule_module_test.h"

namespace {

class PartitionTest : public RuleModuleTest {
 protected:
  std::string list(const CpuSet& s) { return str(cpuset_format_list(&arena, &s)); }

  // Applies the proposal as a reboot with its boot line would: the isolated,
  // tickless and RCU-offloaded sets become it. Then checks what must hold of
  // every proposal, on the snapshot before and after.
  void check(const char* name) {
    SCOPED_TRACE(name);
    Partition p = partition_propose(&arena, snap);
    if (cpuset_empty(&p.isolate)) return;
    CpuSet left = snap->online;
    cpuset_andnot(&left, &p.isolate);
    for (const NumaNode& n : snap->nodes) {
      bool has_online = cpuset_intersects(&n.cpus, &snap->online);
      EXPECT_TRUE(!has_online || cpuset_intersects(&n.cpus, &left)) << "node" << n.node;
    }
    for (int32_t c : CpuIter{&p.isolate}) {
      EXPECT_TRUE(cpuset_has(&snap->possible, c) || cpuset_has(&snap->online, c)) << c;
      const CpuTopology* t = find_cpu_topology(snap, c);
      CpuSet outside = t ? t->siblings : CpuSet{};
      cpuset_andnot(&outside, &p.isolate);
      EXPECT_TRUE(cpuset_empty(&outside)) << "core of CPU " << c << " is split";
    }
    snap->isolated = snap->nohz_full = p.isolate;
    snap->isolcpus = snap->rcu_nocbs = snap->cmdline_nohz_full = opt_some(p.isolate);
    snap->isolcpus_domain = true;
    snap->housekeeping = left;
    run(isolation_rules);
    for (size_t i = 0; i < report.findings.count; i++) {
      EXPECT_NE(report.findings.items[i]->severity, Severity::fail) << report.findings.items[i]->id;
    }
    EXPECT_EQ(list(partition_propose(&arena, snap).isolate), list(p.isolate));
  }
};

// One machine built in code: its online CPUs, its cores (cpulists separated
// by blanks), NUMA nodes likewise, CPU capacities as "cpulist:capacity"
// words, and CPUs a boot line already names in nohz_full=.
struct Topology {
  const char* name;
  const char* online;
  const char* cores;
  const char* nodes;
  const char* capacities;
  const char* nohz_full;
  PartitionKind kind;
  const char* isolate;
};

const Topology kTopologies[] = {
    {"2 CPUs", "0-1", "0 1", "", "", "", PartitionKind::proposed, "1"},
    {"1 core, 2 threads", "0-1", "0-1", "", "", "", PartitionKind::one_core, ""},
    {"2 sockets x 4 cores x 2 threads", "0-15", "0,8 1,9 2,10 3,11 4,12 5,13 6,14 7,15",
     "0-3,8-11 4-7,12-15", "", "", PartitionKind::proposed, "1-3,5-7,9-11,13-15"},
    {"big.LITTLE", "0-7", "0 1 2 3 4 5 6 7", "", "0-3:446 4-7:1024", "", PartitionKind::proposed,
     "4-7"},
    {"nohz_full=4-7 booted", "0-7", "0 1 2 3 4 5 6 7", "", "", "4-7", PartitionKind::existing,
     "4-7"},
    {"SMT4", "0-7", "0-3 4-7", "", "", "", PartitionKind::proposed, "4-7"},
    {"one core per node", "0-3", "0-1 2-3", "0-1 2-3", "", "", PartitionKind::no_spare, ""},
};

void build(Snapshot* s, const Topology& t) {
  machine(s, t.online);
  set_cpus(&s->possible, t.online);
  set_cpus(&s->cmdline_nohz_full.value, t.nohz_full);
  std::istringstream cores(t.cores), nodes(t.nodes), caps(t.capacities);
  for (std::string w; cores >> w;) {
    CpuSet core;
    set_cpus(&core, w.c_str());
    for (int32_t c : CpuIter{&core}) {
      CpuTopology* topo = list_grow(s->arena, &s->cpus);
      topo->cpu = c;
      topo->siblings = core;
      cpuset_remove(&topo->siblings, c);
    }
  }
  for (std::string w; nodes >> w;) {
    NumaNode* n = list_grow(s->arena, &s->nodes);
    n->node = static_cast<int32_t>(s->nodes.count - 1);
    set_cpus(&n->cpus, w.c_str());
  }
  for (std::string w; caps >> w;) {
    CpuSet set;
    set_cpus(&set, w.substr(0, w.find(':')).c_str());
    for (int32_t c : CpuIter{&set}) {
      const_cast<CpuTopology*>(find_cpu_topology(s, c))->capacity =
          opt_some<int64_t>(std::stoll(w.substr(w.find(':') + 1)));
    }
  }
}

TEST_F(PartitionTest, GeneratedTopologies) {
  for (const Topology& t : kTopologies) {
    fresh();
    build(snap, t);
    Partition p = partition_propose(&arena, snap);
    EXPECT_EQ(p.kind, t.kind) << t.name;
    CpuSet want;
    set_cpus(&want, t.isolate);
    EXPECT_EQ(list(p.isolate), list(want)) << t.name;
    check(t.name);
  }
}

// Every fixture machine: its proposal, applied, holds up.
TEST_F(PartitionTest, FixtureMachines) {
  for (const char* tree : {"kernel-generic", "kernel-rt", "rich", "diff-before", "diff-after",
                           "cgroup-partitions", "gic-arm64"}) {
    fresh();
    collect_snapshot(snap, &arena, open_source(tests_dir() + "/fixtures/" + tree), 0);
    check(tree);
  }
}

}  // namespace

#include "collect/topology.h"

#include <string>
#include <utility>
#include <vector>

#include "collect_tree.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kCpu = "sys/devices/system/cpu/";

class TopologyTest : public CollectTreeTest {
 protected:
  Snapshot* collect_files(const Files& files) {
    dirs_.emplace_back();
    for (const auto& [path, text] : files) dirs_.back().write(path, text);
    return collect(dirs_.back());
  }
  std::vector<TempDir> dirs_;
};

// The CPU sets and their fallbacks, one small tree per row.
TEST_F(TopologyTest, CpuSetsAndFallbacks) {
  struct Case {
    const char* name;
    Files files;
    const char* online;
    const char* possible;
    const char* isolated;
    const char* housekeeping;
    const char* nohz_full;
  } cases[] = {
      {"kernel lists",
       {{kCpu + "online", "0-7\n"}, {kCpu + "possible", "0-15\n"}, {kCpu + "isolated", "4-7\n"},
        {kCpu + "nohz_full", "5-7\n"}},
       "0-7", "0-15", "4-7", "0-3", "5-7"},
      {"cpuN directories without an online file",
       {{kCpu + "cpu0/topology/core_id", "0\n"}, {kCpu + "cpu3/topology/core_id", "1\n"},
        {kCpu + "cpu1x/uevent", ""}, {kCpu + "cpufreq/boost", "1\n"}},
       "0,3", "0,3", "", "0,3", ""},
      // Offline CPUs keep their directories: the offline list and the CPU's
      // own online file leave them out.
      {"offline CPUs without an online file",
       {{kCpu + "cpu0/uevent", ""}, {kCpu + "cpu1/online", "0\n"}, {kCpu + "cpu2/online", "1\n"},
        {kCpu + "cpu3/online", "1\n"}, {kCpu + "cpu4/online", "1\n"}, {kCpu + "offline", "3\n"}},
       "0,2,4", "0,2,4", "", "0,2,4", ""},
      {"empty isolated list falls back on isolcpus=",
       {{kCpu + "online", "0-3\n"}, {kCpu + "isolated", "\n"}, {kCpu + "nohz_full", "(null)\n"},
        {"proc/cmdline", "isolcpus=2-3 nohz_full=3\n"}},
       "0-3", "0-3", "2,3", "0,1", "3"},
      // The kernel's N and all, against the possible CPUs.
      {"N and all in boot lists",
       {{kCpu + "online", "0-3\n"}, {kCpu + "possible", "0-7\n"},
        {"proc/cmdline", "isolcpus=domain,2-N nohz_full=all\n"}},
       "0-3", "0-7", "2-7", "0,1", "0-7"},
      {"N against the online CPUs when possible and present are missing",
       {{kCpu + "online", "0-5\n"}, {"proc/cmdline", "isolcpus=4-N\n"}},
       "0-5", "0-5", "4,5", "0-3", ""},
      {"nothing readable", {}, "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Snapshot* s = collect_files(c.files);
    EXPECT_EQ(cpus(s->online), c.online);
    EXPECT_EQ(cpus(s->possible), c.possible);
    EXPECT_EQ(cpus(s->isolated), c.isolated);
    EXPECT_EQ(cpus(s->housekeeping), c.housekeeping);
    EXPECT_EQ(cpus(s->nohz_full), c.nohz_full);
    EXPECT_EQ(s->ncpus, static_cast<uint32_t>(cpuset_count(&s->online)));
    EXPECT_EQ(s->cpus.count, s->ncpus);
  }
}

TEST_F(TopologyTest, BootListsWithNAreResolved) {
  Snapshot* s = collect_files({{kCpu + "possible", "0-11\n"},
                               {kCpu + "online", "0-11\n"},
                               {"proc/cmdline",
                                "isolcpus=managed_irq,8-N rcu_nocbs=N irqaffinity=0-N:1/4\n"}});
  EXPECT_TRUE(s->isolcpus.has);
  EXPECT_EQ(cpus(s->isolcpus.value), "8-11");
  ASSERT_EQ(s->isolcpus_flags.count, 1u);
  EXPECT_EQ(str(s->isolcpus_flags.items[0]), "managed_irq");
  EXPECT_EQ(cpus(s->rcu_nocbs.value), "11");
  EXPECT_EQ(cpus(s->irqaffinity.value), "0,4,8");
  EXPECT_FALSE(s->isolated_from_sysfs);
}

TEST_F(TopologyTest, SiblingsNodesAndSmt) {
  Snapshot* s = collect_files({
      {kCpu + "online", "0-1,4\n"},
      {kCpu + "cpu0/topology/thread_siblings_list", "0,4\n"},
      {kCpu + "cpu0/topology/core_id", "0\n"},
      {kCpu + "cpu0/topology/physical_package_id", "1\n"},
      {kCpu + "cpu1/topology/core_cpus_list", "1,5\n"},  // newer name used; no CPU 5 here
      {kCpu + "cpu4/topology/thread_siblings_list", "0,4\n"},
      {kCpu + "smt/active", "0\n"},
      {kCpu + "smt/control", "on\n"},
      {"sys/devices/system/node/node0/cpulist", "0-1\n"},
      {"sys/devices/system/node/node1/cpulist", "1,4\n"},  // CPU 1 keeps the later node
      {"sys/devices/system/node/nodeX/cpulist", "0\n"},
  });
  ASSERT_EQ(s->cpus.count, 3u);
  const CpuTopology* t0 = find_cpu_topology(s, 0);
  ASSERT_TRUE(t0);
  EXPECT_EQ(cpus(t0->siblings), "4");
  EXPECT_TRUE(t0->core_id.has);
  EXPECT_EQ(t0->package_id.value, 1);
  EXPECT_EQ(t0->node.value, 0);
  const CpuTopology* t1 = find_cpu_topology(s, 1);
  EXPECT_TRUE(cpuset_empty(&t1->siblings));
  EXPECT_FALSE(t1->core_id.has);
  EXPECT_EQ(t1->node.value, 1);
  EXPECT_TRUE(find_cpu_topology(s, 4)->node.has);
  EXPECT_EQ(s->nodes.count, 2u);
  EXPECT_TRUE(s->smt_in_use);  // smt/active 0 does not clear what the siblings say
  EXPECT_EQ(str(s->smt_control), "on");
}

TEST_F(TopologyTest, RichFixture) {
  Snapshot* s = collect(tests_dir() + "/fixtures/rich");
  EXPECT_EQ(s->ncpus, 16u);
  EXPECT_EQ(cpus(s->isolated), "2,3,6,7,10,11,14,15");
  EXPECT_TRUE(s->isolated_from_sysfs);
  EXPECT_EQ(cpus(s->housekeeping), "0,1,4,5,8,9,12,13");
  EXPECT_TRUE(s->smt_in_use);
  ASSERT_EQ(s->nodes.count, 2u);
  EXPECT_EQ(cpus(s->nodes.items[1].cpus), "4-7,12-15");
  for (int32_t cpu = 0; cpu < 16; cpu++) {
    const CpuTopology* t = find_cpu_topology(s, cpu);
    ASSERT_TRUE(t);
    EXPECT_EQ(cpus(t->siblings), std::to_string(cpu < 8 ? cpu + 8 : cpu - 8));
    EXPECT_EQ(t->package_id.value, cpu % 8 / 4);
    EXPECT_EQ(t->node.value, t->package_id.value);
  }
}

// Only what holds on any machine.
TEST_F(TopologyTest, LiveSystem) {
  Snapshot* s = collect("");
  ASSERT_FALSE(cpuset_empty(&s->online));
  EXPECT_EQ(s->ncpus, static_cast<uint32_t>(cpuset_count(&s->online)));
  for (int32_t cpu : CpuIter{&s->online}) EXPECT_TRUE(find_cpu_topology(s, cpu)) << cpu;
  CpuSet outside = s->housekeeping;
  cpuset_andnot(&outside, &s->online);
  EXPECT_TRUE(cpuset_empty(&outside));  // housekeeping CPUs are online
  EXPECT_FALSE(cpuset_intersects(&s->housekeeping, &s->isolated));
  CpuSet covered = s->housekeeping;
  cpuset_or(&covered, &s->isolated);
  cpuset_and(&covered, &s->online);
  EXPECT_TRUE(cpuset_equal(&covered, &s->online));
  for (const CpuFreq& f : s->cpufreq) EXPECT_TRUE(cpuset_has(&s->online, f.cpu));
  for (const CpuIdle& idle : s->cpuidle) {
    EXPECT_TRUE(cpuset_has(&s->online, idle.cpu));
    EXPECT_GT(idle.states.count, 0u);
  }
  EXPECT_EQ(s->cpuidle_available, s->cpuidle.count > 0);
}


// CPUs past what a set holds are dropped by the parser, and the Snapshot
// says how far the kernel's lists went.
TEST_F(TopologyTest, CpusPastTheSetsBoundAreNoted) {
  for (auto [possible, highest] : {std::pair{"0-8191\n", 8191}, {"0-4095\n", 0}, {"0-3,5000", 5000}})
    EXPECT_EQ(collect_files({{kCpu + "possible", possible}})->highest_cpu_named, highest) << possible;
}

}  // namespace

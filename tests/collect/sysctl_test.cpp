// Sysctls, noise sources and tracing capability.
#include "collect/sysctl.h"

#include <string>

#include "collect_tree.h"

namespace {

class SysctlTest : public CollectTreeTest {
 protected:
  SwapSummary swaps(const char* text) {
    SwapSummary sw;
    parse_swaps(&arena, sv(text), &sw);
    return sw;
  }
};

constexpr char kSwapHeader[] = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";

TEST_F(SysctlTest, Swaps) {
  struct Case {
    std::string text;
    bool active;
    int64_t total_kb;
    const char* devices;
  } cases[] = {
      {kSwapHeader, false, 0, ""},
      {"", false, 0, ""},
      {std::string(kSwapHeader) + "/dev/sda2 partition 512 0 -2\n/swapfile file 256 0 -3\n",
       true, 768, "/dev/sda2, /swapfile"},
      {std::string(kSwapHeader) + "/dev/nvme0n1p3                          partition\t8388604\t\t0\t\t-2\n",
       true, 8388604, "/dev/nvme0n1p3"},
      // A size that does not convert, or would overflow the total, adds nothing.
      {std::string(kSwapHeader) + "/dev/a partition x 0 -2\n  \n/dev/b partition -5 0 -2\n"
                                  "/dev/c partition 9223372036854775807 0 0\n/dev/d partition 1 0 0\n",
       true, 9223372036854775807, "/dev/a, /dev/b, /dev/c, /dev/d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SwapSummary sw = swaps(c.text.c_str());
    EXPECT_EQ(sw.active, c.active);
    EXPECT_EQ(sw.total_kb, c.total_kb);
    EXPECT_EQ(str(sw.devices), c.devices);
  }
}

TEST_F(SysctlTest, CgroupVersionFromTheTypeMountedAtSysFsCgroup) {
  struct Case {
    const char* name;
    const char* mounts;
    int32_t version;
  } cases[] = {
      {"unified", "cgroup2 /sys/fs/cgroup cgroup2 rw,nsdelegate 0 0\n", 2},
      {"hybrid",
       "tmpfs /sys/fs/cgroup tmpfs ro,mode=755 0 0\n"
       "cgroup2 /sys/fs/cgroup/unified cgroup2 rw,nsdelegate 0 0\n"
       "cgroup /sys/fs/cgroup/cpuset cgroup rw,cpuset 0 0\n",
       1},
      {"legacy", "cgroup /sys/fs/cgroup/cpu,cpuacct cgroup rw,cpu,cpuacct 0 0\n", 1},
      {"v1 then v2 at the root",
       "cgroup /sys/fs/cgroup/cpu cgroup rw,cpu 0 0\ncgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n", 2},
      {"a path holding cgroup2 is not the type",
       "tmpfs /srv/cgroup2 tmpfs rw 0 0\ncgroup /sys/fs/cgroup/pids cgroup rw,pids 0 0\n", 1},
      {"cgroup2 elsewhere only", "none /mnt/cg cgroup2 rw 0 0\n", 2},
      {"later mount hides the earlier",
       "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\ntmpfs /sys/fs/cgroup tmpfs rw 0 0\n"
       "cgroup /sys/fs/cgroup/cpu cgroup rw,cpu 0 0\n",
       1},
      {"none", "proc /proc proc rw 0 0\n", 0},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_cgroup_version(sv(c.mounts)), c.version);
  }
}

TEST_F(SysctlTest, RichFixture) {
  Snapshot* s = collect(tests_dir() + "/fixtures/rich");
  EXPECT_EQ(s->sched_rt_runtime_us.value, 950000);
  EXPECT_EQ(s->sched_rt_period_us.value, 1000000);
  EXPECT_EQ(s->timer_migration.value, 1);
  EXPECT_TRUE(s->soft_watchdog.has);
  EXPECT_EQ(s->soft_watchdog.value, 1);
  EXPECT_EQ(s->nmi_watchdog.value, 0);
  EXPECT_EQ(cpus(s->watchdog_cpumask.value), "0,1,4,5,8,9,12,13");
  EXPECT_TRUE(s->swap_active);
  EXPECT_EQ(s->swap_total_kb, 8388604);
  EXPECT_EQ(str(s->thp_enabled), "[always] madvise never");
  EXPECT_EQ(s->mce_check_interval.value, 300);
  EXPECT_EQ(cpus(s->workqueue_cpumask.value), "0-15");
  EXPECT_EQ(cpus(s->writeback_cpumask.value), "0,1,4,5,8,9,12,13");
  EXPECT_EQ(str(s->clocksource), "tsc");
  EXPECT_EQ(s->cgroup_version, 2);
  EXPECT_FALSE(s->rt_group_sched);
  EXPECT_TRUE(s->tracefs_available);
  EXPECT_EQ(str(s->tracefs_path), "/sys/kernel/tracing");
  EXPECT_EQ(str(s->current_tracer), "nop");
  EXPECT_EQ(s->tracing_on.value, 1);
  EXPECT_TRUE(s->osnoise_available && s->timerlat_available && s->hwlat_available &&
              s->irqsoff_available && s->wakeup_rt_available);
}

TEST_F(SysctlTest, MalformedMaskIsReadButEmpty) {
  TempDir d;
  d.write("sys/devices/virtual/workqueue/cpumask", "zz\n");
  d.write("sys/devices/system/machinecheck/machinecheck0/check_interval", "x\n");
  d.write("sys/devices/system/machinecheck/machinecheck1/check_interval", "150\n");
  d.write("boot/config-6.1", "CONFIG_RT_GROUP_SCHED=y\n");
  Snapshot* s = collect(d);
  EXPECT_TRUE(s->workqueue_cpumask.has);
  EXPECT_TRUE(cpuset_empty(&s->workqueue_cpumask.value));
  EXPECT_FALSE(s->writeback_cpumask.has);
  EXPECT_EQ(s->mce_check_interval.value, 150);  // the first that reads as a number
  EXPECT_TRUE(s->rt_group_sched);
  EXPECT_EQ(s->cgroup_version, 0);
  EXPECT_FALSE(s->swap_devices.ptr);  // no /proc/swaps at all
}

TEST_F(SysctlTest, TracingUnderDebugfsAndRecordedTools) {
  TempDir d;
  d.write("sys/kernel/debug/tracing/available_tracers", "hwlat blk function nop\n");
  d.write("sys/kernel/debug/tracing/instances/x/tracing_on", "0\n");
  d.write(".kelvane/cmd/which_rtla", "/usr/bin/rtla\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->tracefs_path), "/sys/kernel/debug/tracing");
  EXPECT_TRUE(s->hwlat_available);
  EXPECT_FALSE(s->osnoise_available || s->timerlat_available || s->irqsoff_available ||
               s->wakeup_rt_available);
  EXPECT_TRUE(s->tracing_instances);
  EXPECT_FALSE(s->current_tracer.ptr);
  EXPECT_EQ(str(s->which_rtla), "/usr/bin/rtla");

  TempDir none;
  none.write(".kelvane/cmd/which_cyclictest", "/usr/bin/cyclictest\n");
  s = collect(none);
  EXPECT_FALSE(s->tracefs_available);
  EXPECT_FALSE(s->current_tracer.ptr);
  EXPECT_EQ(str(s->which_cyclictest), "/usr/bin/cyclictest");
}

}  // namespace

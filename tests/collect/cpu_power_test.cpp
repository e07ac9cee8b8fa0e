// Frequency and idle-state collection.
#include <string>

#include "collect/cpufreq.h"
#include "collect/cpuidle.h"
#include "collect_tree.h"

namespace {

const std::string kCpu = "sys/devices/system/cpu/";

class CpuPowerTest : public CollectTreeTest {};

TEST_F(CpuPowerTest, RichFixtureFrequencyAndIdleStates) {
  Snapshot* s = collect(tests_dir() + "/fixtures/rich");
  EXPECT_TRUE(s->cpufreq_available);
  ASSERT_EQ(s->cpufreq.count, 16u);
  const CpuFreq* f2 = find_cpu_freq(s, 2, nullptr);
  EXPECT_EQ(str(f2->driver), "intel_pstate");
  EXPECT_EQ(str(f2->governor), "performance");
  EXPECT_EQ(str(f2->epp), "performance");
  EXPECT_EQ(f2->cpuinfo_max_khz.value, 3900000);
  EXPECT_EQ(f2->scaling_min_khz.value, 800000);
  EXPECT_EQ(str(find_cpu_freq(s, 14, nullptr)->governor), "powersave");
  EXPECT_EQ(str(s->pstate_status), "active");
  EXPECT_TRUE(s->no_turbo.has);
  EXPECT_EQ(s->min_perf_pct.value, 20);
  EXPECT_FALSE(s->boost.has);

  EXPECT_TRUE(s->cpuidle_available);
  EXPECT_EQ(str(s->cpuidle_driver), "intel_idle");
  EXPECT_EQ(str(s->cpuidle_governor), "menu");
  ASSERT_EQ(s->cpuidle.count, 16u);
  const CpuIdle* idle = find_cpu_idle(s, 2, nullptr);
  ASSERT_EQ(idle->states.count, 4u);
  const IdleState& c6 = idle->states.items[3];
  EXPECT_EQ(c6.index, 3);
  EXPECT_EQ(str(c6.name), "C6");
  EXPECT_EQ(str(c6.desc), "MWAIT 0x20");
  EXPECT_EQ(c6.latency_us.value, 133);
  EXPECT_EQ(c6.residency_us.value, 600);
  EXPECT_TRUE(c6.disabled);
  EXPECT_EQ(cstate_floor_us(s, 2).value, 10);
  EXPECT_EQ(cstate_floor_us(s, 14).value, 133);
  EXPECT_FALSE(s->dma_latency_holder.has);
}

TEST_F(CpuPowerTest, StatesInByteOrderAndMissingFiles) {
  TempDir d;
  d.write(kCpu + "online", "0-1\n");
  d.write(kCpu + "cpu0/cpuidle/state2/name", "C2\n");
  d.write(kCpu + "cpu0/cpuidle/state10/name", "C10\n");
  d.write(kCpu + "cpu0/cpuidle/state10/latency", "300 us\n");
  d.write(kCpu + "cpu0/cpuidle/stateX/name", "bad\n");
  d.write(kCpu + "cpu0/cpuidle/state3/disable", "1\n");
  d.write(kCpu + "cpuidle/current_governor_ro", "menu\n");
  d.write(kCpu + "amd_pstate/status", "passive\n");
  d.write(kCpu + "cpu1/cpufreq/scaling_governor", "schedutil\n");
  d.write(".kelvane/cmd/cpu_dma_latency_holder", "cyclictest (pid 812)\n");
  d.write(".kelvane/cmd/cpu_dma_latency_value", "0\n");
  Snapshot* s = collect(d);
  ASSERT_EQ(s->cpuidle.count, 1u);
  const List<IdleState>& st = s->cpuidle.items[0].states;
  ASSERT_EQ(st.count, 3u);
  EXPECT_EQ(st.items[0].index, 10);  // state10 sorts before state2
  EXPECT_EQ(st.items[0].latency_us.value, 300);
  EXPECT_EQ(st.items[1].index, 2);
  EXPECT_FALSE(st.items[1].disabled);  // no disable file: enabled
  EXPECT_FALSE(st.items[1].latency_us.has);
  EXPECT_TRUE(st.items[2].disabled);
  EXPECT_EQ(str(s->cpuidle_governor), "menu");
  EXPECT_EQ(str(s->pstate_status), "passive");
  ASSERT_EQ(s->cpufreq.count, 1u);
  EXPECT_EQ(s->cpufreq.items[0].cpu, 1);
  EXPECT_FALSE(s->cpufreq.items[0].cur_khz.has);
  EXPECT_TRUE(s->dma_latency_holder.has);
  EXPECT_EQ(str(s->dma_latency_holder.value), "cyclictest (pid 812)");
  EXPECT_TRUE(s->dma_latency_us.has);
}

TEST_F(CpuPowerTest, UsageDeltaNeverNegative) {
  TempDir d;
  d.write(kCpu + "online", "0\n");
  d.write(kCpu + "cpu0/cpuidle/state0/usage", "100\n");
  d.write(kCpu + "cpu0/cpuidle/state1/usage", "100\n");
  d.write(kCpu + "cpu0/cpuidle/state2/name", "no usage\n");
  Snapshot* s = collect(d);
  s->cpuidle_read_s -= 3;  // the first reading, 3 s ago
  d.write(kCpu + "cpu0/cpuidle/state0/usage", "130\n");
  d.write(kCpu + "cpu0/cpuidle/state1/usage", "90\n");
  d.write(kCpu + "cpu0/cpuidle/state2/usage", "5\n");
  sample_cpuidle_usage(s);
  const List<IdleState>& st = s->cpuidle.items[0].states;
  EXPECT_EQ(st.items[0].usage_delta.value, 30);
  EXPECT_TRUE(st.items[1].usage_delta.has);
  EXPECT_EQ(st.items[1].usage_delta.value, 0);
  EXPECT_FALSE(st.items[2].usage_delta.has);  // no first reading to compare with
  EXPECT_GE(s->cpuidle_window_s, 3.0);        // timed from the idle counters' own reading
  EXPECT_LT(s->cpuidle_window_s, 30.0);
}

// The index built by the collectors answers like the linear search.
TEST_F(CpuPowerTest, IndexedLookupsMatchTheLists) {
  Snapshot* s = collect(tests_dir() + "/fixtures/rich");
  ASSERT_TRUE(s->cpuidle_pos.slot);
  for (size_t i = 0; i < s->cpufreq.count; i++) {
    size_t at = 99;
    EXPECT_EQ(find_cpu_freq(s, s->cpufreq.items[i].cpu, &at), &s->cpufreq.items[i]);
    EXPECT_EQ(at, i);
  }
  EXPECT_EQ(find_cpu_idle(s, 16, nullptr), nullptr);
  EXPECT_EQ(find_cpu_idle(s, -1, nullptr), nullptr);
  EXPECT_EQ(find_cpu_topology(s, 4096), nullptr);
}

}  // namespace

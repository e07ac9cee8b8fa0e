#include "collect/snapshot.h"

#include "test_util.h"

namespace {

class SnapshotTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
  }
  IdleState* add_state(CpuIdle* idle, int32_t index, int64_t latency, bool disabled = false,
                       bool known = true) {
    IdleState* st = list_grow(&arena, &idle->states);
    st->index = index;
    st->latency_us.has = known;
    st->latency_us.value = known ? latency : 0;
    st->disabled = disabled;
    return st;
  }
  CpuIdle* add_idle(int32_t cpu) {
    CpuIdle* idle = list_grow(&arena, &snap->cpuidle);
    idle->cpu = cpu;
    return idle;
  }
  Snapshot* snap;
};

TEST_F(SnapshotTest, EmptyListsFindNothing) {
  size_t index = 99;
  EXPECT_EQ(find_cpu_topology(snap, 0), nullptr);
  EXPECT_EQ(find_cpu_freq(snap, 0, &index), nullptr);
  EXPECT_EQ(find_cpu_idle(snap, 0, &index), nullptr);
  EXPECT_EQ(index, 99u);
  EXPECT_EQ(deepest_idle_state(snap, 0), nullptr);
  EXPECT_FALSE(cstate_floor_us(snap, 0).has);
}

TEST_F(SnapshotTest, LookupsByCpuNumberAndIndex) {
  for (int32_t cpu : {0, 2, 5, 2}) {
    list_grow(&arena, &snap->cpus)->cpu = cpu;
    list_grow(&arena, &snap->cpufreq)->cpu = cpu;
    add_idle(cpu);
  }
  // The first element whose cpu matches, not the later duplicate.
  EXPECT_EQ(find_cpu_topology(snap, 2), &snap->cpus.items[1]);
  EXPECT_EQ(find_cpu_topology(snap, 1), nullptr);
  size_t index = 0;
  EXPECT_EQ(find_cpu_freq(snap, 5, &index), &snap->cpufreq.items[2]);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(find_cpu_idle(snap, 2, &index), &snap->cpuidle.items[1]);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(find_cpu_freq(snap, -1, nullptr), nullptr);
  EXPECT_EQ(find_cpu_idle(snap, 0, nullptr), &snap->cpuidle.items[0]);
}

TEST_F(SnapshotTest, DeepestIdleStateSkipsDisabledAndUnknown) {
  CpuIdle* idle = add_idle(3);
  add_state(idle, 0, 0);
  add_state(idle, 1, 2);
  add_state(idle, 2, 500, /*disabled=*/true);
  add_state(idle, 3, 9999, false, /*known=*/false);
  add_state(idle, 4, 86);
  add_state(idle, 5, 10);
  const IdleState* st = deepest_idle_state(snap, 3);
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->index, 4);
  OptInt floor = cstate_floor_us(snap, 3);
  EXPECT_TRUE(floor.has);
  EXPECT_EQ(floor.value, 86);
  EXPECT_EQ(deepest_idle_state(snap, 0), nullptr);
}

TEST_F(SnapshotTest, FirstStateWinsATie) {
  CpuIdle* idle = add_idle(0);
  add_state(idle, 2, 33);
  add_state(idle, 7, 33);
  EXPECT_EQ(deepest_idle_state(snap, 0)->index, 2);
}

TEST_F(SnapshotTest, ZeroLatencyPollStateIsAFloorOfZero) {
  CpuIdle* idle = add_idle(1);
  add_state(idle, 0, 0);
  add_state(idle, 1, 100, true);
  OptInt floor = cstate_floor_us(snap, 1);
  EXPECT_TRUE(floor.has);
  EXPECT_EQ(floor.value, 0);
}

TEST_F(SnapshotTest, NoUsableStateGivesNoFloor) {
  CpuIdle* idle = add_idle(1);
  add_state(idle, 0, 5, true);
  add_state(idle, 1, 0, false, false);
  EXPECT_EQ(deepest_idle_state(snap, 1), nullptr);
  EXPECT_FALSE(cstate_floor_us(snap, 1).has);
}

}  // namespace

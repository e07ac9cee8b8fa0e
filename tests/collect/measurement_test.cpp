#include "collect/measurement.h"

#include "collect/snapshot.h"
#include "test_util.h"

namespace {

class MeasurementTest : public ArenaTest {};

TEST_F(MeasurementTest, PerCpuEntryFindsOrAppends) {
  Measurement m = {};
  PerCpuLatency* a = per_cpu_entry(&arena, &m, 3);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->cpu, 3);
  EXPECT_FALSE(a->min_us.has || a->avg_us.has || a->max_us.has);
  a->max_us.has = true;
  a->max_us.value = 42.5;
  PerCpuLatency* b = per_cpu_entry(&arena, &m, 1);
  EXPECT_EQ(b->cpu, 1);
  EXPECT_FALSE(b->max_us.has);
  PerCpuLatency* again = per_cpu_entry(&arena, &m, 3);
  EXPECT_EQ(again, &m.per_cpu.items[0]);
  EXPECT_TRUE(again->max_us.has);
  EXPECT_EQ(again->max_us.value, 42.5);
  ASSERT_EQ(m.per_cpu.count, 2u);
  EXPECT_EQ(m.per_cpu.items[1].cpu, 1);
}

TEST_F(MeasurementTest, PerCpuEntryHasNoUpperBound) {
  Measurement m = {};
  for (int32_t cpu = 0; cpu < 1000; cpu++) per_cpu_entry(&arena, &m, 999 - cpu)->avg_us.has = true;
  ASSERT_EQ(m.per_cpu.count, 1000u);
  for (size_t i = 0; i < 1000; i++) {
    EXPECT_EQ(m.per_cpu.items[i].cpu, static_cast<int32_t>(999 - i));
    EXPECT_TRUE(m.per_cpu.items[i].avg_us.has);
  }
  EXPECT_EQ(per_cpu_entry(&arena, &m, 500), &m.per_cpu.items[499]);
  EXPECT_EQ(m.per_cpu.count, 1000u);
}

TEST_F(MeasurementTest, NotesKeepOrderAndOwnTheirText) {
  Snapshot* snap = arena_new<Snapshot>(&arena);
  snap->arena = &arena;
  std::string first = "cyclictest not found";
  add_measure_note(snap->arena, &snap->measure_notes, StrView{first.data(), first.size()});
  add_measure_note(snap->arena, &snap->measure_notes, sv("rtla timerlat produced no parseable output"));
  add_measure_note(snap->arena, &snap->measure_notes, kNoneView);
  first.assign(first.size(), 'x');
  ASSERT_EQ(snap->measure_notes.count, 2u);
  EXPECT_EQ(str(snap->measure_notes.items[0]), "cyclictest not found");
  EXPECT_EQ(str(snap->measure_notes.items[1]), "rtla timerlat produced no parseable output");
}

TEST_F(MeasurementTest, ZeroRecordsMeanNothingMeasured) {
  Snapshot* snap = arena_new<Snapshot>(&arena);
  EXPECT_FALSE(snap->measure_requested);
  EXPECT_FALSE(snap->measured.valid);
  EXPECT_FALSE(snap->measured.source.ptr);
  EXPECT_EQ(snap->measured.per_cpu.count, 0u);
  EXPECT_FALSE(snap->timerlat_result.valid);
  EXPECT_FALSE(snap->noise_result.dominant.ptr);
  EXPECT_FALSE(snap->hwlat_result.valid);
  EXPECT_FALSE(snap->timerlat_analysis.valid);
  EXPECT_EQ(snap->measure_notes.count, 0u);
}

}  // namespace

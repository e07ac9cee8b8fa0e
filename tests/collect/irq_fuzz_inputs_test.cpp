// Inputs kept from fuzzing the interrupt-table, stat and status parsers:
// each goes through its parser the way its fuzz target feeds it, and what
// comes out must hold together.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/two_readings.h"
#include "base/cpuset.h"
#include "collect/irq_sample.h"
#include "collect/irq_table.h"
#include "collect/task_stat.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> kept_inputs(const char* target) {
  std::vector<std::string> out;
  fs::path dir = fs::path(tests_dir()) / "fixtures" / "fuzz" / target;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(read_file(e.path().string()));
  return out;
}

class FuzzInputsTest : public ArenaTest {
 protected:
  void check_rows(const List<int32_t>& cpus, const List<IrqRow>& rows) {
    for (const IrqRow& r : rows) {
      EXPECT_LE(r.counts.count, cpus.count);
      EXPECT_GT(r.label.len, 0u);
      uint64_t sum = 0;
      for (size_t k = 0; k < r.counts.count; k++) {
        EXPECT_EQ(r.counts[k].cpu, cpus[k]);
        sum += r.counts[k].count;
      }
      EXPECT_EQ(sum, r.total);
    }
  }
};

TEST_F(FuzzInputsTest, InterruptTables) {
  for (const char* target : {"interrupts", "softirqs"}) {
    std::vector<std::string> inputs = kept_inputs(target);
    EXPECT_GT(inputs.size(), 0u) << target;
    for (const std::string& in : inputs) {
      // Split as the targets split it.
      TwoReadings readings = split_readings(in.data(), in.size());
      StrView first = readings.first, second = readings.second;
      Snapshot* s = arena_new<Snapshot>(&arena);
      s->arena = &arena;
      // Parsed twice: the interrupt and softirq lists must not share counts.
      for (int pass = 0; pass < 2; pass++) {
        List<int32_t> cpus{};
        List<IrqRow> rows{};
        parse_interrupt_table(&arena, first, &cpus, &rows);
        check_rows(cpus, rows);
        for (const IrqRow& r : rows) {
          if (pass == 0) {
            IrqInfo* i = list_grow(&arena, &s->special_irqs);
            i->name = r.label;
            i->per_cpu = r.counts;
          } else {
            SoftirqInfo* soft = list_grow(&arena, &s->softirqs);
            soft->name = r.label;
            soft->per_cpu = r.counts;
          }
        }
      }
      apply_interrupt_sample(s, second, second, 1.0);
      for (const IrqInfo& i : s->special_irqs) {
        uint64_t sum = 0;
        for (const IrqCount& c : i.per_cpu) sum += c.delta;
        EXPECT_EQ(sum, i.delta_total);
      }
    }
  }
}

TEST_F(FuzzInputsTest, StatLines) {
  std::vector<std::string> inputs = kept_inputs("task_stat");
  EXPECT_GT(inputs.size(), 0u);
  for (const std::string& in : inputs) {
    TaskStat st;
    if (!parse_task_stat(StrView{in.data(), in.size()}, &st)) continue;
    EXPECT_GE(st.comm.ptr, in.data());
    EXPECT_LE(st.comm.ptr + st.comm.len, in.data() + in.size());
    task_role(st.comm);
    task_irq_number(st.comm);
  }
}

TEST_F(FuzzInputsTest, StatusFiles) {
  std::vector<std::string> inputs = kept_inputs("task_status");
  EXPECT_GT(inputs.size(), 0u);
  for (const std::string& in : inputs) {
    RtTask t{};
    parse_task_status(StrView{in.data(), in.size()}, &t);
    EXPECT_TRUE(t.affinity.has || cpuset_empty(&t.affinity.value));
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "collect/measurement.h"
#include "measure/tool_parsers.h"
#include "test_util.h"

namespace {

std::string fixture(const std::string& name) {
  return read_file(tests_dir() + "/fixtures/measure/" + name);
}

class ParserTest : public ArenaTest {
 protected:
  CpuSet cpus(const char* list) {
    CpuSet s{};
    cpuset_parse_list(&s, sv(list));
    return s;
  }
  bool cyclic(const std::string& text, const char* list = "0-1") {
    m = Measurement{};
    CpuSet set = cpus(list);
    return parse_cyclictest(&arena, sv_make(text.data(), text.size()), &set, &m);
  }
  bool timerlat(const std::string& text) {
    t = TimerlatResult{};
    return parse_timerlat_hist(&arena, sv_make(text.data(), text.size()), &t);
  }
  bool osnoise(const std::string& text) {
    n = NoiseResult{};
    return parse_osnoise_top(sv_make(text.data(), text.size()), &n);
  }
  bool hwlat(const std::string& text) {
    h = HwlatResult{};
    return parse_hwlatdetect(sv_make(text.data(), text.size()), &h);
  }
  Measurement m{};
  TimerlatResult t{};
  NoiseResult n{};
  HwlatResult h{};
};

TEST_F(ParserTest, CyclictestSummaryRecordedHere) {
  ASSERT_TRUE(cyclic(fixture("cyclictest-summary-cpus-0-1.txt")));
  EXPECT_TRUE(m.valid);
  EXPECT_EQ(str(m.source), "cyclictest");
  EXPECT_EQ(cpuset_count(&m.cpus), 2);
  ASSERT_EQ(m.per_cpu.count, 2u);
  EXPECT_EQ(m.per_cpu[0].cpu, 0);
  EXPECT_DOUBLE_EQ(m.per_cpu[0].min_us.value, 9);
  EXPECT_DOUBLE_EQ(m.per_cpu[0].avg_us.value, 23);
  EXPECT_DOUBLE_EQ(m.per_cpu[0].max_us.value, 3953);
  EXPECT_DOUBLE_EQ(m.per_cpu[1].max_us.value, 1099);
  EXPECT_DOUBLE_EQ(m.min_us.value, 9);
  EXPECT_DOUBLE_EQ(m.avg_us.value, 32);  // the mean of the per-thread averages
  EXPECT_DOUBLE_EQ(m.max_us.value, 3953);
  EXPECT_EQ(m.per_cpu[0].histogram.count, 0u);
  EXPECT_FALSE(m.per_cpu[0].overflows.has);
  // "T: 0 ( 3771)": a padded thread id splits into two tokens.
  ASSERT_TRUE(cyclic(fixture("cyclictest-summary-pid-padded.txt")));
  EXPECT_DOUBLE_EQ(m.max_us.value, 919);
  EXPECT_EQ(m.per_cpu.count, 2u);
}

TEST_F(ParserTest, CyclictestHistogramRecordedHere) {
  ASSERT_TRUE(cyclic(fixture("cyclictest-histogram-cpus-0-1.txt")));
  ASSERT_EQ(m.per_cpu.count, 2u);
  const PerCpuLatency& c0 = m.per_cpu[0];
  const PerCpuLatency& c1 = m.per_cpu[1];
  EXPECT_DOUBLE_EQ(c0.min_us.value, 9);
  EXPECT_DOUBLE_EQ(c0.avg_us.value, 22);
  EXPECT_DOUBLE_EQ(c0.max_us.value, 465);
  EXPECT_DOUBLE_EQ(c1.max_us.value, 595);
  EXPECT_DOUBLE_EQ(m.max_us.value, 595);
  EXPECT_DOUBLE_EQ(m.avg_us.value, 21.5);
  ASSERT_GT(c0.histogram.count, 0u);
  EXPECT_EQ(c0.histogram[0].us, 9);
  EXPECT_EQ(c0.histogram[0].count, 3u);
  EXPECT_EQ(c1.histogram[0].us, 15);  // CPU 1 has nothing below 15 us
  EXPECT_EQ(c1.histogram[0].count, 12u);
  uint64_t total = 0;
  int32_t last = -1;
  for (const HistBin& b : c0.histogram) {
    EXPECT_GT(b.us, last);
    EXPECT_GT(b.count, 0u);
    last = b.us;
    total += b.count;
  }
  EXPECT_TRUE(c0.overflows.has);
  EXPECT_EQ(c0.overflows.value, 2u);
  EXPECT_EQ(total, 14991u);  // "# Total:" of thread 0 counts the bins alone
}

TEST_F(ParserTest, CyclictestRejects) {
  EXPECT_FALSE(cyclic(fixture("cyclictest-usage-error-cpu-out-of-range.txt")));
  EXPECT_FALSE(cyclic("Permission denied\n"));
  EXPECT_FALSE(cyclic(""));
  EXPECT_FALSE(m.valid);
  Measurement none{};
  EXPECT_FALSE(parse_cyclictest(&arena, kNoneView, &none.cpus, &none));
}

TEST_F(ParserTest, CyclictestSummaryLines) {
  // Thread 1 of the measured set {2,3} ran on CPU 3.
  ASSERT_TRUE(cyclic("T: 1 (99) P:99 I:200 C: 10 Min: 3 Act: 4 Avg: 5 Max: 9\n", "2-3"));
  ASSERT_EQ(m.per_cpu.count, 1u);
  EXPECT_EQ(m.per_cpu[0].cpu, 3);
  // Past the end of the list the thread number is the CPU.
  ASSERT_TRUE(cyclic("T: 4 (99) Max: 9\n", "2-3"));
  EXPECT_EQ(m.per_cpu[0].cpu, 4);
  EXPECT_FALSE(m.min_us.has);
  EXPECT_FALSE(m.avg_us.has);
  // Without a Max the line is ignored.
  EXPECT_FALSE(cyclic("T: 0 (9) Min: 3 Avg: 5\n"));
  // Glued and separated values read the same.
  ASSERT_TRUE(cyclic("T: 0 (9) Min:3 Avg:5 Max:17\n"));
  EXPECT_DOUBLE_EQ(m.max_us.value, 17);
  EXPECT_DOUBLE_EQ(m.min_us.value, 3);
  // A value with its unit glued on is no number.
  EXPECT_FALSE(cyclic("T: 0 (9) Max: 17us\n"));
  EXPECT_FALSE(cyclic("T: 0 (9) Max: nan\n"));
}

TEST_F(ParserTest, CyclictestThreadThatIsNotANumberIsSkipped) {
  ASSERT_TRUE(cyclic("T: x (9) Min: 1 Avg: 2 Max: 900\nT: 0 (9) Min: 3 Avg: 5 Max: 9\n"));
  ASSERT_EQ(m.per_cpu.count, 1u);
  EXPECT_EQ(m.per_cpu[0].cpu, 0);
  EXPECT_DOUBLE_EQ(m.max_us.value, 9);
  EXPECT_FALSE(cyclic("T: -1 (9) Max: 9\nT:\n"));
  EXPECT_FALSE(cyclic("T: 5000 (9) Max: 9\n"));  // beyond any CPU number
}

TEST_F(ParserTest, CyclictestFooterOnlyWithoutSummaryLines) {
  std::string footer = "# Max Latencies: 00100 00200\n";
  ASSERT_TRUE(cyclic("T: 0 (9) Max: 7\n" + footer));
  EXPECT_DOUBLE_EQ(m.max_us.value, 7);
  EXPECT_EQ(m.per_cpu.count, 1u);
  ASSERT_TRUE(cyclic("# Min Latencies: 00001 x 00003\n", "4-6"));
  // Every token advances the column: the third value is CPU 6's.
  ASSERT_EQ(m.per_cpu.count, 2u);
  EXPECT_EQ(m.per_cpu[1].cpu, 6);
  EXPECT_TRUE(m.min_us.has);
  EXPECT_FALSE(m.max_us.has);
}

TEST_F(ParserTest, TimerlatLayoutOfRtla61) {
  ASSERT_TRUE(timerlat(fixture("rtla-6.1-timerlat-hist-layout-no-timerlat-tracer.txt")));
  EXPECT_TRUE(t.valid);
  EXPECT_DOUBLE_EQ(t.irq_max_us.value, 5);
  EXPECT_DOUBLE_EQ(t.thread_max_us.value, 21);
  EXPECT_DOUBLE_EQ(t.irq_avg_us.value, 0);
  EXPECT_TRUE(t.irq_avg_us.has);
  EXPECT_DOUBLE_EQ(t.thread_avg_us.value, 1);
}

TEST_F(ParserTest, TimerlatRejects) {
  EXPECT_FALSE(timerlat(fixture("rtla-6.1-timerlat-hist-q-usage-error.txt")));
  EXPECT_FALSE(timerlat(fixture("rtla-6.1-timerlat-hist-no-timerlat-tracer.txt")));
  EXPECT_FALSE(timerlat("max: 5 12 14\n"));  // no header
  EXPECT_FALSE(timerlat(""));
}

TEST_F(ParserTest, TimerlatColumns) {
  ASSERT_TRUE(timerlat("Index IRQ-000 Thr-000 Usr-000\nmax: 5 12 14\n"));
  EXPECT_DOUBLE_EQ(t.irq_max_us.value, 5);
  EXPECT_DOUBLE_EQ(t.thread_max_us.value, 14);
  EXPECT_FALSE(t.irq_avg_us.has);
  // "-" marks a column without samples; it still takes its column.
  ASSERT_TRUE(timerlat("Index IRQ-000 Thr-000 IRQ-001 Thr-001\nmax: - - 3 8 99\n"));
  EXPECT_DOUBLE_EQ(t.irq_max_us.value, 3);
  EXPECT_DOUBLE_EQ(t.thread_max_us.value, 8);
  // 100 CPUs: the last CPU's columns count too.
  std::string header = "Index", max = "max:";
  for (int c = 0; c < 100; c++) {
    header += " IRQ-" + std::to_string(c) + " Thr-" + std::to_string(c);
    max += c == 99 ? " 7 90" : " 1 2";
  }
  ASSERT_TRUE(timerlat(header + "\n" + max + "\n"));
  EXPECT_DOUBLE_EQ(t.irq_max_us.value, 7);
  EXPECT_DOUBLE_EQ(t.thread_max_us.value, 90);
}

TEST_F(ParserTest, OsnoiseLayoutOfRtla61) {
  ASSERT_TRUE(osnoise(fixture("rtla-6.1-osnoise-top-q-layout-no-osnoise-tracer.txt")));
  EXPECT_DOUBLE_EQ(n.hw_count, 0);
  EXPECT_DOUBLE_EQ(n.irq_count, 6029);
  EXPECT_DOUBLE_EQ(n.softirq_count, 2);
  EXPECT_DOUBLE_EQ(n.thread_count, 21);
  EXPECT_EQ(str(n.dominant), "IRQ");
  EXPECT_FALSE(osnoise(fixture("rtla-6.1-osnoise-top-no-osnoise-tracer.txt")));
}

TEST_F(ParserTest, OsnoiseRows) {
  EXPECT_FALSE(osnoise("0 1 2 3 4\n"));       // five numbers: ignored
  EXPECT_FALSE(osnoise("0 #1 2 3 4 5\n"));    // "#" tokens are not counted
  EXPECT_FALSE(osnoise("CPU 1 2 3 4 5 6\n"));  // not a per-CPU row
  ASSERT_TRUE(osnoise("0 #1 100 1 2 7 7 3\n"));
  EXPECT_EQ(str(n.dominant), "IRQ");  // a tie with softirq keeps the earlier class
  ASSERT_TRUE(osnoise("0 #1 100 0 0 0 0 0\n"));
  EXPECT_EQ(str(n.dominant), "hardware");
}

TEST_F(ParserTest, HwlatdetectLayoutsOf24) {
  ASSERT_TRUE(hwlat(fixture("hwlatdetect-2.4-layout-below-threshold-no-hwlat-tracer.txt")));
  EXPECT_EQ(h.samples_exceeding, 0);
  EXPECT_FALSE(h.max_us.has);
  ASSERT_TRUE(hwlat(fixture("hwlatdetect-2.4-layout-hits-no-hwlat-tracer.txt")));
  EXPECT_EQ(h.samples_exceeding, 3);
  EXPECT_DOUBLE_EQ(h.max_us.value, 23);
  EXPECT_FALSE(hwlat(fixture("hwlatdetect-no-hwlat-tracer.txt")));
  // Without a sample count, a maximum means one sample.
  ASSERT_TRUE(hwlat("Max Latency: 40us\n"));
  EXPECT_EQ(h.samples_exceeding, 1);
}

}  // namespace

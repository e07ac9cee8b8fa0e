// The metrics file over a Snapshot made in code, with hostile names wherever
// the machine names things: label values escaped, the whole file accepted by
// promtool, findings that share a series counted in one sample, and no
// score sample without a valid score.
#include <gtest/gtest.h>

#include <cstdlib>

#include "html_test_util.h"
#include "report/metrics_report.h"

namespace {

class MetricsReport : public HtmlPageTest {};

TEST_F(MetricsReport, HostileTextGivesAFilePromtoolAccepts) {
  fill_rich(true);
  snap->release = sv("6.1\"\\\n\xff-rt\x01");
  add("irq.on_isolated", Category::irq, Severity::fail, "a second interrupt");
  report.score_valid = false;
  Capture cap;
  write_metrics_report(&report, 1800000000, cap.f());
  std::string m = cap.text();
  EXPECT_NE(m.find("kelvane_info{version=\"1.0.1-beta\",profile=\"hard-rt\",target_us=\"100\","
                   "kernel=\"6.1\\\"\\\\\\n\xEF\xBF\xBD-rt\xEF\xBF\xBD\",preempt_rt=\"true\"} 1\n"),
            std::string::npos)
      << m;
  EXPECT_EQ(count_of(m, "kelvane_finding{id=\"irq.on_isolated\""), 1u);
  EXPECT_NE(m.find("{id=\"irq.on_isolated\",category=\"irq\",severity=\"fail\"} 2\n"),
            std::string::npos);
  EXPECT_NE(m.find("kelvane_measured_latency_seconds{cpu=\"3\",stat=\"max\"} 0.00014\n"),
            std::string::npos);
  EXPECT_EQ(m.find("kelvane_score"), std::string::npos);
  if (std::system("command -v promtool >/dev/null") != 0) GTEST_SKIP() << "promtool missing";
  TempDir dir;
  dir.write("k.prom", m);
  EXPECT_EQ(std::system(("promtool check metrics <" + dir.file("k.prom")).c_str()), 0);
}

}  // namespace

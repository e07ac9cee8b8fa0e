#include "report/html_report.h"

#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"
#include "html_test_util.h"
#include "report/json_report.h"
#include "text_test_util.h"

namespace {

using HtmlReport = HtmlPageTest;

// The text between the first occurrence of from and the next of to.
std::string between(const std::string& s, const std::string& from, const std::string& to) {
  size_t b = s.find(from);
  if (b == std::string::npos) return "<missing " + from + ">";
  size_t e = s.find(to, b + from.size());
  return e == std::string::npos ? s.substr(b) : s.substr(b, e - b);
}

bool valid_utf8(const std::string& s) {
  auto p = reinterpret_cast<const unsigned char*>(s.data());
  for (size_t i = 0, bad = 0; i < s.size();) {
    size_t n = utf8_sequence_length(p + i, s.size() - i, &bad);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

TEST_F(HtmlReport, HostIsEscapedInTitleAndHeading) {
  snap->host = sv("a<b&c");
  std::string p = page();
  EXPECT_NE(p.find("<title>RT analysis - a&lt;b&amp;c</title>"), std::string::npos);
  EXPECT_NE(p.find("<h1>Real-time system analysis &mdash; a&lt;b&amp;c</h1>"), std::string::npos);
}

TEST_F(HtmlReport, ScorePanel) {
  std::string p = page();
  EXPECT_NE(p.find("<div class=\"score\">&mdash;</div>\n<div class=\"verdict\">unknown</div>"),
            std::string::npos);
  fill_findings(false);
  EXPECT_EQ(
      between(page(), "<div class=\"panel scorewrap\">", "<h2>"),
      "<div class=\"panel scorewrap\">\n<div>\n<div class=\"score\">61<span>/100</span></div>\n"
      "<div class=\"verdict\">marginal</div>\n</div>\n<div class=\"cats\">\n"
      "<div class=\"cat\"><span>Kernel &amp; preemption</span><span class=\"bar\"><i "
      "style=\"width:88%;background:var(--pass)\"></i></span><span class=\"num\">88</span>"
      "</div>\n<div class=\"cat\"><span>IRQ affinity</span><span class=\"bar\"><i "
      "style=\"width:40%;background:var(--fail)\"></i></span><span class=\"num\">40</span>"
      "</div>\n<div class=\"cat\"><span>Thread scheduling</span><span class=\"bar\"><i "
      "style=\"width:60%;background:var(--warn)\"></i></span><span class=\"num\">60</span>"
      "</div>\n</div>\n</div>\n");
}

TEST_F(HtmlReport, FindingsOpenWhenTheyNeedActionAndGroupBySeverity) {
  fill_findings(false);
  std::string p = page();
  const char* order[] = {"<details class=\"f fail\" open>", "<details class=\"f warn\" open>",
                         "<details class=\"f unknown\">", "<details class=\"f pass\">",
                         "<details class=\"f na\">"};
  size_t at = 0;
  for (const char* block : order) {
    size_t next = p.find(block, at);
    ASSERT_NE(next, std::string::npos) << block;
    at = next;
  }
  EXPECT_EQ(count_of(p, "<details "), 6u);
  EXPECT_NE(p.find("<span class=\"mark\">&ndash;</span><span class=\"ttl\">Interrupt routing"),
            std::string::npos);
}

TEST_F(HtmlReport, PlanPutsBootParametersIntoOneCommandLine) {
  fill_findings(false);
  std::string plan = between(page(), "<h2>What to do</h2>", "<h2>Findings</h2>");
  EXPECT_NE(plan.find("<li><strong>Set the kernel command line</strong>\n<p>1 of the findings "
                      "below"),
            std::string::npos);
  EXPECT_NE(plan.find("<pre class=\"fix\">isolcpus=domain,2,3 nohz_full=2,3</pre>"),
            std::string::npos);
  EXPECT_NE(plan.find("<li>Isolated CPUs still take the scheduler tick: 2-3</li>"),
            std::string::npos);
  // The regular item writes /proc: the note and the unit follow the list.
  EXPECT_NE(plan.find("</ol>\n<p>Items above that write to /proc or /sys"), std::string::npos);
  EXPECT_NE(plan.find("[Unit]\nDescription=Real-time tuning\n"), std::string::npos);
}

TEST_F(HtmlReport, PlanWithoutCombinedLineListsEveryItemOnItsOwn) {
  Finding* f = add("x.blank", Category::noise, Severity::fail, "Blank boot parameters");
  finding_set_remediation(f, sv("Fix the boot loader."));
  finding_set_cmdline(f, sv(" \t "));
  std::string p = page();
  EXPECT_EQ(p.find("Set the kernel command line"), std::string::npos);
  EXPECT_NE(p.find("<li><strong>Blank boot parameters</strong>\n<pre class=\"fix\">Fix the boot "
                   "loader.</pre></li>\n</ol>\n</div>\n"),
            std::string::npos);
}

TEST_F(HtmlReport, HeatMapDrawsRatesForAnySamplingWindow) {
  fill_rich(false);
  std::string p = page();
  std::string map = between(p, "<h2>Interrupt distribution</h2>", "<h2>Idle states</h2>");
  // 400 interrupts over 2 s are 200/s, the busiest cell, fully opaque.
  EXPECT_NE(map.find("fill=\"var(--accent)\" opacity=\"1.000\"><title>eth0-rx-0 on CPU 0: "
                     "200/s</title>"),
            std::string::npos);
  EXPECT_NE(map.find("<title>eth0-rx-0 on CPU 2: 5/s</title>"), std::string::npos);
  EXPECT_NE(map.find("<title>ahci[0000:00:17.0] on CPU 2: 0.5/s</title>"), std::string::npos);
  EXPECT_NE(map.find("Interrupts per second over a 2.0 s sample. Shaded columns are isolated CPUs "
                     "2,3; interrupts landing there are highlighted."),
            std::string::npos);
  // Three rows fired (IRQ 26 did not), four columns; isolated columns shaded.
  EXPECT_NE(map.find("<svg width=\"220\" height=\"106\" viewBox=\"0 0 220 106\""),
            std::string::npos);
  EXPECT_EQ(count_of(map, "opacity=\".07\"/>"), 2u);
  EXPECT_EQ(count_of(map, "<title>"), 5u);
  EXPECT_EQ(map.find("i8042"), std::string::npos);
}

TEST_F(HtmlReport, HeatMapWithoutSamplingShowsCountsSinceBoot) {
  fill_rich(false);
  snap->sampled = false;
  std::string map = between(page(), "<h2>Interrupt distribution</h2>", "<h2>Idle states</h2>");
  EXPECT_NE(map.find("opacity=\"1.000\"><title>eth0-rx-0 on CPU 0: 90000</title>"),
            std::string::npos);
  EXPECT_NE(map.find("Cumulative counts since boot (no live sampling). "), std::string::npos);
  EXPECT_EQ(map.find("/s<"), std::string::npos);
}

TEST_F(HtmlReport, HeatMapKeepsTheFirst24RowsAnd64Columns) {
  snap->online = cpus("0-69");
  for (int i = 0; i < 30; i++) {
    IrqInfo* irq = add_irq("40", "q");
    add_count(irq, i, 1, 0);
    add_count(irq, 69, 5, 0);
  }
  std::string p = page();
  EXPECT_NE(p.find("<svg width=\"1780\" height=\"652\""), std::string::npos);
  EXPECT_EQ(count_of(p, "text-anchor=\"middle\" fill=\"currentColor\" opacity=\".6\">"), 64u);
  EXPECT_EQ(count_of(p, "text-anchor=\"end\" fill=\"currentColor\" opacity=\".75\">q</text>"), 24u);
  // CPU 69 has no column, yet its count of 5 sets the scale.
  EXPECT_NE(p.find("opacity=\"0.479\"><title>q on CPU 0: 1</title>"), std::string::npos);
  snap->irqs.count = 1;
  snap->irqs[0].per_cpu.count = 1;  // a value of 1 against M = 1
  EXPECT_NE(page().find("opacity=\"1.000\"><title>q on CPU 0: 1</title>"), std::string::npos);
}

TEST_F(HtmlReport, DeviceLabelIsCutBeforeEscaping) {
  snap->online = cpus("0");
  const char* devices[] = {"nvme0q1, nvme0q2, nvme0q3", "&&&&&&&&&&&&&&&&&&&&",
                           "a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"};
  for (const char* d : devices) add_count(add_irq("1", d), 0, 1, 0);
  std::string p = page();
  EXPECT_NE(p.find("opacity=\".75\">nvme0q1, nvme0q2</text>"), std::string::npos);
  EXPECT_NE(p.find("<title>nvme0q1, nvme0q2, nvme0q3 on CPU 0"), std::string::npos);
  std::string amps;
  for (int i = 0; i < 16; i++) amps += "&amp;";
  EXPECT_NE(p.find("opacity=\".75\">" + amps + "</text>"), std::string::npos);
  EXPECT_NE(
      p.find("opacity=\".75\">a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9</text>"),
      std::string::npos);
}

TEST_F(HtmlReport, NoHeatMapWithoutInterruptsThatFired) {
  snap->online = cpus("0-1");
  add_count(add_irq("1", "timer"), 0, 0, 0);
  EXPECT_EQ(page().find("Interrupt distribution"), std::string::npos);
}

TEST_F(HtmlReport, IdleStateTableShowsEachCpusFloor) {
  EXPECT_EQ(page().find("Idle states"), std::string::npos);
  fill_rich(false);
  std::string idle = between(page(), "<h2>Idle states</h2>", "<div class=\"foot\">");
  EXPECT_NE(idle.find("<th>CPU</th><th>POLL<br><span class=\"unit\">0.0 \xC2\xB5s</span></th><th>C1"
                      "<br><span class=\"unit\">2.0 \xC2\xB5s</span></th><th>C6<br><span "
                      "class=\"unit\">133 \xC2\xB5s</span></th><th>Latency floor</th>"),
            std::string::npos);
  EXPECT_NE(idle.find("<tr><td>0</td><td class=\"on\">on</td><td class=\"on\">on</td><td "
                      "class=\"on\">on</td><td><strong>133 \xC2\xB5s</strong></td></tr>"),
            std::string::npos);
  EXPECT_NE(idle.find("<tr><td>3</td><td class=\"on\">on</td><td class=\"on\">on</td><td "
                      "class=\"off\">off</td><td><strong>2.0 \xC2\xB5s</strong></td></tr>"),
            std::string::npos);
}

TEST_F(HtmlReport, IdleStateCellsStayUnderTheirStateWhenTheFirstCpuLacksOne) {
  fill_rich(false);
  List<IdleState>& cpu0 = snap->cpuidle[0].states;  // POLL, C1, C6: drop C1
  cpu0[1] = cpu0[2];
  cpu0.count = 2;
  std::string idle = between(page(), "<h2>Idle states</h2>", "<div class=\"foot\">");
  EXPECT_NE(idle.find("</th><th>C1<br>"), std::string::npos);
  EXPECT_NE(idle.find("<tr><td>0</td><td class=\"on\">on</td><td></td><td class=\"on\">on</td>"
                      "<td><strong>133 \xC2\xB5s</strong></td></tr>"),
            std::string::npos);
}

TEST_F(HtmlReport, MeasuredLatencyTable) {
  EXPECT_EQ(page().find("Measured latency"), std::string::npos);
  fill_rich(false);
  snap->measured.per_cpu[0].min_us.has = false;
  std::string m = between(page(), "<h2>Measured latency</h2>", "<h2>");
  EXPECT_NE(m.find("<tr><td><strong>all</strong></td><td><strong>1.0 \xC2\xB5s</strong></td><td>"
                   "<strong>2.5 \xC2\xB5s</strong></td><td><strong>140 \xC2\xB5s</strong></td>"
                   "</tr>\n<tr><td>2</td><td>n/a</td>"),
            std::string::npos);
  EXPECT_NE(m.find(">cyclictest over 60 s on CPUs 2,3.</p>\n</div>\n"), std::string::npos);
}

TEST_F(HtmlReport, HistogramPerMeasuredCpu) {
  fill_rich(false);
  std::string h = between(page(), "<h2>Latency histograms</h2>", "<h2>Findings</h2>");
  EXPECT_EQ(count_of(h, "<figure class=\"hist\">"), 2u);
  EXPECT_NE(h.find("aria-label=\"Latency histogram of CPU 2\""), std::string::npos);
  // Log scale: one sample is the 2 px minimum, 30000 (under 10^5) reaches
  // 2 + 158 * log10(30000) / 5 px; the axis reaches the 100 us target.
  EXPECT_NE(h.find("height=\"2.0\" fill=\"var(--accent)\"><title>23 &micro;s: 1 samples"),
            std::string::npos);
  EXPECT_NE(h.find("height=\"143.5\" fill=\"var(--accent)\"><title>1 &micro;s: 30000 samples"),
            std::string::npos);
  EXPECT_NE(h.find("stroke-dasharray=\"5 3\"/>"), std::string::npos);
  EXPECT_NE(h.find(">target 100 \xC2\xB5s</text>"), std::string::npos);
  EXPECT_NE(h.find("fill=\"var(--pass)\">worst 23 \xC2\xB5s</text>"), std::string::npos);
  // CPU 3 missed the target: its worst mark and late bins are in the fail colour.
  EXPECT_NE(h.find("fill=\"var(--fail)\">worst 140 \xC2\xB5s</text>"), std::string::npos);
  EXPECT_NE(h.find("<figcaption>CPU 3: 59006 samples, worst 140 \xC2\xB5s, target 100 \xC2\xB5s. "
                   "1 sample above the histogram's last bin is not drawn.</figcaption>"),
            std::string::npos);
}

TEST_F(HtmlReport, HistogramAxisLeavesOutAFarTarget) {
  fill_rich(false);
  report.target_us = 1000;  // more than four times CPU 2's extent of 24 us
  std::string h = between(page(), "aria-label=\"Latency histogram of CPU 2\"", "</figure>");
  EXPECT_EQ(h.find("target 1.0 ms</text>"), std::string::npos);
  EXPECT_NE(h.find(", target 1.0 ms (beyond the axis).</figcaption>"), std::string::npos);
  // The axis ends at 25 us in steps of 5.
  EXPECT_NE(h.find("opacity=\".6\">25</text>"), std::string::npos);
}

TEST_F(HtmlReport, NoHistogramWithoutBins) {
  fill_rich(false);
  for (PerCpuLatency& c : snap->measured.per_cpu) c.histogram = {};
  EXPECT_EQ(page().find("Latency histograms"), std::string::npos);
}

TEST_F(HtmlReport, HistogramBinsStayOutOfTheJsonDocument) {
  fill_rich(false);
  Capture c;
  write_json_report(&report, c.f());
  std::string doc = c.text();
  EXPECT_EQ(doc.find("hist"), std::string::npos);
  EXPECT_EQ(doc.find("30000"), std::string::npos);
}

TEST_F(HtmlReport, FooterCountsUnreadablePaths) {
  fill_rich(false);
  std::string p = page();
  EXPECT_NE(p.find("<div class=\"foot\">Generated by kelvane 1.0.1-beta &middot; source: live "
                   "system &middot; 1 path could not be read</div>\n</div>\n</body>\n</html>\n"),
            std::string::npos);
  list_push(&arena, &snap->read_errors, ReadError{sv("/proc/x"), sv("EACCES")});
  EXPECT_NE(page().find("2 paths could not be read"), std::string::npos);
}

TEST_F(HtmlReport, HostileNamesNeverBecomeMarkup) {
  fill_rich(true);
  std::string p = page();
  EXPECT_TRUE(valid_utf8(p));
  EXPECT_EQ(p.find("<script"), std::string::npos);
  EXPECT_EQ(p.find("<img"), std::string::npos);
  EXPECT_NE(p.find("<title>RT analysis - &lt;script&gt;alert(1)&lt;/script&gt;</title>"),
            std::string::npos);
  EXPECT_NE(p.find("<div class=\"meta\">&quot;&gt;&lt;img src=x onerror=alert(1)&gt; &middot;"),
            std::string::npos);
  EXPECT_NE(p.find("source: a&amp;amp;b"), std::string::npos);
}

TEST_F(HtmlReport, NoSnapshotWritesTheEmptyPage) {
  report.snapshot = nullptr;
  std::string p = page();
  EXPECT_NE(p.find("<div class=\"meta\"> &middot; 0 CPUs &middot; profile hard-rt</div>"),
            std::string::npos);
  EXPECT_EQ(p.substr(p.size() - 8), "</html>\n");
}

}  // namespace

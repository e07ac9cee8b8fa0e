#include "report/report_read.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "collect/snapshot.h"
#include "report/diff.h"
#include "report/json_report.h"
#include "report/text_test_util.h"
#include "test_util.h"

namespace {

class ReportReadTest : public ArenaTest {
 protected:
  bool read(const std::string& doc) {
    out = Report{};
    return report_read_json(&arena, sv_make(doc.data(), doc.size()), &out);
  }
  Report out;
};

// What the JSON writer writes, the reader reads back: scores, the findings
// with their texts and evidence, the version that wrote it.
TEST_F(ReportReadTest, ReadsBackWhatTheJsonReportWrites) {
  Snapshot* snap = arena_new<Snapshot>(&arena);
  snap->arena = &arena;
  snap->tool_version = sv("1.0.1-beta");
  snap->host = sv("box\x01");
  Report r = {};
  r.arena = &arena;
  r.snapshot = snap;
  r.profile = Profile::low_latency;
  r.target_us = 250;
  r.score_valid = true;
  r.score = 71;
  r.category_scored[2] = true;
  r.category_score[2] = 64;
  Finding* f = add_finding(&r, "irq.on_isolated", Category::irq, Severity::fail,
                           sv("Interrupt \"eth0\"\n on CPU 2 \xC3\xA9"));
  finding_set_detail(f, sv("seen"));
  finding_set_weight(f, 2.5);
  finding_add_evidence_cstr(&r, f, "/proc/irq/24/effective_affinity_list", sv("2"));
  add_finding(&r, "irq.default_affinity", Category::irq, Severity::na, sv("n/a"));
  Capture c;
  write_json_report(&r, c.f());

  ASSERT_TRUE(read(c.text()));
  EXPECT_EQ(str(out.snapshot->tool_version), "1.0.1-beta");
  EXPECT_EQ(str(out.snapshot->host), "box\x01");
  EXPECT_EQ(out.profile, Profile::low_latency);
  EXPECT_EQ(out.target_us, 250);
  EXPECT_TRUE(out.score_valid);
  EXPECT_EQ(out.score, 71);
  EXPECT_TRUE(out.category_scored[2]);
  EXPECT_EQ(out.category_score[2], 64);
  EXPECT_FALSE(out.category_scored[0]);
  ASSERT_EQ(out.findings.count, 2u);
  const Finding* g = out.findings[0];
  EXPECT_STREQ(g->id, "irq.on_isolated");
  EXPECT_EQ(g->category, Category::irq);
  EXPECT_EQ(g->severity, Severity::fail);
  EXPECT_EQ(str(g->title), "Interrupt \"eth0\"\n on CPU 2 \xC3\xA9");
  EXPECT_EQ(str(g->detail), "seen");
  EXPECT_FALSE(sv_present(g->impact));
  EXPECT_EQ(g->weight, 2.5);
  ASSERT_EQ(g->evidence.count, 1u);
  EXPECT_EQ(str(g->evidence[0].key), "/proc/irq/24/effective_affinity_list");
  EXPECT_EQ(out.findings[1]->severity, Severity::na);
}

// A report of another version: members this one does not know are skipped,
// members it lacks are optional, unknown names read as na and "other".
TEST_F(ReportReadTest, ReportsOfAnotherVersionRead) {
  ASSERT_TRUE(read(R"({"tool_version": "2.0", "score": null, "extra": [1, 2],
      "category_scores": {"preemption": 40, "quantum": 7},
      "findings": [{"id": "q.x", "category": "quantum", "severity": "info", "title": "t",
                    "evidence": [["k", "v"], ["lonely"], 5]}]})"));
  EXPECT_FALSE(out.score_valid);
  EXPECT_EQ(out.profile, Profile::hard_rt);
  EXPECT_TRUE(out.category_scored[0]);
  ASSERT_EQ(out.findings.count, 1u);
  EXPECT_EQ(out.findings[0]->severity, Severity::na);
  EXPECT_STREQ(category_id(out.findings[0]->category), "other");
  EXPECT_EQ(out.findings[0]->evidence.count, 1u);
}

TEST_F(ReportReadTest, RefusesWhatKelvaneDidNotWrite) {
  const char* bad[] = {
      "",
      "not json",
      "[1, 2]",
      R"({"a": 1})",
      R"({"tool_version": "1", "score": 5, "category_scores": {}})",
      R"({"tool_version": "1", "score": 101, "category_scores": {}, "findings": []})",
      R"({"tool_version": "1", "score": "5", "category_scores": {}, "findings": []})",
      R"({"tool_version": "1", "score": 5, "category_scores": {"irq": -1}, "findings": []})",
      R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": [{"id": "x"}]})",
      R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": [7]})",
      R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": []} trailing)",
      "{\"tool_version\": \"\xFF\", \"score\": 5, \"category_scores\": {}, \"findings\": []}",
      R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": [)",
      R"({"tool_version": "1", "score": 5, "score": 90, "category_scores": {}, "findings": []})",
      R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": [{"id": "a",
          "category": "irq", "severity": "pass", "title": "t", "title": "u"}]})",
  };
  for (const char* doc : bad) {
    SCOPED_TRACE(doc);
    EXPECT_FALSE(read(doc));
  }
  EXPECT_TRUE(read(R"({"tool_version": "1", "score": 5, "category_scores": {}, "findings": []})"));
}

}  // namespace

namespace {

// Every seed and kept fuzz input is read (or refused) without harm; the
// ones that read diff against themselves with no change.
TEST_F(ReportReadTest, KeptFuzzInputs) {
  size_t seen = 0;
  for (const std::string& dir : {tests_dir() + "/fixtures/fuzz/report_read",
                                tests_dir() + "/../fuzz/seeds/report_read"}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      SCOPED_TRACE(entry.path().string());
      seen++;
      if (!read(read_file(entry.path().string()))) continue;
      ReportDiff d = {};
      diff_reports(&arena, &out, &out, &d);
      EXPECT_FALSE(diff_changed(&d));
      EXPECT_EQ(diff_exit_status(&d), 0);
    }
  }
  EXPECT_GE(seen, 8u);
}

}  // namespace

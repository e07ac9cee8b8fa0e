#include "report/diff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect/snapshot.h"
#include "test_util.h"

namespace {

// A finding on one side: id, severity and, when it names a thing, the first
// evidence key.
struct Side {
  const char* id;
  Severity sev;
  const char* subject;
};

class DiffTest : public ArenaTest {
 protected:
  Report* report(std::initializer_list<Side> findings, int32_t score = 50) {
    Report* r = arena_new<Report>(&arena);
    r->arena = &arena;
    r->score_valid = true;
    r->score = score;
    for (const Side& s : findings) {
      Finding* f = add_finding(r, s.id, Category::irq, s.sev, sv(s.id));
      if (s.subject) finding_add_evidence_cstr(r, f, s.subject, sv("x"));
    }
    return r;
  }

  // "id:old>new" per entry, "-" for a missing side.
  static std::string list(const List<DiffEntry>& l) {
    std::string out;
    for (const DiffEntry& e : l) {
      const Finding* f = diff_entry_finding(&e);
      if (!out.empty()) out += " ";
      out += std::string(f->id) + ":" + (e.old_f ? severity_name(e.old_f->severity) : "-") + ">" +
             (e.new_f ? severity_name(e.new_f->severity) : "-");
    }
    return out;
  }
};

struct ClassCase {
  Severity before;
  bool has_before;
  Severity after;
  bool has_after;
  const char* list;  // "fixed", "regressed", "open" or "" for none
};

TEST_F(DiffTest, SortsEachChangeIntoItsList) {
  using S = Severity;
  const ClassCase cases[] = {
      {S::warn, true, S::pass, true, "fixed"},     {S::fail, true, S::pass, true, "fixed"},
      {S::fail, true, S::pass, false, "fixed"},    {S::warn, true, S::pass, false, "fixed"},
      {S::pass, true, S::warn, true, "regressed"}, {S::warn, true, S::fail, true, "regressed"},
      {S::unknown, true, S::warn, true, "regressed"}, {S::pass, false, S::fail, true, "regressed"},
      {S::na, true, S::fail, true, "regressed"},   {S::fail, true, S::warn, true, "open"},
      {S::warn, true, S::warn, true, "open"},      {S::warn, true, S::unknown, true, "open"},
      {S::pass, true, S::pass, true, ""},          {S::pass, false, S::pass, true, ""},
      {S::pass, true, S::unknown, true, ""},       {S::unknown, true, S::pass, false, ""},
  };
  for (const ClassCase& c : cases) {
    SCOPED_TRACE(std::string(severity_name(c.before)) + (c.has_before ? "" : "(absent)") + " > " +
                 severity_name(c.after) + (c.has_after ? "" : "(absent)"));
    Report* o = c.has_before ? report({{"irq.x", c.before, nullptr}}) : report({});
    Report* n = c.has_after ? report({{"irq.x", c.after, nullptr}}) : report({});
    ReportDiff d = {};
    diff_reports(&arena, o, n, &d);
    std::string where = d.fixed.count ? "fixed" : d.regressed.count ? "regressed"
                                                  : d.still_open.count ? "open" : "";
    EXPECT_EQ(where, c.list);
    EXPECT_EQ(d.fixed.count + d.regressed.count + d.still_open.count, where.empty() ? 0u : 1u);
    EXPECT_EQ(diff_exit_status(&d), where == "regressed" ? 1 : 0);
  }
}

// Two measurements under different conditions: their latency findings are
// still open, whichever way they moved, and the difference is named.
TEST_F(DiffTest, MeasurementsUnderDifferentConditionsAreNotCompared) {
  struct Row { int32_t old_prio; const char* old_load; const char* differ; };
  for (Row r : {Row{95, "none", "<none>"}, Row{99, "stress-ng", "priority 99 -> 95; load stress-ng -> none"},
                Row{0, "", "the old report's conditions are not recorded"}}) {
    Report* sides[2];
    for (int i = 0; i < 2; i++) {
      sides[i] = report({});
      add_finding(sides[i], "measured.worst", Category::measured, i ? Severity::fail : Severity::pass,
                  sv("worst"));
      Snapshot* s = arena_new<Snapshot>(&arena);
      s->measured.valid = true;
      s->measured.cond.priority = i ? 95 : r.old_prio;
      s->measured.cond.load = sv(i ? "none" : r.old_load);
      sides[i]->snapshot = s;
    }
    ReportDiff d = {};
    diff_reports(&arena, sides[0], sides[1], &d);
    EXPECT_EQ(str(d.conditions_differ), r.differ);
    EXPECT_EQ(d.regressed.count, r.old_prio == 95 ? 1u : 0u);
    EXPECT_EQ(d.still_open.count, r.old_prio == 95 ? 0u : 1u);
  }
}

// An id that stands several times, once per interrupt, is matched by the
// thing it names, not by its place in the report.
TEST_F(DiffTest, RepeatedIdsMatchBySubject) {
  Report* o = report({{"irq.on_isolated", Severity::warn, "/proc/irq/24/x"},
                      {"irq.on_isolated", Severity::fail, "/proc/irq/25/x"}});
  Report* n = report({{"irq.on_isolated", Severity::fail, "/proc/irq/25/x"},
                      {"irq.on_isolated", Severity::fail, "/proc/irq/26/x"},
                      {"irq.on_isolated", Severity::pass, "/proc/irq/24/x"}});
  ReportDiff d = {};
  diff_reports(&arena, o, n, &d);
  EXPECT_EQ(list(d.fixed), "irq.on_isolated:warn>pass");
  EXPECT_EQ(list(d.regressed), "irq.on_isolated:->fail");
  ASSERT_EQ(d.still_open.count, 1u);
  EXPECT_EQ(str(d.still_open[0].new_f->evidence[0].key), "/proc/irq/25/x");
}

// One finding a side matches by id alone, even when what it names changed.
TEST_F(DiffTest, SingleIdsMatchWhateverTheyName) {
  Report* o = report({{"irq.on_isolated", Severity::warn, "/proc/irq/24/x"}});
  Report* n = report({{"irq.on_isolated", Severity::fail, "/proc/irq/30/x"}});
  ReportDiff d = {};
  diff_reports(&arena, o, n, &d);
  EXPECT_EQ(list(d.regressed), "irq.on_isolated:warn>fail");
  EXPECT_EQ(d.fixed.count + d.still_open.count, 0u);
}

TEST_F(DiffTest, ListsAreOrderedByCategoryAndId) {
  Report* o = report({});
  Report* n = report({{"irq.b", Severity::warn, nullptr},
                      {"irq.a", Severity::fail, nullptr},
                      {"irq.c", Severity::warn, nullptr}});
  n->findings[2]->category = Category::preemption;
  ReportDiff d = {};
  diff_reports(&arena, o, n, &d);
  EXPECT_EQ(list(d.regressed), "irq.c:->warn irq.a:->fail irq.b:->warn");
}

TEST_F(DiffTest, ScoreDropAloneFailsTheDiff) {
  ReportDiff d = {};
  diff_reports(&arena, report({}, 80), report({}, 79), &d);
  EXPECT_TRUE(diff_score_dropped(&d));
  EXPECT_TRUE(diff_changed(&d));
  EXPECT_EQ(diff_exit_status(&d), 1);

  Report* unknown = report({}, 0);
  unknown->score_valid = false;
  diff_reports(&arena, report({}, 80), unknown, &d);
  EXPECT_FALSE(diff_score_dropped(&d));
  EXPECT_EQ(diff_exit_status(&d), 0);
}

TEST_F(DiffTest, SameReportsShowNoChange) {
  Report* o = report({{"irq.a", Severity::warn, nullptr}, {"irq.b", Severity::pass, nullptr}});
  ReportDiff d = {};
  diff_reports(&arena, o, o, &d);
  EXPECT_FALSE(diff_changed(&d));
  EXPECT_EQ(list(d.still_open), "irq.a:warn>warn");
  EXPECT_EQ(diff_exit_status(&d), 0);
}

}  // namespace

#include "rules/finding.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace {

TEST(SeverityTable, NamesTagsRanksAndFactors) {
  struct Row {
    Severity s;
    const char* name;
    const char* ascii;
    const char* symbol;
    int rank;
    double factor;
    bool scored;
  };
  const Row rows[] = {
      {Severity::pass, "pass", "[OK]", "\xE2\x9C\x93", 3, 1.0, true},
      {Severity::warn, "warn", "[!!]", "\xE2\x9A\xA0", 1, 0.5, true},
      {Severity::fail, "fail", "[XX]", "\xE2\x9C\x97", 0, 0.0, true},
      {Severity::unknown, "unknown", "[??]", "?", 2, 0.0, false},
      {Severity::na, "na", "[--]", "-", 4, 0.0, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(severity_name(r.s), r.name);
    EXPECT_STREQ(severity_tag(r.s, true), r.ascii);
    EXPECT_STREQ(severity_tag(r.s, false), r.symbol);
    EXPECT_EQ(severity_rank(r.s), r.rank);
    EXPECT_DOUBLE_EQ(severity_factor(r.s), r.factor);
    EXPECT_EQ(severity_is_scored(r.s), r.scored);
  }
}

TEST(SeverityTable, ValuesAboveFourReadAsNa) {
  for (int v : {5, 17, 255}) {
    Severity s = static_cast<Severity>(v);
    EXPECT_STREQ(severity_name(s), "na");
    EXPECT_STREQ(severity_tag(s, true), "[--]");
    EXPECT_STREQ(severity_tag(s, false), "-");
    EXPECT_EQ(severity_rank(s), 4);
    EXPECT_DOUBLE_EQ(severity_factor(s), 0.0);
    EXPECT_FALSE(severity_is_scored(s));
  }
}

TEST(CategoryTable, IdsNamesAndBothWeightColumns) {
  struct Row {
    const char* id;
    const char* name;
    int32_t weight;
    int32_t measured;
  };
  const Row rows[kCategoryCount] = {
      {"preemption", "Kernel & preemption", 25, 19},
      {"isolation", "CPU isolation", 25, 19},
      {"irq", "IRQ affinity", 20, 15},
      {"scheduling", "Thread scheduling", 15, 11},
      {"power", "Frequency & C-states", 10, 8},
      {"noise", "System noise", 5, 3},
      {"measured", "Measured latency", 0, 25},
  };
  int32_t plain = 0, with = 0;
  for (int i = 0; i < kCategoryCount; i++) {
    Category c = static_cast<Category>(i);
    EXPECT_STREQ(category_id(c), rows[i].id);
    EXPECT_STREQ(category_name(c), rows[i].name);
    EXPECT_EQ(category_weight(c, false), rows[i].weight);
    EXPECT_EQ(category_weight(c, true), rows[i].measured);
    plain += category_weight(c, false);
    with += category_weight(c, true);
  }
  EXPECT_EQ(plain, 100);
  EXPECT_EQ(with, 100);
}

TEST(CategoryTable, ValuesAboveSixAreOther) {
  Category c = static_cast<Category>(7);
  EXPECT_STREQ(category_id(c), "other");
  EXPECT_STREQ(category_name(c), "Other");
  EXPECT_EQ(category_weight(c, false), 0);
  EXPECT_EQ(category_weight(c, true), 0);
}

TEST(ProfileTable, ParseNameAndDefaultTarget) {
  Profile p = Profile::low_latency;
  EXPECT_TRUE(parse_profile("hard-rt", &p));
  EXPECT_EQ(p, Profile::hard_rt);
  EXPECT_TRUE(parse_profile("low-latency", &p));
  EXPECT_EQ(p, Profile::low_latency);

  // Anything but the exact names fails and leaves the output alone.
  for (const char* bad : {"", "Hard-RT", "hard-rt ", "low", "low-latencyx", "hard_rt"}) {
    p = Profile::low_latency;
    EXPECT_FALSE(parse_profile(bad, &p)) << bad;
    EXPECT_EQ(p, Profile::low_latency) << bad;
  }
  EXPECT_FALSE(parse_profile(nullptr, &p));
  EXPECT_EQ(p, Profile::low_latency);

  EXPECT_STREQ(profile_name(Profile::hard_rt), "hard-rt");
  EXPECT_STREQ(profile_name(Profile::low_latency), "low-latency");
  EXPECT_STREQ(profile_name(static_cast<Profile>(9)), "hard-rt");
  EXPECT_DOUBLE_EQ(default_target_us(Profile::hard_rt), 100.0);
  EXPECT_DOUBLE_EQ(default_target_us(Profile::low_latency), 1000.0);
  EXPECT_DOUBLE_EQ(default_target_us(static_cast<Profile>(9)), 100.0);
}

TEST(Verdict, BandEdges) {
  struct Case {
    int32_t score;
    const char* verdict;
  };
  const Case cases[] = {
      {100, "excellent"}, {90, "excellent"}, {89, "good"},       {75, "good"},
      {74, "marginal"},   {55, "marginal"},  {54, "poor"},       {35, "poor"},
      {34, "unsuitable"}, {0, "unsuitable"}, {-5, "unsuitable"},
  };
  for (const Case& c : cases) EXPECT_STREQ(verdict_name(true, c.score), c.verdict) << c.score;
  EXPECT_STREQ(verdict_name(false, 100), "unknown");
  EXPECT_STREQ(verdict_name(false, 0), "unknown");
  EXPECT_EQ(verdict_of(true, 75), Verdict::good);
  EXPECT_STREQ(verdict_text(Verdict::unsuitable), "unsuitable");
}

class FindingTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    report = Report{};
    report.arena = &arena;
  }
  Report report;
};

TEST_F(FindingTest, AddFindingSetsDefaultsAndAppends) {
  Finding* f = add_finding(&report, "noise.swap", Category::noise, Severity::warn, sv("Swap on"));
  ASSERT_EQ(report.findings.count, 1u);
  EXPECT_EQ(report.findings[0], f);
  EXPECT_STREQ(f->id, "noise.swap");
  EXPECT_EQ(f->category, Category::noise);
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(str(f->title), "Swap on");
  EXPECT_EQ(f->detail.len, 0u);
  EXPECT_EQ(f->impact.len, 0u);
  EXPECT_EQ(f->remediation.len, 0u);
  EXPECT_EQ(f->cmdline.len, 0u);
  EXPECT_EQ(f->evidence.count, 0u);
  EXPECT_DOUBLE_EQ(f->weight, 1.0);

  Finding* g = add_finding(&report, "noise.ksm", Category::noise, Severity::pass, sv("KSM off"));
  ASSERT_EQ(report.findings.count, 2u);
  EXPECT_EQ(report.findings[0], f);
  EXPECT_EQ(report.findings[1], g);
}

TEST_F(FindingTest, SettersStoreAndLaterCallsReplace) {
  Finding* f = add_finding(&report, "a.b", Category::irq, Severity::fail, sv("t"));
  finding_set_detail(f, sv("d1"));
  finding_set_detail(f, sv("d2"));
  finding_set_impact(f, sv("i"));
  finding_set_remediation(f, sv("r1"));
  finding_set_remediation(f, sv("r2"));
  finding_set_cmdline(f, sv("threadirqs"));
  finding_set_weight(f, 2.5);
  finding_set_weight(f, 0.25);
  EXPECT_EQ(str(f->detail), "d2");
  EXPECT_EQ(str(f->impact), "i");
  EXPECT_EQ(str(f->remediation), "r2");
  EXPECT_EQ(str(f->cmdline), "threadirqs");
  EXPECT_DOUBLE_EQ(f->weight, 0.25);
}

TEST_F(FindingTest, EvidenceKeepsCallOrderPastTheFirstCapacity) {
  Finding* f = add_finding(&report, "a.b", Category::irq, Severity::fail, sv("t"));
  // Interleave other allocations so the list cannot always grow in place.
  for (int i = 0; i < 20; i++) {
    std::string key = "/proc/irq/" + std::to_string(i);
    StrView k = arena_strndup(&arena, sv(key.c_str()));
    if (i % 2) {
      finding_add_evidence(&report, f, k, arena_sprintf(&arena, "v%d", i));
    } else {
      finding_add_evidence_cstr(&report, f, arena_cstr(&arena, k), arena_sprintf(&arena, "v%d", i));
    }
    add_finding(&report, "x.y", Category::irq, Severity::pass, sv("filler"));
  }
  ASSERT_EQ(f->evidence.count, 20u);
  EXPECT_GE(f->evidence.capacity, 20u);
  for (int i = 0; i < 20; i++) {
    EXPECT_EQ(str(f->evidence[i].key), "/proc/irq/" + std::to_string(i));
    EXPECT_EQ(str(f->evidence[i].value), "v" + std::to_string(i));
  }
  EXPECT_EQ(report.findings.count, 21u);
}

}  // namespace

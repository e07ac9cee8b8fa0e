#include <gtest/gtest.h>

#include <cmath>

#include "rules/finding.h"
#include "rules/rules.h"
#include "test_util.h"

namespace {

class ScoringTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    report = Report{};
    report.arena = &arena;
  }
  Finding* add(Category c, Severity s, double weight = 1.0, const char* id = "x.y") {
    Finding* f = add_finding(&report, id, c, s, sv("title"));
    finding_set_weight(f, weight);
    return f;
  }
  int32_t cat(Category c) { return report.category_score[static_cast<int>(c)]; }
  bool scored(Category c) { return report.category_scored[static_cast<int>(c)]; }
  Report report;
};

TEST_F(ScoringTest, NoScoredFindingMeansNoScore) {
  add(Category::preemption, Severity::unknown, 3);
  add(Category::irq, Severity::na);
  add(Category::noise, Severity::unknown);
  score_report(&report);
  EXPECT_FALSE(report.score_valid);
  EXPECT_EQ(report.score, 0);
  for (int c = 0; c < kCategoryCount; c++) {
    EXPECT_FALSE(report.category_scored[c]);
    EXPECT_EQ(report.category_score[c], 0);
  }
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "unknown");
}

TEST_F(ScoringTest, EmptyReportHasNoScore) {
  score_report(&report);
  EXPECT_FALSE(report.score_valid);
  EXPECT_EQ(report.score, 0);
}

TEST_F(ScoringTest, CategoryIsWeightedShareOfEarnedOverPossible) {
  add(Category::isolation, Severity::pass, 3);
  add(Category::isolation, Severity::fail, 1);
  add(Category::isolation, Severity::unknown, 5);  // counts for nothing
  score_report(&report);
  EXPECT_TRUE(scored(Category::isolation));
  EXPECT_EQ(cat(Category::isolation), 75);
  EXPECT_TRUE(report.score_valid);
  EXPECT_EQ(report.score, 75);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "good");
}

TEST_F(ScoringTest, OneWarnScoresHalf) {
  add(Category::irq, Severity::warn);
  score_report(&report);
  EXPECT_EQ(cat(Category::irq), 50);
  EXPECT_EQ(report.score, 50);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "poor");
}

TEST_F(ScoringTest, UnscoredCategoriesAreLeftOutAndWeightsRenormalised) {
  add(Category::preemption, Severity::pass);
  add(Category::noise, Severity::fail);
  score_report(&report);
  EXPECT_EQ(cat(Category::preemption), 100);
  EXPECT_EQ(cat(Category::noise), 0);
  EXPECT_TRUE(scored(Category::noise));
  EXPECT_FALSE(scored(Category::isolation));
  EXPECT_EQ(report.score, 83);  // 100 x 25 / 30 = 83.3
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "good");
}

TEST_F(ScoringTest, CategoryRoundsHalfUp) {
  add(Category::power, Severity::pass, 1);
  add(Category::power, Severity::fail, 7);  // 1/8 = 12.5%
  score_report(&report);
  EXPECT_EQ(cat(Category::power), 13);
  EXPECT_EQ(report.score, 13);
}

TEST_F(ScoringTest, OverallUsesUnroundedCategoryRatios) {
  // preemption 1/8 = 12.5 (shown as 13), isolation 0; equal weights.
  // From the ratios: 6.25 -> 6. From the rounded scores it would be 6.5 -> 7.
  add(Category::preemption, Severity::pass, 1);
  add(Category::preemption, Severity::fail, 7);
  add(Category::isolation, Severity::fail, 1);
  score_report(&report);
  EXPECT_EQ(cat(Category::preemption), 13);
  EXPECT_EQ(cat(Category::isolation), 0);
  EXPECT_EQ(report.score, 6);
}

TEST_F(ScoringTest, OverallRoundsHalfUp) {
  // preemption 0.75 and isolation 0.5 at 25 each: 62.5 -> 63.
  add(Category::preemption, Severity::pass, 1);
  add(Category::preemption, Severity::warn, 1);
  add(Category::isolation, Severity::warn, 1);
  score_report(&report);
  EXPECT_EQ(report.score, 63);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "marginal");
}

TEST_F(ScoringTest, OverallExactHalfRoundsUpDespiteBinaryFractions) {
  // irq 0.5 x 20 + noise 0.875 x 5 = 14.375 of 25: exactly 57.5 -> 58.
  // Dividing first gives 0.575 (not representable) x 100 = 57.4999... -> 57.
  add(Category::irq, Severity::warn);
  for (int i = 0; i < 3; i++) add(Category::noise, Severity::pass);
  add(Category::noise, Severity::warn);
  score_report(&report);
  EXPECT_EQ(cat(Category::irq), 50);
  EXPECT_EQ(cat(Category::noise), 88);
  EXPECT_EQ(report.score, 58);
  EXPECT_STREQ(verdict_name(report.score_valid, report.score), "marginal");
}

TEST_F(ScoringTest, CategoryExactHalfRoundsUpDespiteBinaryFractions) {
  // 7.25 earned of 50 possible is exactly 14.5% -> 15.
  add(Category::power, Severity::warn, 14.5);
  add(Category::power, Severity::fail, 35.5);
  score_report(&report);
  EXPECT_EQ(cat(Category::power), 15);
  EXPECT_EQ(report.score, 15);
}

TEST_F(ScoringTest, ZeroAndInvalidWeightsDoNotScore) {
  add(Category::preemption, Severity::fail, 0);
  add(Category::isolation, Severity::fail, -2);
  add(Category::irq, Severity::fail, std::nan(""));
  add(Category::scheduling, Severity::fail, INFINITY);
  add(Category::power, Severity::pass, INFINITY);
  add(Category::noise, Severity::pass, 1);
  score_report(&report);
  EXPECT_FALSE(scored(Category::preemption));
  EXPECT_FALSE(scored(Category::isolation));
  EXPECT_FALSE(scored(Category::irq));
  EXPECT_FALSE(scored(Category::scheduling));
  EXPECT_FALSE(scored(Category::power));
  EXPECT_TRUE(scored(Category::noise));
  EXPECT_EQ(report.score, 100);
}

TEST_F(ScoringTest, CategoriesOutsideTheTableCountForNothing) {
  add(static_cast<Category>(7), Severity::fail, 5);
  add(Category::scheduling, Severity::pass);
  score_report(&report);
  EXPECT_EQ(report.score, 100);
}

TEST_F(ScoringTest, MeasuredCategoryIgnoredWithoutMeasurement) {
  report.measured = false;
  add(Category::measured, Severity::fail, 3);
  add(Category::preemption, Severity::pass);
  score_report(&report);
  // The category still gets its own score, but weighs nothing overall.
  EXPECT_TRUE(scored(Category::measured));
  EXPECT_EQ(cat(Category::measured), 0);
  EXPECT_EQ(report.score, 100);

  report.findings.count = 1;  // only the measured fail
  score_report(&report);
  EXPECT_TRUE(scored(Category::measured));
  EXPECT_FALSE(report.score_valid);
  EXPECT_EQ(report.score, 0);
}

TEST_F(ScoringTest, MeasuredColumnWeighsTheMeasuredCategory) {
  report.measured = true;
  add(Category::measured, Severity::fail, 3);
  add(Category::preemption, Severity::pass);
  score_report(&report);
  EXPECT_EQ(report.score, 43);  // 100 x 19 / (19 + 25) = 43.2
}

TEST_F(ScoringTest, MeasuredColumnWithAllSevenCategories) {
  report.measured = true;
  add(Category::preemption, Severity::pass);  // 19
  add(Category::isolation, Severity::fail);   // 19
  add(Category::irq, Severity::pass);         // 15
  add(Category::scheduling, Severity::fail);  // 11
  add(Category::power, Severity::pass);       // 8
  add(Category::noise, Severity::fail);       // 3
  add(Category::measured, Severity::pass);    // 25
  score_report(&report);
  EXPECT_EQ(report.score, 67);  // 19 + 15 + 8 + 25
  report.measured = false;
  score_report(&report);
  EXPECT_EQ(report.score, 55);  // 25 + 20 + 10
}

TEST_F(ScoringTest, UnscoredMeasurementRenormalisesOverTheMeasuredColumn) {
  report.measured = true;
  add(Category::measured, Severity::unknown);
  add(Category::preemption, Severity::pass);  // 19
  add(Category::isolation, Severity::fail);   // 19
  add(Category::irq, Severity::fail);         // 15
  add(Category::scheduling, Severity::fail);  // 11
  add(Category::power, Severity::fail);       // 8
  add(Category::noise, Severity::fail);       // 3
  score_report(&report);
  EXPECT_FALSE(scored(Category::measured));
  EXPECT_EQ(report.score, 25);  // 19 / 75 = 25.3, not 25 / 100
  report.findings.items[1]->severity = Severity::warn;
  score_report(&report);
  EXPECT_EQ(report.score, 13);  // 9.5 / 75 = 12.67
}

TEST_F(ScoringTest, RescoringReplacesEarlierResults) {
  add(Category::preemption, Severity::pass);
  score_report(&report);
  ASSERT_TRUE(report.score_valid);
  report.findings.items[0]->severity = Severity::unknown;
  score_report(&report);
  EXPECT_FALSE(report.score_valid);
  EXPECT_FALSE(scored(Category::preemption));
  EXPECT_EQ(cat(Category::preemption), 0);
}

}  // namespace

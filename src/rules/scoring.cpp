#include <cmath>

#include "rules/finding.h"
#include "rules/rules.h"

namespace {

struct CategorySums {
  double possible;
  double earned;
};

// A percentage rounded half away from zero, kept within 0..100.
int32_t rounded_percent(double percent) {
  long r = std::lround(percent);
  if (r < 0) return 0;
  if (r > 100) return 100;
  return static_cast<int32_t>(r);
}

}  // namespace

void score_report(Report* report) {
  CategorySums sums[kCategoryCount] = {};
  for (const Finding* f : report->findings) {
    size_t c = static_cast<size_t>(f->category);
    // Only a positive, finite weight takes part: a zero, negative, infinite or
    // NaN weight would otherwise turn a category's ratio meaningless.
    bool usable = f->weight > 0 && std::isfinite(f->weight);
    if (c >= kCategoryCount || !severity_is_scored(f->severity) || !usable) continue;
    sums[c].possible += f->weight;
    sums[c].earned += severity_factor(f->severity) * f->weight;
  }

  double numerator = 0;
  double denominator = 0;
  for (int c = 0; c < kCategoryCount; c++) {
    report->category_scored[c] = false;
    report->category_score[c] = 0;
    if (!(sums[c].possible > 0)) continue;
    double ratio = sums[c].earned / sums[c].possible;
    report->category_scored[c] = true;
    // Same order as the overall score: 725 / 50 is 14.5 exactly, 0.145 x 100
    // is not.
    report->category_score[c] = rounded_percent(sums[c].earned * 100.0 / sums[c].possible);
    double w = category_weight(static_cast<Category>(c), report->measured);
    if (w > 0) {
      numerator += ratio * w;
      denominator += w;
    }
  }

  if (denominator > 0) {
    report->score_valid = true;
    // Multiply before dividing: the weights are whole numbers, so an exact
    // half such as 1437.5 / 25 = 57.5 stays exact and rounds up to 58, where
    // (14.375 / 25) x 100 comes out just below 57.5 and would round down.
    report->score = rounded_percent(numerator * 100.0 / denominator);
  } else {
    report->score_valid = false;
    report->score = 0;
  }
}

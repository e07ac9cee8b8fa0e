// How the reports colour a score out of 100, the same in text and HTML:
// 75 and above is good, 50 to 74 middling, below 50 poor.
#pragma once

#include <cstdint>

enum class ScoreBand : uint8_t { good, middling, poor };

inline ScoreBand score_band(int32_t score) {
  if (score >= 75) return ScoreBand::good;
  if (score >= 50) return ScoreBand::middling;
  return ScoreBand::poor;
}

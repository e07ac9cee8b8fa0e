// Random byte strings for robustness tests. Each input lives in a heap block
// of exactly its length, so that AddressSanitizer catches a read past it.
#pragma once

#include <memory>
#include <random>
#include <string>

#include "base/str.h"

class RandomBytes {
 public:
  explicit RandomBytes(uint32_t seed) : rng_(seed) {}

  // Mostly characters the parsers care about, some arbitrary bytes.
  std::string next(const std::string& alphabet, size_t max_len) {
    size_t n = std::uniform_int_distribution<size_t>(0, max_len)(rng_);
    std::string s(n, '\0');
    for (char& c : s) {
      if (pick(8) == 0) {
        c = static_cast<char>(pick(256));
      } else {
        c = alphabet[pick(alphabet.size())];
      }
    }
    return s;
  }

  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  // An exact-size copy; the view stays valid while the holder lives.
  StrView hold(const std::string& s) {
    held_.reset(s.empty() ? nullptr : new char[s.size()]);
    if (!s.empty()) s.copy(held_.get(), s.size());
    return StrView{s.empty() ? "" : held_.get(), s.size()};
  }

 private:
  std::mt19937 rng_;
  std::unique_ptr<char[]> held_;
};

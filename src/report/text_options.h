// What the text report prints, as decided by the command line.
#pragma once

#include <cstdint>

struct TextOptions {
  bool color;
  bool ascii;
  bool verbose;
  bool quiet;
  int32_t plan_limit;
};

// The text report's look: ANSI colour escapes (empty strings without colour),
// horizontal rules and score bars, in Unicode or in 7-bit ASCII.
#pragma once

#include <cstdint>
#include <cstdio>

struct TextStyle {
  const char* bold;
  const char* dim;
  const char* reset;
  const char* cyan;
  const char* red;
  const char* green;
  const char* yellow;
};

// The escapes when color is set, otherwise "" for every role.
TextStyle text_style(bool color);

// Green, yellow or red by the score's band (report/score_band.h).
const char* score_color(const TextStyle* st, int32_t score);

enum class RuleKind : uint8_t { double_line, single_line };

// 78 characters and a newline: "=" / "-" in ASCII mode, else the box-drawing
// double or single line.
void print_rule(FILE* out, bool ascii, RuleKind kind);

// `cells` cells, the first `filled` of them full ("#" / full block), the rest
// empty ("." / light shade). filled is clamped to 0..cells.
void print_bar(FILE* out, bool ascii, int32_t cells, int64_t filled);

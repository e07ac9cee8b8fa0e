#include "report/text_style.h"

#include "report/score_band.h"

namespace {

constexpr TextStyle kColor = {"\x1b[1m",  "\x1b[2m",  "\x1b[0m", "\x1b[36m",
                              "\x1b[31m", "\x1b[32m", "\x1b[33m"};
constexpr TextStyle kPlain = {"", "", "", "", "", "", ""};

constexpr int kRuleWidth = 78;

}  // namespace

TextStyle text_style(bool color) {
  return color ? kColor : kPlain;
}

const char* score_color(const TextStyle* st, int32_t score) {
  // By ScoreBand: good, middling, poor.
  constexpr const char* TextStyle::*kBandColor[] = {&TextStyle::green, &TextStyle::yellow,
                                                    &TextStyle::red};
  return st->*kBandColor[static_cast<int>(score_band(score))];
}

void print_rule(FILE* out, bool ascii, RuleKind kind) {
  const char* cell;
  if (kind == RuleKind::double_line) {
    cell = ascii ? "=" : "\xE2\x95\x90";  // U+2550
  } else {
    cell = ascii ? "-" : "\xE2\x94\x80";  // U+2500
  }
  for (int i = 0; i < kRuleWidth; i++) fputs(cell, out);
  fputc('\n', out);
}

void print_bar(FILE* out, bool ascii, int32_t cells, int64_t filled) {
  const char* full = ascii ? "#" : "\xE2\x96\x88";   // U+2588
  const char* empty = ascii ? "." : "\xE2\x96\x91";  // U+2591
  for (int32_t i = 0; i < cells; i++) fputs(i < filled ? full : empty, out);
}

// The one escaping loop the writers share (HTML, XML, JSON): bytes that may
// stand as they are go out in runs, a byte the format reserves goes out as
// the format writes it, and an ill-formed UTF-8 run (or a character the
// format cannot carry) goes out as the format's stand-in for U+FFFD. Text
// from the analysed machine reaches a report only through here.
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/str.h"

// U+FFFD REPLACEMENT CHARACTER, UTF-8 encoded.
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Room a rule may use to build a replacement on the spot ("\u001f").
constexpr size_t kEscapeScratch = 8;

struct EscapeRules {
  // What an ASCII byte (below 0x80) becomes, or null when it is copied.
  // scratch holds kEscapeScratch bytes for a replacement built on the spot.
  const char* (*ascii)(unsigned char c, char* scratch);
  // A well-formed character the format cannot carry, given its bytes; null
  // when every well-formed character passes.
  bool (*refused)(const unsigned char* p, size_t n);
  // What an ill-formed run or a refused character becomes.
  const char* invalid;
};

// Writes v under the rules; an absent view writes nothing.
void escape_write(FILE* out, StrView v, const EscapeRules* rules);

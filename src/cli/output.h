// The report stream: chosen after analysis, checked when closed so that a
// report that could not be written completely is never announced as written.
#pragma once

#include <cstdio>

#include "base/str.h"
#include "cli/options.h"

struct ReportStream {
  FILE* f;
  const char* path;  // the file name; null for standard output
};

// Opens the stream the options name; false with *err set when the file
// cannot be opened.
bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err);
// Colour for the text report: the option when given, else off when NO_COLOR
// is present (even empty), else on exactly when the stream is a terminal.
bool output_wants_color(const Options* o, const ReportStream* s);
// Prints "kelvane: " and msg on standard error, as a run that cannot go on
// reports why; returns its exit status, 2.
int run_error(StrView msg);
// Flushes and closes; false with *err set when anything written was lost.
bool output_close(Arena* a, ReportStream* s, StrView* err);

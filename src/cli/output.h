// The report stream: chosen after analysis, checked when closed so that a
// report that could not be written completely is never announced as written.
#pragma once

#include <cstdio>

#include "base/str.h"
#include "cli/options.h"

struct ReportStream {
  FILE* f;
  const char* path;  // the file name; null for standard output
  // The temporary file written in path's place and renamed over it when
  // closed; null when path is written directly.
  const char* tmp_path;
};

// Opens the stream the options name; false with *err set when the file
// cannot be opened. The metrics file is replaced atomically: written to a
// temporary file in the same directory (readable by all, mode 0644), so
// that a scrape never sees half of it, and renamed over the path when
// closed.
bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err);
// Colour for the text report: the option when given, else off when NO_COLOR
// is present (even empty), else on exactly when the stream is a terminal.
bool output_wants_color(const Options* o, const ReportStream* s);
// Prints "kelvane: " and msg on standard error, as a run that cannot go on
// reports why; returns its exit status, 2.
int run_error(StrView msg);
// Flushes and closes; false with *err set when anything written was lost,
// in which case a temporary file is removed and the path left as it was.
bool output_close(Arena* a, ReportStream* s, StrView* err);

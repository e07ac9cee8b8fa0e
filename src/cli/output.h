// The report stream: chosen after analysis, checked when closed so that a
// report that could not be written completely is never announced as written.
#pragma once

#include <cstdio>

#include "base/str.h"
#include "cli/options.h"
#include "source/out_file.h"

using ReportStream = OutFile;

// Opens the stream the options name: -o, else the format's default file,
// else (text) standard output. A file is replaced whole when closed
// (source/out_file.h); a link, FIFO, socket, device or directory is refused,
// and so is a file this run reads (the bundle or tree analysed, either side
// of a diff). False with *err set. The metrics file is readable by all
// (mode 0644), so that node_exporter reads it whatever the umask; other
// reports take the mode the umask gives a new file.
bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err);
// Why the run may not write path (the report's path when null), or absent;
// checked before the work of a run, so that it is not lost to a refusal.
StrView output_refusal(Arena* a, const Options* o, const char* path);
// Colour for the text report: the option when given, else off when NO_COLOR
// is present (even empty), else on exactly when the stream is a terminal.
bool output_wants_color(const Options* o, const ReportStream* s);
// Prints "kelvane: " and msg on standard error, as a run that cannot go on
// reports why; returns its exit status, 2.
int run_error(StrView msg);
// Flushes and closes; false with *err set when anything written was lost,
// in which case a temporary file is removed and the path left as it was.
bool output_close(Arena* a, ReportStream* s, StrView* err);

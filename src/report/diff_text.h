// The text form of kelvane diff, in the text report's style and colour
// rules: both sources with the version that wrote each, the overall and
// category scores before and after, then the findings that regressed, were
// fixed or are still open.
#pragma once

#include <cstdio>

#include "base/arena.h"
#include "report/diff.h"
#include "report/text_options.h"

// Writes the diff to out. ascii and color as in the text report; quiet
// leaves out the header, the category lines and the still-open list;
// verbose adds each listed finding's detail. Temporary texts come from a.
void write_diff_text(const ReportDiff* d, const TextOptions* opts, Arena* a, FILE* out);

// Writing the Prometheus text exposition format, the subset node_exporter's
// textfile collector reads: a "# HELP" and a "# TYPE" line before the first
// sample of each family, all samples of a family together, one sample a
// line, no timestamps, every line ended by a newline.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/str.h"

// One metric family being written. The header goes out with the first
// sample, so a family without samples leaves no trace in the file.
struct PromFamily {
  FILE* out;
  const char* name;  // kelvane's own snake_case name
  const char* help;  // kelvane's own text: no backslash, no newline
  bool started;
};

inline PromFamily prom_family(FILE* out, const char* name, const char* help) {
  return PromFamily{out, name, help, false};
}

// Begins a sample: the family header when it is the first, then the name.
// Labels, if any, follow through prom_label; prom_value ends the line.
void prom_sample(PromFamily* f);
// One label: "{" before the first (first = true), "," before the others,
// then name="value" with the value escaped by prom_label_value.
void prom_label(PromFamily* f, bool first, const char* name, StrView value);
// Close the label set (when labels were written) and end the line with the
// value: a whole number, or a finite real with six significant digits (the
// precision of the JSON report).
void prom_int(PromFamily* f, bool labelled, int64_t v);
void prom_real(PromFamily* f, bool labelled, double v);

// A label value as the format reads it: backslash, double quote and newline
// escaped; ill-formed UTF-8 and the other control bytes become U+FFFD, as in
// the other reports, since a label value must be valid UTF-8.
void prom_label_value(FILE* out, StrView v);

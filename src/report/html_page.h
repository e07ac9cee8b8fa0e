// What every section of the HTML report reads: the stream, the run's Arena
// for temporary texts, the Report and the Snapshot behind it.
#pragma once

#include <cstdio>

#include "base/arena.h"
#include "collect/snapshot.h"
#include "rules/finding.h"

struct HtmlPage {
  FILE* out;
  Arena* arena;
  const Report* report;
  const Snapshot* snap;  // never null: an empty Snapshot stands in
};

// A latency as the page shows it: fmt_duration_us with the micro sign;
// "n/a" when absent or NaN.
StrView html_latency(const HtmlPage* p, bool has, double us);

// "What to do": the remediation plan, the combined kernel command line first.
void html_write_plan(const HtmlPage* p);
// "Measured latency": the table of the valid Measurement.
void html_write_latency(const HtmlPage* p);
// "Latency histograms": one chart per measured CPU with histogram bins.
void html_write_histograms(const HtmlPage* p);
// "Interrupt distribution": the heat map of interrupts per CPU.
void html_write_heatmap(const HtmlPage* p);
// "Idle states": the table of idle states per CPU.
void html_write_idle(const HtmlPage* p);

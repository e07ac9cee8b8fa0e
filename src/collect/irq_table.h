// The table of /proc/interrupts and /proc/softirqs: a header naming one
// column per CPU ("CPU0 CPU1 ..."), then one row per interrupt or softirq,
// "label: count count ... description words".
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// One row, consumed by the collector right after parsing. Views point into
// the parsed text.
struct IrqRow {
  StrView label;            // trimmed text before the first ":"
  List<IrqCount> counts;    // one per numeric column, in column order; delta 0
  List<StrView> words;      // every word not taken as a count, in order
  uint64_t total;           // sum of the counts
};

// Called with each row as it is parsed, in file order; false stops the
// parse. The row's two lists are reused for the next row: a caller that
// keeps the counts copies them (irq_row_keep_counts).
using IrqRowFn = bool (*)(void* ctx, const IrqRow* row);

// Parses the header into the CPU number of each column (appended to cpus)
// and hands out the rows one at a time, so a table of a million rows costs
// its text and what the caller keeps, not a list of its rows. A line
// without ":" or with an empty label is skipped; an all-digit word is a
// count while columns remain, any other word a description word.
void parse_interrupt_rows(Arena* a, StrView text, List<int32_t>* cpus, IrqRowFn fn, void* ctx);

// The row's counts in an Arena list of their own, sized to them.
List<IrqCount> irq_row_keep_counts(Arena* a, const IrqRow* row);

// Parses the text into the CPU number of each header column (appended to
// cpus) and the rows (appended to rows, in file order). A line without ":"
// or with an empty label is skipped; an all-digit word is a count while
// columns remain, any other word a description word. Never fails.
void parse_interrupt_table(Arena* a, StrView text, List<int32_t>* cpus, List<IrqRow>* rows);

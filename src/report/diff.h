// Comparing two reports of a machine, before and after a change (kelvane
// diff): the overall and category scores on both sides, and the findings
// sorted into three lists -- fixed, regressed and still open.
//
// Findings are matched by id. An id that stands more than once in either
// report (one finding per interrupt or per thread, say) is matched by id and
// subject together, the subject being the thing the finding names: its first
// evidence key (a path such as /proc/irq/24/effective_affinity_list) or, when
// it has no evidence, its title. Findings with the same id and subject pair
// up in report order.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "rules/finding.h"

// One finding on either side; a missing side is null.
struct DiffEntry {
  const Finding* old_f;  // null: the finding is new
  const Finding* new_f;  // null: the finding is gone
};

// How far a severity is from passing: pass, unknown and na 0, warn 1, fail 2.
int severity_badness(Severity s);

struct ReportDiff {
  const char* old_label;  // the paths as given
  const char* new_label;
  const Report* old_r;
  const Report* new_r;
  // A warn or fail that passes now or is gone.
  List<DiffEntry> fixed;
  // A finding whose severity got worse (by severity_badness), or a new warn
  // or fail.
  List<DiffEntry> regressed;
  // A warn or fail on either side that is neither fixed nor regressed.
  List<DiffEntry> still_open;
  // Both sides measured, under different conditions: what differs ("priority
  // 99 -> 95; load none -> stress-ng"), else absent. Their measured findings
  // are then neither fixed nor regressed, only still open.
  StrView conditions_differ;
};

struct Snapshot;
// What differs between the conditions of two measurements, or absent when
// either side measured nothing or they match. A side whose report predates
// the record of conditions counts as differing ("not recorded").
StrView measure_conditions_differ(Arena* a, const Snapshot* old_s, const Snapshot* new_s);

// Matches the findings of the two reports and fills the three lists, each
// ordered by category, id and subject.
void diff_reports(Arena* a, const Report* old_r, const Report* new_r, ReportDiff* out);

// Both scores are known and the new one is lower.
bool diff_score_dropped(const ReportDiff* d);

// Anything differs: a score (overall or a category's), a finding fixed or
// regressed, or a still-open finding whose severity changed.
bool diff_changed(const ReportDiff* d);

// 1 when a finding regressed or the score dropped, else 0.
int diff_exit_status(const ReportDiff* d);

// The finding that stands for an entry: the new one, or the old when gone.
inline const Finding* diff_entry_finding(const DiffEntry* e) {
  return e->new_f ? e->new_f : e->old_f;
}

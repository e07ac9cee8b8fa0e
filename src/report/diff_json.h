// The JSON form of kelvane diff: one stable document with both sides (path,
// the version that wrote it, score, verdict, profile, target), the score
// change, the category scores before and after, and the three lists.
#pragma once

#include <cstdio>

#include "report/diff.h"

// The document, keys always present and in this order:
//   "old", "new": {"path", "tool_version", "score" (null when not
//       determined), "verdict", "profile", "target_us"}
//   "score_delta": new minus old, null unless both scores are known
//   "score_dropped": both scores are known and the new one is lower
//   "changed": anything differs (diff_changed)
//   "category_deltas": one member per category scored on either side, in
//       category order: {"old", "new", "delta"}, null where not scored
//   "fixed", "regressed", "still_open": one object a line:
//       {"id", "category", "old_severity", "new_severity", "title"}, the
//       severity null on the side that lacks the finding, the title the new
//       one when there is one
void write_diff_json(const ReportDiff* d, FILE* out);

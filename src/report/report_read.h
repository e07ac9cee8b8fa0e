// Reading a JSON report back: the document kelvane writes with -f json
// becomes a Report again -- score, category scores and every finding with its
// texts and evidence -- so that two reports can be compared (kelvane diff).
// This is the one place that parses JSON; it uses simdjson, which also
// rejects text that is not valid UTF-8.
#pragma once

#include "base/arena.h"
#include "base/str.h"
#include "rules/finding.h"

// Fills *out from the bytes of a JSON report. The Report gets a Snapshot of
// its own holding the "tool_version", "host" and "source" the document
// names; every text is copied into the Arena. Returns false, leaving *out
// unusable, when the bytes are not a JSON document or not one kelvane wrote:
// the top level must be an object with "score" (0..100 or null),
// "tool_version" (a string), "category_scores" (an object of integers) and
// "findings" (an array of objects, each with string "id", "category",
// "severity" and "title"). Members a report of another version may lack or
// add are optional: "profile", "target_us", "measured", the finding texts,
// "weight" and "evidence". A severity or category this version does not know
// reads as na and as the category "other"; a category score under an unknown
// name is skipped.
bool report_read_json(Arena* a, StrView bytes, Report* out);

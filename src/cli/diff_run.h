// kelvane diff OLD NEW: reads or analyses both sides, compares them and
// writes the diff as text or JSON.
#pragma once

#include "base/arena.h"
#include "cli/options.h"

// Each side is a JSON report kelvane wrote (read back), or a bundle or a
// tree (analysed with the options' profile and target, --interval 0 and no
// measurement). Returns the exit status: 0 nothing regressed, 1 a finding
// regressed or the score dropped, 2 bad input or an unwritable output.
int run_diff(Arena* a, const Options* o);

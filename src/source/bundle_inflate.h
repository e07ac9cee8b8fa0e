// Inflating a gzip bundle into one Arena buffer, with a ceiling on the
// inflated size so that a small hostile file cannot exhaust memory.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

// Inflates the first gzip member of data. False when the stream is damaged,
// truncated, or would inflate past limit bytes.
bool bundle_inflate(Arena* a, StrView data, uint64_t limit, StrView* out);

// The line and token rules the tool parsers share: lines split at "\n" and
// trimmed, tokens split at spaces and tabs with empty ones skipped, numbers
// read strictly and only in plain decimal.
#pragma once

#include <cstdint>

#include "base/str.h"

// The next trimmed line, or absent once the cursor is exhausted.
StrView tool_next_line(StrView* cursor);
// The next non-empty token, or absent at the end of the line.
StrView tool_next_token(StrView* cursor);
// A finite decimal number ("12", "0.5", "-3", "1e3"); no unit, percent sign,
// hexadecimal, "inf" or "nan".
bool tool_number(StrView token, double* out);
// A base-10 integer.
bool tool_integer(StrView token, int64_t* out);

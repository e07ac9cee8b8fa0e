// Strict whole-text number parsers: surrounding white space is allowed,
// anything else after the number fails. The result is written only on success.
#pragma once

#include <cstdint>

#include "base/str.h"

bool parse_int(StrView v, int base, int64_t* out);
bool parse_i64(StrView v, int64_t* out);
// A number outside the 32-bit range fails like any other malformed text.
bool parse_i32(StrView v, int32_t* out);
// A number written in decimal digits alone (no sign, no blanks) that fits
// parse_i32: an IRQ number, a process or thread id as /proc names them.
bool parse_id(StrView v, int32_t* out);
bool parse_double(StrView v, double* out);

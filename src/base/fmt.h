// The short value texts seen in findings and reports.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

StrView fmt_duration_us(Arena* a, double us, bool ascii);
StrView fmt_khz(Arena* a, int64_t khz);
StrView fmt_count(Arena* a, double count);
StrView fmt_bytes(Arena* a, int64_t bytes);

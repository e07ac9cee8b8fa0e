// The two diagnostic channels besides the report: fatal errors (only memory
// exhaustion) and progress messages gated by the -v count.
#pragma once

#include <cstdint>

extern int32_t verbosity;

[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_progress(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Small pieces shared by the sysfs collectors: numbered directory names and
// optional integers read into an OptInt.
#pragma once

#include <cstdint>

#include "base/opt.h"
#include "base/str.h"
#include "source/source.h"

// The number in the last component of path when that component is prefix
// followed by one to nine decimal digits ("cpu12", "state3", "node1");
// false for anything else ("cpu1x", "cpufreq", "state").
bool parse_numbered_name(StrView path, StrView prefix, int32_t* out);

// Reads the first word of a file as a decimal integer into *out; leaves it
// untouched when the file cannot be read or does not parse.
void read_opt_int(Source* src, const char* path, OptInt* out);

// Reads a file that many kernels or machines lack (a newer interface, an
// optional driver): one that does not exist is absent without a read error,
// so that the report's list of unreadable files keeps to what should be there.
StrView read_if_present(Source* src, const char* path);

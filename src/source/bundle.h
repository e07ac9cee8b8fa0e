// Bundle reader: a gzip-compressed (or plain) ustar archive of a captured
// machine, loaded into memory and served as a Source.
#pragma once

#include "base/arena.h"
#include "base/str.h"
#include "source/source.h"

// Loads the bundle file at path; null with *err set when it is not readable.
Source* bundle_open(Arena* a, const char* path, StrView* err);

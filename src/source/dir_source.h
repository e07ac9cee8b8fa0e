// The directory kind of Source: the live system (root "") and an unpacked tree
// of another machine's files (root = the tree path).
#pragma once

#include "source/source.h"

// A directory Source serving root + path; root must stay valid for the run.
Source* dir_source_new(Arena* a, StrView root, const char* label, bool live);

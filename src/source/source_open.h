// Opening a Source: the one place that picks the kind of Source for a path.
#pragma once

#include "base/arena.h"
#include "base/str.h"
#include "source/source.h"

// Opens the live system (path null or "/"), a tree (a directory) or a bundle
// (any regular file). On failure returns null and sets *err.
Source* source_open(Arena* a, const char* path, StrView* err);

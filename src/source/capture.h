// Capture: copies the files the analysis reads from a Source (normally the
// live system) into a bundle file, optionally redacting command lines and
// the host name.
#pragma once

#include "base/arena.h"
#include "base/str.h"
#include "source/source.h"

// Writes the bundle at path (created readable by its owner only). On false
// *err is "cannot create '%s'" or "writing '%s' failed".
bool capture_bundle(Arena* a, Source* src, const char* path, bool redact, StrView* err);

// Capture: copies the files the analysis reads from a Source (normally the
// live system) into a bundle file, optionally redacting command lines and
// the host name.
#pragma once

#include <cstddef>

#include "base/arena.h"
#include "base/str.h"
#include "source/source.h"

// Writes the bundle at path (readable by its owner only), or to standard
// output for "-", replacing the file whole (source/out_file.h). On false
// *err says why; a file that was there is left as it was.
bool capture_bundle(Arena* a, Source* src, const char* path, bool redact, StrView* err);

// The files and patterns capture copies, in the order it copies them (a
// pattern's matches in byte order where it stands): the number of entries,
// and entry i (null past the end).
size_t capture_copy_count();
const char* capture_copy_entry(size_t i);

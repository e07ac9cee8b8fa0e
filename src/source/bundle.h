// Bundle reader: a gzip-compressed (or plain) ustar archive of a captured
// machine, loaded into memory and served as a Source whose operations behave
// like those of an unpacked tree.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"
#include "source/bundle_index.h"
#include "source/source.h"

// The largest archive a gzip bundle may inflate to.
constexpr uint64_t kBundleInflateLimit = uint64_t{1} << 30;

// Loads the bundle file at path; null with *err set when it is not readable.
Source* bundle_open(Arena* a, const char* path, StrView* err);

// Loads a bundle from bytes already in memory (bytes must stay valid for the
// run). label names it in error texts and becomes the Source's label. A gzip
// bundle that inflates past inflate_limit bytes is refused.
Source* bundle_load(Arena* a, const char* label, StrView bytes, uint64_t inflate_limit,
                    StrView* err);

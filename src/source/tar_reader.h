// Reading side of the tar format: walks an in-memory ustar archive (with GNU
// long names and pax path records) and yields its file and directory members.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "source/bundle_index.h"

constexpr size_t kTarBlock = 512;

// Appends every accepted member of archive to out, names cleaned to absolute
// paths. False with *err set to a fixed text when a size field is implausible
// or a member's data runs past the end.
bool tar_walk(Arena* a, StrView archive, List<BundleMember>* out, StrView* err);

// The number of member headers in archive: an upper bound of the members
// tar_walk yields, found by hopping from header to header.
size_t tar_count_headers(StrView archive);

// The value of the "path" record of a pax extended header, or an absent view.
StrView tar_pax_path(StrView records);

// Turns an archive name ("./proc/cpuinfo", "proc/irq/17/") into the absolute
// path ("/proc/cpuinfo", "/proc/irq/17"): a view into name itself when name
// is "./" and a canonical path, as every captured name is; else a copy.
StrView tar_clean_name(Arena* a, StrView name);

// Listing a directory of a local file system with the kind of each entry as
// the kernel reports it, so that a walk needs no stat to tell a regular file
// from a directory.
#pragma once

#include "base/str.h"

struct DirEntry {
  StrView name;        // NUL-terminated; valid only during the call that hands it out
  unsigned char type;  // DT_REG, DT_DIR, DT_LNK, ...; DT_UNKNOWN where the file system does not say
};

using DirEntryFn = void (*)(void* ctx, DirEntry e);

// Calls fn for each entry of the directory at path but "." and "..", in the
// order the kernel lists them. False with errno set when the directory
// cannot be listed (fn may have seen some entries by then).
bool dir_each_entry(const char* path, DirEntryFn fn, void* ctx);

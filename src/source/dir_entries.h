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

// Opens the directory at path (relative to the directory dirfd, or
// AT_FDCWD) for listing; -1 with errno set.
int dir_open(int dirfd, const char* path);

// Calls fn for each entry of the open directory fd but "." and "..", in the
// order the kernel lists them; fd stays open. False with errno set when the
// listing fails (fn may have seen some entries by then).
bool dir_each_entry(int fd, DirEntryFn fn, void* ctx);

// Listing a directory of a local file system with the kind of each entry as
// the kernel reports it, so that a walk needs no stat to tell a regular file
// from a directory.
#pragma once

#include <fcntl.h>

#include "base/str.h"

struct DirEntry {
  StrView name;        // NUL-terminated; valid only during the call that hands it out
  unsigned char type;  // DT_REG, DT_DIR, DT_LNK, ...; DT_UNKNOWN where the file system does not say
};

using DirEntryFn = void (*)(void* ctx, DirEntry e);

// How a directory is opened for listing: a FIFO put in its place is not
// waited on.
constexpr int kDirOpenFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

// Calls fn for each entry of the open directory fd but "." and "..", in the
// order the kernel lists them; fd stays open. False with errno set when the
// listing fails (fn may have seen some entries by then).
bool dir_each_entry(int fd, DirEntryFn fn, void* ctx);

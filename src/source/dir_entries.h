// Listing a directory of a local file system with the kind of each entry as
// the kernel reports it, so that a walk needs no stat to tell a regular file
// from a directory.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

struct DirEntry {
  StrView name;        // NUL-terminated Arena text
  unsigned char type;  // DT_REG, DT_DIR, DT_LNK, ...; DT_UNKNOWN where the file system does not say
};

// The entries of the directory at path, without "." and "..", in the order
// the kernel lists them; with match, only the names fnmatch finds matching it
// (a wildcard never matches a leading "."). False with errno set when the
// directory cannot be listed.
bool dir_entries(Arena* a, const char* path, const char* match, List<DirEntry>* out);

// Reading a whole local file -- a bundle, a saved report -- into the Arena.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "base/arena.h"
#include "base/str.h"

// Reads from fd into buf until len bytes are in or the file ends, retrying a
// read a signal interrupted. The count read, or -1 with errno set.
ssize_t file_read_fully(int fd, char* buf, size_t len);

// The whole file at path in one Arena buffer, or absent with *err set. A pipe
// (/dev/stdin) is read to its end as well.
StrView file_read_whole(Arena* a, const char* path, StrView* err);

// Files a run writes (reports, bundles, diffs): each replaces its target
// whole or not at all. The bytes go to a temporary file beside the target,
// which is renamed over it only once everything was written, flushed, synced
// and closed; a failure removes the temporary file and leaves the target as
// it was.
#pragma once

#include <sys/types.h>

#include <cstdio>

#include "base/arena.h"
#include "base/str.h"

struct OutFile {
  FILE* f;
  const char* path;      // the name given; null for standard output
  const char* tmp_path;  // renamed over path when closed; null when path is written in place
};

// Opens path for writing. "-" and /dev/stdout are standard output,
// /dev/null is written in place; any other path must be absent or a regular
// file: a symbolic link (even to a regular file), a FIFO, a socket, a device
// or a directory is refused. The temporary file is DIR/.NAME.XXXXXX (hidden,
// and not ending like NAME, so that a collector reading *.prom skips it),
// created exclusively and given mode. A path that is the same file as one
// of the n_inputs paths the run reads (by device and inode, whatever the
// names) is refused too. False with *err set.
bool out_file_open(Arena* a, const char* path, mode_t mode, const char* const* inputs,
                   size_t n_inputs, OutFile* out, StrView* err);

// Whether path names standard output ("-" or /dev/stdout).
bool out_file_is_stdout(const char* path);

// Why out_file_open would refuse path, or absent: checked again when it
// opens, so that a run can say so before its work rather than after.
StrView out_file_refusal(Arena* a, const char* path, const char* const* inputs, size_t n_inputs);

// Flushes, syncs and closes, then renames the temporary file over the path.
// False with *err set when anything written was lost; the temporary file is
// then removed and the path left as it was. Standard output is flushed, not
// closed.
bool out_file_close(Arena* a, OutFile* out, StrView* err);

// Gives up a file whose content could not be made: closes it and removes
// the temporary file. *err says why, with errno_value (EIO when 0).
void out_file_abandon(Arena* a, OutFile* out, int errno_value, StrView* err);

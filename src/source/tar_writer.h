// Writing side of the tar format: ustar headers and padded member data sent
// through a gzip stream.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/str.h"

struct TarWriter {
  gzFile gz;
  bool failed;  // set by the first short write; nothing is written after it
};

// Fills the 512-byte header of member path (an absolute path) with the given
// size and modification time. Names longer than the name field are split
// across the ustar prefix field; false when even that cannot hold the name.
bool tar_header_fill(char* block, StrView path, uint64_t size, bool is_dir, int64_t mtime);

// Writes one member: header, then for a file its data padded to whole
// blocks. False when the member was not written (its name does not fit, or
// the writer has failed).
bool tar_write_entry(TarWriter* w, StrView path, StrView data, bool is_dir);

// The two zero blocks that end an archive.
void tar_write_end(TarWriter* w);

// Writing side of the tar format: ustar headers and padded member data,
// gathered in one buffer that is compressed whole when the archive ends.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

// The archive so far, in one Arena buffer that grows in place.
struct TarWriter {
  Arena* arena;
  char* data;
  uint64_t len;
  uint64_t cap;
};

// Fills the 512-byte header of member path (an absolute path) with the given
// size and modification time. Names longer than the name field are split
// across the ustar prefix field; false when even that cannot hold the name.
bool tar_header_fill(char* block, StrView path, uint64_t size, bool is_dir, int64_t mtime);

// Appends one member: header, then for a file its data padded to whole
// blocks. False when the member was not written (its name does not fit).
bool tar_write_entry(TarWriter* w, StrView path, StrView data, bool is_dir);

// The two zero blocks that end an archive.
void tar_write_end(TarWriter* w);

// Compresses the archive as one gzip stream (level 6) and writes it to fd.
// False when compressing or writing fails.
bool tar_write_gzip(TarWriter* w, int fd);

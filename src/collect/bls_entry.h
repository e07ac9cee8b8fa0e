// Boot loader entries of type #1 (/boot/loader/entries/*.conf, the format
// systemd-boot and GRUB's blscfg read)
// and the GRUB environment block (grubenv) their options may refer to.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

struct BlsOptions {
  StrView text;
  int32_t line;  // 1-based
};

struct BlsEntry {
  StrView linux;                 // the kernel image path
  StrView version;               // the kernel version, when given
  List<BlsOptions> options;      // every options line, in file order
};

// Parses one entry file, as the entry format defines it ("Type #1 Boot Loader
// Entry Keys"): one "key value" pair per line, key and value separated by
// white space, lines starting with "#" are comments; "options" may appear
// more than once and the lines are joined with spaces into the kernel
// command line. Keys other than linux, version and options are skipped
// unread (a title or a grub_users list never leaves this parser).
void parse_bls_entry(Arena* a, StrView text, BlsEntry* out);

// Parses a GRUB environment block: a "# GRUB Environment Block" header, then
// name=value lines, padded to its size with "#"; lines starting with "#" are
// skipped.
void parse_grubenv(Arena* a, StrView text, KvList* out);

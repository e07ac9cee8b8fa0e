// What capture keeps of boot configuration files: only the lines the
// analysis reads (the kernel command line pieces and what they refer to),
// each other line emptied so that line numbers stay; with --redact also the
// values of boot parameters the analysis does not read. A boot loader's
// password or hash never enters a bundle.
#pragma once

#include "base/arena.h"
#include "base/str.h"

enum class BootFileKind { none, grub_default, bls_entry, kernel_cmdline, grubenv };

// The kind of boot configuration file path names, or none.
BootFileKind boot_file_kind(StrView path);

// text with the lines the analysis does not read emptied, and, when redact,
// every boot parameter value it does not read replaced by "redacted".
StrView boot_file_keep(Arena* a, BootFileKind kind, StrView text, bool redact);

// A boot line (/proc/cmdline) with every value of a parameter the analysis
// does not read replaced by "redacted"; BOOT_IMAGE keeps its kernel file.
StrView boot_line_redact(Arena* a, StrView line);
